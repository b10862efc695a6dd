// Windows: no build of ISA-L or libdeflate exists for mingw-w64 here, so zlib serves throughout.
#include "backup/codec/CodecBackend.h"

namespace nb::archive {

BackendSet MakePlatformBackends() {
    BackendSet set;
    set.Owned.push_back(MakeZlibBackend());
    set.Reference = set.Inflater = set.Owned.back().get();
    for (auto& deflater : set.DeflaterFor) deflater = set.Reference;
    return set;
}

std::vector<NamedBackend> AvailableBackends() { return {{"zlib", &MakeZlibBackend}}; }

}  // namespace nb::archive
