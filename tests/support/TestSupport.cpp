#include "tests/support/TestSupport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace nb::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/nbtest-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

TempDir::~TempDir() { RemoveTree(path_); }

void RemoveTree(const std::string& path) {
    std::error_code ec;
    // Tests make read-only files and folders; give write access back before removing.
    if (fs::exists(path, ec)) {
        for (auto it = fs::recursive_directory_iterator(path, fs::directory_options::skip_permission_denied, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (!it->is_symlink(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(path, ec);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + path);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool PathExists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

std::string RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (auto& c : s) c = static_cast<char>(rng() & 0xFF);
    return s;
}

int FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

namespace {

std::string Drain(int fd) {
    std::string out;
    char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    return out;
}


}  // namespace

bool PortAccepts(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

CommandResult RunCommand(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
                         const std::string& stdinText) {
    int in[2], out[2], err[2];
    if (pipe(in) || pipe(out) || pipe(err)) throw std::runtime_error("pipe failed");
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
        for (const auto& e : extraEnv) putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    std::thread writer([&] {
        size_t off = 0;
        while (off < stdinText.size()) {
            ssize_t n = write(in[1], stdinText.data() + off, stdinText.size() - off);
            if (n <= 0) break;
            off += static_cast<size_t>(n);
        }
        close(in[1]);
    });
    CommandResult r;
    std::thread errReader([&] { r.Stderr = Drain(err[0]); });
    r.Stdout = Drain(out[0]);
    errReader.join();
    writer.join();
    close(out[0]);
    close(err[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string CliPath() {
    const char* p = std::getenv("NB_CLI");
    return p ? p : "nestbridge-cli";
}

int StartServerScript(const std::string& script, const std::vector<std::string>& args, int port) {
    const char* source = std::getenv("NB_SOURCE_DIR");
    const std::string path = std::string(source ? source : ".") + "/" + script;
    pid_t pid = fork();
    if (pid == 0) {
        int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 1);
        dup2(devnull, 2);
        std::vector<char*> argv{const_cast<char*>("python3"), const_cast<char*>(path.c_str())};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        // Debian's interpreter: another python3 earlier on PATH does not see Debian's modules.
        execv("/usr/bin/python3", argv.data());
        _exit(127);
    }
    for (int i = 0; i < 500; ++i) {
        if (PortAccepts(port)) return pid;
        if (waitpid(pid, nullptr, WNOHANG) == pid) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

void StopServerScript(int pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

PyFtpServer::PyFtpServer(const std::string& user, const std::string& password) : user_(user), password_(password) {
    for (int attempt = 0; attempt < 3 && pid_ <= 0; ++attempt) {
        port_ = FreePort();
        pid_t pid = fork();
        if (pid == 0) {
            int devnull = open("/dev/null", O_RDWR);
            dup2(devnull, 0);
            dup2(devnull, 1);
            dup2(devnull, 2);
            std::string p = std::to_string(port_);
            // Debian's interpreter: another python3 earlier on PATH does not see Debian's modules.
            execl("/usr/bin/python3", "python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p", p.c_str(), "-w", "-u",
                  user_.c_str(), "-P", password_.c_str(), "-d", home_.Path().c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            if (PortAccepts(port_)) {
                pid_ = pid;
                break;
            }
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                error_ = "pyftpdlib exited (is python3-pyftpdlib installed?)";
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (pid_ <= 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            if (error_.empty()) error_ = "pyftpdlib did not start listening";
        }
    }
}

PyFtpServer::~PyFtpServer() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

VsftpdServer::VsftpdServer() {
    fs::create_directories(Root());
    fs::permissions(Root(), fs::perms(0755));
    port_ = FreePort();
    const std::string config = dir_ / "vsftpd.conf";
    WriteFile(config, "listen=YES\nlisten_address=127.0.0.1\nlisten_port=" + std::to_string(port_) +
                          "\nbackground=NO\nrun_as_launching_user=YES\n"
                          "anonymous_enable=YES\nlocal_enable=NO\nno_anon_password=YES\nwrite_enable=YES\n"
                          "anon_upload_enable=YES\nanon_mkdir_write_enable=YES\nanon_other_write_enable=YES\n"
                          "anon_world_readable_only=NO\nanon_umask=022\nanon_root=" + Root() +
                          "\nsecure_chroot_dir=" + dir_.Path() +
                          "\nport_enable=YES\nconnect_from_port_20=NO\npasv_enable=YES\n"
                          "seccomp_sandbox=NO\nxferlog_enable=NO\n");
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0);
        dup2(devnull, 1);
        dup2(devnull, 2);
        execl("/usr/sbin/vsftpd", "vsftpd", config.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (PortAccepts(port_)) {
            pid_ = pid;
            return;
        }
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            error_ = "vsftpd exited (is vsftpd installed?)";
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(-pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    error_ = "vsftpd did not start listening";
}

VsftpdServer::~VsftpdServer() {
    if (pid_ > 0) {
        kill(-pid_, SIGTERM);  // its own process group: the session processes too
        waitpid(pid_, nullptr, 0);
    }
}

}  // namespace nb::test
