#pragma once
// The process's environment and command line, as UTF-8 text on every system.
#include <optional>
#include <string>
#include <vector>

namespace nb {

// The value of an environment variable; nothing when it is not set.
std::optional<std::string> EnvironmentValue(const std::string& name);

// The program's arguments after its name. argc/argv are main's; where the system keeps the
// command line in another form (Windows' wide command line) that form is read instead, so that
// no argument loses characters outside the system's code page.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Ends the process at once, the way a power cut or a kill would: no clean-up, no buffers flushed.
[[noreturn]] void TerminateProcessNow();

}  // namespace nb
