// nestbridge-cli archive create | restore | list | verify
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <map>

#include "backup/backup.h"
#include "cli/Command.h"
#include "cli/Progress.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"

namespace nb::cli {

namespace {

const char* const kUsage =
    "usage: nestbridge-cli archive create [--title TEXT] [--level fastest|none|default|max]\n"
    "               [--max-size BYTES] [--save-file-id] [--incremental] [--set-archive-flag]\n"
    "               [--quiet] ARCHIVE PATTERN...\n"
    "       nestbridge-cli archive restore [--mode all|no-overwrite|newer|existing|existing-newer]\n"
    "               [--full-path] [--quiet] ARCHIVE [TARGET]\n"
    "               Without TARGET every file is written back to the full path it was stored\n"
    "               under, over the file that stands there now (with --mode all).\n"
    "       nestbridge-cli archive list ARCHIVE\n"
    "       nestbridge-cli archive verify ARCHIVE\n"
    "\n"
    "A PATTERN may end in \" /s\" to take the pattern's subfolders too. A pattern that matches no\n"
    "file is named on stderr; the archive is still written.\n";

const Command& Self();

// Progress on the terminal, errors in the component's words on stderr.
void Attach(TBackupFile& archive, TerminalProgress& progress) {
    archive.OnProgress = [&progress](TBackupFile&, std::string file, TPercentage percent, bool&) {
        progress.Update(percent, file);
    };
    archive.OnError = [&progress](TBackupFile&, int32_t, std::string text) {
        progress.Finish();
        std::cerr << text << '\n';
    };
}

int Create(ArgParser& args) {
    static const std::map<std::string, TCompressionLevel> levels = {
        {"fastest", clFastest}, {"none", clNone}, {"default", clDefault}, {"max", clMax}};
    TBackupFile archive;
    std::string value;
    if (args.Value("--title", value)) archive.BackupTitle = value;
    if (args.Value("--level", value)) {
        auto it = levels.find(value);
        if (it == levels.end()) return UsageError(Self(), "unknown level " + value);
        archive.CompressionLevel = it->second;
    }
    if (args.Value("--max-size", value)) {
        long long size = 0;
        if (!ParseInt(value, size) || size < 0 || size > INT32_MAX)
            return UsageError(Self(), "--max-size needs a byte count from 0 to 2147483647");
        archive.MaxSize = static_cast<int32_t>(size);
    }
    archive.SaveFileID = args.Flag("--save-file-id");
    if (args.Flag("--incremental")) archive.SetBackupMode(bmIncremental);
    if (args.Flag("--set-archive-flag")) archive.SetArchiveFlag = true;
    bool quiet = args.Flag("--quiet");
    std::vector<std::string> rest;
    if (!args.Positionals(rest)) return UsageError(Self(), args.Error);
    if (rest.size() < 2) return UsageError(Self(), "create needs an archive and at least one pattern");

    TerminalProgress progress(quiet);
    Attach(archive, progress);
    archive.OnNeedDisk = [](TBackupFile&, uint16_t, bool&) {};  // the next volume is simply the next file
    std::vector<std::string> patterns(rest.begin() + 1, rest.end());
    bool ok = archive.Backup(patterns, rest[0]);
    progress.Finish();
    // An archive without the files meant is easily taken for a good one.
    for (const auto& pattern : archive.UnmatchedPatterns())
        std::cerr << "nestbridge-cli archive create: no file matches " << pattern
                  << (DirectoryExists(pattern) ? " (a folder: name its files, as FOLDER/*.*, and add \" /s\" for its subfolders)" : "")
                  << '\n';
    return ok ? ExitOk : ExitFailure;
}

int Restore(ArgParser& args) {
    static const std::map<std::string, TRestoreMode> modes = {{"all", rmAll},
                                                              {"no-overwrite", rmNoOverwrite},
                                                              {"newer", rmNewer},
                                                              {"existing", rmExisting},
                                                              {"existing-newer", rmExistingNewer}};
    TBackupFile archive;
    std::string value;
    if (args.Value("--mode", value)) {
        auto it = modes.find(value);
        if (it == modes.end()) return UsageError(Self(), "unknown mode " + value);
        archive.RestoreMode = it->second;
    }
    archive.RestoreFullPath = args.Flag("--full-path");
    bool quiet = args.Flag("--quiet");
    std::vector<std::string> rest;
    if (!args.Positionals(rest)) return UsageError(Self(), args.Error);
    if (rest.empty() || rest.size() > 2) return UsageError(Self(), "restore needs an archive and at most one target");
    const std::string& path = rest[0];
    if (!FileExists(path)) {
        std::cerr << BackupErrorText(beCannotReadArchive) << ": " << path << '\n';
        return ExitFailure;
    }

    TerminalProgress progress(quiet);
    Attach(archive, progress);
    archive.OnNeedDisk = [&](TBackupFile&, uint16_t disk, bool& goOn) {
        std::string volume = VolumePath(path, disk);
        if (FileExists(volume)) return;
        goOn = false;
        progress.Finish();
        std::cerr << "Volume " << disk << " is missing: " << volume << '\n';
    };
    bool ok = archive.Restore(path, rest.size() == 2 ? rest[1] : std::string());
    progress.Finish();
    return ok ? ExitOk : ExitFailure;
}

int List(ArgParser& args) {
    std::vector<std::string> rest;
    if (!args.Positionals(rest)) return UsageError(Self(), args.Error);
    if (rest.size() != 1) return UsageError(Self(), "list needs one archive");
    ArchiveListing listing = ListArchive(rest[0]);
    std::printf("title: %s\ntotal size: %d\nfile count: %d\n", listing.Title.c_str(), listing.TotalSize,
                listing.FileCount);
    for (const auto& e : listing.Entries) {
        std::fwrite(e.Name.data(), 1, e.Name.size(), stdout);
        std::printf("\t%s\t%lld\n", FormatDosStamp(e.Stamp).c_str(), static_cast<long long>(e.Size));
    }
    return ExitOk;
}

int Verify(ArgParser& args) {
    std::vector<std::string> rest;
    if (!args.Positionals(rest)) return UsageError(Self(), args.Error);
    if (rest.size() != 1) return UsageError(Self(), "verify needs one archive");
    VerifyResult result = VerifyArchive(rest[0]);
    if (!result.Ok) {
        std::cerr << result.Problem << '\n';
        return ExitFailure;
    }
    std::printf("OK %d entries, %lld bytes\n", result.Entries, static_cast<long long>(result.Bytes));
    return ExitOk;
}

int Run(const std::vector<std::string>& argv) {
    if (argv.empty()) return UsageError(Self(), "missing sub-command");
    ArgParser args(std::vector<std::string>(argv.begin() + 1, argv.end()));
    if (argv[0] == "--help" || argv[0] == "-h" || args.WantsHelp()) {
        std::cout << kUsage;
        return ExitOk;
    }
    try {
        if (argv[0] == "create") return Create(args);
        if (argv[0] == "restore") return Restore(args);
        if (argv[0] == "list") return List(args);
        if (argv[0] == "verify") return Verify(args);
    } catch (const Exception& e) {
        std::cerr << e.Message() << '\n';
        return ExitFailure;
    }
    return UsageError(Self(), "unknown sub-command " + argv[0]);
}

const Command& Self() {
    static const Command command{"archive", "create, restore, list or verify a backup archive", kUsage, Run};
    return command;
}

const RegisterCommand registration{Self()};

}  // namespace

}  // namespace nb::cli
