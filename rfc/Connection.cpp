#include <cstring>

#include "output/Console.h"
#include "platform/Platform.h"
#include "platform/Process.h"
#include "rfc/Rfc.h"

namespace {

const char *TextOrNull(const TextBase &text) { return text.empty() ? nullptr : text.c_str(); }

constexpr int64_t kMaxDestinationFile = 1024 * 1024; // a destination file is a few lines

// Whether two open files hold the same bytes (at most the bound is compared).
bool SameContent(FILE *one, FILE *other) {
    char a[4096];
    char b[4096];
    for (;;) {
        size_t countA = fread(a, 1, sizeof a, one);
        size_t countB = fread(b, 1, sizeof b, other);
        if (countA != countB || memcmp(a, b, countA) != 0) return false;
        if (countA == 0) return !ferror(one) && !ferror(other);
    }
}

// Copies the destination file to "SapRfc.ini" so that the library finds the destination there.
// Only when the bytes differ, and then through a new temporary file renamed over the name: the
// library of another process never reads half a file, and a link planted under the name is
// replaced, never followed. Returns false, with the reason, when the copy cannot be made whole.
bool CopyDestinationFile(const TextBase &sourceName, TextBase &failure) {
    const char *target = "SapRfc.ini";
    FixedText<31> upper(sourceName.c_str());
    upper.ToUpper();
    // Destination "ini": the source is the target itself (on Windows in any letter case).
#if defined(_WIN32)
    if (upper.Equals("SAPRFC.INI")) return true;
#else
    if (sourceName.Equals(target)) return true;
#endif
    FILE *source = OpenFile(sourceName, "rb");
    int64_t length = FileLength(source);
    if (source == nullptr || length < 0 || length > kMaxDestinationFile || !SeekTo(source, 0)) {
        CloseFile(source);
        failure.Format("%s cannot be read", sourceName.c_str());
        return false;
    }
    FILE *existing = OpenFile(target, "rb");
    bool same = existing != nullptr && FileLength(existing) == length && SeekTo(existing, 0) &&
                SameContent(source, existing);
    CloseFile(existing);
    if (same) {
        CloseFile(source);
        return true;
    }

    FixedText<63> temporary;
    temporary.Format("SapRfc.ini.%u.tmp", static_cast<unsigned>(CurrentProcessId()));
    RemoveFile(temporary.c_str());
#if defined(_WIN32)
    FILE *copy = OpenFile(temporary, "wb");
#else
    FILE *copy = OpenFile(temporary, "wbx"); // a new file: never through a link of that name
#endif
    bool written = copy != nullptr && SeekTo(source, 0);
    char block[4096];
    size_t count;
    while (written && (count = fread(block, 1, sizeof block, source)) > 0) {
        written = fwrite(block, 1, count, copy) == count;
    }
    written = written && !ferror(source);
    CloseFile(source);
    if (copy != nullptr) {
        written = fflush(copy) == 0 && written;
        written = fclose(copy) == 0 && written;
    }
    FixedText<1023> nativeTemporary;
    NativeFileName(nativeTemporary, temporary.c_str());
    if (!written || !ReplaceFileWith(nativeTemporary.c_str(), target)) {
        RemoveFile(temporary.c_str());
        failure.Assign("SapRfc.ini cannot be written");
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
    // The lock is held from the copy until the open has read it.
    RfcStep step("RfcOpenEx", true);
    if (!CopyDestinationFile(destinationFile, failure)) return 0;

    // The connect string takes user and password as the profile gives them.
    FixedText<255> connect;
    BuildConnectString(connect, fields);
    RFC_ERROR_INFO_EX errorInfo{};
    RFC_HANDLE handle = rfcLibrary.RfcOpenEx(connect.c_str(), &errorInfo);
    connect.Wipe(); // it held the password in plain
    LogEvent(static_cast<int32_t>(handle), "RfcOpenEx called", "");
    return handle;
}
