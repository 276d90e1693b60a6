#include "driver/Listing.h"

#include <cstring>

#include "output/Errors.h"
#include "platform/Platform.h"
#include "platform/Trust.h"

namespace {

// Listing lines are read in pieces of this size; the pieces of one line are taken together, so a
// line of any length lists every entry it holds. The first piece holds the columns that tell what
// the line is.
constexpr size_t kListingPiece = 255;

// The line from a column on (counted from 1); empty when the line is shorter.
const char *ColumnText(const TextBase &line, size_t column) {
    return line.size() >= column ? line.c_str() + column - 1 : "";
}

// One piece of a listing line: its text (line end removed) and where it stands in its line.
struct ListingPiece {
    FixedText<kListingPiece> text;
    bool lineStart = true; // the first piece of its line
    bool lineEnded = true; // the last piece of its line
};

// The next piece of the listing file; false at its end or on a read error (`read` tells which).
bool NextListingPiece(FILE *file, ReadBudget &budget, ListingPiece &piece, LineRead &read) {
    piece.lineStart = piece.lineEnded;
    read = ReadTextLine(file, piece.text, kListingPiece, budget, piece.lineEnded);
    if (read != LineRead::Line) return false;
    if (piece.lineEnded) piece.text.StripLineEnd();
    return true;
}

// "Quorvane.Prf": every line that begins with "# Gsng: " adds its text from column 21.
bool ReadItemListing(const ProfileLocation &location, ItemListing &listing, TextBase &error) {
    FILE *file = OpenFile(location.path, "rb");
    if (file == nullptr) {
        FormatError(error, ErrorId::ListingMissing, location.name.c_str());
        return false;
    }
    ListingPiece piece;
    ReadBudget budget;
    LineRead read;
    bool listingLine = false;
    while (NextListingPiece(file, budget, piece, read)) {
        if (piece.lineStart) listingLine = piece.text.StartsWith("# Gsng: ");
        if (listingLine) {
            const char *text = piece.lineStart ? ColumnText(piece.text, 21) : piece.text.c_str();
            AppendToListing(listing.serverListing, text, listing.fill);
        }
    }
    CloseFile(file);
    // A listing cut short by a read error is no shorter listing: its systems would go unwatched.
    if (read == LineRead::Failed) {
        UnreadableProfileText(error, location.name.c_str());
        return false;
    }
    return true;
}

// A sensor definition that sets ",HOST=" or ",NO=" decides where the listed profiles' user and
// password are sent: its listing counts only when no other account could have written it or put
// it where it lies. Otherwise it is left as if absent, and a person at the console learns why.
bool ConnectionTargetTrusted(const ProfileLocation &location, const Options &commandOptions,
                             const TextBase &definitionOptions) {
    FixedText<kOptionTextCapacity> upper;
    upper.Assign(definitionOptions);
    upper.ToUpper();
    if (!upper.Contains(",HOST=") && !upper.Contains(",NO=")) return true;
    TrustFault fault = CheckTrustedFile(location.path.c_str());
    if (fault == TrustFault::None) return true;
    if (commandOptions.verbose)
        WriteOutFormat("* %s (skipped: %s; its sensor definition sets ,HOST= or ,NO=)\n", location.path.c_str(),
                       TrustFaultText(fault));
    return false;
}

// Whether the first 18 characters of a line, upper-cased, equal the key.
bool KeyMatches(const TextBase &line, const TextBase &key) {
    for (size_t i = 0; i < 18; ++i) {
        if (UpperAscii(line[i]) != key[i]) return false;
    }
    return true;
}

// A global sensor's whole definition line taken into the listing. Returns false with Error 1041,
// 1029 or 1040.
bool TakeSensorDefinition(const TextBase &definitionLine, const char *argument2, ItemListing &listing,
                          TextBase &error) {
    if (definitionLine.truncated()) {
        FixedText<15> limit;
        limit.Format("%zu", kListingLineCapacity);
        FormatError(error, ErrorId::DefinitionTooLong, argument2, limit.c_str());
        return false;
    }
    static FixedText<kListingLineCapacity> definition; // 64 KiB: not on the stack
    definition.Assign(ColumnText(definitionLine, 20));
    SensorDefinition parsed;
    ParseSensorDefinition(definitionLine, definition, parsed);
    if (!parsed.forThisProgram) {
        FormatError(error, ErrorId::InvalidAllocation);
        return false;
    }
    if (parsed.optionTextTooLong) {
        OptionTextTooLongText(error, argument2);
        return false;
    }
    listing.optionsReplaced = true;
    listing.optionTextAsGiven.Assign(parsed.optionText);
    listing.channelNameChoice = parsed.channelNameChoice;
    listing.itemName.Assign(parsed.itemName);
    return true;
}

// "SAP Quorvane.Gbl": the "# GSNG: " and "# GSNX: " lines of the sensor named by the first word.
bool ReadGlobalListing(const ProfileLocation &location, const Options &commandOptions, const char *argument2,
                       ItemListing &listing, TextBase &error) {
    FixedText<18> listingKey;
    FixedText<18> definitionKey;
    listingKey.Assign("# GSNG: ").Append(commandOptions.sensorName);
    definitionKey.Assign("# GSNX: ").Append(commandOptions.sensorName);

    FILE *file = OpenFile(location.path, "rb");
    if (file == nullptr) {
        FormatError(error, ErrorId::GlobalListingMissing, location.name.c_str());
        return false;
    }
    // The sensor definition's line is taken whole (64 KiB: not on the stack).
    static FixedText<kListingLineCapacity> definitionLine;
    definitionLine.Clear();
    enum class LineKind { Other, Listing, Definition } kind = LineKind::Other;
    bool definitionFound = false;
    ListingPiece piece;
    ReadBudget budget;
    LineRead read;
    while (NextListingPiece(file, budget, piece, read)) {
        if (piece.lineStart) {
            kind = LineKind::Other;
            if (KeyMatches(piece.text, listingKey)) kind = LineKind::Listing;
            if (KeyMatches(piece.text, definitionKey) && !definitionFound) kind = LineKind::Definition;
        }
        if (kind == LineKind::Listing) {
            const char *text = piece.lineStart ? ColumnText(piece.text, 21) : piece.text.c_str();
            AppendToListing(listing.serverListing, text, listing.fill);
        }
        if (kind != LineKind::Definition) continue;
        definitionLine.Append(piece.text);
        if (!piece.lineEnded) continue;
        // Only the first definition counts; later ones of the same sensor are ignored.
        definitionFound = true;
        kind = LineKind::Other;
        if (!TakeSensorDefinition(definitionLine, argument2, listing, error)) {
            CloseFile(file);
            return false;
        }
    }
    // A last piece that filled its room exactly ends the file's last line as well.
    if (kind == LineKind::Definition && read == LineRead::End) {
        definitionFound = true;
        if (!TakeSensorDefinition(definitionLine, argument2, listing, error)) {
            CloseFile(file);
            return false;
        }
    }
    CloseFile(file);
    if (read == LineRead::Failed) {
        UnreadableProfileText(error, location.name.c_str());
        return false;
    }

    if (definitionFound && !ConnectionTargetTrusted(location, commandOptions, listing.optionTextAsGiven)) {
        error.Format("Error 10x1: ProFile %s is missing...", location.name.c_str());
        return false;
    }
    if (!definitionFound) {
        FormatError(error, ErrorId::GlobalSensorNotFound, argument2);
        return false;
    }
    return true;
}

} // namespace

