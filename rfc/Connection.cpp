#include <cinttypes>
#include <cstdlib>
#include <cstring>

#include "output/Console.h"
#include "platform/Platform.h"
#include "platform/Process.h"
#include "platform/Protection.h"
#include "rfc/Rfc.h"

namespace {

const char *TextOrNull(const TextBase &text) { return text.empty() ? nullptr : text.c_str(); }

constexpr const char *kIniFile = "SapRfc.ini";
constexpr int64_t kMaxDestinationFile = 1024 * 1024; // a destination file is a few lines
constexpr int64_t kMaxMergedFile = 8 * kMaxDestinationFile;
constexpr size_t kMaxDestinationFiles = 256;

// "SapRfc.ini.<pid>.tmp": the temporary name of a copy under way; the process id, or 0.
uint32_t TemporaryCopyOwner(const char *name) {
    if (strncmp(name, "SapRfc.ini.", 11) != 0) return 0;
    const char *digits = name + 11;
    size_t count = strspn(digits, "0123456789");
    if (count == 0 || count > 10 || strcmp(digits + count, ".tmp") != 0) return 0;
    uint64_t id = strtoull(digits, nullptr, 10);
    return id <= UINT32_MAX ? static_cast<uint32_t>(id) : 0;
}

// The destination files of the working directory ("SapRfc." and a destination), in name order.
struct DestinationFiles {
    FixedText<255> names[kMaxDestinationFiles];
    size_t count = 0;
    const char *own = ""; // this run's destination file, whatever its name looks like
};

DestinationFiles destinationFiles;

void CollectDestinationFile(const char *name, void *context) {
    DestinationFiles &files = *static_cast<DestinationFiles *>(context);
    if (SameFileName(name, kIniFile)) return;
    uint32_t owner = SameFileName(name, files.own) ? 0 : TemporaryCopyOwner(name);
    if (owner != 0) {
        // A copy whose process ended before renaming it (killed, say) is removed by the next one.
        if (owner != CurrentProcessId() && !ProcessRunning(owner)) RemoveFile(name);
        return;
    }
    if (files.count == kMaxDestinationFiles) return;
    FixedText<255> &entry = files.names[files.count];
    entry.Assign(name);
    if (!entry.truncated()) ++files.count;
}

void CollectDestinationFileOnly(const char *name, void *context) {
    const DestinationFiles &files = *static_cast<const DestinationFiles *>(context);
    if (SameFileName(name, files.own) || TemporaryCopyOwner(name) == 0) CollectDestinationFile(name, context);
}

void SortDestinationFiles(DestinationFiles &files) {
    for (size_t i = 1; i < files.count; ++i) {
        for (size_t j = i; j > 0 && strcmp(files.names[j - 1].c_str(), files.names[j].c_str()) > 0; --j) {
            FixedText<255> swap(files.names[j].c_str());
            files.names[j].Assign(files.names[j - 1]);
            files.names[j - 1].Assign(swap);
        }
    }
}

// Feeds the merged text piece by piece: every destination file in name order, a line end between
// two where the first lacks one. Stops at the first piece the sink refuses. False, with the
// reason, when the run's own file cannot be read or the whole grows too long; another file that
// cannot be read is left out (its own runs report it).
using MergedSink = bool (*)(const char *bytes, size_t count, void *context);
bool FeedMerged(const DestinationFiles &files, const TextBase &own, MergedSink sink, void *context, bool &sinkStopped,
                TextBase &failure) {
    sinkStopped = false;
    int64_t total = 0;
    bool lineOpen = false;
    for (size_t i = 0; i < files.count && !sinkStopped; ++i) {
        const TextBase &name = files.names[i];
        bool isOwn = SameFileName(name.c_str(), own.c_str());
        FILE *source = OpenFile(name, "rb");
        int64_t length = FileLength(source);
        if (source == nullptr || length < 0 || length > kMaxDestinationFile || !SeekTo(source, 0)) {
            CloseFile(source);
            if (!isOwn) continue;
            failure.Format("%s cannot be read", own.c_str());
            return false;
        }
        if (lineOpen) sinkStopped = !sink("\n", 1, context);
        total += length;
        char block[4096];
        size_t count = 0;
        lineOpen = false;
        while (!sinkStopped && (count = fread(block, 1, sizeof block, source)) > 0) {
            sinkStopped = !sink(block, count, context);
            lineOpen = block[count - 1] != '\n';
        }
        bool readFailed = ferror(source) != 0;
        CloseFile(source);
        if (readFailed && isOwn) {
            failure.Format("%s cannot be read", own.c_str());
            return false;
        }
        if (total > kMaxMergedFile) {
            failure.Assign("SapRfc.ini cannot be written");
            return false;
        }
    }
    return true;
}

// Compares the merged text with an open file, piece by piece.
bool SameAsFile(const char *bytes, size_t count, void *context) {
    char held[4096];
    return fread(held, 1, count, static_cast<FILE *>(context)) == count && memcmp(held, bytes, count) == 0;
}

bool WriteToFile(const char *bytes, size_t count, void *context) {
    return fwrite(bytes, 1, count, static_cast<FILE *>(context)) == count;
}

// Makes "SapRfc.ini" hold every destination file of the working directory, so that the library,
// which resolves the destination through it, finds this run's destination and the open of another
// run at the same moment finds its own: a reader never sees a file without its destination, and
// the lock need not be held until the open has read it. Only when the bytes differ, and then
// through a new temporary file (owner-only, never through a link) renamed over the name, so the
// library never reads half a file. Runs under the directory lock when it was had. Returns false,
// with the reason, when the copy cannot be made whole.
bool CopyDestinationFile(const TextBase &sourceName, bool locked, TextBase &failure) {
    // Destination "ini": the source is the target itself.
    if (SameFileName(sourceName.c_str(), kIniFile)) return true;
    DestinationFiles &files = destinationFiles;
    files.count = 0;
    files.own = sourceName.c_str();
    // Stale copies are removed only under the lock: a process that now has a dead one's id makes
    // its copy under the lock too.
    ListWorkingDirectory("SapRfc.", locked ? CollectDestinationFile : CollectDestinationFileOnly, &files);
    bool ownListed = false;
    for (size_t i = 0; i < files.count; ++i)
        ownListed = ownListed || SameFileName(files.names[i].c_str(), sourceName.c_str());
    if (!ownListed) {
        // Not found by the listing (too many files, say): this run's destination at least.
        if (files.count == kMaxDestinationFiles) files.count = kMaxDestinationFiles - 1;
        files.names[files.count++].Assign(sourceName);
    }
    SortDestinationFiles(files);

    bool stopped = false;
    FILE *existing = OpenFile(kIniFile, "rb");
    bool same = existing != nullptr && FeedMerged(files, sourceName, SameAsFile, existing, stopped, failure) &&
                !stopped && fgetc(existing) == EOF && !ferror(existing);
    CloseFile(existing);
    if (same) return true;
    failure.Clear();

    FixedText<63> temporary;
    temporary.Format("SapRfc.ini.%" PRIu32 ".tmp", CurrentProcessId());
    RemoveFile(temporary.c_str());
    FILE *copy = CreatePrivateFile(temporary.c_str());
    bool written = copy != nullptr && FeedMerged(files, sourceName, WriteToFile, copy, stopped, failure) && !stopped;
    if (copy != nullptr) {
        written = fflush(copy) == 0 && written;
        written = fclose(copy) == 0 && written;
    }
    FixedText<1023> nativeTemporary;
    NativeFileName(nativeTemporary, temporary.c_str());
    if (!written || !ReplaceFileWith(nativeTemporary.c_str(), kIniFile)) {
        RemoveFile(temporary.c_str());
        if (failure.empty()) failure.Assign("SapRfc.ini cannot be written");
        return false;
    }
    return true;
}

} // namespace

