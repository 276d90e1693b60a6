// Random inputs built from the tokens these files and texts are made of (keys, separators, markers,
// long lines, CR LF), so that they reach every branch of the readers. Each reader is checked
// against a small model of its rules written here with std::string; any difference fails.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "TempDirectory.h"
#include "driver/Listing.h"
#include "driver/Options.h"
#include "driver/Password.h"
#include "driver/Profile.h"
#include "platform/Platform.h"
#include "rfc/Rfc.h"

namespace {

using Random = std::mt19937;

size_t Pick(Random &random, size_t count) { return random() % count; }

std::string Word(Random &random, size_t maxLength) {
    static const char letters[] = "abcXYZ019._-/ ";
    std::string word;
    for (size_t n = Pick(random, maxLength + 1); n > 0; --n)
        word += letters[Pick(random, sizeof letters - 1)];
    return word;
}

// The pieces a text-line reader hands out for a buffer of maxChars: CR LF read as LF, a longer
// line continued as the next piece, then one trailing CR and one trailing LF removed.
std::vector<std::string> Pieces(const std::string &content, size_t maxChars) {
    std::string text;
    for (size_t i = 0; i < content.size(); ++i)
        if (!(content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n')) text += content[i];
    std::vector<std::string> pieces;
    std::string piece;
    for (char c : text) {
        piece += c;
        if (c == '\n' || piece.size() == maxChars) {
            pieces.push_back(piece);
            piece.clear();
        }
    }
    if (!piece.empty()) pieces.push_back(piece);
    for (std::string &p : pieces) {
        if (!p.empty() && p.back() == '\r') p.pop_back();
        if (!p.empty() && p.back() == '\n') p.pop_back();
    }
    return pieces;
}

uint32_t NextRandom(void *context) { return static_cast<uint32_t>((*static_cast<Random *>(context))()); }

TEST(Robustness, ProfilesFromKeysSeparatorsAndLongLines) {
    TempDirectory dir;
    Random random(20261208);
    FixedText<24> stored;
    ASSERT_TRUE(ScramblePassword("secret", stored, NextRandom, &random));
    for (int round = 0; round < 400; ++round) {
        const size_t maxLine = round % 2 ? kProfileLineSingleRun : kProfileLineSystemLoop;
        std::string content;
        for (size_t lines = Pick(random, 30); lines > 0; --lines) {
            std::string line;
            switch (Pick(random, 6)) {
            case 0: line = "Password...: " + std::string(stored.c_str()); break;
            case 1: line = "* comment " + Word(random, 20); break;
            case 2: line = Word(random, 250); break; // long lines run on as further lines
            default: {
                size_t key = 1 + Pick(random, 10);
                if (key == 4) key = 5; // passwords above, other values here
                char separator = " :\t"[Pick(random, 3)];
                line = std::string(kProfileKeys[key].key) + separator + Word(random, 80);
            }
            }
            content += line + (random() % 2 ? "\r\n" : "\n");
        }
        dir.Write("profile", content);

        // The model: the later line of a key wins; the value is characters 14 to 73.
        std::string expected[11];
        for (const std::string &piece : Pieces(content, maxLine)) {
            for (size_t key = 0; key < 11; ++key) {
                if (piece.compare(0, 12, kProfileKeys[key].key) != 0 || piece.size() < 12) continue;
                std::string value = piece.size() >= 14 ? piece.substr(13, 60) : "";
                if (key == 3)
                    for (char &c : value) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
                if (key == 4) value = value.empty() ? "" : "secret";
                expected[key] = value;
            }
        }

        FILE *file = OpenFile("profile", "rb");
        ASSERT_NE(file, nullptr);
        ConnectionFields fields;
        ASSERT_EQ(ReadProfile(file, fields, maxLine, maxLine == kProfileLineSingleRun), ProfileFault::None);
        CloseFile(file);
        for (size_t key = 0; key < 11; ++key) {
            const TextBase &field = ProfileField(fields, key);
            std::string cut = expected[key].substr(0, field.capacity());
            ASSERT_EQ(std::string(field.c_str()), cut) << kProfileKeys[key].key << " round " << round;
            ASSERT_EQ(field.truncated(), cut.size() < expected[key].size()) << kProfileKeys[key].key;
        }
    }
}

TEST(Robustness, ItemListingsFromListingLines) {
    TempDirectory dir;
    Random random(11);
    for (int round = 0; round < 200; ++round) {
        std::string content;
        std::string joined;
        for (size_t lines = Pick(random, 60); lines > 0; --lines) {
            std::string text;
            for (size_t names = Pick(random, 12); names > 0; --names)
                text += Word(random, 9) + "#";
            bool listed = random() % 3 != 0;
            std::string head = listed ? "# Gsng: " : (random() % 2 ? "# GSNG: " : "# Gsng:");
            std::string line = head + Word(random, 10);
            line.resize(20, ' ');
            content += line + text + "\n";
            std::string first = Pieces(line + text, 199)[0];
            if (first.rfind("# Gsng: ", 0) == 0) joined += first.substr(20);
        }
        dir.Write("Quorvane.Prf", content);

        // The model: the texts joined; a listing that does not fit ends at its last whole entry.
        if (joined.size() > kServerListingCapacity) {
            joined.resize(kServerListingCapacity);
            joined.resize(joined.rfind('#') == std::string::npos ? 0 : joined.rfind('#') + 1);
        }
        ProfileLocation location;
        ResolveProfileName("Quorvane.Prf", location);
        Options options;
        options.itemName.Assign("PSAPSR3");
        ItemListing listing;
        FixedText<255> error;
        FILE *file = nullptr;
        bool prepared = PrepareListing(file, location, options, "", listing, error);
        ASSERT_EQ(prepared, !joined.empty()) << error.c_str();
        if (!prepared) {
            EXPECT_STREQ(error.c_str(), "Error 1025: Global Server Listing missing...");
            continue;
        }
        ASSERT_EQ(std::string(listing.serverListing.c_str()), joined);
        FixedText<kServerListingCapacity> entry;
        size_t from = 0;
        while (TakeListingEntry(listing.serverListing, listing.next, entry)) {
            size_t end = joined.find('#', from);
            ASSERT_EQ(std::string(entry.c_str()), joined.substr(from, end - from));
            from = end + 1;
        }
    }
}

TEST(Robustness, TraceFilesFromErrorBlocks) {
    TempDirectory dir;
    Random random(13);
    for (int round = 0; round < 300; ++round) {
        std::string content;
        std::string kept;
        for (size_t lines = Pick(random, 25); lines > 0; --lines) {
            std::string line;
            std::string text = Word(random, 140);
            switch (Pick(random, 5)) {
            case 0: line = "**** ERROR file opened at " + Word(random, 10); break;
            case 1: line = "ERROR       " + text; break;
            case 2: line = "ERROR " + Word(random, 8); break;
            case 3: line = Word(random, 7) + "======> " + text; break;
            default: line = Word(random, 120); break;
            }
            content += line + (random() % 2 ? "\r\n" : "\n");
        }
        for (const std::string &piece : Pieces(content, 99)) {
            if (piece.rfind("**** ERROR ", 0) == 0) kept.clear();
            if (piece.rfind("ERROR ", 0) == 0) kept = piece.size() > 12 ? piece.substr(12) : "";
            if (piece.size() >= 15 && piece.compare(7, 8, "======> ") == 0) kept = piece.substr(15);
        }
        dir.Write("Dev_Rfc.Trc", content);
        if (content.empty()) continue; // nothing written: not this run's trace
        FixedText<255> notice;
        TraceText text;
        FILE *file = OpenFile("Dev_Rfc.Trc", "rb");
        ReadTraceFrom(file, text);
        CloseFile(file);
        text.Append(notice);
        ASSERT_EQ(std::string(notice.c_str()), kept.empty() ? " - Please Check Trace-File !" : " - " + kept)
            << content;
    }
}

TEST(Robustness, OptionTextsFromKeywords) {
    Random random(17);
    const char *keywords[] = {"megabyte", "GIGABYTE", ",syslog", ",Host=sapdev", ",no=05", "ch=12",
                              "mode=brennic", "MODE=OSTRAVEL", "#", "@", "item=psapsr3", "x"};
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        bool used[12] = {};
        for (size_t n = Pick(random, 5); n > 0; --n) {
            size_t k = Pick(random, 12);
            used[k] = true;
            text += keywords[k];
            if (random() % 2) text += random() % 2 ? "," : " ";
        }
        OptionText option;
        JoinOptionText(option, text.c_str(), nullptr);
        Options parsed;
        ParseOptions(option.upper, option.asGiven, parsed);
        std::string message = "options \"" + text + "\"";
        EXPECT_EQ(parsed.sizeUnit, used[1]   ? SizeUnit::Gigabyte
                                   : used[0] ? SizeUnit::Megabyte
                                             : SizeUnit::Percent)
            << message;
        EXPECT_EQ(parsed.eventLog, used[2]) << message;
        EXPECT_EQ(parsed.overrides.host, used[3]) << message;
        if (used[3]) {
            EXPECT_TRUE(parsed.overrides.hostname.StartsWith("sapdev")) << message;
        }
        EXPECT_EQ(parsed.overrides.sysnr, used[4]) << message;
        EXPECT_EQ(parsed.document.channel.given, used[5]) << message;
        OutputMode mode = used[7] ? OutputMode::Ostravel : used[6] ? OutputMode::Brennic : OutputMode::ExeXml;
        EXPECT_EQ(parsed.document.mode, mode) << message;
        EXPECT_EQ(parsed.verbose, used[8] || used[9]) << message;
        EXPECT_EQ(parsed.directorySearch, !used[9]) << message;
        EXPECT_EQ(parsed.itemMode, used[10]) << message;
        if (used[10]) {
            EXPECT_TRUE(parsed.itemName.StartsWith("psapsr3")) << message;
        }
        EXPECT_EQ(parsed.sensorName.size(), kSensorNameLength) << message;
    }
}

} // namespace
