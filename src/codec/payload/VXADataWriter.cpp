#include <vexaqr/payload/VXADataWriter.hpp>

#include "codec/payload/CryptoManager.hpp"
#include "codec/platform/LogManager.hpp"

#include "codec/payload/RsaOperations.hpp"

#include <openssl/rand.h>

namespace vexaqr {

namespace {

constexpr std::size_t kAesKeyLength = 16;

bool fitsCipherMethod(const KeyHandle& key, CipherMethod method) {
    return key && key->blockSize() == blockLength(method);
}

Bytes timestampField(std::uint32_t timestamp) {
    Bytes field;
    for (int i = 0; i < Constant::VXAData::timestampBytes; ++i)
        field.push_back(static_cast<std::uint8_t>(timestamp >> (8 * i)));
    return field;
}

void append(Bytes& to, const Bytes& bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

struct Body {
    Bytes signedBytes;  // what the signature covers
    Bytes keyBlock;     // empty for types without one
    Bytes contentField; // time stamp and content as they stand in the record
};

std::optional<Body> makeBody(const VXADataWriter::Input& input) {
    const Bytes timestamp = timestampField(input.timestamp);
    Body body;
    body.signedBytes = timestamp;
    append(body.signedBytes, input.content);
    if (!hasKeyBlock(input.vxaType)) {
        body.contentField = body.signedBytes;
        return body;
    }
    if (!fitsCipherMethod(input.keyBlockPublicKey, input.cipherMethod)) {
        LogManager::standard().log("Record not written: the key block key does not fit the cipher method");
        return std::nullopt;
    }
    Bytes aesKey(kAesKeyLength);
    if (RAND_bytes(aesKey.data(), static_cast<int>(aesKey.size())) != 1)
        return std::nullopt;
    auto keyBlock = rsa::encryptPkcs1(*input.keyBlockPublicKey, aesKey);
    auto cipherText = CryptoManager::aes128Encrypt(input.content, aesKey);
    cleanse(aesKey);
    if (!keyBlock || !cipherText)
        return std::nullopt;
    body.keyBlock = std::move(*keyBlock);
    body.contentField = timestamp;
    append(body.contentField, *cipherText);
    // SECURED signs the plain content, ENCRYPTED the ciphertext as it stands.
    if (!isSecured(input.vxaType))
        body.signedBytes = body.contentField;
    return body;
}

} // namespace

std::optional<Bytes> VXADataWriter::write(const Input& input) {
    if (!fitsCipherMethod(input.partnerPrivateKey, input.cipherMethod) || !input.partnerPrivateKey->isPrivate()) {
        LogManager::standard().log("Record not written: the signing key does not fit the cipher method");
        return std::nullopt;
    }
    auto body = makeBody(input);
    if (!body)
        return std::nullopt;
    auto signature = rsa::signSha256(*input.partnerPrivateKey, body->signedBytes.data(), body->signedBytes.size());
    if (!signature)
        return std::nullopt;

    Bytes record{rawValue(input.contentType), rawValue(input.vxaType), rawValue(input.cipherMethod)};
    record.insert(record.end(), input.issuerId.bytes.begin(), input.issuerId.bytes.end());
    append(record, *signature);
    append(record, body->keyBlock);
    append(record, body->contentField);
    return record;
}

} // namespace vexaqr
