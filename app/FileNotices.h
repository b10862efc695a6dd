#pragma once
// The Korean texts that tell the user which file stopped a press and what to do about it.
#include <string>

#include "app/DataFolderSwap.h"

namespace nb {

// The notice for a swap that stopped at one file; empty when the fault names none.
std::string SwapFaultNotice(TSwapFault fault, const std::string& fileName);
// A table the archive run could not read.
std::string UnreadableTableNotice(const std::string& fileName);
// The disk holding folder has no room left.
std::string DiskFullNotice(const std::string& folder);
// True when the disk holding path has (almost) no room left: a write there failed for lack of space.
bool DiskLooksFull(const std::string& path);

}  // namespace nb
