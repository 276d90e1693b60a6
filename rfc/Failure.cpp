#include "platform/Platform.h"
#include "output/Document.h"
#include "rfc/Rfc.h"

namespace rfc {
namespace {

// How a run ends after a failure inside the library: set by the run driver, which renders the
// report and ends the process (or, in a worker, hands the report to its parent).
LibraryFailureEnd libraryFailureEnd = nullptr;

} // namespace
} // namespace rfc

void ReadLibraryFailure(const char *operation, LibraryFailureReport &failure) {
    failure = LibraryFailureReport();
    failure.operation.Assign(operation != nullptr ? operation : "");
    RFC_ERROR_INFO error{};
    rfcLibrary.RfcLastError(&error);
    // The library's texts are bounded by their fields, whatever it wrote.
    failure.key.AssignPart(error.key, sizeof error.key - 1);
    failure.status.AssignPart(error.status, sizeof error.status - 1);
    failure.message.AssignPart(error.message, sizeof error.message - 1);
    failure.internalStatus.AssignPart(error.intstat, sizeof error.intstat - 1);
}

void SetLibraryFailureEnd(LibraryFailureEnd end) { rfc::libraryFailureEnd = end; }

void RFC_CALL RfcFailureHandler(const char *operation) {
    static LibraryFailureReport failure;
    ReadLibraryFailure(operation, failure);
    if (rfc::libraryFailureEnd != nullptr) rfc::libraryFailureEnd(failure);
    // No end was set: the report as it stands, and the end the library expects of its handler.
    WriteLibraryFailure(failure);
    EndProcess(1);
}
