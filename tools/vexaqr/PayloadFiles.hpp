// File helpers shared by the key and record commands.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/payload/KeyHandle.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace vexaqr::cli {

/// The whole file, or nothing when it cannot be read (the reason goes to standard error).
std::optional<Bytes> readWholeFile(const std::string& path);

/// Writes the file; `privateFile` (keys, decrypted content) makes it mode 0600, also when it existed before.
/// False (reported) on failure.
bool writeWholeFile(const std::string& path, const Bytes& bytes, bool privateFile = false);

/// The RSA key in a PEM file; null (reported) when the file is missing or holds no RSA key.
KeyHandle readPemKey(const std::string& path);

/// Lower-case hexadecimal.
std::string hexString(const Bytes& bytes);

/// The bytes of hexadecimal text in either case, two digits a byte; nothing for empty text, an odd length or
/// any other character.
std::optional<Bytes> bytesFromHex(std::string_view hex);

} // namespace vexaqr::cli
