// Failures of the stand-in library: the last error and the trace file "Dev_Rfc.Trc".
#ifndef SAPSIM_FAILURE_H
#define SAPSIM_FAILURE_H

#include <string>
#include <string_view>

namespace sapsim {

enum class ErrorKind {
    Communication, // partner not reached, connection broken
    Logon,         // client, user or password rejected
    System         // everything else
};

struct LastError {
    std::string key;
    std::string status;
    std::string message;
    std::string internalStatus;
};

// Makes the failure the last error and appends its block to the trace file.
void RecordFailure(ErrorKind kind, std::string_view message);

// Empty in every field until the first failure.
const LastError &CurrentLastError();

const char *ErrorKey(ErrorKind kind);

// Group number written into the error record of RfcOpenEx: 1, 2 or 3 in the order of ErrorKind.
int ErrorGroup(ErrorKind kind);

} // namespace sapsim

#endif
