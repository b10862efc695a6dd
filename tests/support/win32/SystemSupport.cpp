// The test support that needs the system: folders, sockets and child processes on Windows. The
// servers are Linux programs started through Wine, which cannot wait for them or read their
// output; linux_side.py runs them and reports over a loopback connection instead.
#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <thread>

#include "tests/support/TestSupport.h"

namespace nb::test {

namespace {

std::wstring Widen(const std::string& s) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::string Narrow(const std::wstring& w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

struct SocketsStarted {
    SocketsStarted() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};

void StartSockets() { static SocketsStarted started; }

sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<u_short>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// One argument as CommandLineToArgvW reads it back.
std::wstring Quote(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        out += c;
    }
    out.append(slashes * 2, L'\\');
    return out + L"\"";
}

std::wstring CommandLine(const std::vector<std::string>& argv) {
    std::wstring line;
    for (const auto& a : argv) line += (line.empty() ? L"" : L" ") + Quote(Widen(a));
    return line;
}

// This process's environment with extra "K=V" entries put over it, as a CreateProcess block.
std::wstring EnvironmentBlock(const std::vector<std::string>& extra) {
    std::map<std::wstring, std::wstring> vars;
    wchar_t* env = GetEnvironmentStringsW();
    for (const wchar_t* p = env; *p; p += wcslen(p) + 1) {
        std::wstring entry = p;
        size_t eq = entry.find(L'=', 1);
        if (eq != std::wstring::npos) vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    FreeEnvironmentStringsW(env);
    for (const auto& e : extra) {
        std::wstring entry = Widen(e);
        size_t eq = entry.find(L'=');
        if (eq != std::wstring::npos) vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    std::wstring block;
    for (const auto& [k, v] : vars) block += k + L"=" + v + L'\0';
    return block + L'\0';
}

// The exit code of a program ended at once, as the crash points end the program under test.
constexpr UINT kKilledExitCode = 137;

// Wine starts a Linux program without a process or thread handle and leaves stale stack words
// in pi: closing or waiting on those hit the test's own stdout and sockets. A handle is ours only
// when it names what was started.
bool NamesProcess(const PROCESS_INFORMATION& pi) {
    return pi.dwProcessId != 0 && GetProcessId(pi.hProcess) == pi.dwProcessId;
}

bool NamesThread(const PROCESS_INFORMATION& pi) {
    return pi.dwThreadId != 0 && GetThreadId(pi.hThread) == pi.dwThreadId;
}

// The null device, inheritable, for a child's standard handles; one for the whole run.
HANDLE NullDevice() {
    static HANDLE device = [] {
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        return CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           OPEN_EXISTING, 0, nullptr);
    }();
    return device;
}

// Starts argv with inherited handles: 0, or the system's error code of the last refusal. Wine now
// and then refuses one start among hundreds (seen in CI, in the crash suite's 300 starts) and
// takes the same start a moment later, so a refusal is tried again before it counts.
DWORD CreateInheriting(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv, STARTUPINFOW& si,
                       PROCESS_INFORMATION& pi) {
    std::wstring line = CommandLine(argv);
    std::wstring env = EnvironmentBlock(extraEnv);
    DWORD error = 0;
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (attempt > 0) Sleep(200);
        if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT, env.data(),
                           nullptr, &si, &pi))
            return 0;
        error = GetLastError();
    }
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

// Starts argv with standard input and error on the null device and standard output on out.
bool StartProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv, HANDLE out,
                  PROCESS_INFORMATION& pi) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = NullDevice();
    si.hStdOutput = out;
    si.hStdError = NullDevice();
    if (CreateInheriting(argv, extraEnv, si, pi) != 0) return false;
    if (NamesProcess(pi) && NamesThread(pi)) return true;
    pi = PROCESS_INFORMATION{};  // a Linux program: nothing here to wait on or end (ServerProcess can)
    return false;
}

std::string Drain(HANDLE h) {
    std::string out;
    char buf[65536];
    DWORD n = 0;
    while (::ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
    return out;
}

}  // namespace

