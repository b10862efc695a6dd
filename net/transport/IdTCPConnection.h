#pragma once
// A blocking, buffered TCP connection: lines, exact counts and whole streams in, texts, lines and
// streams out, with work events for stream transfers; and the command exchange of numeric replies.
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "net/transport/IdComponent.h"
#include "net/transport/IdDeadline.h"
#include "net/transport/IdIOHandler.h"

namespace nb {

class TStream;
class TIdRFCReply;

// Leaves grown bytes uninitialised: a receive writes them straight after.
template <typename T>
struct TIdUninitAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = TIdUninitAllocator<U>;
    };
    using std::allocator<T>::allocator;
    template <typename U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// A growable byte run with a front that can be consumed.
class TIdSimpleBuffer {
public:
    virtual ~TIdSimpleBuffer() = default;

    std::function<void(TIdSimpleBuffer& Sender, int32_t Count)> OnConsumed;

    virtual int32_t Size() const { return static_cast<int32_t>(storage_.size()); }
    virtual const uint8_t* Unread() const { return storage_.data(); }
    void Append(const void* data, int32_t count);
    // Room for count more bytes at the end, for a receive straight into the buffer; ShrinkBy
    // gives back what the receive did not fill.
    uint8_t* GrowBy(int32_t count);
    void ShrinkBy(int32_t count);
    std::string TakeFront(int32_t count);
    virtual void DropFront(int32_t count);
    virtual void Clear();

protected:
    std::vector<uint8_t, TIdUninitAllocator<uint8_t>> storage_;
};

// The receive queue: consumed bytes stay at the front until CompactThreshold of them gather.
class TIdManagedBuffer : public TIdSimpleBuffer {
public:
    int32_t ReadOffset = 0;
    int32_t CompactThreshold = 32768;

    int32_t Size() const override { return static_cast<int32_t>(storage_.size()) - ReadOffset; }
    const uint8_t* Unread() const override { return storage_.data() + ReadOffset; }
    void DropFront(int32_t count) override;
    void Clear() override;
    void Compact();
    // Bytes held in storage, consumed ones included (for memory checks).
    size_t StorageSize() const { return storage_.size(); }
};

enum TIdMaxLineAction : uint8_t { maException, maSplit };

class TIdTCPConnection : public TIdComponent {
public:
    TIdTCPConnection();
    ~TIdTCPConnection() override;

    // Published.
    int32_t MaxLineLength = 16384;
    TIdMaxLineAction MaxLineAction = maException;
    int32_t ReadTimeout = 0;
    // Longest time (ms) the system may take to accept each 64 KiB a send hands it (or all of a
    // shorter send) before the send fails with socket error 10060 and the connection closes; a
    // send taken in part does not restart it. 0: no limit.
    int32_t WriteTimeout = 0;
    int32_t RecvBufferSize = 32768;
    int32_t SendBufferSize = 32768;
    std::function<void(TIdTCPConnection& Sender)> OnDisconnected;

    // Results of the last ReadLine.
    bool LineWasSplit = false;
    bool LineTimedOut = false;
    bool PeerClosed = false;

    TIdManagedBuffer Incoming;

    TIdIOHandler* IOHandler() const { return ioHandler_; }
    bool OwnsIOHandler() const { return ownedIOHandler_ != nullptr; }
    // Frees an owned transport first, then uses handler (not owned).
    void SetIOHandler(TIdIOHandler* handler);
    // Frees an owned transport first, then takes ownership of handler.
    void SetOwnedIOHandler(std::unique_ptr<TIdIOHandler> handler);

    virtual void NotifyDisconnected();
    virtual void ResetState();
    virtual void CheckClosed(bool raiseIfClosed = true, bool ignoreBuffer = false);
    virtual bool IsConnected();
    virtual void Disconnect();
    virtual void DropConnection();

