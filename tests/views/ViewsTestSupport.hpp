// Helpers shared by the views tests: temporary folders, running outside tools, frame-like texts.
#pragma once

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

namespace vexaqr::testing {

/// A fresh folder under the system's temporary directory, removed with everything in it at scope end.
class TemporaryFolder {
public:
    TemporaryFolder() {
        std::random_device random;
        _path = std::filesystem::temp_directory_path() / ("vexaqr-views-" + std::to_string(random()));
        std::filesystem::create_directories(_path);
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(_path, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    std::string file(const std::string& name) const { return (_path / name).string(); }
    const std::filesystem::path& path() const { return _path; }

private:
    std::filesystem::path _path;
};

struct CommandResult {
    int status = -1;
    std::string output;
};

/// Runs `command` through the shell and collects its standard output.
inline CommandResult runCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        return result;
    }
    char buffer[4096];
    std::size_t read;
    while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        result.output.append(buffer, read);
    }
    result.status = pclose(pipe);
    return result;
}

/// `length` characters drawn from the QR alphanumeric set, like the base-45 text of a frame.
inline std::string alphanumericText(std::size_t length, unsigned seed) {
    static const std::string kCharacters = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
    std::mt19937 random(seed);
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        text += kCharacters[random() % kCharacters.size()];
    }
    return text;
}

} // namespace vexaqr::testing
