// Reduction of wrapped RSA keys to bare PKCS#1 keys by fixed offsets, as the key import needs it.
// Both functions read only inside the input.
#pragma once

#include <vexaqr/Bytes.hpp>

#include <array>
#include <cstdint>
#include <optional>

namespace vexaqr::der {

/// The DER AlgorithmIdentifier of rsaEncryption (1.2.840.113549.1.1.1) with NULL parameters.
inline constexpr std::array<std::uint8_t, 15> kRsaPemManagerRSAOIDHeader{0x30, 0x0D, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86,
                                                                         0xF7, 0x0D, 0x01, 0x01, 0x01, 0x05, 0x00};

/// SubjectPublicKeyInfo -> the RSAPublicKey inside its BIT STRING. Input that already starts with
/// SEQUENCE then INTEGER (a bare key) comes back unchanged; anything else gives nothing.
std::optional<Bytes> stripPublicKeyHeader(const Bytes& key);

/// PKCS#8 PrivateKeyInfo -> the RSAPrivateKey inside its OCTET STRING (tag expected at offset 22).
/// Input without that tag comes back unchanged, taken as a bare key; input too short for the offsets
/// or for its declared length gives nothing.
std::optional<Bytes> stripPrivateKeyHeader(const Bytes& key);

} // namespace vexaqr::der
