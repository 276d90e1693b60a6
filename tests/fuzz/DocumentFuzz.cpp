// The document writer in every mode, with any names and texts, in the orders the run uses it: a
// single system's document, item mode's document, an error document, and a run-ending error after
// channels are out; beside them the escaping into a small text and the statistic key.
//
// Input: one byte of flags (bits 0-1 output mode, bit 2 CH= given, bit 3 verbose), one byte for the
// selected channel, one for the order, one for the number of channels, then zero-terminated
// texts: the summary, the error text, and name, value and unit of each channel.
//
// Properties: in the XML mode the output is one well-formed document whose texts give back the
// front of what was written (the whole of what fits); an error text never loses its closing tags;
// the escaping equals a model and stops at whole entities; the key equals a model.
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "output/Document.h"
#include "platform/Platform.h"

namespace {

std::string EscapeModel(const std::string &text, size_t capacity, bool &cut) {
    std::string out;
    cut = false;
    for (unsigned char c : text) {
        std::string piece;
        if (c == '&') piece = "&amp;";
        else if (c == '<') piece = "&lt;";
        else if (c == '>') piece = "&gt;";
        else if (c >= 0x80) piece = "&#" + std::to_string(c) + ";";
        else if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') piece = "?";
        else piece = std::string(1, static_cast<char>(c));
        if (out.size() + piece.size() > capacity) {
            cut = true;
            break;
        }
        out += piece;
    }
    return out;
}

std::string KeyModel(std::string key) {
    for (char &c : key)
        if (std::string(" /\\[]*():-").find(c) != std::string::npos) c = '_';
    size_t dot = key.find('.');
    if (dot != std::string::npos) key[dot] = '_';
    return key;
}

// The texts of all elements of a name, unescaped, in order.
std::vector<std::string> Elements(const std::string &document, const std::string &name) {
    std::vector<std::string> texts;
    std::string open = "<" + name + ">";
    std::string close = "</" + name + ">";
    for (size_t at = document.find(open); at != std::string::npos; at = document.find(open, at + 1)) {
        size_t end = document.find(close, at);
        if (end == std::string::npos) break;
        texts.push_back(fuzz::XmlUnescape(document.substr(at + open.size(), end - at - open.size())));
    }
    return texts;
}

bool IsFront(const std::string &part, const std::string &whole, const std::string &clean) {
    // What the document holds of a text: its front, with control bytes as '?'.
    return part.size() <= whole.size() && clean.compare(0, part.size(), part) == 0;
}

std::string Clean(const std::string &text) {
    std::string clean = text;
    for (char &c : clean) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 && c != '\t' && c != '\n' && c != '\r') c = '?';
    }
    return clean;
}

