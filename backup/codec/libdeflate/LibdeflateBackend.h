#pragma once
#include <memory>

#include "backup/codec/CodecBackend.h"

namespace nb::archive {

// libdeflate's level for a zlib level; -1 for none.
int LibdeflateLevel(int zlibLevel);
std::unique_ptr<CodecBackend> MakeLibdeflateBackend();

}  // namespace nb::archive
