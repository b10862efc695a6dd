// Wine's user.reg as found in a prefix: the data folder's value read from it, and the
// mapping of whatever text comes back onto a path.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "platform/posix/WineRegistry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace nb;
    const std::string& prefix = fuzz::ScratchFolder();
    const std::string path = prefix + "/user.reg";
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size && std::fwrite(data, 1, size, f) != size) std::abort();
        std::fclose(f);
    }
    try {
        std::string value =
            ReadUserRegistryString(prefix, "Software\\Marrowby\\Tallyvine\\Database", "DefaultDatabase");
        (void)MapWindowsPath(prefix, value);
    } catch (const ERegistryException&) {
    }
    return 0;
}
