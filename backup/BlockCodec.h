#pragma once
// One archive block packed or unpacked by the backend the system chose for that direction and
// level (codec/): every block a whole, standard zlib stream, as the format demands.
#include <cstdint>
#include <memory>
#include <vector>

#include "backup/codec/CodecBackend.h"

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

// Not thread-safe: one per thread.
class BlockCodec {
public:
    BlockCodec();
    ~BlockCodec();
    BlockCodec(const BlockCodec&) = delete;
    BlockCodec& operator=(const BlockCodec&) = delete;

    using Packed = archive::Packed;
    // Compresses count bytes (at most 16384) into out (16384 bytes); packedSize is the stream's length.
    Packed Deflate(const uint8_t* in, int32_t count, uint8_t* out, int zlibLevel, int32_t& packedSize);
    // Inflates one block into out (16384 bytes); produced is zlib's total output, also on failure.
    // False when the stream is bad or incomplete, would not fit in 16384 bytes, or bytes follow its end.
    bool Inflate(const uint8_t* in, int32_t count, uint8_t* out, int32_t& produced);
    // A stored block's bytes as they stand; a compressed block inflated into out (16384 bytes),
    // with what zlib produced also when it failed.
    DecodedBlock Decode(const RawBlock& block, uint8_t* out);

private:
    BackendSet backends_;
};

}  // namespace nb::archive
