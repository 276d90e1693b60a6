// Both listing readers ("Quorvane.Prf" of ITEM= and "SAP Quorvane.Gbl" of GLOBAL) with the sensor
// definition, over any bytes.
//
// Input: one byte (bit 0: which listing file; with bit 7, bits 1-6 tell how often the content is
// repeated, so that a listing or a line can outgrow its 65,535 characters), the option text up to a
// line feed, then the listing file's bytes. Properties: the outcome, the error text, the server
// listing, the count of entries left out, the item name, the channel-name choice and the replaced
// option text equal a model of the rules written here with std::string (lines taken whole at any
// length; an option text beyond 127 characters or a definition line beyond 65,535 refused); the
// entries taken one by one give the listing back.
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "driver/Listing.h"
#include "driver/Options.h"
#include "driver/Profile.h"

namespace {

// The reader's piece size: only where a zero byte ends a piece's text depends on it.
constexpr size_t kPiece = 255;

// A line as the reader takes it: its pieces (each cut at a zero byte), the line end removed from the
// last one.
struct Line {
    std::vector<std::string> pieces;
    std::string Whole() const {
        std::string whole;
        for (const std::string &piece : pieces)
            whole += piece;
        return whole;
    }
    // From a column of the first piece (counted from 1) on, with the pieces behind it.
    std::string From(size_t column) const {
        std::string text = pieces[0].size() >= column ? pieces[0].substr(column - 1) : std::string();
        for (size_t i = 1; i < pieces.size(); ++i)
            text += pieces[i];
        return text;
    }
};

std::vector<Line> TextLines(const std::string &content) {
    std::string text;
    for (size_t i = 0; i < content.size(); ++i)
        if (!(content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n')) text += content[i];
    std::vector<Line> lines;
    Line line;
    std::string piece;
    size_t count = 0;
    bool ended = false;
    for (char c : text) {
        ++count;
        if (c == '\0') ended = true;
        if (!ended) piece += c;
        if (c == '\n' || count == kPiece) {
            bool lineEnd = c == '\n';
            line.pieces.push_back(lineEnd ? fuzz::StripLineEnd(piece) : piece);
            if (lineEnd) {
                lines.push_back(line);
                line = Line();
            }
            piece.clear();
            count = 0;
            ended = false;
        }
    }
    if (count > 0) line.pieces.push_back(fuzz::StripLineEnd(piece));
    if (!line.pieces.empty()) lines.push_back(line);
    return lines;
}

std::string ItemNameBehind(const std::string &from) {
    std::string name;
    for (size_t i = 0; i < kItemNameCapacity && i < from.size() && from[i] != ' ' && from[i] != ','; ++i)
        name += from[i] == ':' ? ' ' : from[i];
    return name;
}

size_t Count(const std::string &text, char c) {
    size_t count = 0;
    for (char x : text)
        count += x == c;
    return count;
}

struct Model {
    bool prepared = true;
    std::string error;
    std::string joined; // every listing text, before the capacity is applied
    std::string itemName;
    char choice = '1';
    bool replaced = false;
    std::string optionText;
};

void ApplyChecks(Model &model) {
    if (!model.prepared) return;
    std::string listing = model.joined;
    if (listing.size() > kServerListingCapacity) {
        listing.resize(kServerListingCapacity);
        size_t hash = listing.rfind('#');
        listing.resize(hash == std::string::npos ? 0 : hash + 1);
    }
    if (listing.empty()) {
        model.prepared = false;
        model.error = "Error 1025: Global Server Listing missing...";
    } else if (model.itemName.empty()) {
        model.prepared = false;
        model.error = "Error 1026: Global Item Idenification missing...";
    }
}

std::string CutListing(const std::string &joined) {
    if (joined.size() <= kServerListingCapacity) return joined;
    std::string listing = joined.substr(0, kServerListingCapacity);
    size_t hash = listing.rfind('#');
    return listing.substr(0, hash == std::string::npos ? 0 : hash + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::Input input(data, size);
    uint8_t flags = input.Byte();
    bool global = (flags & 1) != 0;
    size_t repeat = (flags & 0x80) ? 1 + ((flags >> 1) & 0x3F) : 1;
    std::string optionLine = input.Until('\n');
    std::string once = input.Rest();
    std::string content;
    for (size_t i = 0; i < repeat; ++i)
        content += once;

    // The options as the command line gives them (a zero byte ends an argument).
    optionLine = optionLine.substr(0, std::strlen(optionLine.c_str()));
    OptionText text;
    JoinOptionText(text, optionLine.c_str(), nullptr);
    Options options;
    ParseOptions(text.upper, text.asGiven, options);
    std::string argument2 = optionLine;

    ProfileLocation location;
    ResolveProfileName(global ? "GLOBAL" : "Quorvane.Prf", location);
    fuzz::Check(location.name.Equals(global ? "SAP Quorvane.Gbl" : "Quorvane.Prf"), "listing file name");
    fuzz::WriteFile(location.name.c_str(), content);

    FILE *file = nullptr;
    static ItemListing listing; // 64 KiB: not on the stack
    FixedText<255> error;
    bool prepared = PrepareListing(file, location, options, argument2.c_str(), listing, error);

    Model model;
    std::vector<Line> lines = TextLines(fuzz::AsRead(content));
    if (!global) {
        model.itemName = options.itemName.c_str();
        for (const Line &line : lines) {
            if (line.pieces[0].rfind("# Gsng: ", 0) == 0) model.joined += line.From(21);
        }
    } else {
        std::string sensor = options.sensorName.c_str();
        fuzz::Check(sensor.size() == kSensorNameLength, "sensor name padded to ten characters");
        std::string listingKey = "# GSNG: " + sensor;
        std::string definitionKey = "# GSNX: " + sensor;
        bool found = false;
        std::string definition;
        for (const Line &lineRead : lines) {
            std::string upper = fuzz::Upper(lineRead.pieces[0]);
            if (upper.compare(0, 18, listingKey) == 0) model.joined += lineRead.From(21);
            if (upper.compare(0, 18, definitionKey) == 0 && !found) {
                std::string line = lineRead.Whole();
                if (line.size() > kListingLineCapacity) {
                    model.prepared = false;
                    model.error = "Error 1041: Sensor definition of global sensor " + argument2 + " longer than " +
                                  std::to_string(kListingLineCapacity) + " characters !";
                    break;
                }
                definition = line.size() >= 20 ? line.substr(19) : std::string();
                if (definition.find("Sensor=\"SAP Marrowind\"") == std::string::npos) {
                    model.prepared = false;
                    model.error = "Error 1029: Invalid Sensor-Allocation...";
                    break;
                }
                std::string optionText = definition;
                size_t sensorAt = optionText.find(",Sensor=");
                if (sensorAt != std::string::npos) optionText.resize(sensorAt);
                if (optionText.size() > kOptionTextCapacity) {
                    model.prepared = false;
                    model.error = "Error 1040: Option text of global sensor " + argument2 + " longer than " +
                                  std::to_string(kOptionTextCapacity) + " characters !";
                    break;
                }
                found = true;
                model.replaced = true;
                for (char &c : optionText)
                    if (c == ':') c = ' ';
                model.optionText = optionText;
                if (line.find(",Profile") != std::string::npos) model.choice = '1';
                if (line.find(",Alias") != std::string::npos) model.choice = '2';
                if (line.find(",Host") != std::string::npos) model.choice = '3';
                if (line.find(",Sid") != std::string::npos) model.choice = '4';
                size_t item = definition.find("Item=");
                if (item != std::string::npos) model.itemName = ItemNameBehind(definition.substr(item + 5));
            }
        }
        if (model.prepared && !found) {
            model.prepared = false;
            model.error = "Error 1030: Global Sensor " + argument2 + " not found...";
        }
        model.error = model.error.substr(0, 255);
    }
    ApplyChecks(model);

    fuzz::Check(prepared == model.prepared, "prepared or not");
    if (!prepared) {
        fuzz::Check(model.error == error.c_str(), "error text: " + model.error + " / " + error.c_str());
        return 0;
    }
    std::string expected = CutListing(model.joined);
    fuzz::Check(expected == listing.serverListing.c_str(), "server listing");
    fuzz::Check(listing.fill.full == (model.joined.size() > kServerListingCapacity), "listing full");
    fuzz::Check(listing.fill.entriesLeftOut == Count(model.joined, '#') - Count(expected, '#'),
                "entries left out");
    fuzz::Check(model.itemName == listing.itemName.c_str(), "item name");
    fuzz::Check(model.choice == listing.channelNameChoice, "channel-name choice");
    fuzz::Check(model.replaced == listing.optionsReplaced, "options replaced");
    if (model.replaced) fuzz::Check(model.optionText == listing.optionTextAsGiven.c_str(), "sensor option text");

    // The entries one by one give the listing back, each ended by "#".
    std::string rebuilt;
    static FixedText<kServerListingCapacity> entry;
    size_t next = 0;
    size_t entries = 0;
    while (TakeListingEntry(listing.serverListing, next, entry)) {
        fuzz::Check(std::strchr(entry.c_str(), '#') == nullptr, "an entry holds '#'");
        rebuilt += std::string(entry.c_str()) + "#";
        fuzz::Check(++entries <= expected.size(), "more entries than characters");
    }
    std::string terminated = expected.back() == '#' ? expected : expected + "#";
    fuzz::Check(rebuilt == terminated, "entries rebuild the listing");
    return 0;
}
