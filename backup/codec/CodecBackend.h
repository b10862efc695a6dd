#pragma once
// One library that packs and unpacks archive blocks. Every block is a complete, standard zlib
// stream of its own, so any backend reads what any other wrote; which backend serves which
// direction and level is the system's choice (codec/<system>/PlatformBackends.cpp).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace nb::archive {

enum class Packed { Compressed, Stored, Failed };

class CodecBackend {
public:
    virtual ~CodecBackend() = default;
    // Packs count bytes (at most 16384) into out (16384 bytes) at the backend's counterpart of
    // zlibLevel; Stored when the stream does not fit there. packedSize is the stream's length.
    virtual Packed Deflate(const uint8_t* in, int32_t count, uint8_t* out, int zlibLevel, int32_t& packedSize) = 0;
    // Inflates one block into out (16384 bytes). False when the stream is bad or incomplete,
    // would not fit in 16384 bytes, or bytes follow its end; then out and produced are zlib's
    // only for the zlib backend.
    virtual bool Inflate(const uint8_t* in, int32_t count, uint8_t* out, int32_t& produced) = 0;
};

std::unique_ptr<CodecBackend> MakeZlibBackend();

// The backends one thread packs and unpacks with: each zlib level's deflater, the inflater, and
// zlib, whose partial output on a failing block the format asks for.
struct BackendSet {
    std::vector<std::unique_ptr<CodecBackend>> Owned;
    CodecBackend* DeflaterFor[11] = {};  // by zlib level + 1 (-1 to 9)
    CodecBackend* Inflater = nullptr;
    CodecBackend* Reference = nullptr;
};
BackendSet MakePlatformBackends();

// Every backend this system builds, by name, for the tests and the benchmark.
struct NamedBackend {
    std::string Name;
    std::function<std::unique_ptr<CodecBackend>()> Make;
};
std::vector<NamedBackend> AvailableBackends();

}  // namespace nb::archive