TempDir::TempDir() {
    // Under Wine the Linux temporary folder is reachable as Z:, so the Linux-side servers see
    // the same folder; elsewhere the system's own.
    std::string base;
    if (GetFileAttributesW(L"Z:\\tmp") != INVALID_FILE_ATTRIBUTES) {
        base = "Z:\\tmp";
    } else {
        wchar_t temp[MAX_PATH + 1];
        DWORD n = GetTempPathW(MAX_PATH, temp);
        base = Narrow(std::wstring(temp, n));
        if (!base.empty() && base.back() == '\\') base.pop_back();
    }
    for (unsigned attempt = 0; attempt < 1000; ++attempt) {
        std::string path = base + "\\nbtest-" + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string((GetTickCount64() + attempt * 7919u) % 1000000u);
        if (CreateDirectoryW(Widen(path).c_str(), nullptr)) {
            path_ = path;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

ScopedTempFolder::ScopedTempFolder(const std::string& folder) {
    for (const char* name : {"TMP", "TEMP"}) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? old : std::string(1, '\0'));
        _wputenv_s(Widen(name).c_str(), Widen(folder).c_str());
    }
}

ScopedTempFolder::~ScopedTempFolder() {
    for (const auto& [name, value] : saved_)
        _wputenv_s(Widen(name).c_str(), value == std::string(1, '\0') ? L"" : Widen(value).c_str());
}

bool UnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

char Separator() { return '\\'; }

std::string LocalPath(const std::string& hostPath) {
    if (hostPath.empty() || hostPath[0] != '/') return hostPath;
    std::string out = "Z:" + hostPath;
    for (auto& c : out)
        if (c == '/') c = '\\';
    return out;
}

std::string HostPath(const std::string& localPath) {
    if (localPath.size() < 2 || (localPath[0] != 'Z' && localPath[0] != 'z') || localPath[1] != ':') return localPath;
    std::string out = localPath.substr(2);
    for (auto& c : out)
        if (c == '\\') c = '/';
    return out.empty() ? "/" : out;
}

int FreePort() {
    StartSockets();
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(0);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    closesocket(s);
    return ntohs(a.sin_port);
}

bool PortAccepts(int port) {
    StartSockets();
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(port);
    bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    closesocket(s);
    return ok;
}

CommandResult RunCommand(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
                         const std::string& stdinText, int limitSeconds) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE inRead, inWrite, outRead, outWrite, errRead, errWrite;
    if (!CreatePipe(&inRead, &inWrite, &inherit, 0) || !CreatePipe(&outRead, &outWrite, &inherit, 0) ||
        !CreatePipe(&errRead, &errWrite, &inherit, 0))
        throw std::runtime_error("CreatePipe failed");
    for (HANDLE ours : {inWrite, outRead, errRead}) SetHandleInformation(ours, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = inRead;
    si.hStdOutput = outWrite;
    si.hStdError = errWrite;
    PROCESS_INFORMATION pi{};
    const DWORD startError = CreateInheriting(argv, extraEnv, si, pi);
    const bool created = startError == 0;
    for (HANDLE theirs : {inRead, outWrite, errWrite}) CloseHandle(theirs);
    CommandResult r;
    if (!created || !NamesProcess(pi) || !NamesThread(pi)) {
        for (HANDLE ours : {inWrite, outRead, errRead}) CloseHandle(ours);
        r.ExitCode = 127;
        const std::string program = argv.empty() ? std::string() : argv[0];
        r.Stderr = created ? "not a Windows program (use ServerProcess): " + program
                           : "cannot start " + program + " (error " + std::to_string(startError) + ")";
        return r;
    }
    // A program past its limit is ended, which closes its ends of the pipes the readers wait on.
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool timedOut = false;
    std::thread watchdog([&] {
        HANDLE both[] = {pi.hProcess, stop};
        DWORD limit = limitSeconds > 0 ? static_cast<DWORD>(limitSeconds) * 1000 : INFINITE;
        if (WaitForMultipleObjects(2, both, FALSE, limit) == WAIT_TIMEOUT) {
            timedOut = true;
            TerminateProcess(pi.hProcess, 124);
        }
    });
    std::thread writer([&] {
        DWORD n = 0;
        if (!stdinText.empty())
            ::WriteFile(inWrite, stdinText.data(), static_cast<DWORD>(stdinText.size()), &n, nullptr);
        CloseHandle(inWrite);
    });
    std::thread errReader([&] { r.Stderr = Drain(errRead); });
    r.Stdout = Drain(outRead);
    errReader.join();
    writer.join();
    CloseHandle(outRead);
    CloseHandle(errRead);
    WaitForSingleObject(pi.hProcess, INFINITE);
    SetEvent(stop);
    watchdog.join();
    CloseHandle(stop);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    r.ExitCode = timedOut ? 124 : static_cast<int>(code);
    return r;
}

int KilledExitCode() { return kKilledExitCode; }

struct ChildProcess::Impl {
    PROCESS_INFORMATION pi{};
};

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv)
    : impl_(std::make_unique<Impl>()) {
    started_ = StartProcess(argv, extraEnv, NullDevice(), impl_->pi);
}

