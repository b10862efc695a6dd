#pragma once
#include <memory>

#include "backup/codec/CodecBackend.h"

namespace nb::archive {

// ISA-L has levels 0 to 3; zlib's levels above 3 and its default map to 3.
int IsalLevel(int zlibLevel);
std::unique_ptr<CodecBackend> MakeIsalBackend();

}  // namespace nb::archive
