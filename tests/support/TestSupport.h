#pragma once
// Helpers the tests share: temporary folders, files, free ports, child processes and a real
// FTP server (pyftpdlib on 127.0.0.1).
#include <cstdint>
#include <string>
#include <vector>

namespace nb::test {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    // Path of a child: Path() + "/" + name.
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool PathExists(const std::string& path);
void RemoveTree(const std::string& path);
// Deterministic pseudo-random bytes (incompressible).
std::string RandomBytes(size_t size, uint32_t seed);

// A TCP port on 127.0.0.1 that was free a moment ago.
int FreePort();
// True when something accepts connections on 127.0.0.1:port.
bool PortAccepts(int port);

struct CommandResult {
    int ExitCode = -1;   // -1 when killed by a signal
    std::string Stdout;
    std::string Stderr;
};
// Runs argv (no shell), with optional extra environment "K=V" entries and standard input.
CommandResult RunCommand(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {},
                         const std::string& stdinText = "");
// The nestbridge-cli under test (from $NB_CLI).
std::string CliPath();

// Runs a Python server script (tests/<relative path>, under $NB_SOURCE_DIR) with args, output to
// /dev/null; its pid once it accepts on 127.0.0.1:port, or -1 when it ended or never listened.
int StartServerScript(const std::string& script, const std::vector<std::string>& args, int port);
// Stops a child of StartServerScript (nothing for -1).
void StopServerScript(int pid);

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
    bool Running() const { return pid_ > 0; }
    const std::string& Error() const { return error_; }

private:
    TempDir home_;
    std::string user_, password_, error_;
    int port_ = 0;
    int pid_ = -1;
};

// vsftpd in the foreground, unprivileged, on 127.0.0.1 and a free port: anonymous login with
// writes, renames and deletes allowed in Root(), active and passive data connections.
class VsftpdServer {
public:
    VsftpdServer();
    ~VsftpdServer();
    VsftpdServer(const VsftpdServer&) = delete;
    VsftpdServer& operator=(const VsftpdServer&) = delete;

    int Port() const { return port_; }
    std::string Root() const { return dir_ / "root"; }
    bool Running() const { return pid_ > 0; }
    const std::string& Error() const { return error_; }

private:
    TempDir dir_;
    std::string error_;
    int port_ = 0;
    int pid_ = -1;
};

}  // namespace nb::test