ChildProcess::~ChildProcess() { Kill(); }

void ChildProcess::Kill() {
    if (!started_) return;
    TerminateProcess(impl_->pi.hProcess, kKilledExitCode);
    WaitForSingleObject(impl_->pi.hProcess, INFINITE);
    CloseHandle(impl_->pi.hProcess);
    CloseHandle(impl_->pi.hThread);
    started_ = false;
}

// A small program of ours (tests/support/win32/helpers) opens the file and says so on its
// output; it ends with the test process at the latest.
struct FileHolder::Impl {
    PROCESS_INFORMATION pi{};
    bool started = false;
};

FileHolder::FileHolder(const std::string& path) : impl_(std::make_unique<Impl>()) {
    const char* holder = std::getenv("NB_FILE_HOLDER");
    if (!holder) return;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outRead, outWrite;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0)) return;
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    impl_->started =
        StartProcess({LocalPath(holder), path, std::to_string(GetCurrentProcessId())}, {}, outWrite, impl_->pi);
    CloseHandle(outWrite);
    std::string said;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (impl_->started && said.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        DWORD available = 0;
        if (!PeekNamedPipe(outRead, nullptr, 0, nullptr, &available, nullptr)) break;  // it ended
        if (available == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        char buf[64];
        DWORD n = 0;
        if (!::ReadFile(outRead, buf, sizeof buf, &n, nullptr) || n == 0) break;
        said.append(buf, n);
    }
    CloseHandle(outRead);
    holding_ = said.rfind("holding", 0) == 0;  // its line ends in "\r\n"
}

FileHolder::~FileHolder() {
    if (!impl_->started) return;
    TerminateProcess(impl_->pi.hProcess, kKilledExitCode);
    WaitForSingleObject(impl_->pi.hProcess, INFINITE);
    CloseHandle(impl_->pi.hProcess);
    CloseHandle(impl_->pi.hThread);
}

void MarkHidden(const std::string& path) {
    std::wstring w = Widen(path);
    DWORD a = GetFileAttributesW(w.c_str());
    if (a != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(w.c_str(), a | FILE_ATTRIBUTE_HIDDEN);
}

// Written with reg.exe, as an installer's script would, and read back by the program's own code.
TestRegistry::TestRegistry(const std::string& prefixFolder, Scope scope) : prefix_(prefixFolder), scope_(scope) {
    static int count = 0;
    if (scope_ == Scope::Own)
        location_ =
            "Software\\NestbridgeTest\\" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count);
}

TestRegistry::~TestRegistry() {
    if (scope_ == Scope::Own) {
        // The core's reading creates the key when absent, so it may exist without a value written.
        RegDeleteTreeW(HKEY_CURRENT_USER, Widen(location_).c_str());
        return;
    }
    for (const auto& [key, name] : written_) {
        HKEY k;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, Widen(key).c_str(), 0, KEY_SET_VALUE, &k) != ERROR_SUCCESS) continue;
        RegDeleteValueW(k, Widen(name).c_str());
        RegCloseKey(k);
    }
}

