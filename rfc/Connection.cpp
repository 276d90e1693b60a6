#include <cstring>

#include "output/Console.h"
#include "platform/Platform.h"
#include "rfc/Rfc.h"

namespace {

const char *TextOrNull(const TextBase &text) { return text.empty() ? nullptr : text.c_str(); }

// Copies byte for byte until the end of the source; a read or write error ends the copy.
void CopyFile(FILE *from, FILE *to) {
    char block[4096];
    size_t count;
    while ((count = fread(block, 1, sizeof block, from)) > 0) {
        if (fwrite(block, 1, count, to) != count) return;
    }
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

RFC_HANDLE OpenRfcConnection(const ConnectionFields &fields, const ConnectionOverrides &overrides,
                             RfcOpenRecords &records) {
    FillOpenRecords(fields, overrides, records);
    const ConnectionFields &copies = records.copies;

    FixedText<31> destinationFile;
    destinationFile.Assign("SapRfc.").Append(copies.destination);
    FILE *source = OpenFile(destinationFile, "rb");
    if (source == nullptr) {
        RFC_HANDLE handle = rfcLibrary.RfcOpen(&records.options);
        LogEvent(static_cast<int32_t>(handle), "RfcOpen called", "");
        return handle;
    }

    WriteOutFormat("* SapRfc.Ini.......: %s<\n", copies.destination.c_str());
    FILE *target = OpenFile("SapRfc.ini", "wb");
    if (target == nullptr) {
        CloseFile(source);
        return 0;
    }
    CopyFile(source, target);
    CloseFile(source);
    CloseFile(target);

    // The connect string takes user and password as the profile gives them.
    FixedText<255> connect;
    BuildConnectString(connect, fields);
    RFC_ERROR_INFO_EX errorInfo{};
    RFC_HANDLE handle = rfcLibrary.RfcOpenEx(connect.c_str(), &errorInfo);
    connect.Wipe(); // it held the password in plain
    LogEvent(static_cast<int32_t>(handle), "RfcOpenEx called", "");
    return handle;
}
