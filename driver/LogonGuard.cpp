#include "driver/LogonGuard.h"

#include <cinttypes>
#include <cstring>

#include "driver/Sha256.h"
#include "platform/DirectoryLock.h"
#include "platform/Environment.h"
#include "platform/Platform.h"
#include "platform/Process.h"
#include "rfc/LogonFailure.h"

namespace {

// The hash costs a few milliseconds, and is made only for a system that has a record: slow enough
// that the record gives a password away no easier than the logon itself would.
constexpr const char *kScheme = "pbkdf2-sha256:10000";
constexpr uint32_t kIterations = 10000;
constexpr size_t kSaltBytes = 16;
constexpr uint32_t kLockWaitMs = 5000;
// More records than any probe has systems and users; a file beyond it keeps its first ones.
constexpr uint32_t kMaxRecords = 4096;

const char *const kHeader =
    "# SAP Marrowind logon guard: a logon SAP refused is not tried again with the same password.\n"
    "# Delete a line (or this file) to let that logon be tried again now.\n";

using RecordLine = FixedText<kLogonGuardLine>;

void AppendHex(TextBase &text, const uint8_t *bytes, size_t count) {
    static const char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < count; ++i) {
        text.AppendChar(kDigits[bytes[i] >> 4]);
        text.AppendChar(kDigits[bytes[i] & 0x0F]);
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool FromHex(const TextBase &text, uint8_t *bytes, size_t count) {
    if (text.size() != 2 * count) return false;
    for (size_t i = 0; i < count; ++i) {
        int high = HexDigit(text[2 * i]);
        int low = HexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        bytes[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return true;
}

// Fields are separated by tabs; a text that goes into a field has none, nor any control character.
void AppendField(TextBase &line, const TextBase &value) {
    for (size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        line.AppendChar(static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c);
    }
}

bool TakeField(const TextBase &line, size_t &at, TextBase &field, bool last) {
    field.Clear();
    if (at > line.size()) return false;
    size_t end = at;
    while (end < line.size() && (last || line[end] != '\t'))
        ++end;
    field.AssignPart(line.c_str() + at, end - at);
    at = end + 1;
    return !field.truncated();
}

bool SameIdentity(const LogonRecord &record, const LogonIdentity &identity) {
    RecordLine name;
    RecordLine address;
    AppendField(name, identity.name);
    AppendField(address, identity.address);
    return record.name.Equals(name.c_str()) && record.address.Equals(address.c_str());
}

// The working directory's lock, taken unless this process holds it already; a lock not had in
// time is gone on without, as the RFC steps do (a rename still leaves a whole file).
class GuardLock {
  public:
    GuardLock() : acquired_(!DirectoryLockHeld() && AcquireDirectoryLock(kLockWaitMs)) {}
    ~GuardLock() {
        if (acquired_) ReleaseDirectoryLock();
    }
    GuardLock(const GuardLock &) = delete;
    GuardLock &operator=(const GuardLock &) = delete;

  private:
    bool acquired_;
};

// Whether the guard file holds a record of the identity; the record then.
bool FindRecord(const LogonIdentity &identity, LogonRecord &found) {
    FILE *file = OpenFile(kLogonGuardFile, "rb");
    if (file == nullptr) return false;
    RecordLine line;
    ReadBudget budget;
    bool present = false;
    while (!present && ReadTextLine(file, line, kLogonGuardLine, budget) == LineRead::Line) {
        line.StripLineEnd();
        present = ParseLogonRecord(line, found) && SameIdentity(found, identity);
    }
    CloseFile(file);
    return present;
}

// Writes the guard file anew: the records of others as they were, this identity's replaced by
// `record` (none: removed). Through a temporary file renamed over the old one, under the lock;
// a file left without records is removed.
void RewriteRecords(const LogonIdentity &identity, const TextBase *record) {
    GuardLock lock;
    FixedText<63> temporary;
    temporary.Format("%s.%" PRIu32 ".tmp", kLogonGuardFile, CurrentProcessId());
    FILE *output = CreateNewFile(temporary.c_str());
    if (output == nullptr) return;
    bool written = fputs(kHeader, output) >= 0;
    uint32_t records = 0;
    FILE *input = OpenFile(kLogonGuardFile, "rb");
    RecordLine line;
    LogonRecord parsed;
    ReadBudget budget;
    while (input != nullptr && records < kMaxRecords &&
           ReadTextLine(input, line, kLogonGuardLine, budget) == LineRead::Line) {
        bool whole = line.Last() == '\n';
        line.StripLineEnd();
        // A damaged line (cut, unknown form) is dropped: it guarded nothing.
        if (!whole || !ParseLogonRecord(line, parsed) || SameIdentity(parsed, identity)) continue;
        written = written && fputs(line.c_str(), output) >= 0 && fputs("\n", output) >= 0;
        ++records;
    }
    CloseFile(input);
    if (record != nullptr) {
        written = written && fputs(record->c_str(), output) >= 0 && fputs("\n", output) >= 0;
        ++records;
    }
    written = fflush(output) == 0 && written;
    written = fclose(output) == 0 && written;
    if (written && records == 0) {
        RemoveFile(kLogonGuardFile);
        RemoveFile(temporary.c_str());
        return;
    }
    if (!written || !MoveFileOver(temporary.c_str(), kLogonGuardFile)) RemoveFile(temporary.c_str());
}

void NewSalt(uint8_t salt[kSaltBytes]) {
    if (FillRandomBytes(salt, kSaltBytes)) return;
    // Without the system's generator a salt that differs per process and moment still serves.
    Sha256 hash;
    uint64_t clock = MonotonicMilliseconds();
    uint32_t process = CurrentProcessId();
    FixedText<8> time;
    TimeOfDay(time);
    hash.Add(&clock, sizeof clock);
    hash.Add(&process, sizeof process);
    hash.Add(time.c_str(), time.size());
    uint8_t digest[kSha256Length];
    hash.Finish(digest);
    memcpy(salt, digest, kSaltBytes);
}

} // namespace

void DescribeLogon(const ConnectionFields &fields, const ConnectionOverrides &overrides, LogonIdentity &identity) {
    identity.name.Format("%s@%s/%s", fields.user.c_str(), fields.destination.c_str(), fields.client.c_str());
    if (fields.mode.Equals("R/2")) {
        identity.address.Format("%s:%s", fields.gwhost.c_str(), fields.gwservice.c_str());
        return;
    }
    const TextBase &host = overrides.host ? overrides.hostname : fields.hostname;
    const TextBase &sysnr = overrides.sysnr ? overrides.sysnrText : fields.sysnr;
    identity.address.Format("%s/%s", host.c_str(), sysnr.c_str());
}

bool ParseLogonRecord(const TextBase &line, LogonRecord &record) {
    if (line.empty() || line[0] == '#') return false;
    size_t at = 0;
    FixedText<31> scheme;
    uint8_t bytes[kSha256Length];
    return TakeField(line, at, record.name, false) && !record.name.empty() &&
           TakeField(line, at, record.address, false) && TakeField(line, at, scheme, false) &&
           scheme.Equals(kScheme) && TakeField(line, at, record.salt, false) &&
           FromHex(record.salt, bytes, kSaltBytes) && TakeField(line, at, record.hash, false) &&
           FromHex(record.hash, bytes, kSha256Length) && TakeField(line, at, record.message, true);
}

bool HashPassword(const TextBase &password, const TextBase &saltHex, TextBase &hashHex) {
    uint8_t salt[kSaltBytes];
    if (!FromHex(saltHex, salt, kSaltBytes)) return false;
    uint8_t key[kSha256Length];
    Pbkdf2Sha256(reinterpret_cast<const uint8_t *>(password.c_str()), password.size(), salt, kSaltBytes,
                 kIterations, key);
    hashHex.Clear();
    AppendHex(hashHex, key, sizeof key);
    memset(key, 0, sizeof key);
    return !hashHex.truncated();
}

bool LogonGuardAllows(const ConnectionFields &fields, const ConnectionOverrides &overrides, TextBase &refusal) {
    refusal.Clear();
    LogonIdentity identity;
    DescribeLogon(fields, overrides, identity);
    LogonRecord record;
    if (!FindRecord(identity, record)) return true;
    FixedText<127> hash;
    if (!HashPassword(fields.password, record.salt, hash) || !hash.Equals(record.hash.c_str())) return true;
    refusal.Format(" - %s - not retried until the password changes (or its line %s in %s is deleted)",
                   record.message.c_str(), record.name.c_str(), kLogonGuardFile);
    return false;
}

void LogonGuardNoteOpen(const ConnectionFields &fields, const ConnectionOverrides &overrides, bool opened) {
    LogonIdentity identity;
    DescribeLogon(fields, overrides, identity);
    LogonRecord existing;
    if (opened) {
        if (FindRecord(identity, existing)) RewriteRecords(identity, nullptr);
        return;
    }
    FixedText<255> message;
    if (!LastOpenRefusedLogon(message)) return;
    uint8_t salt[kSaltBytes];
    NewSalt(salt);
    FixedText<63> saltHex;
    AppendHex(saltHex, salt, kSaltBytes);
    FixedText<127> hash;
    HashPassword(fields.password, saltHex, hash);
    RecordLine line;
    AppendField(line, identity.name);
    line.AppendChar('\t');
    AppendField(line, identity.address);
    line.AppendChar('\t').Append(kScheme).AppendChar('\t').Append(saltHex).AppendChar('\t').Append(hash);
    line.AppendChar('\t');
    AppendField(line, message);
    if (line.truncated()) return;
    RewriteRecords(identity, &line);
}
