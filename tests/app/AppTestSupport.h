#pragma once
// What the application tests share: a window that records what it is shown, a settings file
// pointing the service at 127.0.0.1, folder snapshots, and a server whose SIZE lies.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/WindowLayer.h"
#include "tests/support/TestSupport.h"

namespace nb::test {

// Records status texts and boxes as "status:…", "message:…", "info:…|caption", "error:…",
// questions as "ask:…|caption" (answered answerYes).
class RecordingWindow : public TWindowLayer {
public:
    std::string UserIDText() const override { return userID; }
    void SetUserIDText(const std::string& text) override { userID = text; }
    std::string PasswordText() const override { return password; }
    void SetPasswordText(const std::string& text) override { password = text; }
    void SetStatusText(const std::string& text) override { events.push_back("status:" + text); }
    bool ProgressVisible() const override { return progressVisible; }
    void SetProgressVisible(bool visible) override { progressVisible = visible; }
    void SetProgressMax(int32_t max) override { progressMax = max; }
    void SetProgressPosition(int32_t position) override { progressPosition = position; }
    void ShowMessage(const std::string& text) override { events.push_back("message:" + text); }
    void ShowInformation(const std::string& text, const std::string& caption) override {
        events.push_back("info:" + text + "|" + caption);
    }
    void ShowErrorBox(const std::string& text) override { events.push_back("error:" + text); }
    bool AskYesNo(const std::string& text, const std::string& caption) override {
        events.push_back("ask:" + text + "|" + caption);
        return answerYes;
    }
    void SetCursor(TScreenCursor c) override { cursor = c; }
    void ProcessMessages() override { ++processed; }

    // The events with each run of speed texts folded into one "status:Download speed *" and
    // each question into "ask".
    std::vector<std::string> Folded() const;

    std::string userID, password;
    bool progressVisible = true;
    int32_t progressMax = 100, progressPosition = 0;
    TScreenCursor cursor = TScreenCursor::Default;
    int processed = 0;
    bool answerYes = true;
    std::vector<std::string> events;
};

std::vector<std::string> FoldSpeedLines(const std::vector<std::string>& lines, const std::string& prefix = "");
std::vector<std::string> SplitLines(const std::string& text);

// Every entry below a folder (hidden ones and subfolders included): relative path ('/'-separated)
// → mode and bytes.
std::map<std::string, std::string> Snapshot(const std::string& folder);

// Writes a settings file whose "Service" section sends the probe and the FTP client to 127.0.0.1.
void WriteServiceSettings(const std::string& settingsFile, int ftpPort, int probeTimeoutMs = 2000);

// pyftpdlib with a SIZE answer off by bonus bytes.
class LyingFtpServer {
public:
    LyingFtpServer(int sizeBonus, const std::string& user = "user", const std::string& password = "secret");
    ~LyingFtpServer();
    LyingFtpServer(const LyingFtpServer&) = delete;
    LyingFtpServer& operator=(const LyingFtpServer&) = delete;
    int Port() const { return server_.Port(); }
    const std::string& Home() const { return home_.Path(); }
    bool Running() const { return server_.Running(); }

private:
    TempDir home_;
    LocalServer server_;
};

}  // namespace nb::test
