#include "driver/RunState.h"
#include "rfc/Rfc.h"

FixedText<10> databaseSystem;

namespace {

constexpr size_t kRfcHostOffset = 45;
constexpr size_t kRfcHostLength = 8;
constexpr size_t kRfcDbSysOffset = 101;
constexpr size_t kRfcDbSysLength = 10;

} // namespace

int ReadSystemInfo(RFC_HANDLE handle) {
    SystemInfoAnswer answer;
    FixedText<kExceptionTextCapacity> exceptionText;
    int outcome = CallSystemInfo(handle, answer, exceptionText);
    if (outcome != RFC_OK) {
        AppendOutcomeMessage(outcome, exceptionText);
        return outcome;
    }
    run.runStatus.Assign("OK");
    const char *record = reinterpret_cast<const char *>(answer.rfcsi);
    run.connection.shownHost.AssignPart(record + kRfcHostOffset, kRfcHostLength);
    databaseSystem.AssignPart(record + kRfcDbSysOffset, kRfcDbSysLength);
    return outcome;
}
