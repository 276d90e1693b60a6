#include "space/History.h"

#include <cinttypes>
#include <cstring>

#include "platform/Platform.h"

namespace {

constexpr const char *kHistoryHeader = "SAP Marrowind history 1";

bool Digits(const char *text, size_t count, int32_t &value) {
    value = 0;
    for (size_t i = 0; i < count; ++i) {
        if (!IsDigit(text[i])) return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

bool LeapYear(int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int32_t DaysInMonth(int32_t year, int32_t month) {
    static const int32_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && LeapYear(year) ? 29 : days[month - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date (the civil-days algorithm).
int32_t DaysFromCivil(int32_t year, int32_t month, int32_t day) {
    year -= month <= 2 ? 1 : 0;
    int32_t era = year / 400;
    int32_t yearOfEra = year - era * 400;
    int32_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    int32_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(int32_t days, int32_t &year, int32_t &month, int32_t &day) {
    days += 719468;
    int32_t era = days / 146097;
    int32_t dayOfEra = days - era * 146097;
    int32_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int32_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int32_t monthIndex = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

// "YYYYMMDDHH" as hours since the epoch.
bool StampHours(const char *stamp, int32_t &hours) {
    int32_t hour = 0;
    if (!Digits(stamp + 8, 2, hour) || hour > 23 || !HoursSinceEpoch(stamp, "000000", hours)) return false;
    hours += hour;
    return true;
}

// The used kilobytes of a line: an optional "-" and 1 to 19 digits within the 64-bit range.
bool UsedKilobytes(const char *text, size_t length, int64_t &used) {
    size_t at = text[0] == '-' ? 1 : 0;
    if (length <= at || length - at > 19) return false;
    uint64_t magnitude = 0;
    for (size_t i = at; i < length; ++i) {
        if (!IsDigit(text[i])) return false;
        magnitude = magnitude * 10 + static_cast<uint64_t>(text[i] - '0'); // 19 digits fit in 64 bits
    }
    uint64_t limit = static_cast<uint64_t>(INT64_MAX) + (at == 1 ? 1 : 0);
    if (magnitude > limit) return false;
    used = at == 1 ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

uint32_t NameIndex(HistoryStore &store, const char *name) {
    uint32_t index = store.Find(name);
    if (index < kHistoryTablespaceCapacity || store.nameCount == kHistoryTablespaceCapacity) return index;
    store.names[store.nameCount].Assign(name);
    return store.nameCount++;
}

// Removes the first `count` entries.
void DropFront(HistoryStore &store, uint32_t count) {
    if (count == 0) return;
    memmove(store.entries, store.entries + count, (store.entryCount - count) * sizeof(HistoryEntry));
    store.entryCount -= count;
}

// One entry line "YYYYMMDDHH used name" into the store; false when it is not one, or breaks the order.
bool ReadEntry(const TextBase &line, HistoryStore &store) {
    const char *text = line.c_str();
    if (line.size() < 14 || text[10] != ' ') return false;
    int32_t hour = 0;
    if (!StampHours(text, hour)) return false;
    const char *blank = strchr(text + 11, ' ');
    if (blank == nullptr) return false;
    int64_t used = 0;
    if (!UsedKilobytes(text + 11, static_cast<size_t>(blank - (text + 11)), used)) return false;
    const char *name = blank + 1;
    if (!StorableTablespaceName(name)) return false;
    if (store.entryCount > 0 && store.entries[store.entryCount - 1].hour > hour) return false;
    if (store.entryCount == kHistoryEntryCapacity) return false;
    uint32_t index = NameIndex(store, name);
    if (index >= kHistoryTablespaceCapacity) return false;
    // One sample per tablespace and hour: a second one is no file of ours.
    for (uint32_t i = store.entryCount; i > 0 && store.entries[i - 1].hour == hour; --i)
        if (store.entries[i - 1].tablespace == index) return false;
    store.entries[store.entryCount++] = HistoryEntry{hour, static_cast<uint16_t>(index), used};
    return true;
}

} // namespace

bool HoursSinceEpoch(const char *date, const char *time, int32_t &hours) {
    int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!Digits(date, 4, year) || !Digits(date + 4, 2, month) || !Digits(date + 6, 2, day)) return false;
    if (!Digits(time, 2, hour) || !Digits(time + 2, 2, minute) || !Digits(time + 4, 2, second)) return false;
    if (year < 1970 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
    if (hour > 23 || minute > 59 || second > 59) return false;
    hours = DaysFromCivil(year, month, day) * 24 + hour;
    return true;
}

void AppendHourStamp(TextBase &text, int32_t hours) {
    int32_t year = 0, month = 0, day = 0;
    CivilFromDays(hours / 24, year, month, day);
    text.AppendFormat("%04" PRId32 "%02" PRId32 "%02" PRId32 "%02" PRId32, year, month, day, hours % 24);
}

uint32_t HistoryStore::Find(const char *name) const {
    for (uint32_t i = 0; i < nameCount; ++i)
        if (names[i].Equals(name)) return i;
    return kHistoryTablespaceCapacity;
}

void HistorySystemLine(TextBase &line, const char *systemId, const char *host) {
    line.Format("System %s %s", systemId, host);
}

void HistoryFileName(TextBase &name, const char *systemId, const char *host) {
    name.Format("Marrowind-%s-%s", systemId, host);
    for (size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || IsDigit(c) || c == '-' || c == '_';
        if (!plain) name.SetAt(i, '_');
    }
    name.Append(".hst");
}

bool StorableTablespaceName(const char *name) {
    size_t length = strlen(name);
    if (length == 0 || length > kHistoryNameCapacity) return false;
    for (size_t i = 0; i < length; ++i)
        if (static_cast<unsigned char>(name[i]) < 0x20 || name[i] == 0x7F) return false;
    return true;
}

HistoryState ReadHistory(FILE *file, const TextBase &systemLine, HistoryStore &store) {
    store.Clear();
    ReadBudget budget;
    budget.left = kHistoryFileBytes;
    static FixedText<127> line;
    HistoryState state = HistoryState::Read;
    uint32_t number = 0;
    for (;;) {
        LineRead read = ReadTextLine(file, line, line.capacity(), budget);
        if (read == LineRead::End) break;
        if (read == LineRead::Failed || line.Last() != '\n') {
            // A line that does not fit is none of ours; a last line without its end was cut short.
            state = HistoryState::Damaged;
            break;
        }
        line.StripLineEnd();
        ++number;
        if (number == 1 && !line.Equals(kHistoryHeader)) {
            state = HistoryState::Foreign;
            break;
        }
        if (number == 2 && !line.Equals(systemLine.c_str())) {
            state = line.StartsWith("System ") ? HistoryState::Foreign : HistoryState::Damaged;
            break;
        }
        if (number > 2 && !ReadEntry(line, store)) {
            state = HistoryState::Damaged;
            break;
        }
    }
    if (state == HistoryState::Read && number < 2) state = HistoryState::Damaged; // an empty or cut file
    if (state != HistoryState::Read) store.Clear();
    return state;
}

void DropStaleEntries(HistoryStore &store, int32_t now) {
    uint32_t kept = 0;
    for (uint32_t i = 0; i < store.entryCount; ++i) {
        const HistoryEntry &entry = store.entries[i];
        bool recent = entry.hour > now - kHistoryHours && entry.hour <= now + kHistoryLeadHours;
        if (recent) store.entries[kept++] = entry;
    }
    store.entryCount = kept;
}

bool AddHistorySample(HistoryStore &store, int32_t now, const char *name, int64_t usedKb) {
    if (!StorableTablespaceName(name)) return false;
    uint32_t index = NameIndex(store, name);
    if (index >= kHistoryTablespaceCapacity) return false;
    // Behind the last entry of its hour or before: a sensor beside this one may have written a
    // sample of the next hour while this one was on its way.
    uint32_t at = store.entryCount;
    while (at > 0 && store.entries[at - 1].hour > now)
        --at;
    for (uint32_t i = at; i > 0 && store.entries[i - 1].hour == now; --i)
        if (store.entries[i - 1].tablespace == index) return true;
    if (store.entryCount == kHistoryEntryCapacity) {
        // The oldest hour makes room, whole.
        uint32_t oldest = 0;
        while (oldest < store.entryCount && store.entries[oldest].hour == store.entries[0].hour)
            ++oldest;
        if (oldest == store.entryCount || oldest > at) return false; // nothing older to give up
        DropFront(store, oldest);
        at -= oldest;
    }
    memmove(store.entries + at + 1, store.entries + at, (store.entryCount - at) * sizeof(HistoryEntry));
    store.entries[at] = HistoryEntry{now, static_cast<uint16_t>(index), usedKb};
    ++store.entryCount;
    return true;
}

bool WriteHistory(FILE *file, const TextBase &systemLine, const HistoryStore &store) {
    bool written = fprintf(file, "%s\n%s\n", kHistoryHeader, systemLine.c_str()) > 0;
    for (uint32_t i = 0; i < store.entryCount && written; ++i) {
        const HistoryEntry &entry = store.entries[i];
        FixedText<15> stamp;
        AppendHourStamp(stamp, entry.hour);
        written = fprintf(file, "%s %" PRId64 " %s\n", stamp.c_str(), entry.usedKb,
                          store.names[entry.tablespace].c_str()) > 0;
    }
    return written;
}