void BuildConnectString(TextBase &connect, const ConnectionFields &fields) {
    connect.Format("CLIENT=%s USER=%s PASSWD=%s LANG=D DEST=%s", fields.client.c_str(), fields.user.c_str(),
                   fields.password.c_str(), fields.destination.c_str());
}

void FillOpenRecords(const ConnectionFields &fields, const ConnectionOverrides &overrides, RfcOpenRecords &records) {
    ConnectionFields &copies = records.copies;
    copies = fields;
    if (overrides.host) copies.hostname.Assign(overrides.hostname);
    if (overrides.sysnr) copies.sysnr.Assign(overrides.sysnrText);

    if (copies.user.size() < 12) copies.user.AppendRepeated(' ', 12 - copies.user.size());
    if (copies.password.size() < 10) copies.password.AppendRepeated(' ', 10 - copies.password.size());

    RFC_OPTIONS &options = records.options;
    options.destination = copies.destination.c_str();
    options.client = copies.client.c_str();
    options.user = copies.user.c_str();
    options.password = copies.password.c_str();
    options.language = copies.language.c_str();
    if (copies.mode.Equals("R/2")) {
        options.mode = RFC_MODE_GATEWAY;
        records.gateway.gateway_host = TextOrNull(copies.gwhost);
        records.gateway.gateway_service = TextOrNull(copies.gwservice);
        options.connopt = &records.gateway;
    } else {
        options.mode = RFC_MODE_SERVER;
        records.server.hostname = TextOrNull(copies.hostname);
        if (!copies.sysnr.empty())
            records.server.sysnr = static_cast<int32_t>(DecimalValue(copies.sysnr.c_str()));
        records.server.gateway_host = TextOrNull(copies.gwhost);
        records.server.gateway_service = TextOrNull(copies.gwservice);
        options.connopt = &records.server;
    }
    options.trace = 0;
}

