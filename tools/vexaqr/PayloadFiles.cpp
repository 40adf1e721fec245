#include "PayloadFiles.hpp"

#include "codec/platform/HexDigit.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>

namespace vexaqr::cli {

std::optional<Bytes> readWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::cerr << "cannot read " << path << "\n";
        return std::nullopt;
    }
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool writeWholeFile(const std::string& path, const Bytes& bytes, bool privateFile) {
    const mode_t mode = privateFile ? 0600 : 0644;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) {
        std::cerr << "cannot write " << path << ": " << std::strerror(errno) << "\n";
        return false;
    }
    if (privateFile)
        ::fchmod(fd, mode);
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += static_cast<std::size_t>(n);
    }
    const bool ok = ::close(fd) == 0 && written == bytes.size();
    if (!ok)
        std::cerr << "cannot write " << path << "\n";
    return ok;
}

KeyHandle readPemKey(const std::string& path) {
    auto bytes = readWholeFile(path);
    if (!bytes)
        return nullptr;
    KeyHandle key = RsaKey::fromPem(toString(*bytes));
    cleanse(*bytes);
    if (!key)
        std::cerr << path << " holds no RSA key in PEM form\n";
    return key;
}

std::string hexString(const Bytes& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t byte : bytes) {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0x0F]);
    }
    return text;
}

std::optional<Bytes> bytesFromHex(std::string_view hex) {
    if (hex.empty() || hex.size() % 2 != 0)
        return std::nullopt;
    Bytes bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = hexDigitValue(hex[i]), low = hexDigitValue(hex[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    return bytes;
}

} // namespace vexaqr::cli
