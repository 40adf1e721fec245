// Helpers shared by the views tests: paths in temporary folders, running outside tools, frame-like texts.
#pragma once

#include "support/TempDirectory.hpp"

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

namespace vexaqr::test {

/// The path of `name` inside `directory`.
inline std::string pathIn(const test::TempDirectory& directory, const std::string& name) {
    return (directory.path() / name).string();
}

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

} // namespace vexaqr::test
