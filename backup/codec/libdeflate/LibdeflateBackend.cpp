// libdeflate: whole-buffer deflate and inflate, which suits blocks that are whole streams.
#include <array>
#include <libdeflate.h>

#include "backup/ArchiveFormat.h"
#include "backup/codec/CodecBackend.h"
#include "backup/codec/libdeflate/LibdeflateBackend.h"

namespace nb::archive {

namespace {

struct CompressorFree {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
struct DecompressorFree {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

class LibdeflateBackend final : public CodecBackend {
public:
    Packed Deflate(const uint8_t* in, int32_t count, uint8_t* out, int zlibLevel, int32_t& packedSize) override {
        int level = LibdeflateLevel(zlibLevel);
        if (level < 0) return Packed::Failed;
        auto& compressor = compressors_[static_cast<size_t>(level)];
        if (!compressor) compressor.reset(libdeflate_alloc_compressor(level));
        if (!compressor) return Packed::Failed;
        size_t size = libdeflate_zlib_compress(compressor.get(), in, static_cast<size_t>(count), out,
                                               static_cast<size_t>(kPieceSize));
        packedSize = static_cast<int32_t>(size);
        return size == 0 ? Packed::Stored : Packed::Compressed;
    }

    bool Inflate(const uint8_t* in, int32_t count, uint8_t* out, int32_t& produced) override {
        produced = 0;
        if (!decompressor_) decompressor_.reset(libdeflate_alloc_decompressor());
        if (!decompressor_) return false;
        size_t used = 0, made = 0;
        auto rc = libdeflate_zlib_decompress_ex(decompressor_.get(), in, static_cast<size_t>(count), out,
                                                static_cast<size_t>(kPieceSize), &used, &made);
        produced = static_cast<int32_t>(made);
        return rc == LIBDEFLATE_SUCCESS && used == static_cast<size_t>(count);
    }

private:
    std::array<std::unique_ptr<libdeflate_compressor, CompressorFree>, 13> compressors_;
    std::unique_ptr<libdeflate_decompressor, DecompressorFree> decompressor_;
};

}  // namespace

// The first libdeflate level that packs the shop's books and table rows at least as small as
// zlib's level does (archive_bench --codecs): zlib's default (6) needs 8, its 9 needs 10.
int LibdeflateLevel(int zlibLevel) {
    if (zlibLevel < -1 || zlibLevel > 9) return -1;
    if (zlibLevel == -1) return 8;
    return zlibLevel == 9 ? 10 : zlibLevel;
}

std::unique_ptr<CodecBackend> MakeLibdeflateBackend() { return std::make_unique<LibdeflateBackend>(); }

}  // namespace nb::archive
