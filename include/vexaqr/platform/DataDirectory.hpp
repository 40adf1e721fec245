// DataDirectory: where the SDK keeps its files (the key store and the object store).
//
// Default: $XDG_DATA_HOME/vexaqr, else ~/.local/share/vexaqr. Hosts, tests and several installations on
// one machine keep apart by setting another directory before (or between) uses of the stores; the
// stores follow the change on their next operation. Safe to call from any thread.
#pragma once

#include <filesystem>

namespace vexaqr {

class DataDirectory final {
public:
    /// The directory in use; created (mode 0700) only when a store first needs it.
    static std::filesystem::path current();

    /// Replaces the directory for every later store operation; an empty path restores the default.
    static void set(const std::filesystem::path& directory);

    /// The default location described above.
    static std::filesystem::path defaultPath();
};

} // namespace vexaqr
