// Block codec backends: every backend's blocks read byte for byte by every other and by plain
// zlib, the format's store rule, the level rule, and hostile streams refused by each inflater.
#include <gtest/gtest.h>
#include <random>
#include <zlib.h>

#include "backup/ArchiveFormat.h"
#include "backup/BlockCodec.h"
#include "backup/codec/CodecBackend.h"

namespace nb {
namespace {

using namespace archive;

std::vector<uint8_t> Random(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

std::vector<uint8_t> TextLike(size_t n) {
    static const char* const words[] = {"invoice ", "거래처 ", "2024-03-01|", "Gaon Hardware ", "qty 12 ", "\r\n"};
    std::mt19937 rng(7);
    std::string s;
    while (s.size() < n) s += words[rng() % std::size(words)];
    return {s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n)};
}

struct Shape {
    const char* Name;
    std::vector<uint8_t> Bytes;
    bool Fits;  // its packed form fits in 16384 bytes at every level but 0
};

std::vector<Shape> Shapes() {
    return {{"random", Random(kPieceSize, 1), false}, {"zeros", std::vector<uint8_t>(kPieceSize, 0), true},
            {"text", TextLike(kPieceSize), true},     {"one byte", {0x41}, true},
            {"short text", TextLike(1000), true},     {"random tail", Random(300, 2), true}};
}

constexpr int kLevels[] = {1, 0, -1, 9};  // the component's four

std::vector<uint8_t> PlainZlibInflate(const std::vector<uint8_t>& stream) {
    std::vector<uint8_t> out(kPieceSize);
    uLongf size = out.size();
    EXPECT_EQ(uncompress(out.data(), &size, stream.data(), static_cast<uLong>(stream.size())), Z_OK);
    out.resize(size);
    return out;
}

TEST(CodecTest, EveryBackendsBlocksInflateByEveryOtherAndPlainZlib) {
    auto backends = AvailableBackends();
    ASSERT_FALSE(backends.empty());
    for (const auto& packer : backends) {
        auto deflater = packer.Make();
        for (const auto& shape : Shapes()) {
            for (int level : kLevels) {
                SCOPED_TRACE(packer.Name + " level " + std::to_string(level) + " " + shape.Name);
                std::vector<uint8_t> out(kPieceSize);
                int32_t packedSize = 0;
                auto packed = deflater->Deflate(shape.Bytes.data(), static_cast<int32_t>(shape.Bytes.size()),
                                                out.data(), level, packedSize);
                ASSERT_NE(packed, Packed::Failed);
                // Stored only when the stream does not fit: a random piece never fits, the others
                // do, but at level 0 a full piece in stored deflate blocks may not.
                if (!shape.Fits) {
                    ASSERT_EQ(packed, Packed::Stored);
                } else if (level != 0 || shape.Bytes.size() + 11 <= size_t{kPieceSize}) {
                    ASSERT_EQ(packed, Packed::Compressed);
                }
                if (packed == Packed::Stored) continue;
                out.resize(static_cast<size_t>(packedSize));
                EXPECT_EQ(PlainZlibInflate(out), shape.Bytes);
                for (const auto& reader : backends) {
                    std::vector<uint8_t> back(kPieceSize);
                    int32_t produced = 0;
                    EXPECT_TRUE(reader.Make()->Inflate(out.data(), packedSize, back.data(), produced)) << reader.Name;
                    back.resize(static_cast<size_t>(produced));
                    EXPECT_EQ(back, shape.Bytes) << reader.Name;
                }
            }
        }
    }
}

std::vector<uint8_t> TableRows(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < n) {
        char row[96];
        std::snprintf(row, sizeof row, "%08u|2024-%02u-%02u|ITEM-%05u|Gaon Hardware|%6u|%9u\r\n",
                      unsigned(rng() % 99999), unsigned(1 + rng() % 12), unsigned(1 + rng() % 28),
                      unsigned(rng() % 5000), unsigned(rng() % 1000), unsigned(rng() % 10000000));
        s += row;
    }
    return {s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n)};
}

