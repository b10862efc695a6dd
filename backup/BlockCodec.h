#pragma once
// One archive block through zlib: a fresh stream for every block, as the format demands, with
// zlib's memory recycled between those streams so that a block costs no allocation.
#include <cstdint>
#include <memory>
#include <vector>

namespace nb::archive {

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

private:
    struct Pool;
    std::unique_ptr<Pool> pool_;
};

}  // namespace nb::archive
