// The header enumerations and constants of the payload record; each enumeration's raw value is the
// byte that stands in the record.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vexaqr {

enum class ContentType : std::uint8_t { JSON = 0, JSON_ZIP = 1, IMAGE = 2 };

enum class VxaType : std::uint8_t {
    SIGNED = 0,
    SECURED = 1,
    ENCRYPTED = 2,
    MASKED = 3,
    SIGNED_COLORED = 4,
    SECURED_COLORED = 5,
    ENCRYPTED_COLORED = 6,
    MASKED_COLORED = 7,
};

enum class CipherMethod : std::uint8_t { RSA1024_AES128_SHA256 = 0, RSA2048_AES128_SHA256 = 1 };

/// The case whose raw value is `raw`; nothing for a byte outside the table. (The parser does not use
/// these: it maps unknown bytes to a default case.)
std::optional<ContentType> contentTypeFromRawValue(std::uint8_t raw);
std::optional<VxaType> vxaTypeFromRawValue(std::uint8_t raw);
std::optional<CipherMethod> cipherMethodFromRawValue(std::uint8_t raw);

constexpr std::uint8_t rawValue(ContentType value) {
    return static_cast<std::uint8_t>(value);
}
constexpr std::uint8_t rawValue(VxaType value) {
    return static_cast<std::uint8_t>(value);
}
constexpr std::uint8_t rawValue(CipherMethod value) {
    return static_cast<std::uint8_t>(value);
}

/// Why a record did or did not verify; `verified` exactly when the record's `isValid` is true.
enum class VerificationStatus : std::uint8_t {
    verified,          // the signature checked out with the partner public key
    notParsed,         // no record bytes: nothing parsed yet, or the text was not base64
    truncated,         // the record ends before its layout does
    notSigned,         // MASKED records carry no signature that could be checked
    noPublicKey,       // no partner public key was given
    wrongPublicKey,    // the partner public key's size does not fit the record's signature
    noPrivateKey,      // the key block needs a private key that was not given
    wrongPrivateKey,   // the private key's size does not fit the record's key block
    keyBlockUnopened,  // the key block did not open with the private key (another key, or damage)
    contentUnreadable, // the opened AES key does not decrypt the content
    signatureMismatch, // the signature does not match: another partner key, or an altered record
};

/// The case's name as written in the enumeration, e.g. "SECURED_COLORED".
std::string_view name(ContentType value);
std::string_view name(VxaType value);
std::string_view name(CipherMethod value);
std::string_view name(VerificationStatus value);

/// One sentence a person can act on, e.g. "the key block needs the application private key".
std::string_view describe(VerificationStatus value);

/// SIGNED or SIGNED_COLORED: plain content, signed as it stands.
constexpr bool isSigned(VxaType type) {
    return type == VxaType::SIGNED || type == VxaType::SIGNED_COLORED;
}
/// SECURED or SECURED_COLORED: the application's key opens the key block; the plain content is signed.
constexpr bool isSecured(VxaType type) {
    return type == VxaType::SECURED || type == VxaType::SECURED_COLORED;
}
/// ENCRYPTED or ENCRYPTED_COLORED: the partner's key opens the key block; the ciphertext is signed.
constexpr bool isEncrypted(VxaType type) {
    return type == VxaType::ENCRYPTED || type == VxaType::ENCRYPTED_COLORED;
}
/// Whether records of this type carry an RSA-encrypted AES key block.
constexpr bool hasKeyBlock(VxaType type) {
    return isSecured(type) || isEncrypted(type);
}

namespace Constant::VXAData {
/// Taken for a header byte when the record has already ended.
inline constexpr std::uint8_t defaultByteValue = 0;
inline constexpr int issuerIdBytes = 16;
inline constexpr int timestampBytes = 4;
inline constexpr int rsa1024BlockLength = 128;
inline constexpr int rsa2048BlockLength = 256;
/// Weight step between successive (little-endian) time stamp bytes.
inline constexpr int byteMultiplier = 256;
} // namespace Constant::VXAData

/// The RSA block length (signature and key block) of a cipher method: 128 or 256 bytes.
constexpr int blockLength(CipherMethod method) {
    return method == CipherMethod::RSA1024_AES128_SHA256 ? Constant::VXAData::rsa1024BlockLength
                                                         : Constant::VXAData::rsa2048BlockLength;
}

} // namespace vexaqr
