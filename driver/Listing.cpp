#include "driver/Listing.h"

#include <cstring>

#include "driver/Run.h"
#include "driver/RunState.h"
#include "platform/Platform.h"

namespace {

constexpr size_t kListingLine = 199;
constexpr size_t kSensorNameLength = 10;

// The line from a column on (counted from 1); empty when the line is shorter.
const char *ColumnText(const TextBase &line, size_t column) {
    return line.size() >= column ? line.c_str() + column - 1 : "";
}

// "Quorvane.Prf": every line that begins with "# Gsng: " adds its text from column 21.
void ReadItemListing() {
    FILE *file = OpenFile(run.profilePath, "rb");
    if (file == nullptr) {
        FixedText<127> message;
        message.Format("Error 1024: ProFile %s is missing...", run.profileName.c_str());
        RaiseError(message.c_str());
    }
    bool full = false;
    FixedText<kListingLine> line;
    while (ReadTextLine(file, line, kListingLine)) {
        line.StripLineEnd();
        if (line.StartsWith("# Gsng: ")) AppendToListing(run.serverListing, ColumnText(line, 21), full);
    }
    CloseFile(file);
}

// "SAP Quorvane.Gbl": the "# GSNG: " and "# GSNX: " lines of the sensor named by the first word.
void ReadGlobalListing(const char *argument2) {
    FixedText<kSensorNameLength> sensorName;
    for (size_t i = 0; i < run.optionText.size() && run.optionText[i] != ' '; ++i) {
        sensorName.AppendChar(run.optionText[i]);
    }
    sensorName.AppendRepeated(' ', kSensorNameLength - sensorName.size());
    FixedText<18> listingKey;
    FixedText<18> definitionKey;
    listingKey.Assign("# GSNG: ").Append(sensorName.c_str());
    definitionKey.Assign("# GSNX: ").Append(sensorName.c_str());

    FILE *file = OpenFile(run.profilePath, "rb");
    if (file == nullptr) {
        FixedText<127> message;
        message.Format("Error 10x1: ProFile %s is missing...", run.profileName.c_str());
        RaiseError(message.c_str());
    }
    run.itemFound = false;
    bool full = false;
    FixedText<kListingLine> definition;
    FixedText<kListingLine> line;
    FixedText<kListingLine> upper;
    while (ReadTextLine(file, line, kListingLine)) {
        line.StripLineEnd();
        upper.Assign(line);
        upper.ToUpper();
        if (strncmp(upper.c_str(), listingKey.c_str(), 18) == 0) {
            AppendToListing(run.serverListing, ColumnText(line, 21), full);
        }
        if (strncmp(upper.c_str(), definitionKey.c_str(), 18) == 0 && !run.itemFound) {
            definition.Assign(ColumnText(line, 20));
            run.optionTextAsGiven.Assign(definition);
            if (!definition.Contains("Sensor=\"SAP Marrowind\"")) {
                CloseFile(file);
                RaiseError("Error 1029: Invalid Sensor-Allocation...");
            }
            run.optionTextAsGiven.CutAt(",Sensor=");
            run.optionTextAsGiven.Replace(':', ' ');
            if (line.Contains(",Profile")) run.channelNameChoice = '1';
            if (line.Contains(",Alias")) run.channelNameChoice = '2';
            if (line.Contains(",Host")) run.channelNameChoice = '3';
            if (line.Contains(",Sid")) run.channelNameChoice = '4';
            run.itemFound = true;
        }
    }
    CloseFile(file);

    run.itemName.Clear();
    size_t item = definition.Find("Item=");
    if (item != TextBase::npos) TakeItemName(run.itemName, definition.c_str() + item + 5);
    if (!run.itemFound) {
        FixedText<255> message;
        message.Format("Error 1030: Global Sensor %s not found...", argument2);
        RaiseError(message.c_str());
    }
}

} // namespace

void AppendToListing(TextBase &listing, const char *text, bool &full) {
    if (full) return;
    listing.Append(text);
    if (!listing.truncated()) return;
    full = true;
    size_t keep = 0;
    for (size_t i = 0; i < listing.size(); ++i) {
        if (listing[i] == '#') keep = i + 1;
    }
    listing.Cut(keep);
}

void TakeListingEntry(TextBase &listing, TextBase &entry) {
    size_t end = listing.Find("#");
    if (end == TextBase::npos) {
        // The last entry lacks its "#": it is taken all the same.
        entry.Assign(listing);
        listing.Clear();
        return;
    }
    entry.AssignPart(listing.c_str(), end);
    FixedText<2047> rest(listing.c_str() + end + 1);
    listing.Assign(rest);
}

void PrepareListing(FILE *&listingFile, const char *argument2) {
    CloseFile(listingFile);
    run.serverListing.Clear();
    run.channelNameChoice = '1';
    run.noSystems = run.processed = run.failed = 0;
    if (run.profileName.Equals("Quorvane.Prf")) {
        ReadItemListing();
    } else {
        ReadGlobalListing(argument2);
    }
    if (run.serverListing.empty()) RaiseError("Error 1025: Global Server Listing missing...");
    if (run.itemName.empty()) RaiseError("Error 1026: Global Item Idenification missing...");
}
