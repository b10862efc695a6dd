// An archive sent while it is written: the reader follows the writer and ends only when the
// writer says the archive is complete, against a real pyftpdlib.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "app/BackgroundTransfer.h"
#include "net/ftp/IdFTPFileStreams.h"
#include "platform/Exception.h"
#include "platform/Stream.h"
#include "tests/support/TestSupport.h"

namespace nb {
namespace {

using test::ReadFile;

class ArchiveFeedTest : public ::testing::Test {
protected:
    test::TempDir dir;
    const std::string path = dir.Path() + "/archive";
    TArchiveFeed feed;
    TFileStream file{path, fmCreate | fmShareDenyWrite};
    TFeedWriter writer{file, feed};
    TFeedReader reader{path, feed};
};

TEST_F(ArchiveFeedTest, ReaderWaitsForTheWriterAndEndsOnlyWhenTheArchiveIsComplete) {
    EXPECT_EQ(reader.Size(), -1) << "the length is not known while the archive is written";
    std::string read;
    std::thread follower([&] {
        char buffer[7];
        for (int32_t n; (n = reader.Read(buffer, sizeof buffer)) > 0;) read.append(buffer, static_cast<size_t>(n));
    });
    std::string written;
    for (int piece = 0; piece < 50; ++piece) {
        const std::string bytes(static_cast<size_t>(piece * 13 + 1), static_cast<char>('a' + piece % 26));
        writer.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
        written += bytes;
        if (piece % 10 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    feed.Finish(true);
    follower.join();
    EXPECT_EQ(read, written);
    EXPECT_EQ(reader.Size(), static_cast<int64_t>(written.size()));
}

// The restore's reader skips forward and steps back over what it buffered.
TEST_F(ArchiveFeedTest, SeekingAheadWaitsForTheBytesAndBackNeedsNone) {
    writer.WriteBuffer("0123456789", 10);
    std::thread later([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        writer.WriteBuffer("abcdefghij", 10);
        feed.Finish(true);
    });
    EXPECT_EQ(reader.Seek(15, SeekOrigin::Begin), 15);
    char buffer[4] = {};
    EXPECT_EQ(reader.Read(buffer, 3), 3);
    EXPECT_EQ(std::string(buffer, 3), "fgh");
    EXPECT_EQ(reader.Seek(2, SeekOrigin::Begin), 2);
    EXPECT_EQ(reader.Read(buffer, 3), 3);
    EXPECT_EQ(std::string(buffer, 3), "234");
    later.join();
    EXPECT_EQ(reader.Seek(-1, SeekOrigin::End), 19);
    EXPECT_EQ(reader.Seek(40, SeekOrigin::Begin), 20) << "no further than the archive's end";
}

TEST_F(ArchiveFeedTest, AnArchiveRunThatFailsFailsTheReaderInsteadOfEndingIt) {
    writer.WriteBuffer("half", 4);
    char buffer[16];
    EXPECT_EQ(reader.Read(buffer, sizeof buffer), 4);
    std::thread failing([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        feed.Finish(false);
    });
    EXPECT_THROW(reader.Read(buffer, sizeof buffer), EReadError) << "a fragment must not read as a whole archive";
    failing.join();
    feed.Finish(true);  // a later word changes nothing
    EXPECT_THROW(reader.Read(buffer, sizeof buffer), EReadError);
}

// Sends the file at path as the transfer's feed lets it be read, as the upload does.
void StartStore(TBackgroundTransfer& transfer, TIdFTP& ftp, const std::string& path, const std::string& name) {
    auto reader = std::make_shared<TFeedReader>(path, transfer.Feed());
    transfer.Start([&ftp, reader, name] {
        TReadAheadStream ahead(*reader);
        ftp.PutStream(ahead, name, false);
    });
}

class BackgroundTransferTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (!server_.Running()) GTEST_SKIP() << "pyftpdlib: " << server_.Error();
        ftp_.Host = "127.0.0.1";
        ftp_.Port = server_.Port();
        ftp_.Username = server_.User();
        ftp_.Password = server_.Password();
        ftp_.Passive = GetParam();
        ftp_.SendBufferSize = 1024;
        ftp_.OnWork = [this](TIdComponent&, TWorkMode, int64_t) { ++ownWorkEvents_; };
        ftp_.Connect(true, -1);
        ftp_.SetTransferType(ftBinary);
    }

    test::PyFtpServer server_;
    test::TempDir local_;
    TIdFTP ftp_;
    int ownWorkEvents_ = 0;
};

TEST_P(BackgroundTransferTest, StoresEveryByteWrittenWhileItRan) {
    const std::string path = local_.Path() + "/archive";
    const std::string content = test::RandomBytes(600000, 3);
    {
        TBackgroundTransfer store(ftp_);
        TFileStream file(path, fmCreate | fmShareDenyWrite);
        StartStore(store, ftp_, path, "user.bck.part");
        TFeedWriter writer(file, store.Feed());
        for (size_t at = 0; at < content.size(); at += 65536) {
            const size_t n = std::min<size_t>(65536, content.size() - at);
            writer.WriteBuffer(content.data() + at, static_cast<int32_t>(n));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        store.Feed().Finish(true);
        while (!store.Wait(50)) {
        }
        EXPECT_TRUE(store.Began());
        EXPECT_EQ(store.Count(), static_cast<int64_t>(content.size()));
        EXPECT_NO_THROW(store.Finish());
    }
    EXPECT_EQ(ReadFile(server_.Home() + "/user.bck.part"), content);
    EXPECT_EQ(ownWorkEvents_, 0) << "the thread's work events only count";
    // The client is this thread's again, with its own handlers.
    ftp_.Put(path, "again.bck", false);
    EXPECT_GT(ownWorkEvents_, 0);
}

TEST_P(BackgroundTransferTest, AStoreLeftUnfinishedFailsAndNeverWaitsForever) {
    const std::string path = local_.Path() + "/archive";
    TFileStream file(path, fmCreate | fmShareDenyWrite);
    {
        TBackgroundTransfer store(ftp_);
        StartStore(store, ftp_, path, "user.bck.part");
        TFeedWriter writer(file, store.Feed());
        writer.WriteBuffer("the first bytes", 15);
        // Leaving the scope without a word from the archive run: the store fails and is joined.
    }
    // The cut store's final reply is left unread: the conversation starts again.
    ftp_.Disconnect();
    ftp_.Connect(true, -1);
    TBackgroundTransfer store(ftp_);
    StartStore(store, ftp_, path, "other.bck.part");
    store.Feed().Finish(false);
    EXPECT_THROW(store.Finish(), EReadError);
}

INSTANTIATE_TEST_SUITE_P(ActiveAndPassive, BackgroundTransferTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Passive" : "Active"; });

}  // namespace
}  // namespace nb
