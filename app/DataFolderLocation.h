#pragma once
// Where the accounting program keeps its data, as its own registry value says.
#include <string>

namespace nb {

// The data folder named by "DefaultDatabase" under the current user's
// "Software\Marrowby\Tallyvine\Database", mapped onto this file system, without a trailing
// separator; empty when the value is missing. registryLocation: see platform/Registry.h ("" =
// the current user's own registry). Raises ERegistryException when the value is not text.
std::string RegisteredDataFolder(const std::string& registryLocation = {});

}  // namespace nb
