// ISA-L's igzip: the fastest deflater at the fastest level on x86-64, through its zlib wrapper
// (header and Adler-32 of its own), one stateless call per block.
#include <isa-l/igzip_lib.h>

#include "backup/ArchiveFormat.h"
#include "backup/codec/CodecBackend.h"
#include "backup/codec/isal/IsalBackend.h"

namespace nb::archive {

namespace {

class IsalBackend final : public CodecBackend {
public:
    IsalBackend() : levelBuffer_(std::make_unique_for_overwrite<uint8_t[]>(kLevelBufferSize)) {}

    Packed Deflate(const uint8_t* in, int32_t count, uint8_t* out, int zlibLevel, int32_t& packedSize) override {
        isal_zstream s;
        isal_deflate_stateless_init(&s);
        s.next_in = const_cast<uint8_t*>(in);
        s.avail_in = static_cast<uint32_t>(count);
        s.next_out = out;
        s.avail_out = static_cast<uint32_t>(kPieceSize);
        s.level = static_cast<uint32_t>(IsalLevel(zlibLevel));
        s.level_buf = levelBuffer_.get();
        s.level_buf_size = kLevelBufferSize;
        s.gzip_flag = IGZIP_ZLIB;
        s.end_of_stream = 1;
        s.flush = NO_FLUSH;
        int rc = isal_deflate_stateless(&s);
        packedSize = static_cast<int32_t>(s.total_out);
        if (rc == COMP_OK) return Packed::Compressed;
        return rc == STATELESS_OVERFLOW ? Packed::Stored : Packed::Failed;
    }

    bool Inflate(const uint8_t* in, int32_t count, uint8_t* out, int32_t& produced) override {
        produced = 0;
        // igzip takes a window field over 32 KiB, which zlib and the format refuse.
        if (count < 2 || (in[0] >> 4) > 7) return false;
        isal_inflate_init(&inflate_);
        inflate_.next_in = const_cast<uint8_t*>(in);
        inflate_.avail_in = static_cast<uint32_t>(count);
        inflate_.next_out = out;
        inflate_.avail_out = static_cast<uint32_t>(kPieceSize);
        inflate_.crc_flag = ISAL_ZLIB;
        int rc = isal_inflate_stateless(&inflate_);
        produced = static_cast<int32_t>(inflate_.total_out);
        return rc == ISAL_DECOMP_OK && inflate_.avail_in == 0;
    }

private:
    static constexpr uint32_t kLevelBufferSize = ISAL_DEF_LVL3_DEFAULT;  // enough for every level
    std::unique_ptr<uint8_t[]> levelBuffer_;
    inflate_state inflate_{};  // large (its tables): kept rather than made per block
};

}  // namespace

int IsalLevel(int zlibLevel) {
    if (zlibLevel < 0) return 3;
    return zlibLevel > 3 ? 3 : zlibLevel;
}

std::unique_ptr<CodecBackend> MakeIsalBackend() { return std::make_unique<IsalBackend>(); }

}  // namespace nb::archive
