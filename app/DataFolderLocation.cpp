#include "app/DataFolderLocation.h"

#include "platform/FileSystem.h"
#include "platform/Registry.h"

namespace nb {

std::string RegisteredDataFolder(const std::string& registryLocation) {
    const std::string value =
        ReadUserRegistryString(registryLocation, "Software\\Marrowby\\Tallyvine\\Database", "DefaultDatabase");
    return ExcludeTrailingPathDelimiter(LocalPathOfRegistryPath(registryLocation, value));
}

}  // namespace nb
