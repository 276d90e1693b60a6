#include "rfc/Rfc.h"

namespace {

constexpr size_t kRfcHostOffset = 45;
constexpr size_t kRfcHostLength = 8;
constexpr size_t kRfcSysIdOffset = 53;
constexpr size_t kRfcSysIdLength = 8;
constexpr size_t kRfcDbSysOffset = 101;
constexpr size_t kRfcDbSysLength = 10;

} // namespace

void ReadSystemInfo(RFC_HANDLE handle, SystemInfo &info) {
    SystemInfoAnswer answer;
    info.exceptionText.Clear();
    info.outcome = CallSystemInfo(handle, answer, info.exceptionText);
    info.libraryFailure = answer.libraryFailure;
    if (info.outcome != RFC_OK) return;
    const char *record = reinterpret_cast<const char *>(answer.rfcsi);
    info.host.AssignPart(record + kRfcHostOffset, kRfcHostLength);
    info.systemId.AssignPart(record + kRfcSysIdOffset, kRfcSysIdLength);
    info.systemId.StripTrailingBlanks();
    info.databaseSystem.AssignPart(record + kRfcDbSysOffset, kRfcDbSysLength);
}
