#pragma once
// The current user's registry as Wine keeps it ($WINEPREFIX/user.reg), read only, and the
// mapping of a Windows path of that prefix onto the Linux file system.
#include <string>

#include "platform/Exception.h"

namespace nb {

class ERegistryException : public Exception { using Exception::Exception; };

// $WINEPREFIX, else $HOME/.wine.
std::string DefaultWinePrefix();

// The text value valueName of key (relative to the current user's root, "\"-separated) from
// prefix/user.reg. Key and value names are compared without regard to ASCII case. A missing
// file, key or value reads as "". A value of another type than text raises
// ERegistryException "Invalid data type for '<valueName>'".
std::string ReadUserRegistryString(const std::string& prefix, const std::string& key, const std::string& valueName);

// Maps "C:\Acc\Data\" to prefix/dosdevices/c:/Acc/Data/ (each component matched without regard
// to case where it exists); an absolute Linux path is returned as it is; anything else (relative,
// UNC) gives "".
std::string MapWindowsPath(const std::string& prefix, const std::string& windowsPath);

}  // namespace nb
