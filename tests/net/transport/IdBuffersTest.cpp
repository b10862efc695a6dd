#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/transport/IdException.h"
#include "net/transport/IdTCPConnection.h"

namespace nb {
namespace {

TEST(SimpleBuffer, TakesFromTheFrontAndReportsIt) {
    TIdSimpleBuffer b;
    std::vector<int32_t> consumed;
    b.OnConsumed = [&](TIdSimpleBuffer&, int32_t n) { consumed.push_back(n); };
    b.Append("hello world", 11);
    EXPECT_EQ(b.TakeFront(6), "hello ");
    EXPECT_EQ(b.Size(), 5);
    EXPECT_THROW(b.DropFront(6), EIdNotEnoughDataInBuffer);
    EXPECT_EQ(b.TakeFront(5), "world");
    EXPECT_EQ(b.Size(), 0);
    EXPECT_EQ(consumed, (std::vector<int32_t>{6, 5}));
}

TEST(ManagedBuffer, KeepsConsumedBytesUntilTheThreshold) {
    TIdManagedBuffer b;
    int32_t consumed = 0;
    b.OnConsumed = [&](TIdSimpleBuffer&, int32_t n) { consumed += n; };
    const std::string data(40000, 'x');
    b.Append(data.data(), 40000);
    b.Append("tail", 4);
    b.DropFront(30000);
    EXPECT_EQ(b.ReadOffset, 30000);
    EXPECT_EQ(b.StorageSize(), 40004u);
    EXPECT_EQ(b.Size(), 10004);
    b.DropFront(2767);
    EXPECT_EQ(b.ReadOffset, 32767);
    b.DropFront(1);  // 32768 consumed: compacted
    EXPECT_EQ(b.ReadOffset, 0);
    EXPECT_EQ(b.StorageSize(), 7236u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.Unread()) + 7232, 4), "tail");
    EXPECT_THROW(b.DropFront(7237), EIdNotEnoughDataInBuffer);
    b.DropFront(7236);
    EXPECT_EQ(b.StorageSize(), 0u);
    EXPECT_EQ(consumed, 40004);
    b.Append("ab", 2);
    b.Clear();  // no notification
    EXPECT_EQ(b.Size(), 0);
    EXPECT_EQ(consumed, 40004);
}

}  // namespace
}  // namespace nb
