#pragma once
// What the components need of the file system, with the Windows semantics the accounting
// program's files were named under (wildcards, attributes, MS-DOS stamps); paths are built with
// platform/Path.h.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Path.h"

namespace nb {

class TFileStream;

// Attribute bits, as Windows numbers them.
constexpr uint32_t faReadOnly = 0x01;
constexpr uint32_t faHidden = 0x02;
constexpr uint32_t faSysFile = 0x04;
constexpr uint32_t faVolumeID = 0x08;
constexpr uint32_t faDirectory = 0x10;
constexpr uint32_t faArchive = 0x20;
constexpr uint32_t faAnyFile = 0x3F;

struct TSearchRec {
    std::string Name;   // the entry's name, without its folder
    uint32_t Attr = 0;  // fa* bits
    int64_t Size = 0;
    int32_t Time = 0;  // MS-DOS stamp of the last write (0 when it cannot be expressed)
    int64_t WriteTime = 0;  // the last write to the system's resolution, in nanoseconds since 1970
};

// Whether a name matches a wildcard mask as the search below matches them.
bool MatchesFileMask(const std::string& name, const std::string& mask);

// Wildcard search with FindFirst/FindNext semantics: '*' and '?', ASCII letters match without
// regard to case, "*.*" matches every name, "Name.*" also matches "Name". An entry is yielded
// unless it has one of hidden/system/volume/directory that the mask does not name.
// "." and ".." are yielded for folders when the mask names faDirectory.
class TFileSearch {
public:
    TFileSearch(const std::string& pattern, uint32_t attrMask);
    ~TFileSearch();
    TFileSearch(const TFileSearch&) = delete;
    TFileSearch& operator=(const TFileSearch&) = delete;
    // Fills rec with the next matching entry; false when there is none.
    bool Next(TSearchRec& rec);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Attributes of a path (fa* bits), or -1 when it does not exist.
int32_t FileGetAttr(const std::string& path);
// Clears the archive attribute: writes the "archived" mark (stamp and size) on the file.
// True also where extended attributes are unavailable (then nothing changes).
bool ClearArchiveAttr(const std::string& path);

// False for a name this system would take for something other than a file of that name: on
// Windows a device ("CON", "nul.txt", "COM1"), a name whose trailing dots or blanks would be
// dropped, or one holding ':' (a stream of another file). Any other name is plain on Linux.
bool IsPlainFileName(const std::string& name);
// True where file names are the same whatever the case of their ASCII letters (Windows); false
// where case tells names apart (Linux).
bool FileNamesIgnoreCase();

bool FileExists(const std::string& path);  // a file, not a folder
bool DirectoryExists(const std::string& path);
bool CreateDir(const std::string& path);         // one level
bool ForceDirectories(const std::string& path);  // with every missing parent
// Deletes a file; refuses (false) a read-only one, as Windows does.
bool DeleteFile(const std::string& path);
bool RemoveDir(const std::string& path);
// Renames within one file system (replacing an existing target file).
bool RenameFile(const std::string& from, const std::string& to);
// fsync of a folder, so that renames and creations in it are durable.
bool SyncDirectory(const std::string& path);

// Last-write stamp of a path in MS-DOS form, or -1 when it cannot be read.
int32_t FileAge(const std::string& path);
// Stamp through an open file; -1 when it cannot be read.
int32_t FileGetDate(TFileStream& file);
// Sets the last-write time through an open file; false on failure.
bool FileSetDate(TFileStream& file, int32_t dosStamp);
// Conversions between MS-DOS stamps and Unix times in local time; -1 / false where the form cannot hold it.
int32_t UnixToDosStamp(int64_t unixSeconds);
bool DosStampToUnix(int32_t dosStamp, int64_t& unixSeconds);

// The system's folder for temporary files ($TMPDIR, else /tmp; Windows: GetTempPath), with a
// trailing separator.
std::string GetTempDirectory();
// Creates a new empty file of a unique name in folder, starting with prefix; empty text on failure.
std::string CreateTempFile(const std::string& folder, const std::string& prefix);

// Full path of the running executable.
std::string ExecutablePath();

// Every entry of a folder but "." and "..", hidden and system ones included (none when the
// folder does not exist).
std::vector<TSearchRec> FolderEntries(const std::string& folder);
std::vector<std::string> FolderEntryNames(const std::string& folder);

// Removes path and everything below it, read-only entries included, without following
// symbolic links. True when nothing is left (also when path did not exist).
bool RemoveDirectoryTree(const std::string& path);
// True when something (file, folder, link, anything) stands at path.
bool PathExists(const std::string& path);

// Durable operations: their effect survives a crash or a power cut once they return true.
// WriteFileDurably replaces path by a file holding exactly text: written to a temporary file
// beside it, made durable, renamed over path, and the folder made durable. A crash leaves the
// old file or the new one, never a torn one; a stale temporary file "<path>.tmp" may stay behind.
bool WriteFileDurably(const std::string& path, const std::string& text);
// Reads a whole file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& text);
// Makes the bytes of an existing file durable.
bool SyncFile(const std::string& path);
// Renames within one file system, refusing (false) when something already stands at to.
bool RenameNoReplace(const std::string& from, const std::string& to);

// What the workflows ask before they touch files, to tell the user which file stands in the way.
// True when path itself is a symbolic link (Windows: a reparse point), whatever it points to.
bool IsSymbolicLink(const std::string& path);
// Bytes the current user may still write on the file system holding path; -1 when unknown.
int64_t DiskFreeSpace(const std::string& path);
// The paths of the list that another process holds open (Windows: that cannot be opened
// without sharing). Paths that do not exist are never in the answer.
std::vector<std::string> FilesOpenElsewhere(const std::vector<std::string>& paths);

}  // namespace nb
