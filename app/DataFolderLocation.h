#pragma once
// Where the accounting program keeps its data, as its own registry value says.
#include <string>

namespace nb {

// The data folder named by "DefaultDatabase" under the current user's
// "Software\Marrowby\Tallyvine\Database", mapped onto this file system, without a trailing
// separator; empty when the value is missing. winePrefix empty: the default prefix.
// Raises ERegistryException when the value is not text.
std::string RegisteredDataFolder(const std::string& winePrefix = {});

}  // namespace nb
