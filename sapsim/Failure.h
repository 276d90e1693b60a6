// Failures of the stand-in library: the last error and the trace file "Dev_Rfc.Trc".
#ifndef SAPSIM_FAILURE_H
#define SAPSIM_FAILURE_H

#include <string>
#include <string_view>
#include <vector>

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

// While it lives, failures write these lines to the trace file instead of the usual block (null:
// the usual block): an operation on a system with the "trace" fault holds one.
class TraceLinesInUse {
  public:
    explicit TraceLinesInUse(const std::vector<std::string> *lines);
    ~TraceLinesInUse();
    TraceLinesInUse(const TraceLinesInUse &) = delete;
    TraceLinesInUse &operator=(const TraceLinesInUse &) = delete;

  private:
    const std::vector<std::string> *previous_;
};

// Writes the lines in use, if any, without recording a failure (an exception writes no block).
void AppendTraceLinesInUse();

// Empty in every field until the first failure.
const LastError &CurrentLastError();

const char *ErrorKey(ErrorKind kind);

// Group number written into the error record of RfcOpenEx: 1, 2 or 3 in the order of ErrorKind.
int ErrorGroup(ErrorKind kind);

} // namespace sapsim

#endif
