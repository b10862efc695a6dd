#pragma once
// Named steps at which the fault-injection suite stops the real programs. The shipped programs
// pass them by: only nestbridge-cli-hooks, a test build of nestbridge-cli that is never
// installed, links platform/CrashHooks.cpp, which installs the hook. There NB_CRASH_AT=<name>[#<n>]
// in the environment ends the process at once (SIGKILL; TerminateProcess on Windows) when the
// n-th (default first) passage of that step is reached, and NB_CRASH_TRACE=<file> appends every
// step name passed to that file. Steps are passed on the thread that runs the press, but for a
// transfer's chunks, which the thread moving the bytes passes.
#include <string_view>

namespace nb {

using TCrashHook = void (*)(std::string_view name);

void CrashPoint(std::string_view name);
// Installed once, before main, by the hooks object; nothing else calls it.
void SetCrashHook(TCrashHook hook);

}  // namespace nb
