#pragma once
// What the writer and the reader say to the component's owner during a run, besides progress.
#include <cstdint>

#include "backup/backup.h"

namespace nb::archive {

// The run's error: to OnError when assigned, else in the error box.
void ReportError(TBackupFile& owner, int32_t code);
// Asks for volume n through OnNeedDisk, else with the volume prompt; the answer lands in the run flag.
void AskForDisk(TBackupFile& owner, TBackupRunState& run, uint16_t volume);

}  // namespace nb::archive
