#include <vexaqr/payload/VXAData.hpp>

#include "codec/payload/CryptoManager.hpp"
#include <vexaqr/Uuid.hpp>

#include "codec/payload/Base64.hpp"
#include "codec/payload/ByteCursor.hpp"
#include "codec/payload/RsaOperations.hpp"

#include <algorithm>

namespace vexaqr {

namespace {

constexpr std::size_t kAesKeyLength = 16;

std::uint32_t littleEndianValue(const Bytes& bytes) {
    std::uint32_t value = 0;
    std::uint32_t weight = 1;
    for (std::uint8_t byte : bytes) {
        value += byte * weight;
        weight *= Constant::VXAData::byteMultiplier;
    }
    return value;
}

} // namespace

VXAData::VXAData(const std::string& text, KeyHandle appRsaPrivateKey, KeyHandle partnerRsaPublicKey,
                 KeyHandle partnerRsaPrivateKey)
    : _rawBase64String(text), _rawData(base64::decode(text)) {
    processRawData(appRsaPrivateKey, partnerRsaPublicKey, partnerRsaPrivateKey);
}

VXAData::VXAData(const Bytes& data, KeyHandle appRsaPrivateKey, KeyHandle partnerRsaPublicKey,
                 KeyHandle partnerRsaPrivateKey)
    : _rawData(data) {
    processRawData(appRsaPrivateKey, partnerRsaPublicKey, partnerRsaPrivateKey);
}

VXAData::VXAData(const VXAData&) = default;
VXAData::VXAData(VXAData&&) noexcept = default;

VXAData& VXAData::operator=(const VXAData& other) {
    if (this != &other) {
        VXAData copy(other);
        *this = std::move(copy);
    }
    return *this;
}

// Field by field, because the old key must be wiped first; a new field must be added here too.
VXAData& VXAData::operator=(VXAData&& other) noexcept {
    if (this == &other)
        return *this;
    wipeAesKey(); // the old key's buffer is freed or overwritten below
    _rawBase64String = std::move(other._rawBase64String);
    _rawData = std::move(other._rawData);
    presentableData = std::move(other.presentableData);
    contentType = other.contentType;
    vxaType = other.vxaType;
    cipherMethod = other.cipherMethod;
    issuerId = std::move(other.issuerId);
    issuerBytes = std::move(other.issuerBytes);
    signature = std::move(other.signature);
    aesKey = std::move(other.aesKey);
    unixTimeStamp = other.unixTimeStamp;
    date = other.date;
    actualVxaData = std::move(other.actualVxaData);
    _verificationStatus = other._verificationStatus;
    return *this;
}

VXAData::~VXAData() {
    wipeAesKey();
}

void VXAData::wipeAesKey() {
    if (aesKey)
        cleanse(*aesKey);
}

ContentType VXAData::getContentType(std::uint8_t raw) {
    switch (raw) {
    case 1:
        return ContentType::JSON_ZIP;
    case 2:
        return ContentType::IMAGE;
    default:
        return ContentType::JSON;
    }
}

VxaType VXAData::getVxaType(std::uint8_t raw) {
    if (raw >= 1 && raw <= 7)
        return static_cast<VxaType>(raw);
    return VxaType::SIGNED;
}

CipherMethod VXAData::getCipherMethod(std::uint8_t raw) {
    return raw == 1 ? CipherMethod::RSA2048_AES128_SHA256 : CipherMethod::RSA1024_AES128_SHA256;
}

// A record shorter than its layout stops at the first missing field: the header fields read so far
// stay, the record does not verify and no content is exposed.
void VXAData::processRawData(const KeyHandle& appRsaPrivateKey, const KeyHandle& partnerRsaPublicKey,
                             const KeyHandle& partnerRsaPrivateKey) {
    if (!_rawData)
        return;
    _verificationStatus = VerificationStatus::truncated; // until the layout is read to its end
    ByteCursor cursor(*_rawData);
    contentType = getContentType(cursor.takeByteOr(Constant::VXAData::defaultByteValue));
    vxaType = getVxaType(cursor.takeByteOr(Constant::VXAData::defaultByteValue));
    cipherMethod = getCipherMethod(cursor.takeByteOr(Constant::VXAData::defaultByteValue));

    auto issuer = cursor.take(Constant::VXAData::issuerIdBytes);
    if (!issuer)
        return;
    issuerBytes = issuer->rest();
    Uuid issuerUuid;
    std::copy(issuerBytes->begin(), issuerBytes->end(), issuerUuid.bytes.begin());
    issuerId = issuerUuid.uuidString();

    const auto blockSize = static_cast<std::size_t>(blockLength(*cipherMethod));
    auto signatureField = cursor.take(blockSize);
    if (!signatureField)
        return;
    signature = signatureField->rest();

    if (hasKeyBlock(*vxaType)) {
        auto keyBlock = cursor.take(blockSize);
        if (!keyBlock)
            return;
        openKeyBlock(*keyBlock, isSecured(*vxaType) ? appRsaPrivateKey : partnerRsaPrivateKey);
    }

    auto timestamp = cursor.peek(Constant::VXAData::timestampBytes);
    if (!timestamp)
        return;
    date = std::chrono::system_clock::time_point(std::chrono::seconds(littleEndianValue(*timestamp)));

    if (isSigned(*vxaType)) {
        readSigned(cursor, partnerRsaPublicKey);
    } else if (isSecured(*vxaType)) {
        readSecured(cursor, *timestamp, partnerRsaPublicKey);
    } else if (isEncrypted(*vxaType)) {
        readEncrypted(cursor, partnerRsaPublicKey);
    } else {
        _verificationStatus = VerificationStatus::notSigned;
    }
}

// Without an opened key, the status says why; a record with a key block keeps it unless the signature
// is checked afterwards (ENCRYPTED records are verified without their key).
void VXAData::openKeyBlock(const ByteCursor& keyBlock, const KeyHandle& key) {
    if (!key) {
        _verificationStatus = VerificationStatus::noPrivateKey;
        return;
    }
    if (static_cast<std::size_t>(key->blockSize()) != keyBlock.remaining()) {
        _verificationStatus = VerificationStatus::wrongPrivateKey;
        return;
    }
    auto plain = rsa::decryptPkcs1(*key, keyBlock.position(), keyBlock.remaining());
    if (!plain) {
        _verificationStatus = VerificationStatus::keyBlockUnopened;
        return;
    }
    if (plain->size() < kAesKeyLength) { // too short to hold an AES-128 key: as good as a failed opening
        cleanse(*plain);
        _verificationStatus = VerificationStatus::keyBlockUnopened;
        return;
    }
    aesKey = std::move(plain);
}

void VXAData::checkSignature(const Bytes& signedBytes, const KeyHandle& partnerRsaPublicKey) {
    if (CryptoManager::isValid(signedBytes, *signature, partnerRsaPublicKey))
        _verificationStatus = VerificationStatus::verified;
    else if (!partnerRsaPublicKey)
        _verificationStatus = VerificationStatus::noPublicKey;
    else if (static_cast<std::size_t>(partnerRsaPublicKey->blockSize()) != signature->size())
        _verificationStatus = VerificationStatus::wrongPublicKey;
    else
        _verificationStatus = VerificationStatus::signatureMismatch;
}

void VXAData::readSigned(ByteCursor content, const KeyHandle& partnerRsaPublicKey) {
    checkSignature(content.rest(), partnerRsaPublicKey);
    content.take(Constant::VXAData::timestampBytes);
    actualVxaData = content.rest();
    presentableData = _rawData;
}

void VXAData::readSecured(ByteCursor content, const Bytes& timestamp, const KeyHandle& partnerRsaPublicKey) {
    content.take(Constant::VXAData::timestampBytes);
    if (!aesKey)
        return;
    actualVxaData = CryptoManager::aes128Decrypt(content.rest(), *aesKey);
    if (!actualVxaData) {
        _verificationStatus = VerificationStatus::contentUnreadable;
        return;
    }
    Bytes signedBytes = timestamp;
    signedBytes.insert(signedBytes.end(), actualVxaData->begin(), actualVxaData->end());
    presentableData = makePresentableDataFromSecured(*actualVxaData, timestamp);
    checkSignature(signedBytes, partnerRsaPublicKey);
}

void VXAData::readEncrypted(ByteCursor content, const KeyHandle& partnerRsaPublicKey) {
    const Bytes signedBytes = content.rest();
    if (aesKey) {
        content.take(Constant::VXAData::timestampBytes);
        actualVxaData = CryptoManager::aes128Decrypt(content.rest(), *aesKey);
    }
    checkSignature(signedBytes, partnerRsaPublicKey);
    presentableData = _rawData;
}

Bytes VXAData::makePresentableDataFromSecured(const Bytes& decryptedVxaData, const Bytes& timestamp) const {
    Bytes output;
    output.reserve(3 + (issuerBytes ? issuerBytes->size() : 0) + (signature ? signature->size() : 0) +
                   timestamp.size() + decryptedVxaData.size());
    output.push_back(contentType ? rawValue(*contentType) : 0);
    output.push_back(rawValue(VxaType::SIGNED));
    output.push_back(cipherMethod ? rawValue(*cipherMethod) : 0);
    if (issuerBytes)
        output.insert(output.end(), issuerBytes->begin(), issuerBytes->end());
    if (signature)
        output.insert(output.end(), signature->begin(), signature->end());
    output.insert(output.end(), timestamp.begin(), timestamp.end());
    output.insert(output.end(), decryptedVxaData.begin(), decryptedVxaData.end());
    return output;
}

} // namespace vexaqr
