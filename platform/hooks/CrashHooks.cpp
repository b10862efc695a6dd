// The crash points' hook, linked only into the test build nestbridge-cli-hooks.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

#include "platform/CrashPoint.h"
#include "platform/Environment.h"
#include "platform/Sync.h"

namespace nb {
namespace {

void StopAtCrashPoint(std::string_view name) {
    // A transfer's thread passes its chunks beside the press's own steps.
    static TLock lock;
    std::lock_guard hold(lock);
    static std::map<std::string, int, std::less<>> passes;
    int pass = ++passes[std::string(name)];
    if (auto trace = EnvironmentValue("NB_CRASH_TRACE")) {
        if (std::FILE* f = std::fopen(trace->c_str(), "a")) {
            std::fprintf(f, "%.*s#%d\n", static_cast<int>(name.size()), name.data(), pass);
            std::fclose(f);
        }
    }
    auto target = EnvironmentValue("NB_CRASH_AT");
    if (!target) return;
    std::string_view t(*target);
    int wanted = 1;
    if (auto hash = t.find('#'); hash != std::string_view::npos) {
        wanted = std::atoi(std::string(t.substr(hash + 1)).c_str());
        t = t.substr(0, hash);
    }
    if (t == name && pass == wanted) TerminateProcessNow();
}

[[maybe_unused]] const bool installed = (SetCrashHook(&StopAtCrashPoint), true);

}  // namespace
}  // namespace nb
