#pragma once
// When a press could lose work that exists nowhere else, it asks first; where it would lose
// everything, it refuses. The judgments compare the data folder and the server's copy with what
// this computer recorded at its last successful press (app/PressRecord.h).
#include <cstdint>
#include <string>
#include <vector>

#include "app/PressRecord.h"

namespace nb {

// The caption of every question and refusal.
inline constexpr const char* kGuardCaption = "자료백업/복원";
// The status text after a question answered no.
inline constexpr const char* kCancelledStatus = "작업을 취소했습니다.";

struct TTableChanges {
    std::vector<std::string> Changed, Added, Removed;
    bool Any() const { return !Changed.empty() || !Added.empty() || !Removed.empty(); }
};
TTableChanges CompareTables(const std::vector<TTableState>& recorded, const std::vector<TTableState>& now);
int64_t TotalSize(const std::vector<TTableState>& tables);

// Refusals.
std::string NoTablesToUploadText(const std::string& dataFolder);
std::string NoTablesInServerArchiveText();

// Questions: empty when nothing is at risk.
// A download would replace tables changed since the last press (or, without a record, any tables).
std::string DownloadOverChangedWorkQuestion(const TPressRecord* record, const std::vector<TTableState>& now);
// An upload would replace a server copy this computer neither uploaded nor downloaded last.
std::string UploadOverOtherCopyQuestion(const TPressRecord* record, const TServerCopy& server, int32_t generations);
// An upload would leave out tables of the last press, or less than half of their bytes.
std::string UploadLosesTablesQuestion(const TPressRecord* record, const std::vector<TTableState>& now);

// An MDTM time ("YYYYMMDDHHMMSS", UTC) as this computer's local "yyyy-mm-dd hh:nn"; empty when
// it is none.
std::string LocalTimeOfServerStamp(const std::string& stamp);

}  // namespace nb
