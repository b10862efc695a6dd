#include "app/DataGuard.h"

#include <algorithm>
#include <map>

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"

namespace nb {

namespace {

// A few names are enough to recognise what is meant; a long list would hide the question.
std::string NameList(const std::vector<std::string>& names) {
    constexpr size_t kShown = 5;
    std::string text;
    for (size_t i = 0; i < names.size() && i < kShown; ++i) text += (i ? ", " : "") + names[i];
    if (names.size() > kShown) text += Format(" 외 %zu개", names.size() - kShown);
    return text;
}

std::string Megabytes(int64_t bytes) { return Format("%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0)); }

}  // namespace

TTableChanges CompareTables(const std::vector<TTableState>& recorded, const std::vector<TTableState>& now) {
    TTableChanges changes;
    std::map<std::string, const TTableState*> before;
    for (const auto& t : recorded) before[t.Name] = &t;
    for (const auto& t : now) {
        auto it = before.find(t.Name);
        if (it == before.end()) {
            changes.Added.push_back(t.Name);
            continue;
        }
        if (!(*it->second == t)) changes.Changed.push_back(t.Name);
        before.erase(it);
    }
    for (const auto& [name, state] : before) changes.Removed.push_back(name);
    return changes;
}

int64_t TotalSize(const std::vector<TTableState>& tables) {
    int64_t total = 0;
    for (const auto& t : tables) total += t.Size;
    return total;
}

std::string NoTablesToUploadText(const std::string& dataFolder) {
    return Format("올릴 자료가 없습니다. 데이터 폴더(%s)에 가온장부 자료 파일이 없습니다.", dataFolder.c_str());
}

std::string NoTablesInServerArchiveText() { return "서버의 백업파일에 가온장부 자료가 없어 복원하지 않았습니다."; }

std::string DownloadOverChangedWorkQuestion(const TPressRecord* record, const std::vector<TTableState>& now) {
    const char* const ending = "내려받으면 지금 자료는 보관되고 서버의 자료로 바뀝니다. 계속하시겠습니까?";
    if (!record) {
        if (now.empty()) return {};
        return Format(
            "이 컴퓨터에서 이 아이디로 자료를 올리거나 내려받은 기록이 없습니다. 데이터 폴더에 가온장부 자료 파일이 "
            "%zu개 있습니다. %s",
            now.size(), ending);
    }
    const TTableChanges changes = CompareTables(record->Tables, now);
    if (!changes.Any()) return {};
    std::string what;
    auto add = [&what](const char* label, const std::vector<std::string>& names) {
        if (names.empty()) return;
        if (!what.empty()) what += ", ";
        what.append(label).append(" ").append(NameList(names));
    };
    add("바뀐 자료:", changes.Changed);
    add("새 자료:", changes.Added);
    add("없어진 자료:", changes.Removed);
    return Format("이 컴퓨터의 자료가 마지막으로 올리거나 내려받은 뒤에 변경되었습니다(%s). %s", what.c_str(), ending);
}

std::string UploadOverOtherCopyQuestion(const TPressRecord* record, const TServerCopy& server, int32_t generations) {
    if (!server.Exists() || (record && record->Server == server)) return {};
    const std::string when = LocalTimeOfServerStamp(server.Stamp);
    const std::string made = when.empty() ? std::string("올린 때를 알 수 없음") : when + "에 올림";
    const char* const kept = generations > 0 ? "지금 서버의 자료는 이전 자료로 서버에 보관됩니다."
                                             : "지금 서버의 자료는 서버에 남지 않습니다.";
    return Format(
        "서버의 자료(%s)는 이 컴퓨터에서 마지막으로 올리거나 내려받은 자료가 아닙니다. 다른 컴퓨터에서 올린 더 "
        "새로운 자료일 수 있습니다. 올리면 서버의 자료가 이 컴퓨터의 자료로 바뀝니다. %s 계속하시겠습니까?",
        made.c_str(), kept);
}

std::string UploadLosesTablesQuestion(const TPressRecord* record, const std::vector<TTableState>& now) {
    if (!record) return {};
    const TTableChanges changes = CompareTables(record->Tables, now);
    const int64_t before = TotalSize(record->Tables), after = TotalSize(now);
    std::string what;
    if (!changes.Removed.empty())
        what = "마지막으로 올리거나 내려받은 뒤에 이 컴퓨터에서 없어진 자료가 있습니다: " + NameList(changes.Removed) + ".";
    if (after * 2 < before) {
        if (!what.empty()) what += ' ';
        what += Format("가온장부 자료의 전체 크기가 마지막으로 올리거나 내려받았을 때의 절반보다 작아졌습니다(%s → %s).",
                       Megabytes(before).c_str(), Megabytes(after).c_str());
    }
    if (what.empty()) return {};
    return what + " 자료가 손상되었거나 잘못된 폴더일 수 있습니다. 올리면 서버의 자료가 이 자료로 바뀝니다. "
                  "계속하시겠습니까?";
}

std::string LocalTimeOfServerStamp(const std::string& stamp) {
    if (stamp.size() < 14) return {};
    auto field = [&stamp](size_t at, size_t length) { return std::stoi(stamp.substr(at, length)); };
    for (size_t i = 0; i < 14; ++i)
        if (stamp[i] < '0' || stamp[i] > '9') return {};
    const int64_t seconds =
        UnixSecondsOfUtc({field(0, 4), field(4, 2), field(6, 2), field(8, 2), field(10, 2), field(12, 2)});
    const int32_t local = UnixToDosStamp(seconds);
    if (local == -1) return {};
    const auto s = static_cast<uint32_t>(local);
    return Format("%04u-%02u-%02u %02u:%02u", (s >> 25) + 1980, (s >> 21) & 0x0F, (s >> 16) & 0x1F, (s >> 11) & 0x1F,
                  (s >> 5) & 0x3F);
}

}  // namespace nb
