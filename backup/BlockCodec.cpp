#include "backup/BlockCodec.h"

#include <algorithm>
#include <zlib.h>

#include "backup/ArchiveFormat.h"

namespace nb::archive {

namespace {
// The version the component was built against; zlib compares only its first character.
constexpr const char* kZlibVersion = "1.1.3";
}  // namespace

struct BlockCodec::Pool {
    struct Chunk {
        size_t size;
        std::unique_ptr<unsigned char[]> memory;
    };
    std::vector<Chunk> free, used;

    static voidpf Alloc(voidpf opaque, uInt items, uInt size) noexcept {
        try {
            return static_cast<Pool*>(opaque)->Take(static_cast<size_t>(items) * size);
        } catch (...) {
            return Z_NULL;  // zlib answers Z_MEM_ERROR
        }
    }

    void* Take(size_t bytes) {
        Pool* pool = this;
        auto it = std::find_if(pool->free.begin(), pool->free.end(), [&](const Chunk& c) { return c.size == bytes; });
        if (it != pool->free.end()) {
            pool->used.push_back(std::move(*it));
            pool->free.erase(it);
        } else {
            pool->used.push_back({bytes, std::make_unique_for_overwrite<unsigned char[]>(bytes)});
        }
        return pool->used.back().memory.get();
    }

    static void Free(voidpf opaque, voidpf address) noexcept {
        auto* pool = static_cast<Pool*>(opaque);
        auto it = std::find_if(pool->used.begin(), pool->used.end(),
                               [&](const Chunk& c) { return c.memory.get() == address; });
        if (it == pool->used.end()) return;
        pool->free.push_back(std::move(*it));
        pool->used.erase(it);
    }

    void Prepare(z_stream& z) {
        z = z_stream{};
        z.zalloc = &Alloc;
        z.zfree = &Free;
        z.opaque = this;
    }
};

BlockCodec::BlockCodec() : pool_(std::make_unique<Pool>()) {}
BlockCodec::~BlockCodec() = default;

BlockCodec::Packed BlockCodec::Deflate(const uint8_t* in, int32_t count, uint8_t* out, int zlibLevel,
                                       int32_t& packedSize) {
    z_stream z;
    pool_->Prepare(z);
    if (deflateInit_(&z, zlibLevel, kZlibVersion, static_cast<int>(sizeof(z_stream))) < 0) return Packed::Failed;
    z.next_in = const_cast<Bytef*>(in);
    z.avail_in = static_cast<uInt>(count);
    z.next_out = out;
    z.avail_out = static_cast<uInt>(kPieceSize);
    int rc = deflate(&z, Z_FINISH);
    packedSize = static_cast<int32_t>(z.total_out);
    deflateEnd(&z);
    if (rc == Z_STREAM_END) return Packed::Compressed;
    return rc == Z_OK ? Packed::Stored : Packed::Failed;
}

bool BlockCodec::Inflate(const uint8_t* in, int32_t count, uint8_t* out, int32_t& produced) {
    z_stream z;
    pool_->Prepare(z);
    produced = 0;
    if (inflateInit_(&z, kZlibVersion, static_cast<int>(sizeof(z_stream))) < 0) return false;
    z.next_in = const_cast<Bytef*>(in);
    z.avail_in = static_cast<uInt>(count);
    z.next_out = out;
    z.avail_out = static_cast<uInt>(kPieceSize);
    int rc = inflate(&z, Z_NO_FLUSH);
    produced = static_cast<int32_t>(z.total_out);
    bool complete = rc == Z_STREAM_END && z.avail_in == 0;
    inflateEnd(&z);
    return complete;
}

DecodedBlock BlockCodec::Decode(const RawBlock& block, uint8_t* out) {
    if (block.Type == RawBlock::Kind::Stored) return {block.Data, block.Size, true};
    DecodedBlock decoded{out, 0, true};
    decoded.Ok = Inflate(block.Data, block.Size, out, decoded.Size);
    return decoded;
}

}  // namespace nb::archive
