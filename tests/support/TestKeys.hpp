// Fixed RSA keys for payload tests, read once from tests/data/keys.
#pragma once

#include <vexaqr/payload/KeyHandle.hpp>

#include <fstream>
#include <sstream>
#include <string>

namespace vexaqr::test {

inline std::string readTextFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

inline std::string keyPath(const std::string& name) {
    return std::string(VEXAQR_TEST_DATA_DIR) + "/keys/" + name;
}

/// `who` is "partner" or "app", `bits` 1024 or 2048.
inline KeyHandle privateKey(const std::string& who, int bits) {
    return RsaKey::fromPem(readTextFile(keyPath(who + std::to_string(bits) + ".key.pem")));
}

inline KeyHandle publicKey(const std::string& who, int bits) {
    return RsaKey::fromPem(readTextFile(keyPath(who + std::to_string(bits) + ".pub.pem")));
}

inline Bytes fromHex(const std::string& hex) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

} // namespace vexaqr::test
