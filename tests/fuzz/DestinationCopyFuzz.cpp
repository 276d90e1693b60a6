// The destination-file copy, through the connection opening as the run uses it: "SapRfc." and the
// destination copied to "SapRfc.ini", then RfcOpenEx, whose stand-in reads that file.
//
// Input: one byte of flags (bit 0: no destination file at all), the destination (a few characters
// of a file name), client, user and password up to line feeds, then the destination file's bytes.
// Properties: with a destination file, "SapRfc.ini" is its byte-for-byte copy; without one, no
// "SapRfc.ini" is made; no connection opens (there is no landscape), and nothing crashes. A
// password with a blank, which the connect string cannot carry, is refused before the copy.
#include <string>

#include "FuzzSupport.h"
#include "StandIn.h"
#include "rfc/Rfc.h"
#include "rfc/RfcBinding.h"

namespace {

std::string FileNameCharacters(const std::string &bytes, size_t maximum) {
    static const char allowed[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._-";
    std::string name;
    for (size_t i = 0; i < bytes.size() && i < maximum; ++i)
        name += allowed[static_cast<unsigned char>(bytes[i]) % (sizeof allowed - 1)];
    return name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::BindStandIn();
    fuzz::Input input(data, size);
    uint8_t flags = input.Byte();
    std::string destination = FileNameCharacters(input.Until('\n'), 11);
    std::string client = input.Until('\n');
    std::string user = input.Until('\n');
    std::string password = input.Until('\n');
    std::string content = input.Rest();

    fuzz::WorkingDirectory();
    fuzz::RemoveFile("SapRfc.ini");
    fuzz::RemoveFile("Dev_Rfc.Trc");
    const std::string source = "SapRfc." + destination;
    bool withFile = (flags & 1) == 0;
    if (withFile) fuzz::WriteFile(source, content);

    ConnectionFields fields;
    fields.destination.Assign(destination.c_str());
    fields.client.Assign(client.c_str());
    fields.user.Assign(user.c_str());
    fields.password.Assign(password.c_str());
    fields.mode.Assign((flags & 2) ? "R/2" : "R/3");
    fields.hostname.Assign("sapprd");
    fields.sysnr.Assign("00");
    ConnectionOverrides overrides;
    static RfcOpenRecords records; // the library may keep pointers into them
    FixedText<127> failure;
    RFC_HANDLE handle = OpenRfcConnection(fields, overrides, records, failure);
    fuzz::Check(handle == 0, "a connection opened without a landscape");
    bool refused = withFile && fields.password.Contains(" ");
    if (refused) {
        fuzz::Check(failure.Contains("the password holds a blank"), "a blank in the password went unnoticed");
        if (destination != "ini")
            fuzz::Check(!std::filesystem::exists(fuzz::WorkingDirectory() / "SapRfc.ini"), "SapRfc.ini for a refused open");
        fuzz::RemoveFile(source);
        return 0;
    }
    // A destination file of this size always copies whole.
    fuzz::Check(failure.empty(), std::string("the copy failed: ") + failure.c_str());

    bool sourceIsTarget = destination == "ini";
    if (withFile && !sourceIsTarget) {
        fuzz::Check(std::filesystem::is_regular_file(fuzz::WorkingDirectory() / "SapRfc.ini"), "no SapRfc.ini");
        fuzz::Check(fuzz::ReadFile("SapRfc.ini") == content, "SapRfc.ini differs from " + source);
        fuzz::Check(fuzz::ReadFile(source) == content, source + " changed by the copy");
    }
    if (!withFile)
        fuzz::Check(!std::filesystem::exists(fuzz::WorkingDirectory() / "SapRfc.ini"), "SapRfc.ini without a source");
    if (withFile) fuzz::RemoveFile(source);
    return 0;
}