void CheckFront(const std::string &part, const std::string &whole, const char *what) {
    fuzz::Check(IsFront(part, whole, Clean(whole)), std::string(what) + " is not the front of the text");
    // A short text is never cut.
    if (whole.size() <= 100) fuzz::Check(part == Clean(whole), std::string(what) + " was cut");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::CatchStandardOutput();
    fuzz::Input input(data, size);
    uint8_t flags = input.Byte();
    uint8_t selected = input.Byte();
    uint8_t order = input.Byte() % 4;
    size_t channelCount = input.Byte() % 8;
    std::string summary = input.Until('\0');
    std::string errorText = input.Until('\0');
    struct Channel {
        std::string name, value, unit;
    };
    std::vector<Channel> channels;
    for (size_t i = 0; i < channelCount; ++i) {
        Channel channel;
        channel.name = input.Until('\0');
        channel.value = input.Until('\0');
        channel.unit = input.Until('\0');
        channels.push_back(channel);
    }

    output::document = output::SensorDocument();
    DocumentSettings settings;
    int modeBits = flags & 3;
    settings.mode = modeBits == 1 ? OutputMode::Ostravel : modeBits == 2 ? OutputMode::Brennic : OutputMode::ExeXml;
    settings.channel.given = (flags & 4) != 0;
    settings.channel.number = selected % 10;
    settings.forPerson = (flags & 8) != 0;
    ConfigureDocument(settings);
    const bool xml = settings.mode == OutputMode::ExeXml;
    fuzz::TakeOutput();

    auto writeChannels = [&] {
        for (const Channel &channel : channels) {
            WriteChannel(channel.name.c_str(), channel.value.c_str(), channel.unit.c_str());
            FlushDocument();
        }
    };
    // A single system's start: the document with its summary text, out before the channels.
    auto writeSummaryFirst = [&] {
        BeginDocument();
        BeginText();
        AppendTextContent(summary.c_str());
        EndText();
        FlushDocument();
    };
    switch (order) {
    case 0: // a single system
        writeSummaryFirst();
        writeChannels();
        EndDocument();
        FlushDocument();
        break;
    case 1: // item mode: the start, the systems' channels, then the summary and the end
        BeginDocument();
        FlushDocument();
        WriteOut("\n");
        writeChannels();
        DiscardDocument();
        BeginText();
        AppendTextContent(summary.c_str());
        EndText();
        EndDocument();
        FlushDocument();
        WriteOut("\n");
        break;
    case 2: // an error before anything is out
        WriteRunEndingError(errorText.c_str());
        break;
    case 3: // channels are out, then the run ends with an error
        writeSummaryFirst();
        writeChannels();
        WriteRunEndingError(errorText.c_str());
        break;
    }
    std::string output = fuzz::TakeOutput();
    fuzz::Check(output::document.channelCount == static_cast<int32_t>(order == 2 ? 0 : channels.size()),
                "channel count");

    if (xml || order == 2) {
        std::string problem = fuzz::XmlProblem(output);
        fuzz::Check(problem.empty(), "not well-formed: " + problem + "\n" + output);
        std::vector<std::string> texts = Elements(output, "Text");
        if (order == 2) {
            fuzz::Check(texts.size() == 1, "one text in an error document");
            CheckFront(texts[0], errorText, "the error text");
            fuzz::Check(Elements(output, "Error") == std::vector<std::string>{"1"}, "error element");
        }
        if (xml && order != 2) {
            fuzz::Check(texts.size() == (order == 3 ? 2u : 1u), "text elements");
            CheckFront(texts[0], summary, "the summary");
            if (order == 3) CheckFront(texts[1], errorText, "the error text");
            std::vector<std::string> names = Elements(output, "Channel");
            std::vector<std::string> values = Elements(output, "Value");
            fuzz::Check(names.size() == channels.size() && values.size() == channels.size(), "channels");
            for (size_t i = 0; i < channels.size(); ++i) {
                CheckFront(names[i], channels[i].name, "a channel name");
                CheckFront(values[i], channels[i].value, "a value");
            }
        }
    }
    if (settings.mode == OutputMode::Ostravel && order != 2) {
        size_t messages = 0;
        for (const Channel &channel : channels) {
            if (messages == 10) break;
            ++messages;
            std::string key = KeyModel(channel.name.substr(0, 123));
            if (channel.name.size() + channel.value.size() + channel.unit.size() < 3000)
                fuzz::Check(output.find("\nStatistic." + key + ": ") != std::string::npos, "statistic line");
        }
    }

    // Escaping into small texts: whole entities only, exactly the model.
    std::string text = summary.substr(0, 64);
    FixedText<31> small;
    AppendXmlEscaped(small, text.c_str());
    bool smallCut = false;
    fuzz::Check(EscapeModel(text, 31, smallCut) == small.c_str() && small.truncated() == smallCut, "escaping into 31");
    FixedText<5> tiny;
    AppendXmlEscaped(tiny, text.c_str());
    bool tinyCut = false;
    fuzz::Check(EscapeModel(text, 5, tinyCut) == tiny.c_str() && tiny.truncated() == tinyCut, "escaping into 5");

    FixedText<123> key(summary.substr(0, 123).c_str());
    CleanChannelKey(key);
    fuzz::Check(KeyModel(summary.substr(0, 123)) == key.c_str(), "statistic key");
    return 0;
}
