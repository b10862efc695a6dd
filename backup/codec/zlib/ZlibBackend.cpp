// zlib: the reference every other backend is measured and tested against, and the backend of
// systems that have no other. A fresh stream per block, as the format demands, with zlib's
// memory recycled between those streams so that a block costs no allocation.
#include <algorithm>
#include <zlib.h>

#include "backup/ArchiveFormat.h"
#include "backup/codec/CodecBackend.h"

namespace nb::archive {

namespace {

// The version the component was built against; zlib compares only its first character.
constexpr const char* kZlibVersion = "1.1.3";

struct Pool {
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
        auto it = std::find_if(free.begin(), free.end(), [&](const Chunk& c) { return c.size == bytes; });
        if (it != free.end()) {
            used.push_back(std::move(*it));
            free.erase(it);
        } else {
            used.push_back({bytes, std::make_unique_for_overwrite<unsigned char[]>(bytes)});
        }
        return used.back().memory.get();
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

class ZlibBackend final : public CodecBackend {
public:
    Packed Deflate(const uint8_t* in, int32_t count, uint8_t* out, int zlibLevel, int32_t& packedSize) override {
        z_stream z;
        pool_.Prepare(z);
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

    bool Inflate(const uint8_t* in, int32_t count, uint8_t* out, int32_t& produced) override {
        z_stream z;
        pool_.Prepare(z);
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

private:
    Pool pool_;
};

}  // namespace

std::unique_ptr<CodecBackend> MakeZlibBackend() { return std::make_unique<ZlibBackend>(); }

}  // namespace nb::archive
