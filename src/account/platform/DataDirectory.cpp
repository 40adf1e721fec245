#include "account/platform/DataDirectory.hpp"

#include <cstdlib>

namespace vexaqr {

std::filesystem::path DataDirectory::defaultPath() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && *dataHome)
        return std::filesystem::path(dataHome) / "vexaqr";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : ".") / ".local" / "share" / "vexaqr";
}

} // namespace vexaqr
