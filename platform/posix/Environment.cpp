#include "platform/Environment.h"

#include <csignal>
#include <cstdlib>
#include <unistd.h>

namespace nb {

std::optional<std::string> EnvironmentValue(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void TerminateProcessNow() {
    ::kill(::getpid(), SIGKILL);
    ::_exit(137);
}

}  // namespace nb
