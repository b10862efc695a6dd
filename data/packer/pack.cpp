// nestbridge-pack TITLE ARCHIVE FILE...: what `nestbridge-cli archive create --title TITLE` does,
// for the build machine.
#include <cstdio>
#include <string>
#include <vector>

#include "backup/backup.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: nestbridge-pack TITLE ARCHIVE FILE...\n");
        return 2;
    }
    nb::TBackupFile archive;
    archive.BackupTitle = argv[1];
    archive.OnError = [](nb::TBackupFile&, int32_t, std::string text) { std::fprintf(stderr, "%s\n", text.c_str()); };
    return archive.Backup(std::vector<std::string>(argv + 3, argv + argc), argv[2]) ? 0 : 1;
}
