#include "tests/faults/FaultSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/app/AppTestSupport.h"

namespace nb::test {

namespace fs = std::filesystem;

ScriptedFtpServer::ScriptedFtpServer(const std::string& fault, const std::string& archive) {
    port_ = FreePort();
    process_ = std::make_unique<ServerProcess>(
        std::vector<std::string>{"/usr/bin/python3", HostPath(SourcePath("tests/faults/scripted_ftpd.py")),
                                 std::to_string(port_), fault, HostPath(archive)});
    // The script says "ready" once it listens; a probe connection would use up its one session.
    running_ = process_->FirstLine() == "ready";
}

ScriptedFtpServer::~ScriptedFtpServer() = default;

ThrottledFtpServer::ThrottledFtpServer(int bytesPerSecond) {
    port_ = FreePort();
    process_ = std::make_unique<ServerProcess>(std::vector<std::string>{
        "/usr/bin/python3", HostPath(SourcePath("tests/faults/throttled_ftpd.py")), std::to_string(port_), "user",
        "secret", HostPath(home_.Path()), std::to_string(bytesPerSecond)});
    running_ = process_->WaitForPort(port_);
}

ThrottledFtpServer::~ThrottledFtpServer() = default;

CliWorld::CliWorld() {
    fs::create_directories(root / "wine");
    env = {"XDG_CONFIG_HOME=" + (root / "config"), "WINEPREFIX=" + (root / "wine"), "HOME=" + root.Path()};
    BuildFolder(DataFolder(), OldSet());
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

void CliWorld::RegisterDataFolder() const {
    WriteFile(root / "wine/user.reg",
              "WINE REGISTRY Version 2\n\n[Software\\\\Marrowby\\\\Tallyvine\\\\Database] 1700000000\n"
              "\"DefaultDatabase\"=\"" +
                  DataFolder() + "\"\n");
}

std::string CliWorld::MakeNewArchive() {
    const std::string source = root / "new", archive = root / "user.bck";
    BuildFolder(source, NewFiles());
    Cli({"archive", "create", archive, source + "/*.*"});
    return archive;
}

CommandResult CliWorld::Cli(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
                            int limitSeconds) const {
    // coreutils' timeout turns a hang into a failure (exit 124) instead of a stuck suite.
    std::vector<std::string> argv{"timeout", "-s", "KILL", std::to_string(limitSeconds), CliPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> all = env;
    all.insert(all.end(), extraEnv.begin(), extraEnv.end());
    return RunCommand(argv, all);
}

CommandResult CliWorld::Download(const std::vector<std::string>& extraEnv) const {
    return Cli({"download", "--user", "user", "--password", "secret", "--data-folder", DataFolder(), "--quiet"},
               extraEnv);
}

int CliWorld::StartUpload() const {
    const std::string cli = CliPath(), data = DataFolder();
    pid_t pid = ::fork();
    if (pid == 0) {
        const int devnull = ::open("/dev/null", O_RDWR);
        ::dup2(devnull, 0);
        ::dup2(devnull, 1);
        ::dup2(devnull, 2);
        for (const auto& e : env) ::putenv(const_cast<char*>(e.c_str()));
        ::execl(cli.c_str(), cli.c_str(), "upload", "--user", "user", "--password", "secret", "--data-folder",
                data.c_str(), "--quiet", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

CommandResult CliWorld::Upload(const std::vector<std::string>& extraEnv) const {
    return Cli({"upload", "--user", "user", "--password", "secret", "--data-folder", DataFolder(), "--quiet"},
               extraEnv);
}

}  // namespace nb::test
