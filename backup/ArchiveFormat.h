#pragma once
// The archive format's fixed values and its integer and name rules, shared by the writer,
// the reader and the verifier.
#include <cstdint>
#include <string>
#include <utility>

#include "platform/ScopeExit.h"
#include "platform/Text.h"

namespace nb::archive {

constexpr int32_t kPieceSize = 16384;      // content bytes of a full block
constexpr int32_t kVolumeReserve = 16484;  // room kept free at the end of a volume
constexpr char kMarker[4] = {'E', 'C', '2', '\0'};
inline const std::string kFileListName = "FILE:LIST";
inline const std::string kNextDisk = "NEXT:DISK";
inline const std::string kStreamPath = ":STREAM";

inline void PutInt32(uint8_t* p, int32_t value) {
    auto v = static_cast<uint32_t>(value);
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

inline int32_t GetInt32(const uint8_t* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

// 32-bit wrap-around addition, as the format's counters are kept.
inline int32_t Add32(int32_t a, int64_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// Leading and trailing bytes up to 0x20 removed.
std::string TrimName(const std::string& name);
// What follows the last '\', '/' or ':' of a stored name.
std::string LastComponent(const std::string& name);
bool IsContinuation(const std::string& name);
// The three digits of a volume number ("00" + number, last three characters).
std::string VolumeDigits(unsigned volume);
// The path of a stored name (as text of this system, see StoredNameText) below targetFolder
// (which ends in the separator or is empty); false when the name would leave the folder (a ".."
// component, a NUL byte) or names no plain file of this system.
bool TargetPathFor(const std::string& name, const std::string& targetFolder, bool fullPath, std::string& out);
// True when no restore mode could write the name anywhere but below its target folder.
bool IsSafeStoredName(const std::string& name);

// Stored text as this system's program holds it (UTF-8), whichever system wrote the archive:
// `encoding` is what the archive's title showed (Unknown when it tells nothing). False when the
// bytes cannot be read here without merging them with another name.
bool StoredNameText(const std::string& stored, TextEncoding encoding, std::string& name);
// A path as the archive stores it (entry name, file-list line): A–Z folded to a–z where file names
// ignore case, as the format has it; where case tells files apart, folding would merge them, so
// the path stays as it is.
std::string StoredCase(const std::string& path);
// The bytes a name is stored as: StoredCase, in the system's code page exactly; false when it has
// no form there.
bool StoredNameBytes(const std::string& name, std::string& stored);

using nb::ScopeExit;

}  // namespace nb::archive
