#pragma once
// Helpers the tests share: temporary folders, files, free ports, child processes and a real
// FTP server (pyftpdlib on 127.0.0.1).
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace nb::test {

// A fresh folder under $TMPDIR (or /tmp; under Wine the same folder through drive Z:), removed
// with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    // Path of a child: Path() + separator + name, whose '/' become the system's separator.
    std::string operator/(const std::string& name) const;

private:
    std::string path_;
};

// True when the test runs under Wine rather than on Windows itself.
bool UnderWine();

// The system's separator, '/' or '\\'.
char Separator();
// A name or path as this system's archives store it, and as a file packed by them comes back:
// A-Z folded to a-z on Windows, whose file names ignore case; as it is on Linux.
std::string ArchiveCase(const std::string& name);
// A path the test was given by the build (a source or build folder) as this system names it.
std::string LocalPath(const std::string& hostPath);
// A path of this system as the build machine's programs (the Python servers) name it.
std::string HostPath(const std::string& localPath);
// NB_SOURCE_DIR/relative, as this system names it.
std::string SourcePath(const std::string& relative);

// Paths are UTF-8 text in the program; std::filesystem takes and gives them as such only so.
std::filesystem::path FsPath(const std::string& path);
std::string PathText(const std::filesystem::path& path);

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool PathExists(const std::string& path);
void RemoveTree(const std::string& path);
// Deterministic pseudo-random bytes (incompressible).
std::string RandomBytes(size_t size, uint32_t seed);

// Points the system's temporary folder ($TMPDIR; Windows: TMP and TEMP) at folder while it lives.
class ScopedTempFolder {
public:
    explicit ScopedTempFolder(const std::string& folder);
    ~ScopedTempFolder();
    ScopedTempFolder(const ScopedTempFolder&) = delete;
    ScopedTempFolder& operator=(const ScopedTempFolder&) = delete;

private:
    std::vector<std::pair<std::string, std::string>> saved_;  // name, value ("\0" when unset)
};

// A TCP port on 127.0.0.1 that was free a moment ago.
int FreePort();
// True when something accepts connections on 127.0.0.1:port.
bool PortAccepts(int port);

struct CommandResult {
    int ExitCode = -1;  // -1 when killed by a signal
    std::string Stdout;
    std::string Stderr;
};
// Runs argv (no shell), with optional extra environment "K=V" entries and standard input. A
// program still running after limitSeconds (0: no limit) is ended; its exit code is then 124.
CommandResult RunCommand(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {},
                         const std::string& stdinText = "", int limitSeconds = 0);
// The exit code RunCommand reports for a program ended at once from outside or at a crash point:
// -1 (a signal) on POSIX; on Windows 137, the code TerminateProcess is given there.
int KilledExitCode();
// The nestbridge-cli under test (from $NB_CLI).
std::string CliPath();

// A program of this system started without waiting for it, its output discarded; ended at once
// by Kill() or on destruction.
class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return started_; }
    // Ends it as a kill or a power cut would (SIGKILL; TerminateProcess on Windows) and waits for its end.
    void Kill();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;  // defined by each system's support
    bool started_ = false;
};

// Another process holding a file open as the accounting program holds its tables: on Windows
// without delete sharing, so that nobody can move or delete the file meanwhile. Released on
// destruction.
class FileHolder {
public:
    explicit FileHolder(const std::string& path);
    ~FileHolder();
    FileHolder(const FileHolder&) = delete;
    FileHolder& operator=(const FileHolder&) = delete;

    // True once the other process has the file open.
    bool Holding() const { return holding_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    bool holding_ = false;
};

// Gives a file or folder the hidden attribute where the system has one (Windows); elsewhere a
// leading dot in its name is what hides it, and nothing is done.
void MarkHidden(const std::string& path);

// The current user's registry as a test writes it, the way the accounting program's installer
// would. Location() is what the core takes as its registry location (platform/Registry.h).
class TestRegistry {
public:
    enum class Scope {
        // A registry of the test's own: on Linux the Wine prefix prefixFolder; on Windows a fresh
        // key below HKEY_CURRENT_USER standing in for it, removed on destruction.
        Own,
        // The one programs started by the test read: on Linux the Wine prefix prefixFolder (their
        // WINEPREFIX); on Windows HKEY_CURRENT_USER itself, whose values written here go on
        // destruction. Tests that use it must not run beside others that start the program.
        CurrentUser,
    };
    TestRegistry(const std::string& prefixFolder, Scope scope);
    ~TestRegistry();
    TestRegistry(const TestRegistry&) = delete;
    TestRegistry& operator=(const TestRegistry&) = delete;

    const std::string& Location() const { return location_; }
    // A text value (REG_SZ) and a number (REG_DWORD) under key ("\"-separated, below the root).
    // On Linux the prefix's user.reg is rewritten with every value written so far (ASCII names).
    bool SetText(const std::string& key, const std::string& name, const std::string& text);
    bool SetNumber(const std::string& key, const std::string& name, uint32_t value);

private:
    bool Set(const std::string& key, const std::string& name, const std::string& type, const std::string& data);

