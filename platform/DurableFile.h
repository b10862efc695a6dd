#pragma once
// File operations whose effect survives a crash or a power cut once they return true.
#include <string>

namespace nb {

// Replaces path by a file holding exactly text: written to a temporary file beside it, made
// durable, renamed over path, and the folder made durable. A crash leaves the old file or the
// new one, never a torn one; a stale temporary file "<path>.tmp" may stay behind.
bool WriteFileDurably(const std::string& path, const std::string& text);
// Reads a whole file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& text);
// Makes the bytes of an existing file durable.
bool SyncFile(const std::string& path);
// Renames within one file system, refusing (false) when something already stands at to.
bool RenameNoReplace(const std::string& from, const std::string& to);

}  // namespace nb
