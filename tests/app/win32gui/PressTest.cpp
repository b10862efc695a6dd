// The real window with its core, pressed as a user would, against a real FTP server on 127.0.0.1.
#include <gtest/gtest.h>

#include <windows.h>
// After windows.h.
#include <commctrl.h>

#include <map>
#include <memory>

#include "BoxAnswerer.h"
#include "app/win32gui/MainForm.h"
#include "tests/support/TestSupport.h"

namespace nb {
namespace {

// The accounting program's key, below the test's own stand-in for HKEY_CURRENT_USER.
constexpr const char* kDatabaseKey = "Software\\Marrowby\\Tallyvine\\Database";

using test::ArchiveCase;
using test::BoxAnswerer;
using test::PyFtpServer;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::map<std::string, std::string> FolderFiles(const std::string& folder) {
    std::map<std::string, std::string> files;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW(Widen(folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return files;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        std::string name = Narrow(found.cFileName);
        files[name] = ReadFile(folder + "\\" + name);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return files;
}

// Records every text the status bar's second panel is given.
LRESULT CALLBACK StatusSpy(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    if (message == SB_SETTEXTW && LOBYTE(LOWORD(wParam)) == 1)
        reinterpret_cast<std::vector<std::string>*>(data)->push_back(Narrow(reinterpret_cast<const wchar_t*>(lParam)));
    return ::DefSubclassProc(window, message, wParam, lParam);
}

void Type(HWND edit, const std::string& text) {
    ::SetWindowTextW(edit, L"");
    for (wchar_t c : Widen(text)) ::SendMessageW(edit, WM_CHAR, c, 1);
}

void Click(HWND button) { ::SendMessageW(button, BM_CLICK, 0, 0); }

// The registry names <temp>\Acc\Data\ as the accounting program's data folder, a settings file
// points the service at the local server, and the window is on top.
class WindowPress : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Running()) << server.Error();
        dataFolder = root / "Acc/Data";
        ASSERT_TRUE(::CreateDirectoryW(Widen(root / "Acc").c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW(Widen(dataFolder).c_str(), nullptr));
        ASSERT_TRUE(registry.SetText(kDatabaseKey, "DefaultDatabase", dataFolder + "\\"));
        WriteFile(root / "FtpHost.ini", "[Service]\r\nFtpHost=127.0.0.1\r\nFtpPort=" + std::to_string(server.Port()) +
                                            "\r\nProbeHost=127.0.0.1\r\nProbeTimeout=3000\r\n");
        const char* binary = std::getenv("NB_BINARY_DIR");
        ASSERT_NE(binary, nullptr);
        std::string zipcode = test::LocalPath(std::string(binary) + "/data/zipcode.bck");
        ASSERT_TRUE(test::PathExists(zipcode)) << zipcode;
        environment.SettingsFile = root / "FtpHost.ini";
        environment.RegistryLocation = registry.Location();
        environment.ZipcodeArchive = zipcode;
    }

    std::unique_ptr<TMainForm> Open() {
        auto form = std::make_unique<TMainForm>(environment);
        form->Show();
        ::SetWindowSubclass(form->Window().StatusBar, StatusSpy, 1, reinterpret_cast<DWORD_PTR>(&statuses));
        return form;
    }

    // The status texts with every speed update folded into one.
    std::vector<std::string> Steps() const {
        std::vector<std::string> steps;
        for (const std::string& s : statuses) {
            std::string step = s;
            for (const char* speed : {"Uploade speed ", "Download speed "})
                if (s.rfind(speed, 0) == 0) step = speed;
            if (steps.empty() || steps.back() != step) steps.push_back(step);
        }
        return steps;
    }

    PyFtpServer server{"kim", "pw"};
    TempDir root;
    test::TestRegistry registry{"", test::TestRegistry::Scope::Own};
    std::string dataFolder;
    TForm1Environment environment;
    std::vector<std::string> statuses;
};

TEST_F(WindowPress, UploadThenDownloadRoundTripsTheDataFolder) {
    const std::map<std::string, std::string> tables = {
        {"Sale.DB", test::RandomBytes(70000, 1)},
        {"Sale.PX", "px"},
        {"Item.DB", std::string(50000, 'i')},
        {"UserInfo.DB", "사용자"},
        {"TaxBill.MB", "memo"},
        {"Notes.txt", "not a table"},
    };
    for (const auto& [name, bytes] : tables) WriteFile(dataFolder + "\\" + name, bytes);

    auto form = Open();
    TForm1Window& w = form->Window();
    EXPECT_EQ(w.UserIDText(), "HOSTID");
    EXPECT_EQ(w.PasswordText(), "");
    Type(w.UserIDEdit, "kim");
    Type(w.PasswordEdit, "pw");

    // Upload.
    {
        BoxAnswerer answerer;
        bool disabledDuringPress = false, closeRefused = false;
        answerer.OnModal = [&](HWND) {
            disabledDuringPress = form->Core().Busy() && !::IsWindowEnabled(w.btnBackupWizard) &&
                                  !::IsWindowEnabled(w.btnRestoreWizard) && !::IsWindowEnabled(w.Image1);
            // Closing the window while a press runs is refused.
            ::SendMessageW(w.Handle(), WM_CLOSE, 0, 0);
            closeRefused = ::IsWindow(w.Handle()) != FALSE;
        };
        Click(w.btnBackupWizard);
        EXPECT_EQ(answerer.Texts(), std::vector<std::string>{"모든 작업을 정상적으로 완료하였습니다."});
        ASSERT_EQ(answerer.Seen.size(), 1u);
        EXPECT_EQ(answerer.Seen[0].Title, "Nestbridge");
        EXPECT_TRUE(disabledDuringPress);
        EXPECT_TRUE(closeRefused);
    }
    EXPECT_EQ(Steps(),
              (std::vector<std::string>{"인터넷 사용가능", "서버 접속 완료", "백업을 완료했습니다.",
                                        "파일을 올리는 중...", "Uploade speed ", "전송을 완료했습니다.", "서버 단절"}));
    EXPECT_FALSE(w.ProgressVisible());
    EXPECT_TRUE(::IsWindowEnabled(w.btnBackupWizard));
    EXPECT_TRUE(::IsWindowEnabled(w.Image1));
    const std::string uploaded = ReadFile(server.Home() + "\\kim.bck");
    EXPECT_FALSE(uploaded.empty());
    EXPECT_EQ(uploaded, ReadFile(dataFolder + "\\Backup\\kim.bck"));

    // Change the data, then download.
    WriteFile(dataFolder + "\\Sale.DB", "changed");
    WriteFile(dataFolder + "\\Stray.DB", "stray");
    ::DeleteFileW(Widen(dataFolder + "\\Item.DB").c_str());
    statuses.clear();
    {
        // The day's changes were never uploaded: the window asks first, No the default.
        BoxAnswerer answerer(IDYES);
        Click(w.btnRestoreWizard);
        ASSERT_EQ(answerer.Seen.size(), 2u);
        EXPECT_EQ(answerer.Seen[0].Text.rfind("이 컴퓨터의 자료가 마지막으로 올리거나 내려받은 뒤에 변경되었습니다", 0), 0u)
            << answerer.Seen[0].Text;
        EXPECT_EQ(answerer.Seen[0].Title, "자료백업/복원");
        EXPECT_EQ(answerer.Seen[0].Icon, test::TBoxIcon::Question);
        EXPECT_EQ(answerer.Seen[0].Buttons, (std::vector<int>{IDYES, IDNO}));
        EXPECT_EQ(answerer.Seen[1].Text, "모든 작업을 정상적으로 완료하였습니다.");
    }
    EXPECT_EQ(Steps(),
              (std::vector<std::string>{"인터넷 사용가능", "서버 접속 완료", "파일을 받는 중...", "Download speed ",
                                        "전송을 완료했습니다.", "복원을 완료했습니다.", "서버 단절"}));
    EXPECT_TRUE(::IsWindowEnabled(w.btnRestoreWizard));

    // Exactly the packed tables come back, together with what zipcode.bck holds.
    auto restored = FolderFiles(dataFolder);
    for (const auto& [name, bytes] : tables) {
        SCOPED_TRACE(name);
        if (name == "Notes.txt") {
            EXPECT_EQ(restored.count(name), 0u);
        } else {
            ASSERT_EQ(restored.count(ArchiveCase(name)), 1u);
            EXPECT_EQ(restored[ArchiveCase(name)], bytes);
        }
    }
    EXPECT_EQ(restored.count("Stray.DB"), 0u);
    EXPECT_EQ(restored.count(ArchiveCase("ZipCode.txt")), 1u);

    // Closed once idle; the settings file remembers the user for the next start.
    bool closed = false;
    w.OnClosed = [&] { closed = true; };
    ::SendMessageW(w.Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(closed);
    form.reset();
    statuses.clear();
    auto again = Open();
    EXPECT_EQ(again->Window().UserIDText(), "kim");
    EXPECT_EQ(again->Window().PasswordText(), "");
}

// A question answered No leaves the work; the system menu's undo and previous-copy commands
// each ask their own question.
TEST_F(WindowPress, QuestionsAndTheSystemMenuCommands) {
    auto form = Open();
    TForm1Window& w = form->Window();
    Type(w.UserIDEdit, "kim");
    Type(w.PasswordEdit, "pw");
    for (const char* sales : {"first", "second"}) {
        WriteFile(dataFolder + "\\Sale.DB", sales);
        BoxAnswerer answerer(IDYES);
        Click(w.btnBackupWizard);
        ASSERT_EQ(answerer.Texts(), std::vector<std::string>{"모든 작업을 정상적으로 완료하였습니다."});
    }
    WriteFile(dataFolder + "\\Sale.DB", "today's work");
    {
        BoxAnswerer answerer;  // chooses nothing the question offers: No, its default
        Click(w.btnRestoreWizard);
        ASSERT_EQ(answerer.Seen.size(), 1u);
        EXPECT_EQ(ReadFile(dataFolder + "\\Sale.DB"), "today's work");
        EXPECT_EQ(statuses.back(), "작업을 취소했습니다.");
    }
    HMENU menu = ::GetSystemMenu(w.Handle(), FALSE);
    wchar_t caption[128] = {};
    ASSERT_GT(::GetMenuStringW(menu, 0x0110, caption, 128, MF_BYCOMMAND), 0);
    EXPECT_EQ(std::wstring(caption), Widen("이전에 올린 자료 내려받기 (1회 전)..."));
    ASSERT_GT(::GetMenuStringW(menu, 0x0200, caption, 128, MF_BYCOMMAND), 0);
    EXPECT_EQ(std::wstring(caption), Widen("마지막 내려받기 되돌리기..."));
    {
        BoxAnswerer answerer(IDYES);
        ::SendMessageW(w.Handle(), WM_SYSCOMMAND, 0x0110, 0);
        ASSERT_EQ(answerer.Seen.size(), 2u);
        EXPECT_EQ(answerer.Seen[0].Text.rfind("서버에 보관된 1회 전에 올린 자료를 내려받습니다.", 0), 0u);
        EXPECT_EQ(ReadFile(dataFolder + "\\Sale.DB"), "first");
    }
    {
        BoxAnswerer answerer(IDYES);
        ::SendMessageW(w.Handle(), WM_SYSCOMMAND, 0x0200, 0);
        ASSERT_EQ(answerer.Seen.size(), 1u);
        EXPECT_EQ(answerer.Seen[0].Text.rfind("마지막으로 내려받기 전의 자료", 0), 0u);
        EXPECT_EQ(ReadFile(dataFolder + "\\Sale.DB"), "today's work");
    }
}

TEST_F(WindowPress, AWrongPasswordEndsThePressWithTheConnectFailure) {
    auto form = Open();
    Type(form->Window().UserIDEdit, "kim");
    Type(form->Window().PasswordEdit, "wrong");
    BoxAnswerer answerer;
    Click(form->Window().btnRestoreWizard);
    EXPECT_EQ(answerer.Texts(), std::vector<std::string>{"서버 접속에 실패하였습니다."});
    EXPECT_EQ(Steps(), std::vector<std::string>{"인터넷 사용가능"});
    EXPECT_TRUE(::IsWindowEnabled(form->Window().btnRestoreWizard));
    EXPECT_FALSE(form->Core().Busy());
}

TEST_F(WindowPress, WithoutADataFolderBothButtonsRefuse) {
    test::TestRegistry empty{"", test::TestRegistry::Scope::Own};
    environment.RegistryLocation = empty.Location();
    auto form = Open();
    Type(form->Window().UserIDEdit, "kim");
    Type(form->Window().PasswordEdit, "pw");
    for (HWND button : {form->Window().btnBackupWizard, form->Window().btnRestoreWizard}) {
        BoxAnswerer answerer;
        Click(button);
        ASSERT_EQ(answerer.Seen.size(), 1u);
        EXPECT_EQ(answerer.Seen[0].Title, "Nestbridge");
    }
    EXPECT_TRUE(statuses.empty());
    EXPECT_TRUE(FolderFiles(server.Home()).empty());
}

TEST_F(WindowPress, TheBannerOpensTheAboutWindowModally) {
    auto form = Open();
    BoxAnswerer answerer;
    bool aboutModal = false;
    answerer.OnModal = [&](HWND modal) {
        // The main window takes no input meanwhile.
        aboutModal =
            modal == form->About().Handle() && form->About().Modal() && !::IsWindowEnabled(form->Window().Handle());
    };
    EXPECT_FALSE(::IsWindowVisible(form->About().Handle()));
    ::SendMessageW(form->Window().Image1, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    ::SendMessageW(form->Window().Image1, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    ASSERT_EQ(answerer.Seen.size(), 1u);
    EXPECT_TRUE(aboutModal);
    EXPECT_EQ(answerer.Seen[0].Title, "네스트브리지서비스에 대하여");
    EXPECT_FALSE(::IsWindowVisible(form->About().Handle()));
    EXPECT_TRUE(::IsWindowEnabled(form->Window().Handle()));
    // Shown again on the next click.
    ::SendMessageW(form->Window().Image1, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    ::SendMessageW(form->Window().Image1, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    EXPECT_EQ(answerer.Seen.size(), 2u);
    EXPECT_TRUE(statuses.empty());
}

}  // namespace
}  // namespace nb
