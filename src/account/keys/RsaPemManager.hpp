// RsaPemManager: RSA keys between PEM text and the key store, and public keys from PKCS#1 to PEM.
//
// Import strips the armour and the X.509 / PKCS#8 wrapping down to the bare PKCS#1 key and stores it
// under a tag in the key store it is given; a caller counts an import as successful exactly when a key
// comes back. Export wraps a bare RSAPublicKey into a SubjectPublicKeyInfo and armours it as
// "-----BEGIN PUBLIC KEY-----" text with 64-character lines and no line feed after the END line.
// Keeps nothing but the store: make a fresh instance per use; safe on any thread the store is safe on.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/payload/KeyHandle.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vexaqr {

inline constexpr std::size_t kRsaPemManagerRSAOIDHeaderLength = 15;
inline constexpr std::uint8_t kRsaPemManagerASNHeaderSequenceMark = 0x30;
inline constexpr std::uint8_t kRsaPemManagerASNHeaderBitstringMark = 0x03;
inline constexpr std::uint8_t kRsaPemManagerExtendedLengthMark = 0x80;
inline constexpr std::size_t kRsaPemManagerASNHeaderLengthForRSA = 15;
inline constexpr std::string_view kRsaPemManagerPublicKeyInitialTag = "-----BEGIN PUBLIC KEY-----\n";
inline constexpr std::string_view kRsaPemManagerPublicKeyFinalTag = "-----END PUBLIC KEY-----";
inline constexpr std::size_t kRsaPemManagerPublicNumberOfCharactersInALine = 64;

class KeyStore;

class RsaPemManager {
public:
    /// A manager for the export functions only: without a store, nothing is stored or found.
    RsaPemManager() = default;
    /// A manager whose key operations work on `store`.
    explicit RsaPemManager(std::shared_ptr<KeyStore> store);

    /// Stores the private key of the PEM text (PKCS#8 "PRIVATE KEY" or PKCS#1 "RSA PRIVATE KEY")
    /// under `tagName`, replacing any key there; the stored key, or null. A failed add is logged with
    /// its status.
    KeyHandle addRSAPrivateKey(const std::string& pem, const std::string& tagName);

    /// The same for a public key ("PUBLIC KEY" or "RSA PUBLIC KEY"); failures are not logged.
    KeyHandle addRSAPublicKey(const std::string& pem, const std::string& tagName);

    /// The key stored under `tagName`, or null.
    KeyHandle getRSAKeyFromKeychain(const std::string& tagName);

    /// Removes the key under `tagName`, if any.
    void deleteRSAKeyFromKeychain(const std::string& tagName);

    /// SubjectPublicKeyInfo DER of a bare PKCS#1 RSAPublicKey; `keyType` and `keySize` do not change
    /// the result.
    Bytes exportRSAPublicKeyToDER(const Bytes& key, const std::string& keyType, int keySize);

    /// PEMKeyFromDERKey(exportRSAPublicKeyToDER(...)).
    std::string exportRSAPublicKeyToPEM(const Bytes& key, const std::string& keyType, int keySize);

    /// 0 for x <= 0; otherwise the least i in 1...7 with x < 2^(8i), and 8 when there is none.
    static int bytesNeededForRepresentingInteger(std::int64_t x);

    /// Writes the DER length of `length` at `buffer` (room for 9 bytes needed); returns the count.
    static std::size_t encodeASN1LengthParameter(std::size_t length, std::uint8_t* buffer);

    /// Base64 of `der` in 64-character lines between the PUBLIC KEY armour lines.
    std::string PEMKeyFromDERKey(const Bytes& der);

private:
    std::optional<Bytes> base64Decode(const std::string& pem);
    KeyHandle addRSAPublicKey(const Bytes& key, const std::string& tagName);
    KeyHandle addRSAPrivateKey(const Bytes& key, const std::string& tagName);

    std::shared_ptr<KeyStore> _store;
};

} // namespace vexaqr
