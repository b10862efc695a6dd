#include "platform/CrashPoint.h"

#ifdef NB_TEST_HOOKS
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <unistd.h>

namespace nb {

void CrashPoint(std::string_view name) {
    static std::map<std::string, int, std::less<>> passes;
    int pass = ++passes[std::string(name)];
    if (const char* trace = std::getenv("NB_CRASH_TRACE")) {
        if (std::FILE* f = std::fopen(trace, "a")) {
            std::fprintf(f, "%.*s#%d\n", static_cast<int>(name.size()), name.data(), pass);
            std::fclose(f);
        }
    }
    const char* target = std::getenv("NB_CRASH_AT");
    if (!target) return;
    std::string_view t(target);
    int wanted = 1;
    if (auto hash = t.find('#'); hash != std::string_view::npos) {
        wanted = std::atoi(std::string(t.substr(hash + 1)).c_str());
        t = t.substr(0, hash);
    }
    if (t == name && pass == wanted) ::kill(::getpid(), SIGKILL);
}

}  // namespace nb
#endif
