// The space evaluation over raw table rows: any bytes in any number of rows.
//
// The evaluation runs as in the program, against the stand-in library: the fuzz input becomes the
// raw "rows" of a landscape's system (each 112 bytes, the last one filled up with zeros), behind an
// optional bulk of identical tablespaces of extreme sizes (a few, or 9,232 rows of 15 digits,
// enough to outgrow a 64-bit sum), and the program opens the system and evaluates it.
//
// Input: one byte of flags (bits 0-1 the size unit, bit 2 item mode, bits 3-4 the output mode, bit
// 5 a CH= selection, bit 6 the bulk), one byte for the selected channel, two bytes for the bulk's
// size, one for its pattern, the item name up to a line feed, then the rows.
//
// Properties: in the XML mode the output is exactly the document a model of the rows gives (its
// summary numbers the sums of the rows, taken exactly and then held to 64 bits), and well-formed;
// in item mode exactly the item's channels; in the line modes at most ten channels (Ostravel) and
// nothing but the value with CH= (Brennic); no sanitizer report.
#include <cinttypes>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "StandIn.h"
#include "output/Document.h"
#include "rfc/Rfc.h"
#include "rfc/RfcBinding.h"
#include "space/Conversions.h"
#include "space/SpaceFigures.h"

namespace {

constexpr size_t kRow = 112;
constexpr size_t kMaxRawRows = 300;
constexpr int64_t kMaxKilobytes = 999999999999999;
constexpr uint16_t kGiantBulk = 9232;

struct ModelRow {
    std::string name;
    int64_t size = 0;
    int64_t free = 0;
    int32_t percent = 0;
};

int64_t Clamp(__int128 value) {
    if (value > INT64_MAX) return INT64_MAX;
    if (value < INT64_MIN) return INT64_MIN;
    return static_cast<int64_t>(value);
}

int64_t PackedModel(const uint8_t *field) {
    int64_t value = 0;
    for (size_t nibble = 0; nibble < 15; ++nibble) {
        uint8_t digit = nibble % 2 == 0 ? field[nibble / 2] >> 4 : field[nibble / 2] & 0x0F;
        if (digit > 9) break;
        value = value * 10 + digit;
    }
    return (field[7] & 0x0F) == 0x0D ? -value : value;
}

ModelRow RawRow(const uint8_t *row) {
    ModelRow model;
    size_t end = 0;
    while (end < 30 && row[end] != 0)
        ++end;
    model.name.assign(reinterpret_cast<const char *>(row), end);
    while (!model.name.empty() && model.name.back() == ' ')
        model.name.pop_back();
    model.size = PackedModel(row + 61);
    model.free = PackedModel(row + 69);
    uint32_t bits = static_cast<uint32_t>(row[80]) | static_cast<uint32_t>(row[81]) << 8 |
                    static_cast<uint32_t>(row[82]) << 16 | static_cast<uint32_t>(row[83]) << 24;
    model.percent = static_cast<int32_t>(bits);
    return model;
}

std::string Grouped(int64_t value) {
    FixedText<40> text;
    AppendGroupedFigure(text, value);
    return text.c_str();
}

std::string Escaped(const std::string &text) {
    FixedText<kDocumentCapacity> out;
    AppendXmlEscaped(out, text.c_str());
    return out.c_str();
}

std::string HexRow(const std::string &bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 0x0F];
    }
    return hex;
}

