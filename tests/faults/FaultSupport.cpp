#include "tests/faults/FaultSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "tests/app/AppTestSupport.h"

namespace nb::test {

namespace fs = std::filesystem;

ScriptedFtpServer::ScriptedFtpServer(const std::string& fault, const std::string& archive)
    : server_(PythonScript("tests/faults/scripted_ftpd.py", {fault, HostPath(archive)}), "scripted_ftpd.py") {}

ScriptedFtpServer::~ScriptedFtpServer() = default;

ThrottledFtpServer::ThrottledFtpServer(int bytesPerSecond)
    : server_(PythonScript("tests/faults/throttled_ftpd.py",
                           {"user", "secret", HostPath(home_.Path()), std::to_string(bytesPerSecond)}),
              "throttled_ftpd.py") {}

ThrottledFtpServer::~ThrottledFtpServer() = default;

namespace {

// Windows keeps the settings beside the program (and zipcode.bck with it).
bool SettingsBesideTheProgram() { return Separator() == '\\'; }

}  // namespace

CliWorld::CliWorld(const std::string& program) : program_(program) {
    fs::create_directories(FsPath(root / "wine"));
    env = {"XDG_CONFIG_HOME=" + (root / "config"), "WINEPREFIX=" + (root / "wine"), "HOME=" + root.Path()};
    if (SettingsBesideTheProgram()) {
        const fs::path original = FsPath(program);
        fs::create_directories(FsPath(root / "bin"));
        program_ = root / ("bin/" + PathText(original.filename()));
        fs::copy_file(original, FsPath(program_));
        const fs::path zipcode = original.parent_path() / "zipcode.bck";
        if (fs::exists(zipcode)) fs::copy_file(zipcode, FsPath(root / "bin/zipcode.bck"));
    }
    BuildFolder(DataFolder(), OldSet());
}

std::string CliWorld::SettingsFile() const {
    return SettingsBesideTheProgram() ? root / "bin/FtpHost.ini" : root / "config/nestbridge/FtpHost.ini";
}

FolderContents CliWorld::OldSet() {
    return {{"Sale.DB", RandomBytes(70000, 1)},
            {"Sale.PX", "sale index"},
            {"Item.DB", RandomBytes(20000, 2)},
            {"Gone.MB", "only in the old set"},
            {"Empty.DB", ""},
            {".hidden", "a hidden file the swap never touches"},
            {".wine-settings", "another hidden file"},
            {"Backup", "<dir>"},
            {"Backup/user.bck", "the previous local archive"},
            {"Reports", "<dir>"},
            {"Reports/2025.txt", "a subfolder's file"}};
}

FolderContents CliWorld::NewFiles() {
    return {{"Sale.DB", RandomBytes(90000, 11)},
            {"Sale.PX", "new sale index"},
            {"Item.DB", RandomBytes(10000, 12)},
            {"New.DB", "only in the new set"},
            {"Note.DB", ""},
            {"TaxBill.MB", RandomBytes(3000, 13)}};
}

void CliWorld::UseServer(int port, int transferTimeoutMs) const {
    WriteServiceSettings(SettingsFile(), port);
    std::string text = ReadFile(SettingsFile());
    WriteFile(SettingsFile(), text + "TransferTimeout=" + std::to_string(transferTimeoutMs) + "\n");
}

void CliWorld::RegisterDataFolder() {
    ASSERT_TRUE(registry_.SetText("Software\\Marrowby\\Tallyvine\\Database", "DefaultDatabase", DataFolder()));
}

std::string CliWorld::MakeNewArchive() {
    const std::string source = root / "new", archive = root / "user.bck";
    BuildFolder(source, NewFiles());
    Cli({"archive", "create", archive, root / "new/*.*"});
    return archive;
}

CommandResult CliWorld::Cli(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
                            int limitSeconds) const {
    std::vector<std::string> argv{program_};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> all = env;
    all.insert(all.end(), extraEnv.begin(), extraEnv.end());
    // A hang is a failure (exit 124), not a stuck suite.
    return RunCommand(argv, all, "", limitSeconds);
}

CommandResult CliWorld::Download(const std::vector<std::string>& extraEnv) const {
    return Cli(
        {"download", "--user", "user", "--password", "secret", "--data-folder", DataFolder(), "--quiet", "--yes"},
        extraEnv);
}

std::unique_ptr<ChildProcess> CliWorld::StartUpload() const {
    return std::make_unique<ChildProcess>(
        std::vector<std::string>{program_, "upload", "--user", "user", "--password", "secret", "--data-folder",
                                 DataFolder(), "--quiet", "--yes"},
        env);
}

CommandResult CliWorld::Upload(const std::vector<std::string>& extraEnv) const {
    return Cli({"upload", "--user", "user", "--password", "secret", "--data-folder", DataFolder(), "--quiet", "--yes"},
               extraEnv);
}

}  // namespace nb::test
