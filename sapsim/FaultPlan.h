// The fault plan: "fail the Nth call" of the library, for tests that fail every call in turn.
//
// SAPSIM_FAIL_CALL holds call numbers, counted from 1 over the calls of all twelve operations of
// this process, each optionally followed by ":return" or ":abort" (e.g. "7" or "7:abort,8");
// SAPSIM_FAIL_MODE gives the mode of numbers without one ("return" when unset). Each failure
// injected is announced on standard error ("sapsim: failing call 7 (RfcCall) by abort"), so a test
// can tell a run that reached its call from one that ended before.
#ifndef SAPSIM_FAULT_PLAN_H
#define SAPSIM_FAULT_PLAN_H

#include <optional>

namespace sapsim {

enum class FailMode {
    Return, // the operation returns its failure (or, where it has none, does not do its work)
    Abort   // the connection breaks inside the operation: the error handler is called
};

// Counts this call of the operation; the mode when the plan fails it.
std::optional<FailMode> PlannedFailure(const char *operation) noexcept;

} // namespace sapsim

#endif
