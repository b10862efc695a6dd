// The real window with its core, pressed like a user would, against a real FTP server on 127.0.0.1.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <filesystem>
#include <map>

#include "BoxAnswerer.h"
#include "app/gui/MainForm.h"
#include "tests/support/TestSupport.h"

namespace nb {
namespace {

using test::BoxAnswerer;
using test::PyFtpServer;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;
namespace fs = std::filesystem;

QString U(const char* text) { return QString::fromUtf8(text); }

std::map<std::string, std::string> FolderFiles(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file()) files[entry.path().filename().string()] = ReadFile(entry.path().string());
    return files;
}

// A Wine prefix whose registry names C:\Acc\Data\ as the accounting program's data folder, a
// settings file pointing the service at the local server, and the window on top.
class WindowPress : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Running()) << server.Error();
        dataFolder = root / "prefix/drive_c/Acc/Data";
        fs::create_directories(dataFolder);
        fs::create_directories(root / "prefix/dosdevices");
        fs::create_directory_symlink("../drive_c", root / "prefix/dosdevices/c:");
        WriteFile(root / "prefix/user.reg",
                  "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
                  "[Software\\\\Marrowby\\\\Tallyvine\\\\Database] 1700000000\n"
                  "\"DefaultDatabase\"=\"C:\\\\Acc\\\\Data\\\\\"\n");
        fs::create_directories(root / "config");
        WriteFile(root / "config/FtpHost.ini",
                  "[Service]\nFtpHost=127.0.0.1\nFtpPort=" + std::to_string(server.Port()) +
                      "\nProbeHost=127.0.0.1\nProbeTimeout=3000\n");
        const char* binary = std::getenv("NB_BINARY_DIR");
        ASSERT_NE(binary, nullptr);
        zipcode = std::string(binary) + "/data/zipcode.bck";
        ASSERT_TRUE(fs::exists(zipcode)) << zipcode;
        environment.SettingsFile = root / "config/FtpHost.ini";
        environment.RegistryLocation = root / "prefix";
        environment.ZipcodeArchive = zipcode;
    }

    std::unique_ptr<TMainForm> Open() {
        auto form = std::make_unique<TMainForm>(environment);
        form->Show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form->Window()));
        QObject::connect(&form->Window().StatusBar, &TStatusBar::panelTextChanged,
                         [this](int panel, const QString& text) {
                             if (panel == 1) statuses.push_back(text);
                         });
        return form;
    }

    void Type(TMainForm& form, const char* user, const char* password) {
        form.Window().UserIDEdit.clear();
        QTest::keyClicks(&form.Window().UserIDEdit, U(user));
        QTest::keyClicks(&form.Window().PasswordEdit, U(password));
    }

    // The status texts with every speed update folded into one.
    std::vector<QString> Steps() const {
        std::vector<QString> steps;
        for (const QString& s : statuses) {
            QString step =
                s.startsWith(QStringLiteral("Uploade speed ")) || s.startsWith(QStringLiteral("Download speed "))
                    ? s.section(QLatin1Char(' '), 0, 1) + QLatin1Char(' ')
                    : s;
            if (steps.empty() || steps.back() != step) steps.push_back(step);
        }
        return steps;
    }

    PyFtpServer server{"kim", "pw"};
    TempDir root;
    std::string dataFolder;
    std::string zipcode;
    TForm1Environment environment;
    std::vector<QString> statuses;
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
    for (const auto& [name, bytes] : tables) WriteFile(dataFolder + "/" + name, bytes);

    auto form = Open();
    EXPECT_EQ(form->Window().UserIDEdit.text(), QStringLiteral("HOSTID"));
    EXPECT_TRUE(form->Window().PasswordEdit.text().isEmpty());
    Type(*form, "kim", "pw");

    // Upload.
    {
        BoxAnswerer answerer;
        bool disabledDuringPress = false;
        answerer.OnModal = [&](QWidget&) {
            TForm1Window& w = form->Window();
            disabledDuringPress = form->Core().Busy() && !w.btnBackupWizard.isEnabled() &&
                                  !w.btnRestoreWizard.isEnabled() && !w.Image1.isEnabled();
        };
        QTest::mouseClick(&form->Window().btnBackupWizard, Qt::LeftButton);
        EXPECT_EQ(answerer.Texts(), std::vector<QString>{U("모든 작업을 정상적으로 완료하였습니다.")});
        ASSERT_EQ(answerer.Seen.size(), 1u);
        EXPECT_EQ(answerer.Seen[0].Title, QStringLiteral("Nestbridge"));
        EXPECT_TRUE(disabledDuringPress);
    }
    EXPECT_EQ(Steps(), (std::vector<QString>{U("인터넷 사용가능"), U("서버 접속 완료"), U("백업을 완료했습니다."),
                                             U("파일을 올리는 중..."), U("Uploade speed "), U("전송을 완료했습니다."),
                                             U("서버 단절")}));
    EXPECT_TRUE(statuses.back() == U("서버 단절"));
    EXPECT_FALSE(form->Window().ProgressVisible());
    EXPECT_TRUE(form->Window().btnBackupWizard.isEnabled());
    EXPECT_TRUE(form->Window().Image1.isEnabled());
    const std::string uploaded = ReadFile(server.Home() + "/kim.bck");
    EXPECT_FALSE(uploaded.empty());
    EXPECT_EQ(uploaded, ReadFile(dataFolder + "/Backup/kim.bck"));

    // Change the data, then download.
    WriteFile(dataFolder + "/Sale.DB", "changed");
    WriteFile(dataFolder + "/Stray.DB", "stray");
    fs::remove(dataFolder + "/Item.DB");
    statuses.clear();
    {
        // The day's changes were never uploaded: the window asks first, No the default.
        BoxAnswerer answerer(QMessageBox::Yes);
        QTest::mouseClick(&form->Window().btnRestoreWizard, Qt::LeftButton);
        ASSERT_EQ(answerer.Seen.size(), 2u);
        EXPECT_TRUE(answerer.Seen[0].Text.startsWith(U("이 컴퓨터의 자료가 마지막으로 올리거나 내려받은 뒤에 변경되었습니다")))
            << answerer.Seen[0].Text.toStdString();
        EXPECT_EQ(answerer.Seen[0].Title, U("자료백업/복원"));
        EXPECT_EQ(answerer.Seen[0].Icon, QMessageBox::Question);
        EXPECT_EQ(answerer.Seen[0].Buttons, QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(answerer.Seen[1].Text, U("모든 작업을 정상적으로 완료하였습니다."));
    }
    EXPECT_EQ(Steps(), (std::vector<QString>{U("인터넷 사용가능"), U("서버 접속 완료"), U("파일을 받는 중..."),
                                             U("Download speed "), U("전송을 완료했습니다."), U("복원을 완료했습니다."),
                                             U("서버 단절")}));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(form->Window().btnRestoreWizard.isEnabled());

    // Exactly the packed tables come back (the file matching no pattern was never packed),
    // together with what zipcode.bck holds.
    auto restored = FolderFiles(dataFolder);
    for (const auto& [name, bytes] : tables) {
        SCOPED_TRACE(name);
        if (name == "Notes.txt") {
            EXPECT_EQ(restored.count(name), 0u);
        } else {
            ASSERT_EQ(restored.count(name), 1u);
            EXPECT_EQ(restored[name], bytes);
        }
    }
    EXPECT_EQ(restored.count("Stray.DB"), 0u);
    EXPECT_EQ(restored.count("ZipCode.txt"), 1u);

    // The settings file remembers the user for the next start.
    form.reset();
    statuses.clear();
    auto again = Open();
    EXPECT_EQ(again->Window().UserIDEdit.text(), QStringLiteral("kim"));
    EXPECT_TRUE(again->Window().PasswordEdit.text().isEmpty());
}