bool UsesDestinationFile(const ConnectionFields &fields) {
    FixedText<31> destinationFile;
    destinationFile.Assign("SapRfc.").Append(fields.destination);
    return FileExists(destinationFile);
}

RFC_HANDLE OpenRfcConnection(const ConnectionFields &fields, const ConnectionOverrides &overrides,
                             RfcOpenRecords &records, TextBase &failure) {
    failure.Clear();
    FillOpenRecords(fields, overrides, records);
    const ConnectionFields &copies = records.copies;

    FixedText<31> destinationFile;
    destinationFile.Assign("SapRfc.").Append(copies.destination);
    if (!FileExists(destinationFile)) {
        RfcStep step("RfcOpen");
        RFC_HANDLE handle = rfcLibrary.RfcOpen(&records.options);
        records.copies.password.Wipe(); // the library has what it needs of it
        LogEvent(static_cast<int32_t>(handle), "RfcOpen called", "");
        return handle;
    }

    // The connect string has no quoting: a blank would end the password there, and SAP would see a
    // wrong one (a refused logon counts towards locking the user). Such a password is not sent.
    if (fields.password.Contains(" ")) {
        failure.Format("the password holds a blank, which the connect string for %s cannot carry (not sent)",
                       destinationFile.c_str());
        return 0;
    }
    {
        // The copy is bookkeeping under the lock; the open that reads it runs without.
        DirectoryBookkeeping bookkeeping;
        if (!CopyDestinationFile(destinationFile, bookkeeping.Held(), failure)) return 0;
    }
    RfcStep step("RfcOpenEx");

    // The connect string takes user and password as the profile gives them.
    FixedText<255> connect;
    BuildConnectString(connect, fields);
    RFC_ERROR_INFO_EX errorInfo{};
    RFC_HANDLE handle = rfcLibrary.RfcOpenEx(connect.c_str(), &errorInfo);
    connect.Wipe(); // it held the password in plain
    records.copies.password.Wipe();
    LogEvent(static_cast<int32_t>(handle), "RfcOpenEx called", "");
    return handle;
}