RFC_HANDLE OpenSystem() {
    static RFC_CONNOPT_SERVER server{};
    static RFC_OPTIONS options{};
    server.hostname = "fz";
    server.sysnr = 0;
    options.destination = "FZ";
    options.mode = RFC_MODE_SERVER;
    options.connopt = &server;
    options.client = "100";
    options.user = "MONITOR     ";
    options.password = "secret    ";
    options.language = "E";
    return rfcLibrary.RfcOpen(&options);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::BindStandIn();
    fuzz::WorkingDirectory();
    fuzz::CatchStandardOutput();
    fuzz::Input input(data, size);
    uint8_t flags = input.Byte();
    uint8_t selected = input.Byte();
    // The bulk: a few rows, or (for one value, in the corpus replay only) the 9,232 rows of extreme
    // sizes that outgrow 64 bits. Under libFuzzer such an input costs about 0.6 s and, once in the
    // corpus, is mutated again and again: the loop would slow to some ten executions a second.
    uint16_t bulkWord = (flags & 0x40) ? input.Word() : 0;
    size_t bulk = bulkWord == kGiantBulk && fuzz::ReplayRun() ? kGiantBulk : bulkWord % 64;
    uint8_t pattern = input.Byte();
    std::string itemName = input.Until('\n').substr(0, 40);
    itemName.resize(std::strlen(itemName.c_str()));
    std::string raw = input.Rest();

    const SizeUnit unit = (flags & 3) == 1 ? SizeUnit::Megabyte : (flags & 3) == 2 ? SizeUnit::Gigabyte
                          : (flags & 3) == 3 ? SizeUnit::Megabyte : SizeUnit::Percent;
    const bool itemMode = (flags & 4) != 0;
    const int modeBits = (flags >> 3) & 3;
    const OutputMode mode = modeBits == 1 ? OutputMode::Ostravel : modeBits == 2 ? OutputMode::Brennic : OutputMode::ExeXml;

    // The landscape: the bulk, then the raw rows.
    std::vector<ModelRow> rows;
    const int64_t bulkSize = (pattern & 1 ? -1 : 1) * (pattern & 8 ? kMaxKilobytes : kMaxKilobytes - pattern);
    const int64_t bulkFree = (pattern & 2 ? -1 : 1) * (pattern & 4 ? kMaxKilobytes : 0);
    std::string landscape = "{\"systems\":[{\"ashost\":\"fz\",\"sysnr\":0,\"tablespaces\":[";
    for (size_t i = 0; i < bulk; ++i) {
        landscape += i ? "," : "";
        landscape += "{\"name\":\"BULK\",\"size_kb\":" + std::to_string(bulkSize) +
                     ",\"free_kb\":" + std::to_string(bulkFree) + ",\"pct_used\":" + std::to_string(pattern) + "}";
        rows.push_back({"BULK", bulkSize, bulkFree, pattern});
    }
    landscape += "],\"rows\":[";
    for (size_t at = 0, n = 0; at < raw.size() && n < kMaxRawRows; at += kRow, ++n) {
        std::string row = raw.substr(at, kRow);
        landscape += n ? ",\"" : "\"";
        landscape += HexRow(row) + "\"";
        row.resize(kRow, '\0');
        rows.push_back(RawRow(reinterpret_cast<const uint8_t *>(row.data())));
    }
    landscape += "]}]}";
    fuzz::WriteFile("SapSim.json", landscape);

    output::document = output::SensorDocument();
    DocumentSettings settings;
    settings.mode = mode;
    settings.channel.given = (flags & 0x20) != 0;
    settings.channel.number = selected % 16;
    ConfigureDocument(settings);

    RFC_HANDLE handle = OpenSystem();
    fuzz::Check(handle != 0, "the landscape's system does not open");
    SpaceRequest request;
    request.destination = "FZ";
    request.unit = unit;
    request.itemMode = itemMode;
    request.itemName = itemName.c_str();
    request.itemChannelName = "SYSTEM.P00";
    SpaceReport result;
    fuzz::TakeOutput();
    EvaluateSpaceFigures(handle, request, result);
    if (!itemMode) WriteDocumentStart(result.summary.c_str());
    ChannelReport channel;
    while (NextSpaceChannel(result, channel)) {
        WriteChannel(channel);
        FlushDocument();
    }
    CloseSpaceReport(result);
    if (!itemMode) WriteDocumentEnd();
    fuzz::Check(result.libraryFailure == nullptr, "the library failed");
    rfcLibrary.RfcClose(handle);
    std::string output = fuzz::TakeOutput();
    fuzz::Check(result.outcome == RFC_OK, "the call failed");

    // The model of the document.
    __int128 totalSize = 0;
    __int128 totalFree = 0;
    for (const ModelRow &row : rows) {
        totalSize += row.size;
        totalFree += row.free;
    }
    int64_t shownSize = Clamp(totalSize);
    int64_t shownFree = Clamp(totalFree);
    int64_t hundredth = shownSize / 100;
    int64_t usage = hundredth == 0 ? 0 : Clamp(__int128(100) - __int128(shownFree) / hundredth);
    std::string summary = "(FZ) OraSizes: NoSpc=" + Grouped(static_cast<int64_t>(rows.size())) +
                          ", DataSz=" + Grouped(shownSize / 1000) + " MB, UsedSz=" +
                          Grouped(Clamp(totalSize - totalFree) / 1000) + " MB, Usage=" + Grouped(usage) + "% ";
    fuzz::Check(usage == UsagePercent(shownSize, shownFree), "usage of the totals");

    std::string channels;
    bool found = false;
    std::string upperItem = fuzz::Upper(itemName);
    size_t written = 0;
    std::vector<std::string> values;
    for (const ModelRow &row : rows) {
        std::string value = std::to_string(row.percent);
        std::string unitText = itemMode ? "%" : "PerCent";
        int64_t used = row.size - row.free;
        if (unit == SizeUnit::Megabyte) {
            value = std::to_string(used / 1000);
            unitText = "MByte";
        }
        if (unit == SizeUnit::Gigabyte) {
            value = std::to_string(used / 1000000);
            unitText = "GByte";
        }
        std::string name = row.name;
        if (itemMode) {
            if (fuzz::Upper(name) != upperItem) continue;
            found = true;
            name = "SYSTEM.P00";
        }
        ++written;
        values.push_back(value);
        channels += "\n<Result><Channel>" + Escaped(name) + "</Channel>\n<Unit>Custom</Unit>\n<CustomUnit>" +
                    unitText + "</CustomUnit>\n<Value>" + value + "</Value></Result>\n";
    }
    fuzz::Check(result.itemFound == (itemMode && found), "item found");

    if (mode == OutputMode::ExeXml) {
        std::string expected =
            itemMode ? channels : "\n<Prtg>\n\n<Text>" + Escaped(summary) + "</Text>\n" + channels + "\n</Prtg>\n";
        fuzz::Check(expected == output, "the document differs from the model's:\n" + expected + "\n---\n" + output);
        std::string problem = fuzz::XmlProblem(itemMode ? "<Prtg>" + output + "</Prtg>" : output);
        fuzz::Check(problem.empty(), "not well-formed: " + problem);
    } else if (mode == OutputMode::Brennic && settings.channel.given) {
        int64_t number = settings.channel.number;
        std::string value = number >= 1 && static_cast<size_t>(number) <= values.size() ? values[number - 1] : "";
        fuzz::Check(output == value + (itemMode ? "" : "\n"), "Brennic with CH= wrote more than the value");
    }
    fuzz::Check(output::document.channelCount == static_cast<int32_t>(written), "channel count");
    return 0;
}
