#include "net/transport/IdStack.h"

#include <gtest/gtest.h>

#include "net/transport/IdComponent.h"
#include "net/transport/IdException.h"
#include "net/transport/IdSocketHandle.h"
#include "tests/support/TestSupport.h"

namespace nb {
namespace {

// Keeps the shared stack alive for a test.
class StackTest : public ::testing::Test {
protected:
    TIdComponent component_;
    TIdStack& stack_ = *SharedStack();
};

struct ParseCase {
    const char* Text;
    TIdIPAddressKind Kind;
    const char* Dotted;  // the four bytes as text, when valid
};

class ParseAddressTest : public StackTest, public ::testing::WithParamInterface<ParseCase> {};

TEST_P(ParseAddressTest, ParsesEveryForm) {
    const ParseCase& c = GetParam();
    TIdIPv4Bytes bytes;
    ASSERT_EQ(TIdStack::ParseAddress(c.Text, bytes), c.Kind) << c.Text;
    if (c.Kind != TIdIPAddressKind::Invalid) {
        EXPECT_EQ(stack_.AddressToText(bytes), c.Dotted) << c.Text;
        EXPECT_TRUE(stack_.IsAddressLiteral(c.Text));
    } else {
        EXPECT_FALSE(stack_.IsAddressLiteral(c.Text));
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, ParseAddressTest,
                         ::testing::Values(ParseCase{"10.1", TIdIPAddressKind::Dotted, "10.0.0.1"},
                                           ParseCase{"10.1.2", TIdIPAddressKind::Dotted, "10.1.0.2"},
                                           ParseCase{"256", TIdIPAddressKind::Numeric, "0.0.1.0"},
                                           ParseCase{"0", TIdIPAddressKind::Numeric, "0.0.0.0"},
                                           ParseCase{"4294967295", TIdIPAddressKind::Numeric, "255.255.255.255"},
                                           ParseCase{"4294967296", TIdIPAddressKind::Invalid, ""},
                                           ParseCase{"127.0.0.1", TIdIPAddressKind::Dotted, "127.0.0.1"},
                                           ParseCase{"1.16777215", TIdIPAddressKind::Dotted, "1.255.255.255"},
                                           ParseCase{"1.16777216", TIdIPAddressKind::Invalid, ""},
                                           ParseCase{"1.2.65535", TIdIPAddressKind::Dotted, "1.2.255.255"},
                                           ParseCase{"1.2.65536", TIdIPAddressKind::Invalid, ""},
                                           ParseCase{"256.1.1.1", TIdIPAddressKind::Invalid, ""},
                                           ParseCase{"1.2.3.256", TIdIPAddressKind::Invalid, ""},
                                           ParseCase{"1.2.3.4.5", TIdIPAddressKind::Invalid, ""},
                                           ParseCase{"", TIdIPAddressKind::Invalid, ""},
                                           ParseCase{"a.b.c.d", TIdIPAddressKind::Invalid, ""},
                                           ParseCase{"-1", TIdIPAddressKind::Invalid, ""},
                                           ParseCase{"localhost", TIdIPAddressKind::Invalid, ""}));

TEST_F(StackTest, TextToAddressRaisesForInvalidText) {
    for (const char* text : {"256.1.1.1", "1.2.3.4.5", "host.example"}) {
        try {
            stack_.TextToAddress(text);
            FAIL() << text;
        } catch (const EIdInvalidIPAddress& e) {
            EXPECT_EQ(e.Message(), std::string(text) + " is not a valid IP address.");
        }
    }
}

TEST_F(StackTest, HostToAddressKeepsLiteralsAndNamesLocalhost) {
    EXPECT_EQ(stack_.HostToAddress("localhost"), "127.0.0.1");
    EXPECT_EQ(stack_.HostToAddress("LocalHost"), "127.0.0.1");
    EXPECT_EQ(stack_.HostToAddress("LOCALHOST"), "127.0.0.1");
    EXPECT_EQ(stack_.HostToAddress("10.1"), "10.1");
}

TEST_F(StackTest, UnresolvableNameIsHostNotFound) {
    // glibc rejects a name with an empty label without asking any server.
    try {
        stack_.HostToAddress("bad..name");
        FAIL();
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.ErrorCode, 11001);
        EXPECT_EQ(e.Message(), "Socket Error # 11001\r\nHost not found.");
    }
}

struct TextCase {
    int32_t Code;
    const char* Message;
};

class ErrorTextTest : public StackTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(ErrorTextTest, FormatsCodeAndTableText) {
    EXPECT_EQ(stack_.SocketErrorText(GetParam().Code), GetParam().Message);
    try {
        stack_.ThrowSocketError(GetParam().Code);
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.ErrorCode, GetParam().Code);
        EXPECT_EQ(e.Message(), GetParam().Message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ErrorTextTest,
    ::testing::Values(TextCase{10061, "Socket Error # 10061\r\nConnection refused."},
                      TextCase{10035, "Socket Error # 10035\r\nOperation would block. "},
                      TextCase{10066, "Socket Error # 10066\r\nDirectory not empty"},
                      TextCase{10004, "Socket Error # 10004\r\nInterrupted system call."},
                      TextCase{10047, "Socket Error # 10047\r\nAddress family not supported by protocol family."},
                      TextCase{10059, "Socket Error # 10059\r\nToo many references, cannot splice."},
                      TextCase{12345, "Socket Error # 12345\r\n"}));

TEST_F(StackTest, CheckResultToleratesListedCodesOnly) {
    EXPECT_FALSE(stack_.CheckResult(0));
    EXPECT_FALSE(stack_.CheckResult(5, {10054}));
    // A bind to something that is no socket fails with 10038.
    ASSERT_EQ(stack_.BindSocket(-1, Id_PF_INET, "", 0), -1);
    EXPECT_TRUE(stack_.CheckResult(-1, {10004, 10038}));
    EXPECT_EQ(stack_.LastErrorCode, 10038);
    try {
        stack_.CheckResult(-1, {10054});
        FAIL();
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.ErrorCode, 10038);
    }
}

TEST_F(StackTest, RefusedConnectIs10061) {
    TIdSocketHandle handle;
    handle.Allocate(Id_SOCK_STREAM, 0);
    handle.SetRemote("127.0.0.1", test::FreePort());
    ASSERT_EQ(handle.ConnectPeer(Id_PF_INET), -1);
    EXPECT_EQ(stack_.LastSocketError(), Id_WSAECONNREFUSED);
    EXPECT_THROW(stack_.CheckResult(-1), EIdSocketError);
    EXPECT_EQ(stack_.LastErrorCode, 10061);
}

TEST_F(StackTest, ConnectNeedsAnAddress) {
    TIdSocketHandle handle;
    handle.Allocate(Id_SOCK_STREAM, 0);
    EXPECT_THROW(stack_.ConnectSocket(handle.Socket, Id_PF_INET, "", 21), EIdInvalidIPAddress);
}

class SelectTest : public StackTest {};

TEST_F(SelectTest, MoreThanSixtyFourSocketsRaiseBeforeWaiting) {
    TIdSocketList many(65, 0);
    EXPECT_THROW(stack_.SelectSockets(&many, nullptr, nullptr, -2), EIdStackSetSizeExceeded);
    EXPECT_EQ(many.size(), 65u);
}

TEST(SharedStackLife, FollowsTheCountOfComponents) {
    ASSERT_EQ(SharedStack(), nullptr) << "another test left a component alive";
    {
        TIdComponent first;
        TIdStack* stack = SharedStack();
        ASSERT_NE(stack, nullptr);
        {
            TIdComponent second;
            EXPECT_EQ(SharedStack(), stack);
        }
        EXPECT_EQ(SharedStack(), stack);
    }
    EXPECT_EQ(SharedStack(), nullptr);
    TIdComponent again;
    EXPECT_NE(SharedStack(), nullptr);
}

}  // namespace
}  // namespace nb
