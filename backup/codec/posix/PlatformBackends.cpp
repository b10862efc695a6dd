// Linux: each direction and level goes to the fastest backend that packs at least as small as
// zlib does there (the fastest level excepted: it is the fastest), measured on 16 KiB pieces of
// the shop's books and of table rows (archive_bench --codecs, 2 cores of 2026):
// - level 1: ISA-L, 3.5-3.8x zlib's speed (94-100% of its size);
// - level 9: libdeflate's 10, 98% of zlib's size and faster on the books (8 against 7 MiB/s);
// - the default (6): zlib; libdeflate packs as small only from its level 8, at 2/3 of zlib's speed,
//   and ISA-L's best packs 13% larger; the stored level 0: zlib, there is nothing to gain;
// - inflate: libdeflate, 2.6x zlib's speed on the books (ISA-L 2.1x).
#include "backup/codec/CodecBackend.h"
#include "backup/codec/isal/IsalBackend.h"
#include "backup/codec/libdeflate/LibdeflateBackend.h"

namespace nb::archive {

BackendSet MakePlatformBackends() {
    BackendSet set;
    set.Owned.push_back(MakeZlibBackend());
    CodecBackend* zlib = set.Owned.back().get();
    set.Owned.push_back(MakeIsalBackend());
    CodecBackend* isal = set.Owned.back().get();
    set.Owned.push_back(MakeLibdeflateBackend());
    CodecBackend* libdeflate = set.Owned.back().get();
    set.Reference = zlib;
    set.Inflater = libdeflate;
    for (auto& deflater : set.DeflaterFor) deflater = zlib;
    set.DeflaterFor[1 + 1] = isal;
    set.DeflaterFor[9 + 1] = libdeflate;
    return set;
}

std::vector<NamedBackend> AvailableBackends() {
    return {{"zlib", &MakeZlibBackend}, {"isal", &MakeIsalBackend}, {"libdeflate", &MakeLibdeflateBackend}};
}

}  // namespace nb::archive
