// What only the stack over BSD sockets has: errno numbers mapped onto the Windows Sockets ones,
// poll standing in for select, MSG_NOSIGNAL, and option numbers translated for Linux.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "net/transport/IdComponent.h"
#include "net/transport/IdSocketHandle.h"
#include "net/transport/posix/IdStackBsd.h"

namespace nb {
namespace {

class BsdStackTest : public ::testing::Test {
protected:
    TIdComponent component_;
    TIdStack& stack_ = *SharedStack();
};

class BsdSelectTest : public BsdStackTest {};

TEST(ErrnoMapping, NativeCodesBecomeWindowsSocketsNumbers) {
    const std::pair<int, int32_t> table[] = {
        {ECONNREFUSED, 10061}, {ECONNRESET, 10054},   {EPIPE, 10058},        {ECONNABORTED, 10053},
        {ETIMEDOUT, 10060},    {EADDRINUSE, 10048},   {EBADF, 10038},        {ENOTSOCK, 10038},
        {EINTR, 10004},        {EACCES, 10013},       {EPERM, 10013},        {EINVAL, 10022},
        {EMSGSIZE, 10040},     {EWOULDBLOCK, 10035},  {EINPROGRESS, 10036},  {EADDRNOTAVAIL, 10049},
        {ENETUNREACH, 10051},  {EHOSTUNREACH, 10065}, {ENOTCONN, 10057},     {EISCONN, 10056},
        {EMFILE, 10024},       {ENOBUFS, 10055},      {EAFNOSUPPORT, 10047}, {ENOTEMPTY, 10066},
    };
    for (auto [native, code] : table) {
        EXPECT_EQ(WinsockCodeOfErrno(native), code) << native;
        EXPECT_FALSE(SocketErrorTableText(code).empty()) << code;
    }
}

TEST_F(BsdSelectTest, ListsKeepOnlyReadySockets) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    TIdSocketList read{pair[0], pair[1]};
    TIdSocketList write{pair[0]};
    EXPECT_EQ(stack_.SelectSockets(&read, &write, nullptr, 0), 1);
    EXPECT_TRUE(read.empty());
    EXPECT_EQ(write, TIdSocketList{pair[0]});

    ASSERT_EQ(::write(pair[1], "x", 1), 1);
    read = {pair[0], pair[1]};
    EXPECT_EQ(stack_.SelectSockets(&read, nullptr, nullptr, 1000), 1);
    EXPECT_EQ(read, TIdSocketList{pair[0]});

    // A closed peer counts as readable, as with select.
    close(pair[1]);
    char c;
    ASSERT_EQ(::read(pair[0], &c, 1), 1);
    read = {pair[0]};
    EXPECT_EQ(stack_.SelectSockets(&read, nullptr, nullptr, 1000), 1);
    close(pair[0]);

    read = {pair[0]};
    EXPECT_EQ(stack_.SelectSockets(&read, nullptr, nullptr, 0), -1);
    EXPECT_EQ(stack_.LastSocketError(), Id_WSAENOTSOCK);
}

TEST_F(BsdStackTest, SendsNeverRaiseSigpipe) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    close(pair[1]);
    EXPECT_EQ(stack_.SendOn(pair[0], "x", 1, 0), -1);
    EXPECT_EQ(stack_.LastSocketError(), 10058);
    close(pair[0]);
}

TEST_F(BsdStackTest, OptionsUseWindowsSocketsNumbers) {
    TIdSocketHandle handle;
    handle.Allocate(Id_SOCK_STREAM, 0);
    int32_t ttl = 17;
    handle.SetOption(Id_IPPROTO_IP, Id_IP_TTL, &ttl, sizeof ttl);
    int native = 0;
    socklen_t len = sizeof native;
    ASSERT_EQ(getsockopt(handle.Socket, IPPROTO_IP, IP_TTL, &native, &len), 0);
    EXPECT_EQ(native, 17);
    int32_t type = 0, size = sizeof type;
    ASSERT_EQ(stack_.GetSocketOption(handle.Socket, Id_SOL_SOCKET, Id_SO_TYPE, &type, size), 0);
    EXPECT_EQ(type, Id_SOCK_STREAM);
}

}  // namespace
}  // namespace nb
