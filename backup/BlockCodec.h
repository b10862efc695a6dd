#pragma once
// One archive block through zlib: a fresh stream for every block, as the format demands, with
// zlib's memory recycled between those streams so that a block costs no allocation.
#include <cstdint>
#include <memory>
#include <vector>

namespace nb::archive {

// One block as the archive holds it, before its content is decoded.
struct RawBlock {
    enum class Kind { Compressed, Stored };
    Kind Type = Kind::Stored;
    int32_t Size = 0;               // bytes in the archive, 1 to 16384
    int64_t Offset = 0;             // where its length word stands in its volume
    const uint8_t* Data = nullptr;  // the Size bytes, once read
};

// A block's content: where it is, how long, and whether the block was sound.
struct DecodedBlock {
    const uint8_t* Data = nullptr;
    int32_t Size = 0;
    bool Ok = true;
};

class BlockCodec {
public:
    BlockCodec();
    ~BlockCodec();
    BlockCodec(const BlockCodec&) = delete;
    BlockCodec& operator=(const BlockCodec&) = delete;

    enum class Packed { Compressed, Stored, Failed };
    // Compresses count bytes (at most 16384) into out (16384 bytes); packedSize is zlib's total output.
    Packed Deflate(const uint8_t* in, int32_t count, uint8_t* out, int zlibLevel, int32_t& packedSize);
    // Inflates one block into out (16384 bytes); produced is zlib's total output, also on failure.
    // False when zlib fails, the stream is incomplete or would not fit in 16384 bytes, or bytes follow its end.
    bool Inflate(const uint8_t* in, int32_t count, uint8_t* out, int32_t& produced);
    // A stored block's bytes as they stand; a compressed block inflated into out (16384 bytes),
    // with what zlib produced also when it failed.
    DecodedBlock Decode(const RawBlock& block, uint8_t* out);

private:
    struct Pool;
    std::unique_ptr<Pool> pool_;
};

}  // namespace nb::archive
