#include "backup/BlockCodec.h"

namespace nb::archive {

BlockCodec::BlockCodec() : backends_(MakePlatformBackends()) {}
BlockCodec::~BlockCodec() = default;

BlockCodec::Packed BlockCodec::Deflate(const uint8_t* in, int32_t count, uint8_t* out, int zlibLevel,
                                       int32_t& packedSize) {
    if (zlibLevel < -1 || zlibLevel > 9) return Packed::Failed;
    return backends_.DeflaterFor[zlibLevel + 1]->Deflate(in, count, out, zlibLevel, packedSize);
}

bool BlockCodec::Inflate(const uint8_t* in, int32_t count, uint8_t* out, int32_t& produced) {
    if (backends_.Inflater->Inflate(in, count, out, produced)) return true;
    // The reference has the last word on a block the fast inflater refuses, and a failing block's
    // bytes are written as zlib produced them.
    return backends_.Inflater != backends_.Reference && backends_.Reference->Inflate(in, count, out, produced);
}

DecodedBlock BlockCodec::Decode(const RawBlock& block, uint8_t* out) {
    if (block.Type == RawBlock::Kind::Stored) return {block.Data, block.Size, true};
    DecodedBlock decoded{out, 0, true};
    decoded.Ok = Inflate(block.Data, block.Size, out, decoded.Size);
    return decoded;
}

}  // namespace nb::archive
