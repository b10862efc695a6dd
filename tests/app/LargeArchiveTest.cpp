// Archives on both sides of 2 GiB: the size query, both transfer directions and a whole upload
// and download of a data set whose archive is larger than 2 GiB. Slow and disk-hungry: label "large".
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "app/Unit1.h"
#include "net/ftp/IdFTP.h"
#include "platform/Stream.h"
#include "tests/app/AppTestSupport.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

constexpr int64_t k2GiB = int64_t{1} << 31;

// Zeros of a given size to read, and a sink that only counts what is written.
class ZeroStream : public TStream {
public:
    explicit ZeroStream(int64_t size) : size_(size) {}
    int32_t Read(void* buffer, int32_t count) override {
        auto n = static_cast<int32_t>(std::min<int64_t>(count, size_ - position_));
        std::memset(buffer, 0, static_cast<size_t>(n));
        position_ += n;
        return n;
    }
    int32_t Write(const void*, int32_t count) override {
        position_ += count;
        size_ = std::max(size_, position_);
        return count;
    }
    int64_t Seek(int64_t offset, SeekOrigin origin) override {
        position_ = origin == SeekOrigin::Begin ? offset
                    : origin == SeekOrigin::End ? size_ + offset
                                                : position_ + offset;
        return position_;
    }
    void SetSize(int64_t size) override { size_ = size; }
    int64_t Size() override { return size_; }

private:
    int64_t size_, position_ = 0;
};

void MakeSparse(const std::string& path, int64_t size) {
    std::ofstream(path, std::ios::binary).close();
    fs::resize_file(path, static_cast<uintmax_t>(size));
}

TEST(LargeTransfer, SizeAndBothDirectionsOnBothSidesOf2GiB) {
    PyFtpServer server;
    ASSERT_TRUE(server.Running()) << server.Error();
    TIdFTP ftp;
    ftp.Host = "127.0.0.1";
    ftp.Port = server.Port();
    ftp.Username = server.User();
    ftp.Password = server.Password();
    ftp.RecvBufferSize = 8192;
    ftp.SendBufferSize = 1024;
    int64_t lastCount = 0, lastMax = 0;
    ftp.OnWorkBegin = [&](TIdComponent&, TWorkMode, int64_t max) {
        lastMax = max;
        lastCount = 0;
    };
    ftp.OnWork = [&](TIdComponent&, TWorkMode, int64_t count) {
        EXPECT_GE(count, lastCount) << "a count that wraps";
        lastCount = count;
    };
    ftp.Connect(true, -1);
    ftp.SetTransferType(ftBinary);
    for (int64_t size : {k2GiB - 1, k2GiB + 65536}) {
        SCOPED_TRACE(size);
        MakeSparse(server.Home() + "/down.bck", size);
        EXPECT_EQ(ftp.Size("down.bck"), size);
        ZeroStream sink(0);
        ftp.GetToStream("down.bck", sink);
        EXPECT_EQ(sink.Size(), size);
        EXPECT_GT(lastCount, size - 65536);
        fs::remove(server.Home() + "/down.bck");

        ZeroStream source(size);
        ftp.PutStream(source, "up.bck");
        EXPECT_EQ(lastMax, size);
        EXPECT_EQ(lastCount, size);
        EXPECT_EQ(ftp.Size("up.bck"), size);
        fs::remove(server.Home() + "/up.bck");
    }
    ftp.Quit();
}

// One upload press and one download press of a data folder holding one big table.
class LargeWorkflow : public ::testing::Test {
protected:
    void SetUp() override {
        const char* bin = std::getenv("NB_BINARY_DIR");
        environment.ZipcodeArchive = LocalPath(std::string(bin ? bin : ".") + "/data/zipcode.bck");
        if (!PathExists(environment.ZipcodeArchive)) GTEST_SKIP() << "zipcode.bck was not built";
        ASSERT_TRUE(server.Running()) << server.Error();
        environment.SettingsFile = root / "config/FtpHost.ini";
        environment.DataFolderOverride = data;
        WriteServiceSettings(environment.SettingsFile, server.Port());
        fs::create_directories(data);
    }
    bool Press(bool upload, RecordingWindow& window) {
        TForm1 form(window, environment);
        form.FormCreate();
        window.userID = "user";
        window.password = "secret";
        if (upload)
            form.PressBackup();
        else
            form.PressRestore();
        return form.LastPressCompleted();
    }
    // Uploads the data folder, empties it, downloads it back; the restored table must equal the original.
    void RoundTrip(int64_t expectedArchiveAtLeast) {
        const std::string table = data + "/Purchase.DB";
        const auto tableSize = static_cast<int64_t>(fs::file_size(table));
        RecordingWindow up;
        ASSERT_TRUE(Press(true, up)) << ::testing::PrintToString(up.Folded());
        const auto archiveSize = static_cast<int64_t>(fs::file_size(data + "/Backup/user.bck"));
        EXPECT_GE(archiveSize, expectedArchiveAtLeast);
        EXPECT_EQ(static_cast<int64_t>(fs::file_size(server.Home() + "/user.bck")), archiveSize);
        // The original moves out of the way; the download must bring its bytes back.
        fs::rename(table, root / "original.DB");
        fs::remove(data + "/Backup/user.bck");
        WriteFile(table, "an older table");
        RecordingWindow down;
        down.progressMax = -1;
        ASSERT_TRUE(Press(false, down)) << ::testing::PrintToString(down.Folded());
        EXPECT_GT(down.progressMax, 0) << "the bar's range is scaled to 32 bits";
        EXPECT_EQ(static_cast<int64_t>(fs::file_size(table)), tableSize);
        EXPECT_TRUE(SameBytes(table, root / "original.DB"));
    }
    static bool SameBytes(const std::string& a, const std::string& b) {
        std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
        std::vector<char> ba(1 << 20), bb(1 << 20);
        while (fa && fb) {
            fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
            fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
            if (fa.gcount() != fb.gcount() || std::memcmp(ba.data(), bb.data(), static_cast<size_t>(fa.gcount())) != 0)
                return false;
        }
        return fa.eof() && fb.eof();
    }

    PyFtpServer server;
    TempDir root;
    std::string data = root / "data";
    TForm1Environment environment;
};

TEST_F(LargeWorkflow, IncompressibleTableWhoseArchiveExceeds2GiB) {
    {
        std::ofstream out(data + "/Purchase.DB", std::ios::binary);
        for (int i = 0; i < 2049; ++i) out << RandomBytes(1 << 20, static_cast<uint32_t>(i + 1));
    }
    RoundTrip(k2GiB);
}

TEST_F(LargeWorkflow, SparseTableLargerThan2GiBWithASmallArchive) {
    MakeSparse(data + "/Purchase.DB", k2GiB + 12345);
    RoundTrip(0);
}

}  // namespace
}  // namespace nb::test