// The question answered No (as Enter or Escape would) leaves the work; the context menu's undo
// and previous-copy actions each ask their own question.
TEST_F(WindowPress, QuestionsAndTheContextMenuActions) {
    WriteFile(dataFolder + "/Sale.DB", "first");
    auto form = Open();
    Type(*form, "kim", "pw");
    for (const char* sales : {"first", "second"}) {
        WriteFile(dataFolder + "/Sale.DB", sales);
        BoxAnswerer answerer(QMessageBox::Yes);
        QTest::mouseClick(&form->Window().btnBackupWizard, Qt::LeftButton);
        ASSERT_EQ(answerer.Texts(), std::vector<QString>{U("모든 작업을 정상적으로 완료하였습니다.")});
    }
    WriteFile(dataFolder + "/Sale.DB", "today's work");
    {
        BoxAnswerer answerer;  // presses nothing the question offers: the box closes as No
        QTest::mouseClick(&form->Window().btnRestoreWizard, Qt::LeftButton);
        ASSERT_EQ(answerer.Seen.size(), 1u);
        EXPECT_EQ(ReadFile(dataFolder + "/Sale.DB"), "today's work");
        EXPECT_EQ(statuses.back(), U("작업을 취소했습니다."));
    }
    const auto actions = form->Window().actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions[0]->text(), U("이전에 올린 자료 내려받기 (1회 전)..."));
    EXPECT_EQ(actions[2]->text(), U("마지막 내려받기 되돌리기..."));
    {
        BoxAnswerer answerer(QMessageBox::Yes);
        actions[0]->trigger();
        ASSERT_EQ(answerer.Seen.size(), 2u);
        EXPECT_TRUE(answerer.Seen[0].Text.startsWith(U("서버에 보관된 1회 전에 올린 자료를 내려받습니다.")));
        EXPECT_EQ(ReadFile(dataFolder + "/Sale.DB"), "first");
    }
    {
        BoxAnswerer answerer(QMessageBox::Yes);
        actions[2]->trigger();
        ASSERT_EQ(answerer.Seen.size(), 1u);
        EXPECT_TRUE(answerer.Seen[0].Text.startsWith(U("마지막으로 내려받기 전의 자료")));
        EXPECT_EQ(ReadFile(dataFolder + "/Sale.DB"), "today's work");
    }
}

