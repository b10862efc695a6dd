// The journal of the data folder's swap and what the next start does with each state a crash
// can leave: the data folder ends as exactly the old set or exactly the new one.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "app/StartupRecovery.h"
#include "app/SwapJournal.h"
#include "platform/FolderLock.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/FolderSnapshot.h"
#include "tests/support/TestSupport.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

TEST(SwapJournalRecord, EncodesAndDecodesEveryPhaseAndAnyName) {
    for (TSwapPhase phase : {TSwapPhase::Preparing, TSwapPhase::MovingIn, TSwapPhase::RollingBack}) {
        TSwapRecord record{phase, {"Sale.DB", "with blank", "100%", "line\nbreak", "한글.DB", "\x01\x7f"}};
        TSwapRecord back;
        ASSERT_TRUE(DecodeSwapRecord(EncodeSwapRecord(record), back)) << SwapPhaseName(phase);
        EXPECT_EQ(back.Phase, phase);
        EXPECT_EQ(back.Restored, record.Restored);
    }
}

TEST(SwapJournalRecord, RefusesTornOrForeignText) {
    const std::string whole = EncodeSwapRecord({TSwapPhase::MovingIn, {"A.DB", "B.DB"}});
    TSwapRecord record;
    for (size_t cut = 0; cut < whole.size(); ++cut)
        EXPECT_FALSE(DecodeSwapRecord(whole.substr(0, cut), record)) << "cut at " << cut;
    for (const char* bad :
         {"nestbridge-swap 2\nphase preparing\nend\n", "nestbridge-swap 1\nend\n",
          "nestbridge-swap 1\nphase done\nend\n", "nestbridge-swap 1\nphase preparing\nrestored ../x\nend\n",
          "nestbridge-swap 1\nphase preparing\nrestored a%2\nend\n",
          "nestbridge-swap 1\nphase preparing\nrestored a%2Fb\nend\n",
          "nestbridge-swap 1\nphase preparing\nend\ntrailing\n"})
        EXPECT_FALSE(DecodeSwapRecord(bad, record)) << bad;
}

// A data folder with an old set and the new set a download brings, and ways to leave it in any
// state a swap can be cut in.
class SwapRecoveryTest : public ::testing::Test {
public:
    void SetUp() override {
        data = root / "data";
        oldSet = {{"Sale.DB", "old sales"},
                  {"Item.DB", "old items"},
                  {"Gone.MB", "only in the old set"},
                  {".hidden", "hidden file"},
                  {"Backup", "<dir>"},
                  {"Backup/user.bck", "old archive"},
                  {"Sub", "<dir>"},
                  {"Sub/keep.txt", "subfolder file"}};
        newFiles = {{"Sale.DB", "new sales"},
                    {"Item.DB", "new items"},
                    {"New.DB", "only in the new set"},
                    {"ZipCode.txt", "zip codes"}};
        newSet = oldSet;
        newSet.erase("Sale.DB");
        newSet.erase("Item.DB");
        newSet.erase("Gone.MB");
        newSet.insert(newFiles.begin(), newFiles.end());
        BuildFolder(data, oldSet);
    }
    std::string Data(const std::string& name) const { return data + "/" + name; }
    std::string Staging(const std::string& name = "") const { return data + "/.nestbridge-swap/staging/" + name; }
    std::string SetAside(const std::string& name = "") const { return data + "/.nestbridge-swap/setaside/" + name; }
    void Journal(TSwapPhase phase, bool withRestored) {
        TSwapRecord record{phase, {}};
        if (withRestored)
            for (const auto& [name, content] : newFiles) record.Restored.push_back(name);
        TSwapJournal journal(data);
        if (!fs::exists(data + "/.nestbridge-swap")) {
            ASSERT_TRUE(journal.Begin());
        }
        ASSERT_TRUE(journal.Write(record));
    }
    void StageAll() {
        fs::create_directories(Staging());
        for (const auto& [name, content] : newFiles) WriteFile(Staging(name), content);
    }
    void SetAsideOld(int count) {
        fs::create_directories(SetAside());
        for (const char* name : {"Sale.DB", "Item.DB", "Gone.MB"})
            if (count-- > 0) fs::rename(Data(name), SetAside(name));
    }
    void MoveIn(int count) {
        for (const auto& [name, content] : newFiles)
            if (count-- > 0) fs::rename(Staging(name), Data(name));
    }
    void ExpectFolder(const FolderContents& expected) const {
        BuildFolder(root / "expected", expected);
        auto want = Snapshot(root / "expected"), actual = Snapshot(data);
        EXPECT_EQ(actual, want) << DescribeDifference(want, actual);
    }

