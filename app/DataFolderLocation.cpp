#include "app/DataFolderLocation.h"

#include "platform/FileSystem.h"
#include "platform/WineRegistry.h"

namespace nb {

std::string RegisteredDataFolder(const std::string& winePrefix) {
    const std::string prefix = winePrefix.empty() ? DefaultWinePrefix() : winePrefix;
    const std::string value = ReadUserRegistryString(prefix, "Software\\Marrowby\\Tallyvine\\Database", "DefaultDatabase");
    return ExcludeTrailingPathDelimiter(MapWindowsPath(prefix, value));
}

}  // namespace nb