bool TestRegistry::Set(const std::string& key, const std::string& name, const std::string& type,
                       const std::string& data) {
    const std::string path = location_.empty() ? key : location_ + "\\" + key;
    written_.emplace_back(path, name);
    return RunCommand({"reg.exe", "add", "HKCU\\" + path, "/v", name, "/t", type, "/d", data, "/f"}).ExitCode == 0;
}

bool TestRegistry::SetText(const std::string& key, const std::string& name, const std::string& text) {
    return Set(key, name, "REG_SZ", text);
}

bool TestRegistry::SetNumber(const std::string& key, const std::string& name, uint32_t value) {
    return Set(key, name, "REG_DWORD", std::to_string(value));
}

struct ServerProcess::Impl {
    SOCKET control = INVALID_SOCKET;
    std::string received;  // what linux_side.py said, not yet consumed
    std::string firstLine;
    bool exited = false;
    int exitCode = -1;

    // Reads what arrived within timeoutMs; false when the connection ended.
    bool Pump(int timeoutMs) {
        if (control == INVALID_SOCKET) return false;
        fd_set set;
        FD_ZERO(&set);
        FD_SET(control, &set);
        timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        if (select(0, &set, nullptr, nullptr, &tv) <= 0) return true;
        char buf[4096];
        int n = recv(control, buf, sizeof buf, 0);
        if (n <= 0) {
            exited = true;
            return false;
        }
        received.append(buf, static_cast<size_t>(n));
        for (size_t nl; (nl = received.find('\n')) != std::string::npos;) {
            std::string message = received.substr(0, nl);
            received.erase(0, nl + 1);
            if (message.rfind("line ", 0) == 0) firstLine = message.substr(5);
            if (message.rfind("exited ", 0) == 0) {
                exited = true;
                exitCode = std::atoi(message.c_str() + 7);
            }
        }
        return true;
    }
};

ServerProcess::ServerProcess(const std::vector<std::string>& argv) : impl_(std::make_unique<Impl>()) {
    StartSockets();
    SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(0);
    int len = sizeof a;
    if (bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        closesocket(listener);
        return;
    }
    std::vector<std::string> line{"/usr/bin/python3", HostPath(SourcePath("tests/support/linux_side.py")),
                                  std::to_string(ntohs(a.sin_port))};
    line.insert(line.end(), argv.begin(), argv.end());
    std::wstring command = CommandLine(line);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        if (NamesProcess(pi)) CloseHandle(pi.hProcess);
        if (NamesThread(pi)) CloseHandle(pi.hThread);
        // Polled accept, not select: under Wine a second listener in one process was never
        // reported readable although the Linux side had connected.
        u_long nonBlocking = 1;
        ioctlsocket(listener, FIONBIO, &nonBlocking);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (impl_->control == INVALID_SOCKET && std::chrono::steady_clock::now() < deadline) {
            impl_->control = accept(listener, nullptr, nullptr);
            if (impl_->control == INVALID_SOCKET) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        u_long blocking = 0;
        if (impl_->control != INVALID_SOCKET) ioctlsocket(impl_->control, FIONBIO, &blocking);
    }
    closesocket(listener);
    started_ = impl_->control != INVALID_SOCKET;
}

ServerProcess::~ServerProcess() { Stop(); }

std::string ServerProcess::FirstLine(int seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (impl_->firstLine.empty() && !impl_->exited && std::chrono::steady_clock::now() < deadline) impl_->Pump(50);
    return impl_->firstLine;
}

bool ServerProcess::Exited() {
    if (!started_) return true;
    impl_->Pump(0);
    return impl_->exited;
}

int ServerProcess::WaitForExit(int seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (started_ && !impl_->exited && std::chrono::steady_clock::now() < deadline) impl_->Pump(50);
    return impl_->exitCode;
}

void ServerProcess::Stop() {
    if (impl_->control == INVALID_SOCKET) return;
    if (!impl_->exited) {
        send(impl_->control, "stop\n", 5, 0);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!impl_->exited && std::chrono::steady_clock::now() < deadline && impl_->Pump(50)) {
        }
    }
    closesocket(impl_->control);
    impl_->control = INVALID_SOCKET;
    impl_->exited = true;
}

}  // namespace nb::test
