#include "net/transport/IdTCPConnection.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>

#include "net/transport/IdRFCReply.h"
#include "platform/ScopeExit.h"
#include "net/transport/IdException.h"
#include "net/transport/IdStack.h"
#include "platform/Stream.h"

namespace nb {

namespace {

constexpr int32_t kNoLimit = -2;
// Read-ahead of a stream upload: at most this many chunks, and bytes, per call.
constexpr int32_t kSendBatchChunks = 64;
constexpr int32_t kSendBatchBytes = 65536;
// What the system must take of a send within WriteTimeout before the clock starts again: a
// batch's worth, so that a link too slow for that, or cut, fails within about one time-out.
constexpr int64_t kSendProgress = kSendBatchBytes;

std::string TrimControl(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
    return s.substr(b, e - b);
}

// Runs body, then cleanup however body ends.
template <typename Body, typename Cleanup>
void Guarded(Body body, Cleanup cleanup) {
    ScopeExit guard(std::move(cleanup));
    body();
}

}  // namespace

TIdTCPConnection::TIdTCPConnection()
    : greetingReply_(std::make_unique<TIdRFCReply>()), lastReply_(std::make_unique<TIdRFCReply>()) {
    Incoming.OnConsumed = [this](TIdSimpleBuffer&, int32_t count) {
        consumed_ += count;
        CountWork(wmRead, count);
    };
}

TIdTCPConnection::~TIdTCPConnection() {
    DropConnection();
    Detach();
}

void TIdTCPConnection::Detach() {
    if (ioHandler_) ioHandler_->OnDestroying = nullptr;
    ioHandler_ = nullptr;
    ownedIOHandler_.reset();
}

void TIdTCPConnection::Attach(TIdIOHandler* handler) {
    ioHandler_ = handler;
    if (handler)
        handler->OnDestroying = [this](TIdIOHandler& gone) {
            if (ioHandler_ == &gone) ioHandler_ = nullptr;
        };
}

void TIdTCPConnection::SetIOHandler(TIdIOHandler* handler) {
    if (handler && handler == ownedIOHandler_.get()) return;
    Detach();
    Attach(handler);
}

void TIdTCPConnection::SetOwnedIOHandler(std::unique_ptr<TIdIOHandler> handler) {
    Detach();
    ownedIOHandler_ = std::move(handler);
    Attach(ownedIOHandler_.get());
}

void TIdTCPConnection::NotifyDisconnected() {
    if (OnDisconnected) OnDisconnected(*this);
}

void TIdTCPConnection::ResetState() {
    Incoming.Clear();
    PeerClosed = false;
}

void TIdTCPConnection::CheckClosed(bool raiseIfClosed, bool ignoreBuffer) {
    if (!ioHandler_) return;
    bool closed;
    if (PeerClosed) {
        if (ioHandler_->IsOpen()) {
            DropConnection();
            ReportStatus(hsDisconnected);
            NotifyDisconnected();
        }
        closed = true;
    } else {
        closed = !ioHandler_->IsOpen();
    }
    if (closed && (Incoming.Size() == 0 || ignoreBuffer) && raiseIfClosed) throw EIdConnClosedGracefully();
}

bool TIdTCPConnection::IsConnected() {
    CheckClosed(false, false);
    return ioHandler_ && ioHandler_->IsOpen();
}

void TIdTCPConnection::Disconnect() {
    bool wasConnected = IsConnected();
    if (wasConnected) {
        ReportStatus(hsDisconnecting);
        DropConnection();
    }
    if (ownedIOHandler_) Detach();
    if (wasConnected) {
        NotifyDisconnected();
        ReportStatus(hsDisconnected);
    }
}

void TIdTCPConnection::DropConnection() {
    if (!ioHandler_) return;
    PeerClosed = true;
    // Closing may have to send (TLS's close_notify): on a dead line not longer than a send may wait.
    ioHandler_->SetSendDeadline(TIdDeadline::Earlier(operationDeadline_, TIdDeadline::In(WriteTimeout)));
    ioHandler_->Close();
}

TIdOperationDeadline::TIdOperationDeadline(TIdTCPConnection& connection, const TIdDeadline& deadline)
    : connection_(connection), previous_(connection.operationDeadline_) {
    connection_.operationDeadline_ = TIdDeadline::Earlier(previous_, deadline);
}

TIdOperationDeadline::~TIdOperationDeadline() { connection_.operationDeadline_ = previous_; }

int32_t TIdTCPConnection::FillIncoming(bool raiseIfClosed, int32_t timeout, bool raiseOnTimeout) {
    if (timeout == -1) timeout = ReadTimeout == 0 ? kNoLimit : ReadTimeout;
    CheckClosed(raiseIfClosed, false);
    if (!IsConnected()) {
        if (raiseIfClosed) throw EIdNotConnected();
        return 0;
    }
    TIdStack& stack = *SharedStack();
    int32_t n;
    do {
        int32_t wait = timeout;
        bool passed = false;
        if (operationDeadline_.Limited()) {
            const int32_t left = operationDeadline_.Remaining();
            passed = left == 0;
            wait = wait == kNoLimit ? left : std::min(wait, left);
        }
        // Without a limit the blocking receive itself waits; a readiness wait first would only
        // cost a second system call per receive.
        if (passed || (wait != kNoLimit && !ioHandler_->WaitReadable(wait))) {
            if (raiseOnTimeout) throw EIdReadTimeout();
            return -1;
        }
        // The receive lands straight at the end of the queue instead of in a scratch buffer.
        uint8_t* space = Incoming.GrowBy(RecvBufferSize);
        try {
            n = ioHandler_->Receive(space, RecvBufferSize);
        } catch (...) {
            Incoming.ShrinkBy(RecvBufferSize);
            throw;
        }
        Incoming.ShrinkBy(RecvBufferSize - std::max(n, 0));
        PeerClosed = n == 0;
        if (n == Id_SOCKET_ERROR) {
            stack.CheckResult(n, {Id_WSAESHUTDOWN, Id_WSAECONNABORTED});
            n = 0;
            DropConnection();
            if (Incoming.Size() == 0) stack.ThrowSocketError(stack.LastErrorCode);
        }
        CheckClosed(raiseIfClosed, false);
    } while (n == 0 && IsConnected());
    return n;
}

std::string TIdTCPConnection::ReadLine(const std::string& terminator, int32_t timeout, int32_t maxLength) {
    if (maxLength == -1) maxLength = MaxLineLength;
    const std::string term = terminator.empty() ? std::string("\n") : terminator;
    const int32_t termLength = static_cast<int32_t>(term.size());
    LineWasSplit = false;
    LineTimedOut = false;
    int32_t p = 0, scanned = 0;
    auto overLimit = [&]() -> std::string {
        if (MaxLineAction != maSplit) throw EIdReadLnMaxLineLengthExceeded();
        LineWasSplit = true;
        return Incoming.TakeFront(maxLength);
    };
    do {
        int32_t b = Incoming.Size();
        if (b > 0) {
            // Back up so that a terminator split across two receives is still found.
            int32_t from = std::max(0, scanned - (termLength - 1));
            const char* base = reinterpret_cast<const char*>(Incoming.Unread());
            const char* hit;
            if (termLength == 1) {
                hit = static_cast<const char*>(std::memchr(base + from, term[0], static_cast<size_t>(b - from)));
            } else {
                hit = std::search(base + from, base + b, term.begin(), term.end());
                if (hit == base + b) hit = nullptr;
            }
            if (hit) p = static_cast<int32_t>(hit - base) + 1;
            scanned = b;
        }
        if (maxLength != 0 && p - 1 > maxLength) return overLimit();
        if (p == 0) {
            if (maxLength != 0 && scanned > maxLength) return overLimit();
            CheckClosed(true, true);
            if (FillIncoming(true, timeout, timeout == -1) == -1) {
                LineTimedOut = true;
                return {};
            }
        }
    } while (p == 0);
    std::string line = Incoming.TakeFront(p + termLength - 1);
    if (term == "\n" && p > 1 && line[static_cast<size_t>(p - 2)] == '\r')
        line.resize(static_cast<size_t>(p - 2));
    else
        line.resize(static_cast<size_t>(p - 1));
    return line;
}

std::string TIdTCPConnection::ReadNonEmptyLine(int32_t attempts) {
    std::string result;
    for (int32_t i = 0; result.empty() && i < attempts; ++i) result = TrimControl(ReadLine("\n", -1, -1));
    return result;
}

void TIdTCPConnection::AwaitIncoming(int32_t count) {
    while (Incoming.Size() < count) {
        FillIncoming(true, -1, true);
        CheckClosed(true, true);
    }
}

void TIdTCPConnection::ReadExact(void* buffer, int32_t count) {
    if (count <= 0 || !buffer) return;
    AwaitIncoming(count);
    std::memcpy(buffer, Incoming.Unread(), static_cast<size_t>(count));
    Incoming.DropFront(count);
}

int32_t TIdTCPConnection::ReadInt32(bool convert) {
    uint32_t value = 0;
    ReadExact(&value, sizeof value);
    if (convert) value = SharedStack()->NToHl(value);
    return static_cast<int32_t>(value);
}

void TIdTCPConnection::ReadToStream(TStream& stream, int32_t count, bool untilClosed) {
    if (count == -1 && !untilClosed) count = ReadInt32(true);
    if (count >= 0) {
        int64_t position = stream.Position();
        stream.SetSize(position + count);
        if (stream.Position() != position) stream.SetPosition(position);
    }
    // Until closed has no limit: an archive may be larger than any 32-bit count.
    int64_t remaining;
    if (untilClosed) {
        remaining = INT64_MAX;
        StartWork(wmRead, 0);
    } else {
        remaining = count;
        StartWork(wmRead, count);
    }
    Guarded(
        [&] {
            auto k = static_cast<int32_t>(std::min<int64_t>(Incoming.Size(), remaining));
            if (k > 0) {
                stream.WriteBuffer(Incoming.Unread(), k);
                Incoming.DropFront(k);
                remaining -= k;
            }
            // Chunks go from the receive queue to the stream without a copy in between.
            const auto c = static_cast<int32_t>(std::max<int64_t>(1, std::min<int64_t>(remaining, RecvBufferSize)));
            while (remaining > 0 && IsConnected()) {
                auto i = static_cast<int32_t>(std::min<int64_t>(remaining, c));
                try {
                    AwaitIncoming(i);
                } catch (const EIdConnClosedGracefully&) {
                    if (!untilClosed) throw;
                    // The last partial chunk is delivered without a work report.
                    i = Incoming.Size();
                    if (i > 0) stream.WriteBuffer(Incoming.Unread(), i);
                    Incoming.Clear();
                    remaining -= i;
                    continue;
                }
                stream.WriteBuffer(Incoming.Unread(), i);
                Incoming.DropFront(i);
                remaining -= i;
            }
        },
        [&] {
            FinishWork(wmRead);
            int64_t position = stream.Position();
            if (stream.Size() > position) stream.SetSize(position);
        });
}

void TIdTCPConnection::WriteBytes(const void* buffer, int32_t count, bool immediate) {
    if (count <= 0 || !buffer) return;
    CheckClosed(true, true);
    if (!IsConnected()) throw EIdNotConnected();
    if (pendingOutput_ && !immediate) {
        pendingOutput_->Append(buffer, count);
        if (flushThreshold_ > 0 && pendingOutput_->Size() >= flushThreshold_) FlushBuffered(flushThreshold_);
        return;
    }
    StartSendClock();
    SendBytes(static_cast<const uint8_t*>(buffer), count);
}

void TIdTCPConnection::StartSendClock() {
    sentOnClock_ = 0;
    ioHandler_->SetSendDeadline(TIdDeadline::Earlier(operationDeadline_, TIdDeadline::In(WriteTimeout)));
}

void TIdTCPConnection::CountSent(int32_t count) {
    sentOnClock_ += count;
    if (sentOnClock_ >= kSendProgress) StartSendClock();
}

void TIdTCPConnection::SendBytes(const uint8_t* bytes, int32_t count) {
    int32_t position = 0;
    while (position < count) {
        int32_t n = ioHandler_->Send(bytes + position, count - position);
        PeerClosed = n == 0;
        CheckClosed(true, false);
        if (n == Id_SOCKET_ERROR) RaiseSendFailure();
        CountWork(wmWrite, n);
        CountSent(n);
        position += n;
    }
}

void TIdTCPConnection::RaiseSendFailure() {
    TIdStack& stack = *SharedStack();
    stack.CheckResult(Id_SOCKET_ERROR, {Id_WSAESHUTDOWN, Id_WSAECONNABORTED, Id_WSAECONNRESET, Id_WSAETIMEDOUT});
    // Closing the socket may itself fail; the send's code is the one worth reporting.
    int32_t code = stack.LastErrorCode;
    DropConnection();
    stack.ThrowSocketError(code);
}

void TIdTCPConnection::WriteChunks(TIdSendChunk* chunks, int32_t count) {
    CheckClosed(true, true);
    if (!IsConnected()) throw EIdNotConnected();
    StartSendClock();
    int32_t next = 0;
    while (next < count) {
        CheckClosed(true, true);
        if (!IsConnected()) throw EIdNotConnected();
        int32_t taken = ioHandler_->SendMany(chunks + next, count - next);
        // Work is reported per send, as if each chunk had been written alone.
        const int32_t last = taken == Id_SOCKET_ERROR ? count : next + taken;
        for (int32_t i = next; i < last && chunks[i].Sent > 0; ++i) {
            CountWork(wmWrite, chunks[i].Sent);
            CountSent(chunks[i].Sent);
        }
        PeerClosed = taken == 0 || (taken > 0 && chunks[last - 1].Sent == 0);
        CheckClosed(true, false);
        if (taken == Id_SOCKET_ERROR) RaiseSendFailure();
        if (taken == 0) continue;  // the closed check above or at the top raises
        next = last;
        const TIdSendChunk& tail = chunks[last - 1];
        // The rest of a chunk taken in part goes on the same clock: a partial send is no progress
        // enough to grant another time-out.
        if (tail.Sent < tail.Length)
            SendBytes(static_cast<const uint8_t*>(tail.Buffer) + tail.Sent, tail.Length - tail.Sent);
    }
}

void TIdTCPConnection::WriteText(const std::string& text) {
    if (!text.empty()) WriteBytes(text.data(), static_cast<int32_t>(text.size()));
}

void TIdTCPConnection::WriteLine(const std::string& text) { WriteText(text + "\r\n"); }

void TIdTCPConnection::WriteInt32(int32_t value, bool convert) {
    uint32_t v = static_cast<uint32_t>(value);
    if (convert) v = SharedStack()->HToNl(v);
    WriteBytes(&v, sizeof v);
}

void TIdTCPConnection::WriteFromStream(TStream& stream, bool fromStart, bool sendLength, int64_t size) {
    if (fromStart) stream.SetPosition(0);
    int64_t position = stream.Position();
    int64_t end = size == 0 ? stream.Size() : position + size;
    // A stream that does not know its length yet (one still being written) is sent until it ends.
    const bool open = size == 0 && end < 0 && !sendLength;
    if (open) end = INT64_MAX;
    int64_t total = open ? 0 : end - position;
    if (sendLength) WriteInt32(static_cast<int32_t>(total), true);
    StartWork(wmWrite, total);
    Guarded(
        [&] {
            // Several chunks are read ahead and go out in one call, each still a send of its own;
            // buffered output keeps one write per chunk.
            const int32_t chunkSize = std::max(SendBufferSize, 1);
            const int32_t batch = pendingOutput_ ? 1 : std::clamp(kSendBatchBytes / chunkSize, 1, kSendBatchChunks);
            std::vector<uint8_t> buffer(static_cast<size_t>(chunkSize) * static_cast<size_t>(batch));
            std::vector<TIdSendChunk> chunks(static_cast<size_t>(batch));
            for (bool more = true, ended = false; more;) {
                TIdSendChunk* filled = chunks.data();
                uint8_t* space = buffer.data();
                std::exception_ptr readFailure;
                try {
                    while (filled < chunks.data() + batch) {
                        int32_t k = static_cast<int32_t>(std::min<int64_t>(end - position, chunkSize));
                        if (k <= 0) break;
                        int32_t got = stream.Read(space, k);
                        if (got <= 0 && open) {
                            ended = true;
                            break;
                        }
                        if (got <= 0) throw EIdNoDataToRead();
                        *filled++ = {space, got, 0};
                        space += got;
                        position += got;
                    }
                } catch (...) {
                    // What was read before the failure goes out first, as it did chunk by chunk.
                    readFailure = std::current_exception();
                }
                const int32_t n = static_cast<int32_t>(filled - chunks.data());
                more = n == batch && !ended;
                if (pendingOutput_) {
                    for (const TIdSendChunk* c = chunks.data(); c < filled; ++c)
                        WriteBytes(c->Buffer, c->Length, false);
                } else if (n > 0) {
                    WriteChunks(chunks.data(), n);
                }
                if (readFailure) std::rethrow_exception(readFailure);
            }
        },
        [&] { FinishWork(wmWrite); });
}

void TIdTCPConnection::BeginBuffering(int32_t threshold) {
    pendingOutput_ = std::make_unique<TIdSimpleBuffer>();
    flushThreshold_ = threshold;
}

void TIdTCPConnection::FlushBuffered(int32_t count) {
    if (!pendingOutput_ || pendingOutput_->Size() == 0) return;
    TIdSimpleBuffer& pending = *pendingOutput_;
    if (count != -1 && pending.Size() >= count) {
        WriteBytes(pending.Unread(), count, true);
        pending.DropFront(count);
    } else {
        WriteBytes(pending.Unread(), pending.Size(), true);
        pending.Clear();
    }
}

void TIdTCPConnection::EndBuffering() {
    ScopeExit reset([&] { pendingOutput_.reset(); });
    FlushBuffered(-1);
}

void TIdTCPConnection::DiscardBuffered() {
    if (pendingOutput_) pendingOutput_->Clear();
}

}  // namespace nb
