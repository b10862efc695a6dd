// make_shop_books FOLDER MIB [SEED]: the shop's books for the press benchmark.
#include <cstdio>
#include <string>

#include "bench/shopdata/ShopBooks.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_shop_books FOLDER MIB [SEED]\n");
        return 2;
    }
    uint32_t seed = argc > 3 ? static_cast<uint32_t>(std::stoul(argv[3])) : 2024;
    auto files = nb::bench::MakeShopBooks(argv[1], std::stoull(argv[2]) * 1024 * 1024, seed);
    std::printf("%zu files in %s\n", files.size(), argv[1]);
    return 0;
}
