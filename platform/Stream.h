#pragma once
// Byte streams: what the archive component, the TCP connection and the FTP client read and write.
#include <cstdint>
#include <string>
#include <vector>

namespace nb {

enum class SeekOrigin { Begin, Current, End };

class TStream {
public:
    virtual ~TStream() = default;
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    // Reads up to count bytes; returns how many were read (0 at the end).
    virtual int32_t Read(void* buffer, int32_t count) = 0;
    // Writes up to count bytes; returns how many were written.
    virtual int32_t Write(const void* buffer, int32_t count) = 0;
    virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
    virtual void SetSize(int64_t size) = 0;
    virtual int64_t Size();

    int64_t Position() { return Seek(0, SeekOrigin::Current); }
    void SetPosition(int64_t position) { Seek(position, SeekOrigin::Begin); }

    // Whole-count forms: a short read raises EReadError "Stream read error",
    // a short write EWriteError "Stream write error".
    void ReadBuffer(void* buffer, int32_t count);
    void WriteBuffer(const void* buffer, int32_t count);
};

class TMemoryStream : public TStream {
public:
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    void SetSize(int64_t size) override;
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }

    void Clear();
    uint8_t* Memory() { return data_.data(); }
    const std::vector<uint8_t>& Bytes() const { return data_; }
    std::string ToString() const { return std::string(data_.begin(), data_.end()); }

private:
    std::vector<uint8_t> data_;
    int64_t position_ = 0;
};

// File open modes. Share modes are the system's own on Windows; elsewhere they are accepted and ignored.
enum FileMode : uint32_t {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareCompat = 0x0000,
    fmShareExclusive = 0x0010,
    fmShareDenyWrite = 0x0020,
    fmShareDenyRead = 0x0030,
    fmShareDenyNone = 0x0040,
    fmCreate = 0xFF00,  // create or truncate, read and write
};

// A file opened on construction and closed on destruction.
// Failures raise EFCreateError "Cannot create file "%s". %s" or EFOpenError "Cannot open file "%s". %s"
// with the full path and the system's reason.
class TFileStream : public TStream {
public:
    TFileStream(const std::string& fileName, uint32_t mode);
    ~TFileStream() override;

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    void SetSize(int64_t size) override;
    int64_t Size() override;

    const std::string& FileName() const { return fileName_; }
    // The system's handle of the open file (a descriptor, or a Windows HANDLE).
    intptr_t NativeHandle() const { return handle_; }
    // Makes the written bytes durable (fsync); false when the system refuses.
    bool Sync();

private:
    std::string fileName_;
    intptr_t handle_ = -1;
};

}  // namespace nb
