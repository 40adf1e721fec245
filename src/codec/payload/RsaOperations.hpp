// The RSA primitives of the record format on OpenSSL EVP: PKCS#1 v1.5 encryption of the key block and
// RSASSA-PKCS1-v1_5 with SHA-256. Stateless; safe on any thread.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/payload/KeyHandle.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vexaqr::rsa {

/// RSAES-PKCS1-v1_5 decryption with a private key; nothing on any failure (wrong length, bad
/// padding, wrong key, public key). Implicit rejection is switched off where OpenSSL has it, so bad
/// padding never comes back as a pseudo-random message.
std::optional<Bytes> decryptPkcs1(const RsaKey& privateKey, const std::uint8_t* cipher, std::size_t length);

/// RSAES-PKCS1-v1_5 encryption with the public half of `key`.
std::optional<Bytes> encryptPkcs1(const RsaKey& key, const Bytes& plain);

/// RSASSA-PKCS1-v1_5 signature with SHA-256 over the whole message; needs a private key.
std::optional<Bytes> signSha256(const RsaKey& privateKey, const std::uint8_t* message, std::size_t length);

/// Whether `signature` is an RSASSA-PKCS1-v1_5 SHA-256 signature of the message under `key`.
bool verifySha256(const RsaKey& key, const std::uint8_t* message, std::size_t length, const Bytes& signature);

} // namespace vexaqr::rsa