// Each level but the fastest packs data like the program's at least as small as zlib's own level.
TEST(CodecTest, ChosenDeflaterPacksAsSmallAsZlibAtEachLevelButTheFastest) {
    std::vector<std::vector<uint8_t>> pieces{TextLike(kPieceSize), TextLike(5000)};
    for (uint32_t seed = 1; seed <= 8; ++seed) pieces.push_back(TableRows(kPieceSize, seed));
    BlockCodec codec;
    auto zlib = MakeZlibBackend();
    for (int level : {0, -1, 9}) {
        int64_t ours = 0, theirs = 0;
        for (const auto& piece : pieces) {
            std::vector<uint8_t> out(kPieceSize);
            int32_t a = 0, b = 0;
            auto count = static_cast<int32_t>(piece.size());
            ours += codec.Deflate(piece.data(), count, out.data(), level, a) == Packed::Compressed ? a : count;
            theirs += zlib->Deflate(piece.data(), count, out.data(), level, b) == Packed::Compressed ? b : count;
        }
        EXPECT_LE(ours, theirs) << "level " << level;
    }
}

std::vector<uint8_t> ZlibStream(const std::vector<uint8_t>& content, size_t room = kPieceSize * 2) {
    std::vector<uint8_t> out(room);
    uLongf size = out.size();
    EXPECT_EQ(compress2(out.data(), &size, content.data(), static_cast<uLong>(content.size()), 1), Z_OK);
    out.resize(size);
    return out;
}

struct Hostile {
    const char* Name;
    std::vector<uint8_t> Stream;
};

std::vector<Hostile> HostileStreams() {
    auto good = ZlibStream(TextLike(5000));
    std::vector<Hostile> cases;
    auto with = [&](const char* name, auto change) {
        auto s = good;
        change(s);
        cases.push_back({name, s});
    };
    with("trailing byte", [](auto& s) { s.push_back(0); });
    with("trailing stream", [&](auto& s) { s.insert(s.end(), good.begin(), good.end()); });
    with("cut before its check", [](auto& s) { s.resize(s.size() - 4); });
    with("cut in the middle", [](auto& s) { s.resize(s.size() / 2); });
    with("wrong Adler-32", [](auto& s) { s.back() ^= 1; });
    with("wrong header check", [](auto& s) { s[1] ^= 1; });
    with("not deflate", [](auto& s) { s[0] = 0x79, s[1] = 0xDA ^ 0x01; });
    with("window over 32 KiB", [](auto& s) { s[0] = 0x88, s[1] = 0x1C; });
    with("preset dictionary", [](auto& s) { s[1] = 0x20 | static_cast<uint8_t>(31 - ((s[0] << 8 | 0x20) % 31)); });
    with("damaged data", [](auto& s) { s[s.size() / 2] ^= 0xFF; });
    cases.push_back({"output over 16384 bytes", ZlibStream(std::vector<uint8_t>(kPieceSize + 1, 'x'))});
    cases.push_back({"garbage", Random(200, 3)});
    return cases;
}

TEST(CodecTest, EveryInflaterRefusesHostileStreams) {
    for (const auto& reader : AvailableBackends()) {
        auto inflater = reader.Make();
        for (const auto& bad : HostileStreams()) {
            std::vector<uint8_t> out(kPieceSize);
            int32_t produced = 0;
            EXPECT_FALSE(
                inflater->Inflate(bad.Stream.data(), static_cast<int32_t>(bad.Stream.size()), out.data(), produced))
                << reader.Name << ": " << bad.Name;
        }
    }
}

// A refused block's bytes are written as zlib produced them, whichever backend inflates.
TEST(CodecTest, RefusedBlockYieldsZlibsPartialOutput) {
    BlockCodec codec;
    auto zlib = MakeZlibBackend();
    for (const auto& bad : HostileStreams()) {
        SCOPED_TRACE(bad.Name);
        auto count = static_cast<int32_t>(bad.Stream.size());
        if (count > kPieceSize) continue;  // the cursor refuses such a block before it is inflated
        std::vector<uint8_t> ours(kPieceSize), theirs(kPieceSize);
        int32_t ourCount = -1, theirCount = -1;
        EXPECT_FALSE(codec.Inflate(bad.Stream.data(), count, ours.data(), ourCount));
        zlib->Inflate(bad.Stream.data(), count, theirs.data(), theirCount);
        ASSERT_EQ(ourCount, theirCount);
        EXPECT_TRUE(std::equal(ours.begin(), ours.begin() + ourCount, theirs.begin()));
    }
}

}  // namespace
}  // namespace nb