    // Command exchange of numeric replies.
    TIdRFCReply& GreetingReply() { return *greetingReply_; }
    TIdRFCReply& LastReply() { return *lastReply_; }
    int16_t SendCommand(const std::string& command, const std::vector<int16_t>& allowedCodes);
    // -1 accepts every code.
    int16_t SendCommand(const std::string& command, int16_t allowedCode = -1);
    int16_t ReadReply(const std::vector<int16_t>& allowedCodes);
    int16_t CheckReply(int16_t code, const std::vector<int16_t>& allowedCodes);
    [[noreturn]] void RaiseReplyError();
    // One reply, bounded: at most kMaxReplyLines lines and kMaxReplyBytes bytes (blank lines
    // included), all within ReadTimeout when it is set; past a bound EIdReplyTooLong.
    void ReadReplyLines();

    // -1 timeout: ReadTimeout (no limit when 0); -2: no limit.
    int32_t FillIncoming(bool raiseIfClosed = true, int32_t timeout = -1, bool raiseOnTimeout = true);
    std::string ReadLine(const std::string& terminator = "\n", int32_t timeout = -1, int32_t maxLength = -1);
    std::string ReadNonEmptyLine(int32_t attempts);
    void ReadExact(void* buffer, int32_t count);
    int32_t ReadInt32(bool convert = true);
    void ReadToStream(TStream& stream, int32_t count = -1, bool untilClosed = false);

    void WriteBytes(const void* buffer, int32_t count, bool immediate = false);
    virtual void WriteText(const std::string& text);
    virtual void WriteLine(const std::string& text);
    void WriteInt32(int32_t value, bool convert = true);
    // size 0: the rest of the stream; a stream whose Size() is negative is sent until its Read ends.
    virtual void WriteFromStream(TStream& stream, bool fromStart = true, bool sendLength = false, int64_t size = 0);

    void BeginBuffering(int32_t threshold);
    void FlushBuffered(int32_t count = -1);
    void EndBuffering();
    void DiscardBuffered();

private:
    friend class TIdOperationDeadline;

    // Starts the time WriteTimeout allows for the next kSendProgress bytes, within the operation's deadline.
    void StartSendClock();
    // Counts bytes the system took; each kSendProgress of them start the clock again.
    void CountSent(int32_t count);
    // Sends all count bytes on the running send clock.
    void SendBytes(const uint8_t* bytes, int32_t count);
    // The error policy of a failed send: tolerated codes close the connection; raises always.
    [[noreturn]] void RaiseSendFailure();
    // Sends each chunk as a send of its own, batched where the transport can, with work reported
    // per send; a chunk that went out in part is finished with WriteBytes.
    void WriteChunks(TIdSendChunk* chunks, int32_t count);
    // Fills Incoming until it holds count bytes; a close raises even with bytes buffered.
    void AwaitIncoming(int32_t count);
    // Forgets the transport (freeing an owned one) / starts using one.
    void Detach();
    void Attach(TIdIOHandler* handler);

    TIdIOHandler* ioHandler_ = nullptr;
    std::unique_ptr<TIdIOHandler> ownedIOHandler_;
    std::unique_ptr<TIdSimpleBuffer> pendingOutput_;
    int32_t flushThreshold_ = 0;
    std::unique_ptr<TIdRFCReply> greetingReply_;
    std::unique_ptr<TIdRFCReply> lastReply_;
    TIdDeadline operationDeadline_;
    int64_t sentOnClock_ = 0;
    // Bytes read from Incoming since the connection was made.
    int64_t consumed_ = 0;
};

// While it lives, every wait of the connection's reads and sends (and of the close it may make)
// ends by one deadline for them all, so that an answer or a send cannot restart the clock by
// arriving or going out piece by piece. A deadline already in force that ends earlier stays.
class TIdOperationDeadline {
public:
    TIdOperationDeadline(TIdTCPConnection& connection, const TIdDeadline& deadline);
    ~TIdOperationDeadline();
    TIdOperationDeadline(const TIdOperationDeadline&) = delete;
    TIdOperationDeadline& operator=(const TIdOperationDeadline&) = delete;

private:
    TIdTCPConnection& connection_;
    TIdDeadline previous_;
};

}  // namespace nb
