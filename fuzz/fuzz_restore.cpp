// libFuzzer: Restore from ":STREAM" into a scratch folder, and VerifyArchive over the same bytes.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "backup/backup.h"
#include "platform/Clock.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"

namespace {

struct Scratch {
    std::string root, target, archive;
    Scratch() {
        // A memory file system where there is one: every input creates and removes files.
        std::filesystem::path base = std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                                               : std::filesystem::temp_directory_path();
        root = base / ("fuzz_restore." + std::to_string(nb::CurrentProcessId()));
        target = root + "/target";
        archive = root + "/a.bck";
        std::filesystem::create_directories(target);
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Scratch scratch;
    std::error_code ec;
    if (!std::filesystem::is_empty(scratch.target, ec)) {
        std::filesystem::remove_all(scratch.target, ec);
        std::filesystem::create_directories(scratch.target, ec);
    }

    nb::TMemoryStream stream;
    stream.WriteBuffer(data, static_cast<int32_t>(size));
    stream.SetPosition(0);
    nb::TBackupFile archive;
    archive.OnError = [](nb::TBackupFile&, int32_t, std::string) {};
    archive.RestoreStream = &stream;
    archive.RestoreFullPath = size > 0 && (data[size - 1] & 1) != 0;
    try {
        archive.Restore(":STREAM", scratch.target);
    } catch (const nb::Exception&) {
    }
    if (archive.Busy()) __builtin_trap();

    {
        std::ofstream out(scratch.archive, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    nb::VerifyResult result = nb::VerifyArchive(scratch.archive);
    if (!result.Ok && result.Problem.empty()) __builtin_trap();
    return 0;
}