    TempDir root;
    std::string data;
    FolderContents oldSet, newSet, newFiles;
};

struct CutState {
    const char* Name;
    std::function<void(SwapRecoveryTest&)> Make;
    TRecoveryOutcome Outcome;
    bool EndsNew;
};

TEST_F(SwapRecoveryTest, EveryStateEndsAsExactlyTheOldOrTheNewSet) {
    const CutState states[] = {
        {"work area made, no journal yet", [](SwapRecoveryTest& t) { fs::create_directories(t.Staging()); },
         TRecoveryOutcome::LeftoversRemoved, false},
        {"restoring into staging",
         [](SwapRecoveryTest& t) {
             t.Journal(TSwapPhase::Preparing, false);
             fs::create_directories(t.Staging());
             WriteFile(t.Staging("Sale.DB"), "new sa");
         },
         TRecoveryOutcome::LeftoversRemoved, false},
        {"setting aside, one file moved",
         [](SwapRecoveryTest& t) {
             t.Journal(TSwapPhase::Preparing, false);
             t.StageAll();
             t.SetAsideOld(1);
         },
         TRecoveryOutcome::RolledBack, false},
        {"every old file set aside, not committed",
         [](SwapRecoveryTest& t) {
             t.Journal(TSwapPhase::Preparing, false);
             t.StageAll();
             t.SetAsideOld(3);
         },
         TRecoveryOutcome::RolledBack, false},
        {"committed, nothing moved in yet",
         [](SwapRecoveryTest& t) {
             t.Journal(TSwapPhase::Preparing, false);
             t.StageAll();
             t.SetAsideOld(3);
             t.Journal(TSwapPhase::MovingIn, true);
         },
         TRecoveryOutcome::Completed, true},
        {"committed, half moved in",
         [](SwapRecoveryTest& t) {
             t.StageAll();
             t.SetAsideOld(3);
             t.Journal(TSwapPhase::MovingIn, true);
             t.MoveIn(2);
         },
         TRecoveryOutcome::Completed, true},
        {"committed, all moved in, set-aside being removed",
         [](SwapRecoveryTest& t) {
             t.StageAll();
             t.SetAsideOld(3);
             t.Journal(TSwapPhase::MovingIn, true);
             t.MoveIn(4);
             fs::remove(t.SetAside("Sale.DB"));
         },
         TRecoveryOutcome::Completed, true},
        {"rolling back after a failed move-in, half taken back",
         [](SwapRecoveryTest& t) {
             t.StageAll();
             t.SetAsideOld(3);
             t.Journal(TSwapPhase::RollingBack, true);
             t.MoveIn(3);
             fs::rename(t.Data("Sale.DB"), t.Staging("Sale.DB"));
             fs::rename(t.SetAside("Sale.DB"), t.Data("Sale.DB"));
         },
         TRecoveryOutcome::RolledBack, false},
        {"rolled back, journal not yet gone, staging already removed",
         [](SwapRecoveryTest& t) { t.Journal(TSwapPhase::RollingBack, true); }, TRecoveryOutcome::RolledBack, false},
        {"committed, but a folder stands where a new file goes",
         [](SwapRecoveryTest& t) {
             t.StageAll();
             t.SetAsideOld(3);
             t.Journal(TSwapPhase::MovingIn, true);
             t.MoveIn(1);
             fs::create_directories(t.Data("ZipCode.txt"));
             t.oldSet["ZipCode.txt"] = "<dir>";
         },
         TRecoveryOutcome::RolledBack, false},
    };
    for (const auto& state : states) {
        SCOPED_TRACE(state.Name);
        SetUp();
        state.Make(*this);
        TRecoveryResult result = RecoverInterruptedSwap(data);
        EXPECT_EQ(static_cast<int>(result.Outcome), static_cast<int>(state.Outcome)) << result.Problem;
        ExpectFolder(state.EndsNew ? newSet : oldSet);
        // A second start finds nothing left to do.
        EXPECT_EQ(static_cast<int>(RecoverInterruptedSwap(data).Outcome), static_cast<int>(TRecoveryOutcome::Clean));
    }
}

