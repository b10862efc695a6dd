#include "bench/shopdata/ShopBooks.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

namespace nb::bench {

namespace {

constexpr size_t kTableBlock = 4096, kIndexBlock = 2048, kMemoBlock = 4096;

const char* const kParties[] = {"Marrowby Trading", "Tallyvine Foods",  "Gaon Hardware", "Seoul Paper Co",
                                "Hanbit Textiles",  "Daehan Logistics", "Mirae Office",  "Nuri Electric",
                                "가온상사",         "한빛문구",         "대한식자재",    "미래전자"};
const char* const kItems[] = {"A4 paper 500", "Ballpoint pen", "Stapler",   "Rice 20kg", "Soy sauce 1.8L",
                              "LED bulb 10W", "Cable 2m",      "Notebook",  "커피믹스",  "라면 5입",
                              "복사용지",     "건전지 AA",     "Tape 48mm", "Gloves",    "Detergent 3L"};
const char* const kWords[] = {"납품",   "반품",    "미수금",    "입금확인",  "세금계산서", "월말정산", "discount",
                              "credit", "invoice", "delivered", "partial",   "returned",   "거래처",   "확인요망",
                              "재고",   "조정",    "memo",      "call back", "paid",       "카드결제"};

struct Writer {
    std::mt19937 rng;
    unsigned Next(unsigned n) { return static_cast<unsigned>(rng() % n); }
};

void Put32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

void PutText(uint8_t* p, size_t width, const std::string& text) {
    std::memset(p, ' ', width);
    std::memcpy(p, text.data(), std::min(width, text.size()));
}

// A table: a header block naming its fields, then blocks of 128-byte records, each block filled
// between two thirds and full (the rest zero), as the accounting program's tables are.
void WriteTable(const std::string& path, uint64_t bytes, Writer& w, uint32_t& firstId) {
    std::ofstream out(path, std::ios::binary);
    std::vector<uint8_t> block(kTableBlock, 0);
    std::snprintf(reinterpret_cast<char*>(block.data()), block.size(),
                  "TVDB\x01 fields: ID,DATE,CODE,PARTY,ITEM,QTY,PRICE,AMOUNT,TAX,FLAGS,NOTE");
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size()));
    constexpr size_t kRecord = 128, kPerBlock = (kTableBlock - 8) / kRecord;
    uint32_t day = 738000 + w.Next(300);
    for (uint64_t written = kTableBlock; written < bytes; written += kTableBlock) {
        std::fill(block.begin(), block.end(), 0);
        size_t records = kPerBlock * 2 / 3 + w.Next(static_cast<unsigned>(kPerBlock / 3 + 1));
        Put32(block.data(), static_cast<uint32_t>(written / kTableBlock + 1));
        Put32(block.data() + 4, static_cast<uint32_t>(records * kRecord));
        for (size_t r = 0; r < records; ++r) {
            uint8_t* rec = block.data() + 8 + r * kRecord;
            if (w.Next(20) == 0) ++day;
            uint32_t qty = 1 + w.Next(200), price = 100 * (5 + w.Next(2000));
            Put32(rec, firstId++);
            Put32(rec + 4, day);
            PutText(rec + 8, 10, std::string("C").append(std::to_string(10000 + w.Next(400))));
            PutText(rec + 18, 24, kParties[w.Next(std::size(kParties))]);
            PutText(rec + 42, 24, kItems[w.Next(std::size(kItems))]);
            Put32(rec + 66, qty);
            double amount = static_cast<double>(qty) * price, tax = amount / 10;
            std::memcpy(rec + 70, &amount, 8);
            std::memcpy(rec + 78, &tax, 8);
            rec[86] = static_cast<uint8_t>(w.Next(4));
            if (w.Next(4) == 0) PutText(rec + 88, 40, kWords[w.Next(std::size(kWords))]);
        }
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size()));
    }
}

// An index: sorted keys with the block number of their record, in blocks of 2048 bytes.
void WriteIndex(const std::string& path, uint64_t bytes, Writer& w) {
    std::ofstream out(path, std::ios::binary);
    std::vector<uint8_t> block(kIndexBlock, 0);
    uint32_t key = w.Next(1000);
    for (uint64_t written = 0; written < bytes; written += kIndexBlock) {
        std::fill(block.begin(), block.end(), 0);
        size_t entries = 150 + w.Next(100);
        Put32(block.data(), static_cast<uint32_t>(entries));
        for (size_t e = 0; e < entries; ++e) {
            key += 1 + w.Next(7);
            Put32(block.data() + 8 + e * 8, key);
            Put32(block.data() + 12 + e * 8, key / 24 + w.Next(3));
        }
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size()));
    }
}

// A memo file: free-text notes, one or more per block.
void WriteMemo(const std::string& path, uint64_t bytes, Writer& w) {
    std::ofstream out(path, std::ios::binary);
    std::vector<uint8_t> block(kMemoBlock, 0);
    for (uint64_t written = 0; written < bytes; written += kMemoBlock) {
        std::fill(block.begin(), block.end(), 0);
        std::string text;
        size_t want = 1000 + w.Next(3000);
        while (text.size() < want) {
            text += kWords[w.Next(std::size(kWords))];
            text += w.Next(8) == 0 ? ". " + std::to_string(w.Next(100000)) + "원\r\n" : " ";
        }
        std::memcpy(block.data(), text.data(), std::min(text.size(), block.size()));
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size()));
    }
}

}  // namespace

std::vector<std::string> MakeShopBooks(const std::string& folder, uint64_t bytes, uint32_t seed) {
    namespace fs = std::filesystem;
    fs::create_directories(folder);
    // Names the accounting program's tables carry, so that the presses take them.
    static const char* const kTables[] = {"SaleItem", "Sale",       "PurchaseItem",   "Purchase",
                                          "Item",     "InOut",      "TaxBill",        "ReceivePay",
                                          "Payment",  "StockValue", "InventoryTrack", "Employee"};
    Writer w{std::mt19937(seed)};
    std::vector<std::string> files;
    uint32_t id = 1;
    // Tables carry most of the bytes, the larger ones first as in a shop of some years' trade.
    const uint64_t tableBytes = bytes * 70 / 100, indexBytes = bytes * 15 / 100,
                   memoBytes = bytes - tableBytes - indexBytes;
    double weights = 0;
    for (size_t i = 0; i < std::size(kTables); ++i) weights += 1.0 / static_cast<double>(i + 1);
    for (size_t i = 0; i < std::size(kTables); ++i) {
        auto share = static_cast<uint64_t>(static_cast<double>(tableBytes) / static_cast<double>(i + 1) / weights);
        std::string base = (fs::path(folder) / kTables[i]).string();
        files.push_back(base + ".DB");
        WriteTable(files.back(), share, w, id);
        files.push_back(base + ".PX");
        WriteIndex(files.back(), indexBytes * share / tableBytes, w);
        if (i < 4) {
            files.push_back(base + ".MB");
            WriteMemo(files.back(), memoBytes / 4, w);
        }
    }
    return files;
}

}  // namespace nb::bench
