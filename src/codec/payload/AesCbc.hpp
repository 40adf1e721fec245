// AES-128-CBC with PKCS#7 padding over OpenSSL EVP, with the vector given by the caller.
#pragma once

#include <vexaqr/Bytes.hpp>

#include <array>
#include <cstdint>
#include <optional>

namespace vexaqr::aes {

using Block = std::array<std::uint8_t, 16>;

enum class Direction { encrypt, decrypt };

/// Runs AES-128-CBC-PKCS#7 over `data` with the 16-byte `key` and `iv`. Nothing on any failure:
/// bad padding or a ciphertext that is not a whole number of blocks on decryption.
std::optional<Bytes> cbc(Direction direction, const Bytes& data, const Block& key, const Block& iv);

} // namespace vexaqr::aes
