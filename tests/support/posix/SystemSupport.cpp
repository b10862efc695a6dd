// The test support that needs the system: folders, sockets and child processes on POSIX.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "tests/support/TestSupport.h"

namespace nb::test {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/nbtest-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

ScopedTempFolder::ScopedTempFolder(const std::string& folder) {
    const char* old = std::getenv("TMPDIR");
    saved_.emplace_back("TMPDIR", old ? old : std::string(1, '\0'));
    ::setenv("TMPDIR", folder.c_str(), 1);
}

ScopedTempFolder::~ScopedTempFolder() {
    for (const auto& [name, value] : saved_) {
        if (value == std::string(1, '\0'))
            ::unsetenv(name.c_str());
        else
            ::setenv(name.c_str(), value.c_str(), 1);
    }
}

bool UnderWine() { return false; }
char Separator() { return '/'; }
std::string LocalPath(const std::string& hostPath) { return hostPath; }
std::string HostPath(const std::string& localPath) { return localPath; }

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

namespace {

std::string Drain(int fd) {
    std::string out;
    char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    return out;
}

}  // namespace

CommandResult RunCommand(const std::vector<std::string>& command, const std::vector<std::string>& extraEnv,
                         const std::string& stdinText, int limitSeconds) {
    // coreutils' timeout ends a program past its limit (exit 124) and passes on a signal that ended it.
    std::vector<std::string> argv = command;
    if (limitSeconds > 0) argv.insert(argv.begin(), {"timeout", "-s", "KILL", std::to_string(limitSeconds)});
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

int KilledExitCode() { return -1; }

struct ChildProcess::Impl {
    pid_t pid = -1;
};

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv)
    : impl_(std::make_unique<Impl>()) {
    pid_t pid = ::fork();
    if (pid == 0) {
        const int devnull = ::open("/dev/null", O_RDWR);
        ::dup2(devnull, 0);
        ::dup2(devnull, 1);
        ::dup2(devnull, 2);
        for (const auto& e : extraEnv) ::putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    impl_->pid = pid;
    started_ = pid > 0;
}

ChildProcess::~ChildProcess() { Kill(); }

void ChildProcess::Kill() {
    if (!started_) return;
    ::kill(impl_->pid, SIGKILL);
    ::waitpid(impl_->pid, nullptr, 0);
    started_ = false;
}

// A shell that opens the file, says so and sleeps: a descriptor is all Linux has of holding a file.
struct FileHolder::Impl {
    std::unique_ptr<ServerProcess> process;
};

FileHolder::FileHolder(const std::string& path) : impl_(std::make_unique<Impl>()) {
    impl_->process = std::make_unique<ServerProcess>(
        std::vector<std::string>{"/bin/sh", "-c", "exec 3<\"$0\" || exit 1; echo holding; exec sleep 120", path});
    holding_ = impl_->process->FirstLine() == "holding";
}

FileHolder::~FileHolder() = default;

void MarkHidden(const std::string&) {}

// Wine's user.reg, rewritten whole with every value so far.
TestRegistry::TestRegistry(const std::string& prefixFolder, Scope scope)
    : prefix_(prefixFolder), location_(prefixFolder), scope_(scope) {}

TestRegistry::~TestRegistry() = default;

bool TestRegistry::Set(const std::string& key, const std::string& name, const std::string& type,
                       const std::string& data) {
    auto escaped = [](const std::string& text) {
        std::string out;
        for (char c : text) {
            if (c == '\\' || c == '"') out += '\\';
            out += c;
        }
        return out;
    };
    const std::string valueLine =
        "\"" + escaped(name) + "\"=" + (type == "REG_SZ" ? "\"" + escaped(data) + "\"" : data);
    // written_[i] names the value entries_[i] holds: a value written again replaces its line.
    const auto at = std::find(written_.begin(), written_.end(), std::make_pair(key, name));
    if (at == written_.end()) {
        written_.emplace_back(key, name);
        entries_.emplace_back(key, valueLine);
    } else {
        entries_[static_cast<size_t>(at - written_.begin())].second = valueLine;
    }
    std::string text = "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21\n";
    std::vector<std::string> keys;
    for (const auto& entry : entries_)
        if (std::find(keys.begin(), keys.end(), entry.first) == keys.end()) keys.push_back(entry.first);
    for (const auto& k : keys) {
        text += "\n[" + escaped(k) + "] 1700000000\n";
        for (const auto& [entryKey, line] : entries_)
            if (entryKey == k) text += line + "\n";
    }
    std::error_code ec;
    std::filesystem::create_directories(prefix_, ec);
    try {
        WriteFile(prefix_ + "/user.reg", text);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

bool TestRegistry::SetText(const std::string& key, const std::string& name, const std::string& text) {
    return Set(key, name, "REG_SZ", text);
}

bool TestRegistry::SetNumber(const std::string& key, const std::string& name, uint32_t value) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "dword:%08x", value);
    return Set(key, name, "REG_DWORD", hex);
}

struct ServerProcess::Impl {
    pid_t pid = -1;
    int out = -1;  // the program's standard output, read for its first line
    bool exited = false;
    int exitCode = -1;
};

ServerProcess::ServerProcess(const std::vector<std::string>& argv) : impl_(std::make_unique<Impl>()) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;  // other children of the test must not inherit it
    pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);  // its own group: a server's session processes end with it
        int devnull = ::open("/dev/null", O_RDWR);
        ::dup2(devnull, 0);
        ::dup2(out[1], 1);
        ::dup2(devnull, 2);
        ::close(out[0]);
        ::close(out[1]);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    // Also here: a Stop() before the child ran its own setpgid would signal no group and then
    // wait forever for a child still running.
    if (pid > 0) ::setpgid(pid, pid);
    ::close(out[1]);
    impl_->out = out[0];
    impl_->pid = pid;
    started_ = pid > 0;
}

ServerProcess::~ServerProcess() {
    Stop();
    if (impl_->out >= 0) ::close(impl_->out);
}

std::string ServerProcess::FirstLine(int seconds) {
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (started_ && std::chrono::steady_clock::now() < deadline) {
        pollfd p{impl_->out, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        char c;
        if (::read(impl_->out, &c, 1) != 1) return {};
        if (c == '\n') return line;
        line += c;
    }
    return {};
}

bool ServerProcess::Exited() {
    if (!started_ || impl_->exited) return true;
    int status = 0;
    impl_->exited = ::waitpid(impl_->pid, &status, WNOHANG) == impl_->pid;
    if (impl_->exited) impl_->exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return impl_->exited;
}

int ServerProcess::WaitForExit(int seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!Exited() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return impl_->exitCode;
}

void ServerProcess::Stop() {
    if (!started_ || Exited()) return;
    if (::kill(-impl_->pid, SIGKILL) != 0) ::kill(impl_->pid, SIGKILL);
    ::waitpid(impl_->pid, nullptr, 0);
    impl_->exited = true;
}

}  // namespace nb::test
