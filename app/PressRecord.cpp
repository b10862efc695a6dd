#include "app/PressRecord.h"

#include <algorithm>
#include <charconv>
#include <map>

#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace nb {

namespace {

// One line per fact; a record runs from its "user <ID> <data folder>" line to "end". A record
// without its "end" (a damaged file) reads as none.
const char* const kMagic = "nestbridge-last-press 1";

bool ParseNumber(const std::string& text, int64_t& value) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

// "a b rest": the first two words and the rest of the line.
bool SplitTwo(const std::string& line, std::string& a, std::string& b, std::string& rest) {
    size_t first = line.find(' ');
    if (first == std::string::npos) return false;
    size_t second = line.find(' ', first + 1);
    a = line.substr(0, first);
    b = line.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
    rest = second == std::string::npos ? std::string() : line.substr(second + 1);
    return true;
}

// The key of a record: the user ID and the data folder, escaped so that the blank parts them.
std::string RecordKey(const std::string& userID, const std::string& dataFolder) {
    return EscapeLineText(userID) + " " + EscapeLineText(dataFolder);
}

std::string EncodeRecord(const std::string& key, const TPressRecord& record) {
    std::string text = "user " + key + "\n";
    text += "server " + std::to_string(record.Server.Size) + " " + EscapeLineText(record.Server.Stamp) + "\n";
    text += "title " + EscapeLineText(record.Title) + "\n";
    for (const auto& t : record.Tables)
        text += "table " + std::to_string(t.Size) + " " + std::to_string(t.WriteTime) + " " + EscapeLineText(t.Name) +
                "\n";
    return text + "end\n";
}

// Every user's record in the file, as its encoded text; false when the file is not whole.
bool DecodeFile(const std::string& text, std::map<std::string, std::pair<std::string, TPressRecord>>& users) {
    size_t pos = 0;
    bool first = true, inRecord = false;
    std::string user, encoded;
    TPressRecord record;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) return false;
        const std::string line = text.substr(pos, eol - pos + 1), l = line.substr(0, line.size() - 1);
        pos = eol + 1;
        if (first) {
            if (l != kMagic) return false;
            first = false;
            continue;
        }
        std::string a, b, rest;
        if (!inRecord) {
            if (l.rfind("user ", 0) != 0) return false;
            user = l.substr(5);
            inRecord = true;
            encoded = line;
            record = {};
            continue;
        }
        encoded += line;
        if (l == "end") {
            users[user] = {encoded, record};
            inRecord = false;
        } else if (l.rfind("server ", 0) == 0) {
            if (!SplitTwo(l.substr(7) + " ", a, b, rest) || !ParseNumber(a, record.Server.Size) ||
                !UnescapeLineText(b, record.Server.Stamp))
                return false;
        } else if (l.rfind("title ", 0) == 0) {
            if (!UnescapeLineText(l.substr(6), record.Title)) return false;
        } else if (l.rfind("table ", 0) == 0) {
            TTableState t;
            if (!SplitTwo(l.substr(6), a, b, rest) || !ParseNumber(a, t.Size) || !ParseNumber(b, t.WriteTime) ||
                !UnescapeLineText(rest, t.Name) || t.Name.empty())
                return false;
            record.Tables.push_back(std::move(t));
        } else {
            return false;
        }
    }
    return !first && !inRecord;
}

}  // namespace

const char* const DataFilePatterns[33] = {
    "AssemblyItem.*", "Bankbook.*",        "BusiPart.*",     "Chmod.*",        "CreditCard.*",
    "Employee.*",     "InOut.*",           "InOutAccount.*", "InvAdjust.*",    "InventoryTrack.*",
    "Item.*",         "ItemAsm.*",         "Note.*",         "Option.*",       "Payment.*",
    "Price.*",        "PriceSearchEach.*", "Purchase.*",     "PurchaseItem.*", "PurchaseType.*",
    "Quote.*",        "QuoteItem.*",       "QuoteRef.*",     "ReceivePay.*",   "ReceivePay2.*",
    "Sale.*",         "SaleItem.*",        "SaleType.*",     "StockValue.*",   "System01.*",
    "TaxBill.*",      "TransactLog.*",     "UserInfo.*",
};

bool IsTableName(const std::string& fileName) {
    return std::any_of(std::begin(DataFilePatterns), std::end(DataFilePatterns),
                       [&](const char* pattern) { return MatchesFileMask(fileName, pattern); });
}

std::vector<TTableState> CurrentTables(const std::string& dataFolder) {
    std::vector<TTableState> tables;
    // The archive run takes hidden and system files the patterns name too; so does the record.
    for (const auto& entry : FolderEntries(dataFolder))
        if (!(entry.Attr & faDirectory) && IsTableName(entry.Name))
            tables.push_back({entry.Name, entry.Size, entry.WriteTime});
    std::sort(tables.begin(), tables.end(), [](const auto& a, const auto& b) { return a.Name < b.Name; });
    return tables;
}

std::string PressRecordFile(const std::string& settingsFile) {
    return JoinPath(ExtractFileDir(settingsFile), "LastPress.txt");
}

bool ReadPressRecord(const std::string& file, const std::string& userID, const std::string& dataFolder,
                     TPressRecord& record) {
    std::string text;
    std::map<std::string, std::pair<std::string, TPressRecord>> users;
    if (!ReadWholeFile(file, text) || !DecodeFile(text, users)) return false;
    auto it = users.find(RecordKey(userID, dataFolder));
    if (it == users.end()) return false;
    record = it->second.second;
    return true;
}

bool WritePressRecord(const std::string& file, const std::string& userID, const std::string& dataFolder,
                      const TPressRecord& record) {
    std::string text;
    std::map<std::string, std::pair<std::string, TPressRecord>> users;
    // An unreadable file loses only the other users' records, which then read as unknown and ask.
    if (ReadWholeFile(file, text)) DecodeFile(text, users);
    const std::string key = RecordKey(userID, dataFolder);
    users[key] = {EncodeRecord(key, record), record};
    std::string out = std::string(kMagic) + "\n";
    for (const auto& [user, entry] : users) out += entry.first;
    const std::string folder = ExtractFileDir(file);
    if (!folder.empty() && !DirectoryExists(folder)) ForceDirectories(folder);
    return WriteFileDurably(file, out);
}

}  // namespace nb
