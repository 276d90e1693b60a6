// What the fuzz targets share: a private working directory, standard output caught in memory, a
// reader that takes the fuzz input apart, a model of the text-line reader, and a well-formedness
// check of the PRTG documents.
//
// A broken property ends the run with abort(), which libFuzzer (and the corpus replay of the
// native test build) reports as a crash with the input that caused it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace fuzz {

[[noreturn]] inline void Fail(const std::string &what) {
    std::fprintf(stderr, "fuzz property broken: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

inline void Check(bool holds, const std::string &what) {
    if (!holds) Fail(what);
}

// True in the corpus replay of the test build, false under libFuzzer: a target may keep its
// slowest inputs (thousands of rows) for the replay, where each runs once, and spare the fuzzing
// loop, where a slow input in the corpus is mutated again and again.
inline bool &ReplayRun() {
    static bool replay = false;
    return replay;
}

// A fresh directory that becomes the working directory for the whole process; removed at exit.
inline const std::filesystem::path &WorkingDirectory() {
    static const std::filesystem::path directory = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "marrowind-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) Fail("no temporary directory");
        std::filesystem::current_path(pattern);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
            std::filesystem::remove_all(WorkingDirectory(), ignored);
        });
        return std::filesystem::path(pattern);
    }();
    return directory;
}

inline void WriteFile(const std::string &name, const std::string &content) {
    std::ofstream(WorkingDirectory() / name, std::ios::binary | std::ios::trunc) << content;
}

inline void AppendFile(const std::string &name, const std::string &content) {
    std::ofstream(WorkingDirectory() / name, std::ios::binary | std::ios::app) << content;
}

