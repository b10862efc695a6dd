#pragma once
// The current user's registry, read only, where the accounting program keeps its settings. On
// Windows it is the system's own; on Linux the accounting program runs under Wine, whose registry
// of a prefix is read from that prefix's user.reg.
#include <string>

#include "platform/Exception.h"

namespace nb {

class ERegistryException : public Exception {
    using Exception::Exception;
};

// location: where the registry lives. Linux: the Wine prefix ("" = $WINEPREFIX, else ~/.wine).
// Windows: "" for HKEY_CURRENT_USER itself, else a key below it that stands in for it (tests).
//
// The text value valueName of key ("\"-separated, below the current user's root). A missing key
// or value reads as "". A value of another type than text raises ERegistryException
// "Invalid data type for '<valueName>'".
std::string ReadUserRegistryString(const std::string& location, const std::string& key, const std::string& valueName);

// A Windows path that a registry value names, as a path of this file system: on Windows itself,
// unchanged; on Linux mapped through the prefix's drive letters. "" when it names nothing here.
std::string LocalPathOfRegistryPath(const std::string& location, const std::string& windowsPath);

}  // namespace nb