    std::string prefix_, location_;
    // Read on Windows only.
    [[maybe_unused]] Scope scope_;
    std::vector<std::pair<std::string, std::string>> written_;  // key, value name
    std::vector<std::pair<std::string, std::string>> entries_;  // Linux: key, user.reg's line of the value
};

// A program of the build machine (python3 and a server script), its output discarded but for
// the first line, ended on destruction. Under Wine it runs on the Linux side.
class ServerProcess {
public:
    explicit ServerProcess(const std::vector<std::string>& argv);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    bool Started() const { return started_; }
    // Waits until 127.0.0.1:port accepts; false when the program ended or time ran out first.
    bool WaitForPort(int port, int seconds = 10);
    // The program's first line of output (without its line break); "" when it ended first.
    std::string FirstLine(int seconds = 10);
    bool Exited();
    // Waits up to seconds for the program to end: its exit code; negative while it still runs
    // or when a signal ended it.
    int WaitForExit(int seconds);
    void Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;  // defined by each system's support
    bool started_ = false;
};

// The one way the tests start a server program of the build machine (a Python script, vsftpd,
// pure-ftpd): command(port) is its command line for a free port of 127.0.0.1, and it is up once
// that port accepts. Three ports are tried, should another program take one first. name and, for
// a program that exits at once, missing (what may not be installed) make Error().
class LocalServer {
public:
    using Command = std::function<std::vector<std::string>(int port)>;
    LocalServer(const Command& command, const std::string& name, const std::string& missing = "");
    ~LocalServer();
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    int Port() const { return port_; }
    bool Running() const { return process_ != nullptr; }
    const std::string& Error() const { return error_; }

private:
    int port_ = 0;
    std::string error_;
    std::unique_ptr<ServerProcess> process_;
};

// Debian's python3 (another one earlier on PATH does not see Debian's modules) running script, a
// path below the source tree, with the port and then args as its arguments.
LocalServer::Command PythonScript(const std::string& script, std::vector<std::string> args);

// pyftpdlib serving a temporary home for one user, on 127.0.0.1 and a free port.
class PyFtpServer {
public:
    PyFtpServer(const std::string& user = "user", const std::string& password = "secret");
    ~PyFtpServer();
    PyFtpServer(const PyFtpServer&) = delete;
    PyFtpServer& operator=(const PyFtpServer&) = delete;

    int Port() const { return server_.Port(); }
    const std::string& Home() const { return home_.Path(); }
    const std::string& User() const { return user_; }
    const std::string& Password() const { return password_; }
    // False (with the reason in Error()) when the server could not be started.
    bool Running() const { return server_.Running(); }
    const std::string& Error() const { return server_.Error(); }

private:
    TempDir home_;
    std::string user_, password_;
    LocalServer server_;
};

// vsftpd in the foreground, unprivileged, on 127.0.0.1 and a free port: anonymous login with
// writes, renames and deletes allowed in Root(), active and passive data connections.
// extraConfig lines are appended to its configuration; the protocol is logged to LogFile().
class VsftpdServer {
public:
    explicit VsftpdServer(const std::string& extraConfig = "");
    ~VsftpdServer();
    VsftpdServer(const VsftpdServer&) = delete;
    VsftpdServer& operator=(const VsftpdServer&) = delete;

    int Port() const { return server_.Port(); }
    std::string Root() const { return dir_ / "root"; }
    std::string LogFile() const { return dir_ / "vsftpd.log"; }
    bool Running() const { return server_.Running(); }
    const std::string& Error() const { return server_.Error(); }

private:
    TempDir dir_;
    LocalServer server_;
};

// pure-ftpd in the foreground on 127.0.0.1 and a free port, one virtual user with its home in
// Home(); extraOptions are added to its command line (e.g. "-G": no renames). Each upload is a
// line of TransferLog(). Linux only: under Wine Running() is false with the reason in Error().
class PureFtpdServer {
public:
    PureFtpdServer(const std::string& user, const std::string& password, std::vector<std::string> extraOptions = {});
    ~PureFtpdServer();
    PureFtpdServer(const PureFtpdServer&) = delete;
    PureFtpdServer& operator=(const PureFtpdServer&) = delete;

    int Port() const { return server_ ? server_->Port() : 0; }
    std::string Home() const { return dir_ / "home"; }
    std::string TransferLog() const { return dir_ / "transfers.log"; }
    bool Running() const { return server_ && server_->Running(); }
    const std::string& Error() const { return server_ ? server_->Error() : error_; }

private:
    TempDir dir_;
    std::string error_;  // why the server was not started
    std::unique_ptr<LocalServer> server_;
};

}  // namespace nb::test