TEST_F(SwapRecoveryTest, HiddenFileDisplacedByARestoredOneFollowsTheOutcome) {
    // A hidden file whose name a restored file takes gives way on the way forward and comes
    // back on the way back.
    newFiles[".hidden"] = "restored hidden";
    StageAll();
    SetAsideOld(3);
    Journal(TSwapPhase::RollingBack, true);
    fs::rename(Data(".hidden"), SetAside(".hidden"));
    fs::rename(Staging(".hidden"), Data(".hidden"));
    EXPECT_EQ(static_cast<int>(RecoverInterruptedSwap(data).Outcome), static_cast<int>(TRecoveryOutcome::RolledBack));
    ExpectFolder(oldSet);

    SetUp();
    newFiles[".hidden"] = "restored hidden";
    StageAll();
    SetAsideOld(3);
    Journal(TSwapPhase::MovingIn, true);
    MoveIn(1);
    EXPECT_EQ(static_cast<int>(RecoverInterruptedSwap(data).Outcome), static_cast<int>(TRecoveryOutcome::Completed));
    newSet[".hidden"] = "restored hidden";
    ExpectFolder(newSet);
}

TEST_F(SwapRecoveryTest, UnreadableJournalKeepsEverythingWhereItIs) {
    StageAll();
    SetAsideOld(2);
    Journal(TSwapPhase::MovingIn, true);
    WriteFile(data + "/.nestbridge-swap/journal", "nestbridge-swap 1\nphase mov");
    auto before = Snapshot(data);
    TRecoveryResult result = RecoverInterruptedSwap(data);
    EXPECT_EQ(static_cast<int>(result.Outcome), static_cast<int>(TRecoveryOutcome::Failed));
    EXPECT_NE(result.Problem.find("journal"), std::string::npos);
    EXPECT_NE(RecoveryNotice(result).find(".nestbridge-swap"), std::string::npos);
    EXPECT_EQ(Snapshot(data), before);
}

TEST_F(SwapRecoveryTest, AFolderAnotherProcessWorksOnIsLeftAlone) {
    StageAll();
    SetAsideOld(3);
    Journal(TSwapPhase::MovingIn, true);
    auto before = Snapshot(data);
    {
        TFolderLock live(data);
        ASSERT_TRUE(live.Held());
        EXPECT_EQ(static_cast<int>(RecoverInterruptedSwap(data).Outcome), static_cast<int>(TRecoveryOutcome::Busy));
        EXPECT_EQ(Snapshot(data), before);
    }
    EXPECT_EQ(static_cast<int>(RecoverInterruptedSwap(data).Outcome), static_cast<int>(TRecoveryOutcome::Completed));
}

TEST_F(SwapRecoveryTest, TemporaryDownloadsOfADeadRunGoAndNothingElse) {
    WriteFile(Data("Backup/.nestbridge-download-a1B2c3"), "half a download");
    WriteFile(Data("Backup/.nestbridge-download-XXXXXX"), "another");
    WriteFile(Data("Backup/.nestbridge-download-toolong"), "not ours");
    WriteFile(Data("Backup/.notes"), "hidden, not ours");
    // The tables packed during a download before its swap took them: the tables are in place.
    WriteFile(Data("Backup/.nestbridge-early-a1B2c3"), "tables packed early");
    // Taken by a swap: after a crash past its commit perhaps the only copy of the replaced tables.
    WriteFile(Data("Backup/.nestbridge-kept-a1B2c3"), "the replaced tables");
    oldSet["Backup/.nestbridge-kept-a1B2c3"] = "the replaced tables";
    oldSet["Backup/.nestbridge-download-toolong"] = "not ours";
    oldSet["Backup/.notes"] = "hidden, not ours";
    EXPECT_EQ(static_cast<int>(RecoverInterruptedSwap(data).Outcome),
              static_cast<int>(TRecoveryOutcome::LeftoversRemoved));
    ExpectFolder(oldSet);
}

TEST_F(SwapRecoveryTest, MissingOrEmptyDataFolderIsNothingToDo) {
    EXPECT_EQ(static_cast<int>(RecoverInterruptedSwap("").Outcome), static_cast<int>(TRecoveryOutcome::Clean));
    EXPECT_EQ(static_cast<int>(RecoverInterruptedSwap(root / "absent").Outcome),
              static_cast<int>(TRecoveryOutcome::Clean));
    EXPECT_EQ(static_cast<int>(RecoverInterruptedSwap(data + "/").Outcome), static_cast<int>(TRecoveryOutcome::Clean));
    ExpectFolder(oldSet);
}

}  // namespace
}  // namespace nb::test
