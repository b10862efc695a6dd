#pragma once
// Helpers the tests share: temporary folders, files, free ports, child processes and a real
// FTP server (pyftpdlib on 127.0.0.1).
#include <cstdint>
#include <filesystem>
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
// Runs argv (no shell), with optional extra environment "K=V" entries and standard input.
CommandResult RunCommand(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {},
                         const std::string& stdinText = "");
// The nestbridge-cli under test (from $NB_CLI).
std::string CliPath();

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
    void Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;  // defined by each system's support
    bool started_ = false;
};

// pyftpdlib serving a temporary home for one user, on 127.0.0.1 and a free port.
class PyFtpServer {
public:
    PyFtpServer(const std::string& user = "user", const std::string& password = "secret");
    ~PyFtpServer();
    PyFtpServer(const PyFtpServer&) = delete;
    PyFtpServer& operator=(const PyFtpServer&) = delete;

    int Port() const { return port_; }
    const std::string& Home() const { return home_.Path(); }
    const std::string& User() const { return user_; }
    const std::string& Password() const { return password_; }
    // False (with the reason in Error()) when the server could not be started.
    bool Running() const { return running_; }
    const std::string& Error() const { return error_; }

private:
    TempDir home_;
    std::string user_, password_, error_;
    int port_ = 0;
    std::unique_ptr<ServerProcess> process_;
    bool running_ = false;
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

    int Port() const { return port_; }
    std::string Root() const { return dir_ / "root"; }
    std::string LogFile() const { return dir_ / "vsftpd.log"; }
    bool Running() const { return process_ != nullptr; }
    const std::string& Error() const { return error_; }

private:
    TempDir dir_;
    std::string error_;
    int port_ = 0;
    std::unique_ptr<ServerProcess> process_;
};

}  // namespace nb::test