namespace {

uint32_t CountEntries(const char *text) {
    uint32_t count = 0;
    for (; *text != '\0'; ++text)
        if (*text == '#') ++count;
    return count;
}

} // namespace

void AppendToListing(TextBase &listing, const char *text, ListingFill &fill) {
    if (fill.full) {
        fill.entriesLeftOut += CountEntries(text);
        return;
    }
    size_t before = listing.size();
    listing.Append(text);
    if (!listing.truncated()) return;
    fill.full = true;
    size_t keep = 0;
    for (size_t i = 0; i < listing.size(); ++i) {
        if (listing[i] == '#') keep = i + 1;
    }
    listing.Cut(keep);
    // The entries of this text that were cut away; the first may have been kept in part only.
    fill.entriesLeftOut += CountEntries(text) - CountEntries(listing.c_str() + (keep > before ? before : keep));
}

bool TakeListingEntry(const TextBase &listing, size_t &next, TextBase &entry) {
    entry.Clear();
    if (next >= listing.size()) return false;
    size_t end = listing.Find("#", next);
    if (end == TextBase::npos) end = listing.size(); // the last entry lacks its "#": taken all the same
    entry.AssignPart(listing.c_str() + next, end - next);
    next = end + 1;
    return true;
}

bool PrepareListing(FILE *&listingFile, const ProfileLocation &location, const Options &commandOptions,
                    const char *argument2, ItemListing &listing, TextBase &error) {
    CloseFile(listingFile);
    listing = ItemListing();
    bool read = false;
    if (location.name.Equals("Quorvane.Prf")) {
        listing.itemName.Assign(commandOptions.itemName);
        read = ReadItemListing(location, listing, error);
    } else {
        read = ReadGlobalListing(location, commandOptions, argument2, listing, error);
    }
    if (!read) return false;
    if (listing.serverListing.empty()) {
        FormatError(error, ErrorId::ServerListingMissing);
        return false;
    }
    if (listing.itemName.empty()) {
        FormatError(error, ErrorId::ItemMissing);
        return false;
    }
    return true;
}