inline std::string ReadFile(const std::string &name) {
    std::ifstream in(WorkingDirectory() / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void RemoveFile(const std::string &name) {
    std::error_code ignored;
    std::filesystem::remove(WorkingDirectory() / name, ignored);
}

// Standard output, caught in memory: the writer's pieces go to Captured() instead of the terminal.
inline std::string &Captured() {
    static std::string text;
    return text;
}

inline void CatchStandardOutput() {
    static bool caught = false;
    if (caught) return;
    caught = true;
    cookie_io_functions_t functions{};
    functions.write = [](void *, const char *data, size_t size) -> ssize_t {
        Captured().append(data, size);
        return static_cast<ssize_t>(size);
    };
    FILE *memory = fopencookie(nullptr, "w", functions);
    if (memory == nullptr) Fail("fopencookie");
    setvbuf(memory, nullptr, _IONBF, 0);
    stdout = memory;
}

inline std::string TakeOutput() {
    std::fflush(stdout);
    std::string text;
    text.swap(Captured());
    return text;
}

// Takes the fuzz input apart from its front: bytes, numbers and texts.
class Input {
  public:
    Input(const uint8_t *data, size_t size) : data_(data), size_(size) {}

    bool Empty() const { return at_ >= size_; }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    // Low byte first; two statements, because the operands of | are not sequenced.
    uint16_t Word() {
        uint16_t low = Byte();
        uint16_t high = Byte();
        return static_cast<uint16_t>(low | high << 8);
    }
    // Bytes up to (not including) the terminator, which is consumed; the rest when it is absent.
    std::string Until(char terminator) {
        std::string text;
        while (at_ < size_ && static_cast<char>(data_[at_]) != terminator)
            text += static_cast<char>(data_[at_++]);
        if (at_ < size_) ++at_;
        return text;
    }
    std::string Take(size_t count) {
        std::string text;
        while (count-- > 0 && at_ < size_)
            text += static_cast<char>(data_[at_++]);
        return text;
    }
    std::string Rest() { return Take(size_ - at_); }

  private:
    const uint8_t *data_;
    size_t size_;
    size_t at_ = 0;
};

// The pieces the text-line reader hands out for a buffer of maxChars characters: CR LF read as LF,
// a piece ends after a line feed or at maxChars characters, a zero byte ends the piece's text (the
// piece is still consumed). Each piece as the reader returns it, before any line end is removed.
inline std::vector<std::string> TextLinePieces(const std::string &content, size_t maxChars) {
    std::string text;
    for (size_t i = 0; i < content.size(); ++i)
        if (!(content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n')) text += content[i];
    std::vector<std::string> pieces;
    std::string piece;
    size_t count = 0;
    bool ended = false;
    for (char c : text) {
        ++count;
        if (c == '\0') ended = true;
        if (!ended) piece += c;
        if (c == '\n' || count == maxChars) {
            pieces.push_back(piece);
            piece.clear();
            count = 0;
            ended = false;
        }
    }
    if (count > 0) pieces.push_back(piece);
    return pieces;
}

// The characters a text reader sees in a file's bytes: a UTF-8 mark at the start is skipped; after a
// UTF-16 mark (either byte order) every code unit is one character, '?' above 0x7F, and half a code
// unit at the end is none; anything else is the bytes themselves.
inline std::string AsRead(const std::string &bytes) {
    auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) return bytes.substr(3);
    bool little = bytes.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE;
    bool big = bytes.size() >= 2 && at(0) == 0xFE && at(1) == 0xFF;
    if (!little && !big) return bytes;
    std::string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        unsigned unit = little ? (at(i) | at(i + 1) << 8) : (at(i) << 8 | at(i + 1));
        text += unit > 0x7F ? '?' : static_cast<char>(unit);
    }
    return text;
}

inline std::string StripLineEnd(std::string text) {
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

inline std::string Upper(std::string text) {
    for (char &c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// Why a text is no well-formed PRTG document (empty when it is one): one root element of the given
// name, elements of letters only and without attributes, properly nested; text without a raw '<',
// with '&' only as an entity or a character reference of a character XML allows, and without bytes
// from 0x80 (the document declares no encoding, so it must be plain ASCII) or control bytes other
// than tab, line feed and carriage return; nothing but white space around the root.
inline std::string XmlProblem(const std::string &document, const std::string &rootName = "Prtg") {
    std::vector<std::string> open;
    bool rootSeen = false;
    size_t i = 0;
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    while (i < document.size()) {
        char c = document[i];
        if (c == '<') {
            bool closing = i + 1 < document.size() && document[i + 1] == '/';
            size_t start = i + (closing ? 2 : 1);
            size_t end = start;
            while (end < document.size() && isLetter(document[end]))
                ++end;
            if (end == start) return "a tag without a name at byte " + std::to_string(i);
            if (end >= document.size() || document[end] != '>') return "an unclosed tag at byte " + std::to_string(i);
            std::string name = document.substr(start, end - start);
            if (closing) {
                if (open.empty() || open.back() != name) return "</" + name + "> closes nothing open";
                open.pop_back();
            } else {
                if (open.empty()) {
                    if (rootSeen) return "a second root element <" + name + ">";
                    if (name != rootName) return "the root element is <" + name + ">";
                    rootSeen = true;
                }
                open.push_back(name);
            }
            i = end + 1;
            continue;
        }
        if (open.empty() && !isSpace(c)) return "text outside the root element at byte " + std::to_string(i);
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte >= 0x80) return "a raw byte " + std::to_string(byte) + " at byte " + std::to_string(i);
        if (byte < 0x20 && !isSpace(c)) return "a control byte " + std::to_string(byte) + " at byte " + std::to_string(i);
        if (c == '&') {
            size_t semicolon = document.find(';', i);
            if (semicolon == std::string::npos || semicolon - i > 8) return "a bare '&' at byte " + std::to_string(i);
            std::string entity = document.substr(i + 1, semicolon - i - 1);
            bool known = entity == "amp" || entity == "lt" || entity == "gt" || entity == "quot" || entity == "apos";
            if (!known) {
                if (entity.size() < 2 || entity[0] != '#') return "an unknown entity &" + entity + ";";
                unsigned long code = 0;
                for (size_t k = 1; k < entity.size(); ++k) {
                    if (entity[k] < '0' || entity[k] > '9') return "a bad character reference &" + entity + ";";
                    code = code * 10 + static_cast<unsigned long>(entity[k] - '0');
                }
                bool allowed = code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
                               (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
                if (!allowed) return "a character reference to a character XML forbids: &" + entity + ";";
            }
            i = semicolon + 1;
            continue;
        }
        ++i;
    }
    if (!rootSeen) return "no root element";
    if (!open.empty()) return "<" + open.back() + "> is never closed";
    return "";
}

// Undoes the writer's escaping: entities and character references back to their bytes.
inline std::string XmlUnescape(const std::string &text) {
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            plain += text[i];
            continue;
        }
        size_t semicolon = text.find(';', i);
        std::string entity = text.substr(i + 1, semicolon - i - 1);
        if (entity == "amp") plain += '&';
        else if (entity == "lt") plain += '<';
        else if (entity == "gt") plain += '>';
        else plain += static_cast<char>(std::stoul(entity.substr(1)));
        i = semicolon;
    }
    return plain;
}

} // namespace fuzz
