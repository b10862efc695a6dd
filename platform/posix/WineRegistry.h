#pragma once
// How the Linux registry layer finds Wine's registry and maps Windows paths of a prefix onto
// the Linux file system. The registry itself is read through platform/Registry.h.
#include <string>

#include "platform/Registry.h"

namespace nb {

// $WINEPREFIX, else $HOME/.wine.
std::string DefaultWinePrefix();

// Maps "C:\Acc\Data\" to prefix/dosdevices/c:/Acc/Data/ (each component matched without regard
// to case where it exists); an absolute Linux path is returned as it is; anything else (relative,
// UNC) gives "".
std::string MapWindowsPath(const std::string& prefix, const std::string& windowsPath);

}  // namespace nb
