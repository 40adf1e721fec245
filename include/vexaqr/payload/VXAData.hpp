// VXAData: one payload record, parsed, signature-checked and decrypted in its constructor.
//
// Byte layout (B = 128 for RSA1024_AES128_SHA256, 256 for RSA2048_AES128_SHA256):
//   0      1   content type          1   record type           2   cipher method
//   3      16  issuer UUID bytes     19  B signature
//   19+B   B   RSA-encrypted AES key (SECURED, ENCRYPTED and their COLORED forms only)
//   K      4   time stamp, unsigned 32-bit little-endian seconds since 1970 (K = 19+B or 19+2B)
//   K+4    ..  content: plain (SIGNED), AES-128-CBC ciphertext (SECURED, ENCRYPTED), opaque (MASKED)
// The signature covers the time stamp and the content: the plain content for SECURED, the bytes as
// they stand for SIGNED and ENCRYPTED. MASKED records are not verified.
//
// A record always comes back; `isValid()` says whether its signature verified, `verificationStatus()` why
// or why not, and which optionals are filled says how far parsing got. Nothing is thrown or logged. A finished record
// is a plain value: the host may reassign its fields, nothing recomputes the others; the verification result is
// the parser's alone and stays as it found it. Build it on any one thread.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/payload/KeyHandle.hpp>
#include <vexaqr/payload/VXADataTypes.hpp>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace vexaqr {

class ByteCursor;

class VXAData {
public:
    /// Parses the strict base64 `text` (no white space, no line breaks). `partnerRsaPublicKey` checks
    /// the signature; `appRsaPrivateKey` opens SECURED key blocks and `partnerRsaPrivateKey` ENCRYPTED
    /// ones; either private key may be null, and a record that needs it then has no key and content.
    VXAData(const std::string& text, KeyHandle appRsaPrivateKey, KeyHandle partnerRsaPublicKey,
            KeyHandle partnerRsaPrivateKey);

    /// Parses the record bytes; the same keys as above.
    VXAData(const Bytes& data, KeyHandle appRsaPrivateKey, KeyHandle partnerRsaPublicKey,
            KeyHandle partnerRsaPrivateKey);

    VXAData(const VXAData&);
    VXAData(VXAData&&) noexcept;
    /// Both assignments wipe the opened AES key they replace before its memory is reused or freed.
    VXAData& operator=(const VXAData& other);
    VXAData& operator=(VXAData&& other) noexcept;
    /// Wipes the opened AES key.
    ~VXAData();

    /// The text given to the text constructor; empty for the byte constructor.
    const std::optional<std::string>& rawBase64String() const { return _rawBase64String; }
    /// The record bytes; empty when the text was not valid base64.
    const std::optional<Bytes>& rawData() const { return _rawData; }

    /// A form readable without any private key: the record itself for SIGNED and ENCRYPTED, a SIGNED
    /// re-encoding with the same signature for SECURED, nothing for MASKED.
    std::optional<Bytes> presentableData;
    std::optional<ContentType> contentType;
    std::optional<VxaType> vxaType;
    std::optional<CipherMethod> cipherMethod;
    /// Upper-case UUID text of `issuerBytes`.
    std::optional<std::string> issuerId;
    std::optional<Bytes> issuerBytes;
    std::optional<Bytes> signature;
    /// The opened key block (at least 16 bytes; the first 16 are the AES key).
    std::optional<Bytes> aesKey;
    /// Never filled by parsing; the time stamp is exposed as `date`.
    std::optional<std::int64_t> unixTimeStamp;
    std::optional<std::chrono::system_clock::time_point> date;
    /// The plain content.
    std::optional<Bytes> actualVxaData;

    /// Whether the signature verified: verificationStatus() is `verified`.
    bool isValid() const { return _verificationStatus == VerificationStatus::verified; }
    /// Why the record verified or not, as parsing found it.
    VerificationStatus verificationStatus() const { return _verificationStatus; }

private:
    void processRawData(const KeyHandle& appRsaPrivateKey, const KeyHandle& partnerRsaPublicKey,
                        const KeyHandle& partnerRsaPrivateKey);
    static ContentType getContentType(std::uint8_t raw);
    static VxaType getVxaType(std::uint8_t raw);
    static CipherMethod getCipherMethod(std::uint8_t raw);
    void openKeyBlock(const ByteCursor& keyBlock, const KeyHandle& key);
    void checkSignature(const Bytes& signedBytes, const KeyHandle& partnerRsaPublicKey);
    void readSigned(ByteCursor content, const KeyHandle& partnerRsaPublicKey);
    void readSecured(ByteCursor content, const Bytes& timestamp, const KeyHandle& partnerRsaPublicKey);
    void readEncrypted(ByteCursor content, const KeyHandle& partnerRsaPublicKey);
    Bytes makePresentableDataFromSecured(const Bytes& decryptedVxaData, const Bytes& timestamp) const;
    void wipeAesKey();

    std::optional<std::string> _rawBase64String;
    std::optional<Bytes> _rawData;
    VerificationStatus _verificationStatus = VerificationStatus::notParsed;
};

} // namespace vexaqr
