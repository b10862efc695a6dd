#include "tests/support/TestSupport.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace nb::test {

std::string ArchiveCase(const std::string& name) {
    std::string folded = name;
    if (Separator() == '\\')
        for (auto& c : folded)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return folded;
}

namespace fs = std::filesystem;

fs::path FsPath(const std::string& path) { return fs::path(std::u8string(path.begin(), path.end())); }

std::string PathText(const fs::path& path) {
    std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string TempDir::operator/(const std::string& name) const {
    std::string local = name;
    for (char& c : local)
        if (c == '/') c = Separator();
    return path_ + Separator() + local;
}

TempDir::~TempDir() { RemoveTree(path_); }

void RemoveTree(const std::string& path) {
    std::error_code ec;
    // Tests make read-only files and folders; give write access back before removing.
    if (fs::exists(FsPath(path), ec)) {
        for (auto it =
                 fs::recursive_directory_iterator(FsPath(path), fs::directory_options::skip_permission_denied, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (!it->is_symlink(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
        fs::permissions(FsPath(path), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(FsPath(path), ec);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + path);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(FsPath(path), std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool PathExists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(FsPath(path), ec));
}

std::string RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (auto& c : s) c = static_cast<char>(rng() & 0xFF);
    return s;
}

std::string SourcePath(const std::string& relative) {
    const char* source = std::getenv("NB_SOURCE_DIR");
    std::string rel = relative;
    for (auto& c : rel)
        if (c == '/') c = Separator();
    return LocalPath(source ? source : ".") + Separator() + rel;
}

std::string CliPath() {
    const char* p = std::getenv("NB_CLI");
    return p ? LocalPath(p) : "nestbridge-cli";
}

bool ServerProcess::WaitForPort(int port, int seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (started_ && std::chrono::steady_clock::now() < deadline) {
        if (PortAccepts(port)) return true;
        if (Exited()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

LocalServer::LocalServer(const Command& command, const std::string& name, const std::string& missing) {
    for (int attempt = 0; attempt < 3 && !process_; ++attempt) {
        port_ = FreePort();
        process_ = std::make_unique<ServerProcess>(command(port_));
        if (process_->WaitForPort(port_)) return;
        error_ = !process_->Exited() ? name + " did not start listening"
                 : missing.empty()   ? name + " exited"
                                     : name + " exited (" + missing + ")";
        process_.reset();
    }
}

LocalServer::~LocalServer() = default;

LocalServer::Command PythonScript(const std::string& script, std::vector<std::string> args) {
    return [script, args](int port) {
        std::vector<std::string> argv{"/usr/bin/python3", HostPath(SourcePath(script)), std::to_string(port)};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    };
}

namespace {

LocalServer::Command PyFtpdCommand(const std::string& user, const std::string& password, const std::string& home) {
    return [=](int port) {
        return std::vector<std::string>{"/usr/bin/python3",
                                        "-m",
                                        "pyftpdlib",
                                        "-i",
                                        "127.0.0.1",
                                        "-p",
                                        std::to_string(port),
                                        "-w",
                                        "-u",
                                        user,
                                        "-P",
                                        password,
                                        "-d",
                                        home};
    };
}

}  // namespace

PyFtpServer::PyFtpServer(const std::string& user, const std::string& password)
    : user_(user), password_(password),
      server_(PyFtpdCommand(user, password, HostPath(home_.Path())), "pyftpdlib", "is python3-pyftpdlib installed?") {}

PyFtpServer::~PyFtpServer() = default;

VsftpdServer::VsftpdServer(const std::string& extraConfig)
    : server_(
          [&](int port) {
              fs::create_directories(Root());
              fs::permissions(Root(), fs::perms(0755));
              const std::string config = dir_ / "vsftpd.conf";
              WriteFile(config, "listen=YES\nlisten_address=127.0.0.1\nlisten_port=" + std::to_string(port) +
                                    "\nbackground=NO\nrun_as_launching_user=YES\n"
                                    "anonymous_enable=YES\nlocal_enable=NO\nno_anon_password=YES\nwrite_enable=YES\n"
                                    "anon_upload_enable=YES\nanon_mkdir_write_enable=YES\nanon_other_write_enable=YES\n"
                                    "anon_world_readable_only=NO\nanon_umask=022\nanon_root=" +
                                    HostPath(Root()) + "\nsecure_chroot_dir=" + HostPath(dir_.Path()) +
                                    "\nport_enable=YES\nconnect_from_port_20=NO\npasv_enable=YES\n"
                                    "seccomp_sandbox=NO\nxferlog_enable=NO\nlog_ftp_protocol=YES\ndual_log_enable=YES\n"
                                    "vsftpd_log_file=" +
                                    HostPath(LogFile()) + "\n" + extraConfig);
              return std::vector<std::string>{"/usr/sbin/vsftpd", HostPath(config)};
          },
          "vsftpd", "is vsftpd installed?") {}

VsftpdServer::~VsftpdServer() = default;

PureFtpdServer::PureFtpdServer(const std::string& user, const std::string& password,
                               std::vector<std::string> extraOptions) {
    if (UnderWine()) {
        error_ = "pure-ftpd's accounts are made with a Linux program, which a Windows test cannot wait for";
        return;
    }
    // Debian installs only one FTP server package: pure-ftpd is unpacked beside vsftpd.
    std::string bin;
    for (const char* prefix : {"/usr", "/usr/local/lib/nestbridge-peers/pure-ftpd/usr"})
        if (PathExists(std::string(prefix) + "/sbin/pure-ftpd")) bin = prefix;
    if (bin.empty()) {
        error_ = "pure-ftpd is not installed (scripts/install-deps.sh unpacks it)";
        return;
    }
    // The virtual user runs as nobody, in a home nobody may write.
    fs::create_directories(Home());
    fs::permissions(dir_.Path(), fs::perms(0755));
    CommandResult owner = RunCommand({"chown", "65534:65534", Home()});
    const std::string passwd = dir_ / "passwd", db = dir_ / "users.pdb";
    CommandResult added =
        RunCommand({bin + "/bin/pure-pw", "useradd", user, "-u", "65534", "-g", "65534", "-d", Home(), "-f", passwd},
                   {}, password + "\n" + password + "\n");
    CommandResult made = RunCommand({bin + "/bin/pure-pw", "mkdb", db, "-f", passwd});
    if (owner.ExitCode != 0 || added.ExitCode != 0 || made.ExitCode != 0) {
        error_ = "cannot make pure-ftpd's account: " + owner.Stderr + added.Stderr + made.Stderr;
        return;
    }
    server_ = std::make_unique<LocalServer>(
        [&](int port) {
            std::vector<std::string> argv{bin + "/sbin/pure-ftpd",
                                          "-S",
                                          "127.0.0.1," + std::to_string(port),
                                          "-l",
                                          "puredb:" + db,
                                          "-E",
                                          "-H",
                                          "-O",
                                          "clf:" + TransferLog()};
            argv.insert(argv.end(), extraOptions.begin(), extraOptions.end());
            return argv;
        },
        "pure-ftpd");
}

PureFtpdServer::~PureFtpdServer() = default;

}  // namespace nb::test
