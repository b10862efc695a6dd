#include "net/transport/IdComponent.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nb {
namespace {

// Records every event as a line of text.
class WorkEventsTest : public ::testing::Test {
protected:
    void SetUp() override {
        c_.OnWorkBegin = [this](TIdComponent& s, TWorkMode m, int32_t max) {
            Log(s, "begin " + std::to_string(m) + " " + std::to_string(max));
        };
        c_.OnWork = [this](TIdComponent& s, TWorkMode m, int32_t n) {
            Log(s, "work " + std::to_string(m) + " " + std::to_string(n));
        };
        c_.OnWorkEnd = [this](TIdComponent& s, TWorkMode m) { Log(s, "end " + std::to_string(m)); };
        c_.OnStatus = [this](TIdComponent& s, TIdStatus st, const std::string& text) {
            Log(s, "status " + std::to_string(st) + " " + text);
        };
    }
    void Log(TIdComponent& sender, std::string line) {
        EXPECT_EQ(&sender, &c_);
        events_.push_back(std::move(line));
    }
    TIdComponent c_;
    std::vector<std::string> events_;
};

TEST_F(WorkEventsTest, NestedPeriodsFireOnceAtTheOuterEdges) {
    c_.StartWork(wmRead, 100);
    c_.StartWork(wmRead, 50);
    c_.CountWork(wmRead, 10);
    c_.FinishWork(wmRead);
    EXPECT_EQ(c_.WorkState(wmRead).Level, 1);
    c_.FinishWork(wmRead);
    EXPECT_EQ(events_, (std::vector<std::string>{"begin 0 100", "work 0 10", "end 0"}));
    EXPECT_EQ(c_.WorkState(wmRead).Level, 0);
    EXPECT_EQ(c_.WorkState(wmRead).Count, 10);
    EXPECT_EQ(c_.WorkState(wmRead).Max, 100);
}

TEST_F(WorkEventsTest, CountsAreRunningTotalsPerDirection) {
    c_.CountWork(wmWrite, 5);  // no period open: nothing
    c_.StartWork(wmWrite, 0);
    c_.StartWork(wmRead, 7);
    c_.CountWork(wmWrite, 3);
    c_.CountWork(wmRead, 2);
    c_.CountWork(wmWrite, 0);
    c_.CountWork(wmWrite, 4);
    c_.FinishWork(wmWrite);
    c_.CountWork(wmWrite, 9);
    c_.FinishWork(wmRead);
    EXPECT_EQ(events_, (std::vector<std::string>{"begin 1 0", "begin 0 7", "work 1 3", "work 0 2", "work 1 3",
                                                 "work 1 7", "end 1", "end 0"}));
}

TEST_F(WorkEventsTest, StatusTexts) {
    c_.ReportStatus(hsResolving, {"ftp.example"});
    c_.ReportStatus(hsConnecting, {"127.0.0.1"});
    c_.ReportStatus(hsConnected, {"host"});
    c_.ReportStatus(hsDisconnecting);
    c_.ReportStatus(hsDisconnected);
    c_.ReportStatus(hsStatusText);
    c_.ReportStatus(ftpTransfer, {"50%"});
    EXPECT_EQ(events_,
              (std::vector<std::string>{"status 0 Resolving hostname ftp.example.", "status 1 Connecting to 127.0.0.1.",
                                        "status 2 Connected.", "status 3 Disconnecting.", "status 4 Disconnected.",
                                        "status 5 ", "status 6 50%"}));
}

}  // namespace
}  // namespace nb
