#pragma once
// What the fuzz targets share: a control connection whose peer is a socketpair that has
// already sent the fuzz bytes and closed, and a scratch folder for the file parsers.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/transport/IdIOHandlerSocket.h"
#include "net/transport/IdTCPConnection.h"

namespace nb::fuzz {

// Socket buffers of a local socketpair hold far more than this; more would block the writer.
constexpr size_t MaxWireBytes = 65536;

// Gives connection a real socket transport on one end of a socketpair; the other end has sent
// the bytes and shut down its sending side, so reads see the bytes and then an orderly close.
class TWirePeer {
public:
    TWirePeer(TIdTCPConnection& connection, const uint8_t* data, size_t size) {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds_) != 0) std::abort();
        if (size > MaxWireBytes) size = MaxWireBytes;
        size_t done = 0;
        while (done < size) {
            ssize_t n = ::send(fds_[1], data + done, size - done, MSG_NOSIGNAL);
            if (n <= 0) std::abort();
            done += static_cast<size_t>(n);
        }
        ::shutdown(fds_[1], SHUT_WR);
        auto transport = std::make_unique<TIdIOHandlerSocket>();
        transport->Open();
        transport->SocketHandle()->Socket = fds_[0];
        transport->SocketHandle()->Allocated = true;
        connection.SetOwnedIOHandler(std::move(transport));
    }
    // The transport closes its end; the peer's end is ours.
    ~TWirePeer() { ::close(fds_[1]); }
    TWirePeer(const TWirePeer&) = delete;
    TWirePeer& operator=(const TWirePeer&) = delete;

private:
    int fds_[2] = {-1, -1};
};

// A folder for the file parsers' inputs, on a memory file system where there is one.
inline const std::string& ScratchFolder() {
    static const std::string folder = [] {
        std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string templ = base + "/nb-fuzz-XXXXXX";
        if (!::mkdtemp(templ.data())) std::abort();
        return templ;
    }();
    return folder;
}

}  // namespace nb::fuzz