TEST_F(WindowPress, AWrongPasswordEndsThePressWithTheConnectFailure) {
    auto form = Open();
    Type(*form, "kim", "wrong");
    BoxAnswerer answerer;
    QTest::mouseClick(&form->Window().btnRestoreWizard, Qt::LeftButton);
    EXPECT_EQ(answerer.Texts(), std::vector<QString>{U("서버 접속에 실패하였습니다.")});
    EXPECT_EQ(Steps(), std::vector<QString>{U("인터넷 사용가능")});
    EXPECT_TRUE(form->Window().btnRestoreWizard.isEnabled());
    EXPECT_FALSE(form->Core().Busy());
}

TEST_F(WindowPress, WithoutADataFolderBothButtonsRefuse) {
    environment.RegistryLocation = root / "no-prefix";
    auto form = Open();
    Type(*form, "kim", "pw");
    for (QToolButton* button : {&form->Window().btnBackupWizard, &form->Window().btnRestoreWizard}) {
        BoxAnswerer answerer;
        QTest::mouseClick(button, Qt::LeftButton);
        ASSERT_EQ(answerer.Seen.size(), 1u);
        EXPECT_EQ(answerer.Seen[0].Title, QStringLiteral("Nestbridge"));
    }
    EXPECT_TRUE(statuses.empty());
    EXPECT_TRUE(test::RunCommand({"ls", server.Home()}).Stdout.empty());
}

TEST_F(WindowPress, TheBannerOpensTheAboutWindowModally) {
    auto form = Open();
    BoxAnswerer answerer;
    bool aboutModal = false;
    answerer.OnModal = [&](QWidget& modal) { aboutModal = &modal == &form->About() && form->About().isModal(); };
    EXPECT_FALSE(form->About().isVisible());
    QTest::mouseClick(&form->Window().Image1, Qt::LeftButton);
    ASSERT_EQ(answerer.Seen.size(), 1u);
    EXPECT_TRUE(aboutModal);
    EXPECT_EQ(answerer.Seen[0].Title, U("네스트브리지서비스에 대하여"));
    EXPECT_FALSE(form->About().isVisible());
    EXPECT_TRUE(form->Window().isVisible());
}

}  // namespace
}  // namespace nb
