#include "codec/platform/LogManager.hpp"

#include <cstdio>
#include <mutex>

namespace vexaqr {

LogManager& LogManager::standard() {
    static auto* manager = new LogManager();
    return *manager;
}

void LogManager::log(std::string_view text) const {
    if (!enabled.load()) {
        return;
    }
    static std::mutex lineMutex; // keeps lines from two threads from interleaving
    std::lock_guard lock(lineMutex);
    std::FILE* out = toStandardError.load() ? stderr : stdout;
    std::fwrite(text.data(), 1, text.size(), out);
    std::fputc('\n', out);
    std::fflush(out);
}

} // namespace vexaqr
