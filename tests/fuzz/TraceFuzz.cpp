// The trace reader, over any bytes of "Dev_Rfc.Trc" and any mark of where this run's part begins.
//
// Input: two bytes for the mark (where the RFC step began appending; 0xFFFF: the step appended
// nothing), one byte choosing the message's capacity, then the trace file's bytes. Properties: the
// notice appended equals a model of the reading rules written here with std::string, and a message
// of small capacity holds exactly the front of it.
#include <string>

#include "FuzzSupport.h"
#include "output/Document.h"
#include "rfc/Rfc.h"

namespace {

std::string ExpectedNotice(const std::string &content, int64_t mark) {
    if (mark < 0 || static_cast<int64_t>(content.size()) <= mark) return " - Look for Trace-File";
    // At most the last 64 KiB of this run's part are read.
    size_t start = static_cast<size_t>(mark);
    if (content.size() - start > 65536) start = content.size() - 65536;
    std::string kept;
    for (const std::string &line : fuzz::TextLinePieces(content.substr(start), 99)) {
        if (line.rfind("**** ERROR ", 0) == 0) kept.clear();
        if (line.rfind("ERROR ", 0) == 0) kept = line.size() > 12 ? line.substr(12) : "";
        if (line.size() >= 15 && line.compare(7, 8, "======> ") == 0) kept = line.substr(15);
        if (!kept.empty()) kept = fuzz::StripLineEnd(kept);
    }
    return kept.empty() ? " - Please Check Trace-File !" : " - " + kept;
}

} // namespace

bool StartsWithMark(const std::string &text) {
    return text.rfind("\xFF\xFE", 0) == 0 || text.rfind("\xFE\xFF", 0) == 0 || text.rfind("\xEF\xBB\xBF", 0) == 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::Input input(data, size);
    uint16_t markWord = input.Word();
    uint8_t capacityChoice = input.Byte();
    std::string content = input.Rest();
    // The part before the mark lies there before the RFC step; the step appends the rest.
    size_t mark = markWord == 0xFFFF ? content.size() : markWord % (content.size() + 1);
    // A file that begins with a byte-order mark is read in its encoding; the library's trace never does.
    if (mark == 0 && StartsWithMark(content)) return 0;
    fuzz::WriteFile("Dev_Rfc.Trc", content.substr(0, mark));
    BeginSystemTrace();
    {
        RfcStep step("RfcOpen");
        fuzz::AppendFile("Dev_Rfc.Trc", content.substr(mark));
    }

    const std::string prefix = "Error 1014: RFC-Failure raised !";
    std::string expected = prefix + ExpectedNotice(content, static_cast<int64_t>(mark));
    if (capacityChoice & 1) {
        FixedText<kDocumentCapacity> message(prefix.c_str());
        AppendTraceNotice(message);
        fuzz::Check(expected == message.c_str(), "notice: " + expected + " / " + message.c_str());
    } else {
        FixedText<127> message(prefix.c_str());
        AppendTraceNotice(message);
        fuzz::Check(expected.substr(0, 127) == message.c_str(), "cut notice");
        fuzz::Check(message.truncated() == (expected.size() > 127), "cut notice marked");
    }

    // A step that appends nothing quotes nothing.
    BeginSystemTrace();
    { RfcStep step("RfcCall"); }
    FixedText<127> nothing;
    AppendTraceNotice(nothing);
    fuzz::Check(nothing.Equals(" - Look for Trace-File"), "nothing new in the trace file");
    return 0;
}
