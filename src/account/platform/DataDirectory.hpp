// DataDirectory: where the SDK keeps its files (the key store and the object store) unless the host
// names another directory for its installation (see Installation).
//
// Default: $XDG_DATA_HOME/vexaqr, else ~/.local/share/vexaqr. Safe to call from any thread.
#pragma once

#include <filesystem>

namespace vexaqr {

class DataDirectory final {
public:
    /// The default location described above, read from the environment at each call; the directory is
    /// created (mode 0700) only when a store first needs it.
    static std::filesystem::path defaultPath();
};

} // namespace vexaqr
