#pragma once
// A data folder shaped like a shop's books: block-structured tables of fixed-width records,
// their sorted indexes, and memo files, from a fixed seed.
#include <cstdint>
#include <string>
#include <vector>

namespace nb::bench {

// Writes about `bytes` bytes of tables, indexes and memos into folder (created); answers the files.
std::vector<std::string> MakeShopBooks(const std::string& folder, uint64_t bytes, uint32_t seed = 2024);

}  // namespace nb::bench
