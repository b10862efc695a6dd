// A settings file as a user or another program may have left it: every key the program reads,
// then a write into it and a read of what was written.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "platform/IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace nb;
    const std::string path = fuzz::ScratchFolder() + "/FtpHost.ini";
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size && std::fwrite(data, 1, size, f) != size) std::abort();
        std::fclose(f);
    }
    TIniFile ini(path);
    for (const char* key : {"FTPHOST", "HOSTID", "HOSTPASS"})
        if (ini.ReadString("Server", key, key).size() > TIniFile::MaxReadLength) std::abort();
    for (const char* key : {"FtpHost", "FtpPort", "ProbeHost", "ProbeTimeout"})
        (void)ini.ReadString("Service", key, "");
    try {
        ini.WriteString("Server", "HOSTID", "user01");
        // What was written reads back, whatever the file held around it.
        if (ini.ReadString("Server", "HOSTID", "") != "user01") std::abort();
    } catch (const std::exception&) {
    }
    return 0;
}
