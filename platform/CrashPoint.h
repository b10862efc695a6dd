#pragma once
// Named steps at which the fault-injection suite stops the real programs. Only a build with
// NB_TEST_HOOKS has them: there, NB_CRASH_AT=<name>[#<n>] in the environment ends the process at
// once (SIGKILL; TerminateProcess on Windows) when the n-th (default first) passage of that step
// is reached, and NB_CRASH_TRACE=<file> appends every step name passed to that file. The shipped
// build compiles them to nothing.
#include <string_view>

namespace nb {
#ifdef NB_TEST_HOOKS
void CrashPoint(std::string_view name);
#else
inline void CrashPoint(std::string_view) {}
#endif
}  // namespace nb
