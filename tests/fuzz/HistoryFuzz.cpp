// The history reader of FORECAST over any bytes, and the forecast over what it read.
//
// Input: two bytes, the hour offset of the run's time from the last sample; then the history
// file's bytes. Properties: a file read whole holds its entries in hour order with names that can
// be kept; written back and read again it gives the same entries, and that text reads back to
// itself; a file that is not read leaves the store empty. The forecast over the file in the working
// directory never fails: its value lies between 0 and 3650, and the file it leaves is read whole.
#include <string>

#include "FuzzSupport.h"
#include "platform/FixedText.h"
#include "platform/Platform.h"
#include "space/Forecast.h"
#include "space/History.h"

namespace {

HistoryStore &Store(int which) {
    static HistoryStore stores[2];
    return stores[which];
}

std::string Written(const HistoryStore &store, const TextBase &systemLine) {
    char *text = nullptr;
    size_t size = 0;
    FILE *file = open_memstream(&text, &size);
    if (file == nullptr) fuzz::Fail("open_memstream");
    if (!WriteHistory(file, systemLine, store)) fuzz::Fail("writing a history to memory failed");
    fclose(file);
    std::string written(text, size);
    free(text);
    return written;
}

HistoryState Read(const std::string &content, const TextBase &systemLine, HistoryStore &store) {
    FILE *file = content.empty() ? fopen("/dev/null", "rb")
                                 : fmemopen(const_cast<char *>(content.data()), content.size(), "rb");
    if (file == nullptr) fuzz::Fail("no stream over the input");
    HistoryState state = ReadHistory(file, systemLine, store);
    CloseFile(file);
    return state;
}

void CheckStore(const HistoryStore &store) {
    fuzz::Check(store.entryCount <= kHistoryEntryCapacity && store.nameCount <= kHistoryTablespaceCapacity,
                "store beyond its capacity");
    for (uint32_t i = 0; i < store.entryCount; ++i) {
        fuzz::Check(store.entries[i].tablespace < store.nameCount, "entry of an unknown name");
        fuzz::Check(i == 0 || store.entries[i - 1].hour <= store.entries[i].hour,
                    "entries out of hour order");
        fuzz::Check(StorableTablespaceName(store.names[store.entries[i].tablespace].c_str()),
                    "a name that cannot be kept");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::WorkingDirectory();
    fuzz::Input input(data, size);
    uint16_t offset = input.Word();
    std::string content = input.Rest();
    FixedText<127> systemLine;
    HistorySystemLine(systemLine, "PRD", "sapprd01");

    HistoryStore &store = Store(0);
    HistoryState state = Read(content, systemLine, store);
    CheckStore(store);
    if (state != HistoryState::Read) {
        fuzz::Check(store.entryCount == 0, "a refused file left entries");
    } else {
        std::string written = Written(store, systemLine);
        HistoryStore &again = Store(1);
        fuzz::Check(Read(written, systemLine, again) == HistoryState::Read, "own text refused");
        fuzz::Check(again.entryCount == store.entryCount, "entries lost on the way back");
        for (uint32_t i = 0; i < store.entryCount; ++i) {
            fuzz::Check(again.entries[i].hour == store.entries[i].hour &&
                            again.entries[i].usedKb == store.entries[i].usedKb &&
                            again.names[again.entries[i].tablespace].Equals(
                                store.names[store.entries[i].tablespace].c_str()),
                        "an entry changed on the way back");
        }
        fuzz::Check(Written(again, systemLine) == written, "own text not read back to itself");
    }

    // The forecast over the file as it lies in the working directory, at a time after its last sample.
    int32_t last = state == HistoryState::Read && store.entryCount > 0
                       ? store.entries[store.entryCount - 1].hour
                       : 490000;
    FixedText<15> stamp;
    AppendHourStamp(stamp, last + offset % 2000);
    std::string date(stamp.c_str(), 8);
    std::string time = std::string(stamp.c_str() + 8, 2) + "0000";
    fuzz::WriteFile("Marrowind-PRD-sapprd01.hst", content);
    static ForecastRow rows[3];
    uint32_t rowCount = 0;
    for (uint32_t i = 0; i < store.nameCount && rowCount < 2; ++i) {
        rows[rowCount].name.Assign(store.names[i]);
        rows[rowCount].usedKb = static_cast<int64_t>(offset) * 1000;
        rows[rowCount].reachKb = static_cast<int64_t>(offset) * 5000 + 1;
        ++rowCount;
    }
    rows[rowCount].name.Assign("PSAPNEW");
    ++rowCount;
    ForecastRequest request;
    request.systemId = "PRD";
    request.host = "sapprd01";
    request.date = date.c_str();
    request.time = time.c_str();
    request.rows = rows;
    request.rowCount = rowCount;
    ForecastOutcome outcome;
    RunForecast(request, outcome);
    fuzz::Check(outcome.days >= 0 && outcome.days <= kNeverFullDays, "days out of range");
    fuzz::Check(outcome.note.StartsWith("- Days until full: ") && !outcome.note.truncated(), "note");
    std::string note = outcome.note.c_str();
    bool written =
        note.find("no valid date") == std::string::npos && note.find("not written") == std::string::npos;
    if (written)
        fuzz::Check(Read(fuzz::ReadFile("Marrowind-PRD-sapprd01.hst"), systemLine, Store(1)) ==
                        HistoryState::Read,
                    "the forecast left a file it cannot read");
    return 0;
}
