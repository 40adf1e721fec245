#include <vexaqr/platform/DataDirectory.hpp>

#include <cstdlib>
#include <mutex>

namespace vexaqr {

namespace {

struct Setting {
    std::mutex mutex;
    std::filesystem::path directory;
};

Setting& setting() {
    static auto* instance = new Setting; // never destroyed: stores may outlive static destruction
    return *instance;
}

} // namespace

std::filesystem::path DataDirectory::defaultPath() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && *dataHome)
        return std::filesystem::path(dataHome) / "vexaqr";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : ".") / ".local" / "share" / "vexaqr";
}

std::filesystem::path DataDirectory::current() {
    auto& s = setting();
    std::lock_guard lock(s.mutex);
    return s.directory.empty() ? defaultPath() : s.directory;
}

void DataDirectory::set(const std::filesystem::path& directory) {
    auto& s = setting();
    std::lock_guard lock(s.mutex);
    s.directory = directory;
}

} // namespace vexaqr
