// Whole-file reads and writes for the commands.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/payload/KeyHandle.hpp>

#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace vexaqr::cli {

inline std::optional<Bytes> readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool writeWholeFile(const std::string& path, const Bytes& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out);
}

} // namespace vexaqr::cli

namespace vexaqr::cli {

inline std::string hexString(const Bytes& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t byte : bytes) {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0x0F]);
    }
    return text;
}

inline KeyHandle readPemKey(const std::string& path) {
    auto bytes = readWholeFile(path);
    return bytes ? RsaKey::fromPem(toString(*bytes)) : nullptr;
}

} // namespace vexaqr::cli
