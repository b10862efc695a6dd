#pragma once
// What the fault suites share: the real nestbridge-cli run against a data folder of a known
// old set, with its settings pointing at a server on 127.0.0.1, and a misbehaving FTP server.
#include <memory>
#include <string>
#include <vector>

#include "tests/support/FolderSnapshot.h"
#include "tests/support/TestSupport.h"

namespace nb::test {

// tests/faults/scripted_ftpd.py serving archive with one fault (see the script for the list).
class ScriptedFtpServer {
public:
    ScriptedFtpServer(const std::string& fault, const std::string& archive);
    ~ScriptedFtpServer();
    ScriptedFtpServer(const ScriptedFtpServer&) = delete;
    ScriptedFtpServer& operator=(const ScriptedFtpServer&) = delete;
    int Port() const { return server_.Port(); }
    bool Running() const { return server_.Running(); }

private:
    LocalServer server_;
};

// pyftpdlib whose data connections move at most bytesPerSecond each way.
class ThrottledFtpServer {
public:
    explicit ThrottledFtpServer(int bytesPerSecond);
    ~ThrottledFtpServer();
    ThrottledFtpServer(const ThrottledFtpServer&) = delete;
    ThrottledFtpServer& operator=(const ThrottledFtpServer&) = delete;
    int Port() const { return server_.Port(); }
    const std::string& Home() const { return home_.Path(); }
    bool Running() const { return server_.Running(); }

private:
    TempDir home_;
    LocalServer server_;
};

// A computer with nestbridge-cli: its own settings and registry, a data folder holding OldSet(),
// and "new" files that an archive made from them brings.
class CliWorld {
public:
    // program: the nestbridge-cli this computer runs; default the one under test (CliPath()).
    explicit CliWorld(const std::string& program = CliPath());
    // The program this computer runs: on Windows a copy in its own folder, whose settings file
    // lies beside it; elsewhere the one under test.
    const std::string& Program() const { return program_; }
    // The old data set: plain tables, a hidden file, a system-like subfolder and a local archive.
    static FolderContents OldSet();
    // The files the downloaded archive restores (zipcode.bck adds its own).
    static FolderContents NewFiles();

    std::string DataFolder() const { return root / "data"; }
    std::string SettingsFile() const;
    // Points the service at 127.0.0.1:port; transferTimeoutMs bounds every wait on the server.
    void UseServer(int port, int transferTimeoutMs = 3000) const;
    // Makes the current user's registry name the data folder, as the accounting program's
    // installer would (on Linux the world's Wine prefix, on Windows the registry itself; a test
    // that does so must run alone, since every start of the program settles that folder).
    void RegisterDataFolder();
    // Makes an archive of NewFiles() with the real program; its path.
    std::string MakeNewArchive();
    // Runs nestbridge-cli with args (and extra environment), bounded by limitSeconds.
    CommandResult Cli(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv = {},
                      int limitSeconds = 120) const;
    // The presses answer every question yes: these suites are about faults, not the data guard.
    CommandResult Download(const std::vector<std::string>& extraEnv = {}) const;
    CommandResult Upload(const std::vector<std::string>& extraEnv = {}) const;
    // Starts an upload without waiting for it (output discarded).
    std::unique_ptr<ChildProcess> StartUpload() const;

    TempDir root;
    std::vector<std::string> env;

private:
    std::string program_;
    TestRegistry registry_{root / "wine", TestRegistry::Scope::CurrentUser};
};

}  // namespace nb::test
