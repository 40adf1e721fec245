#include "MessageSealer.hpp"

#include <vexaqr/payload/VXADataWriter.hpp>

namespace vexaqr::devserver {

namespace {

bool isSecured(VxaType type) {
    return type == VxaType::SECURED || type == VxaType::SECURED_COLORED;
}

bool isEncrypted(VxaType type) {
    return type == VxaType::ENCRYPTED || type == VxaType::ENCRYPTED_COLORED;
}

} // namespace

std::variant<Bytes, std::string> sealMessage(const SealRequest& request, const Partner& partner,
                                             const Registration& installation) {
    const auto partnerKey = RsaKey::fromPem(partner.privateKeyPem);
    if (!partnerKey)
        return std::string("the partner's private key cannot be read");
    const CipherMethod method =
        partnerKey->sizeInBits() == 1024 ? CipherMethod::RSA1024_AES128_SHA256 : CipherMethod::RSA2048_AES128_SHA256;
    KeyHandle keyBlockKey;
    if (isSecured(request.vxaType)) {
        if (!installation.publicKeyPem)
            return std::string("the installation has not uploaded a public key yet");
        keyBlockKey = RsaKey::fromPem(*installation.publicKeyPem);
        if (!keyBlockKey || keyBlockKey->sizeInBits() != partnerKey->sizeInBits())
            return std::string("the installation's key is not the size of the partner's key");
    } else if (isEncrypted(request.vxaType)) {
        keyBlockKey = partnerKey->publicKey();
    }
    auto record = VXADataWriter::write(VXADataWriter::Input{.content = request.content,
                                                            .contentType = request.contentType,
                                                            .vxaType = request.vxaType,
                                                            .cipherMethod = method,
                                                            .issuerId = partner.issuerId,
                                                            .timestamp = request.timestamp,
                                                            .partnerPrivateKey = partnerKey,
                                                            .keyBlockPublicKey = keyBlockKey});
    if (!record)
        return std::string("the record could not be sealed");
    return std::move(*record);
}

std::optional<VxaType> vxaTypeNamed(const std::string& name, bool colored) {
    if (name == "signed")
        return colored ? VxaType::SIGNED_COLORED : VxaType::SIGNED;
    if (name == "secured")
        return colored ? VxaType::SECURED_COLORED : VxaType::SECURED;
    if (name == "encrypted")
        return colored ? VxaType::ENCRYPTED_COLORED : VxaType::ENCRYPTED;
    if (name == "masked")
        return colored ? VxaType::MASKED_COLORED : VxaType::MASKED;
    return std::nullopt;
}

std::optional<ContentType> contentTypeNamed(const std::string& name) {
    if (name == "json")
        return ContentType::JSON;
    if (name == "json-zip")
        return ContentType::JSON_ZIP;
    if (name == "image")
        return ContentType::IMAGE;
    return std::nullopt;
}

} // namespace vexaqr::devserver
