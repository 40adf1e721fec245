// CryptoManager: the symmetric cipher and the signature check of payload records.
//
// AES-128 in CBC mode with PKCS#7 padding and a vector of 16 zero bytes (the record format carries no
// vector), and RSASSA-PKCS1-v1_5 with SHA-256. Stateless: every operation is static and may run on
// any thread at the same time.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/payload/KeyHandle.hpp>

#include <optional>

namespace vexaqr {

class CryptoManager final {
public:
    /// `operation` 0 encrypts, 1 decrypts; the first 16 bytes of `keyData` are the key. Nothing when
    /// `keyData` is shorter than 16 bytes, the operation is unknown, or the cipher fails (bad padding,
    /// ciphertext not a whole number of blocks). An empty plaintext encrypts to one padding block.
    static std::optional<Bytes> aes128(const Bytes& data, const Bytes& keyData, int operation);
    static std::optional<Bytes> aes128Encrypt(const Bytes& data, const Bytes& keyData);
    static std::optional<Bytes> aes128Decrypt(const Bytes& data, const Bytes& keyData);

    /// Whether `signature` is an RSASSA-PKCS1-v1_5 SHA-256 signature of `signedData` under the public
    /// half of `publicKey`; false for an absent key and for any failure.
    static bool isValid(const Bytes& signedData, const Bytes& signature, const KeyHandle& publicKey);

    static constexpr int kEncrypt = 0;
    static constexpr int kDecrypt = 1;
};

} // namespace vexaqr
