#include <vexaqr/payload/VXADataTypes.hpp>

namespace vexaqr {

std::optional<ContentType> contentTypeFromRawValue(std::uint8_t raw) {
    if (raw > rawValue(ContentType::IMAGE))
        return std::nullopt;
    return static_cast<ContentType>(raw);
}

std::optional<VxaType> vxaTypeFromRawValue(std::uint8_t raw) {
    if (raw > rawValue(VxaType::MASKED_COLORED))
        return std::nullopt;
    return static_cast<VxaType>(raw);
}

std::optional<CipherMethod> cipherMethodFromRawValue(std::uint8_t raw) {
    if (raw > rawValue(CipherMethod::RSA2048_AES128_SHA256))
        return std::nullopt;
    return static_cast<CipherMethod>(raw);
}

std::string_view name(ContentType value) {
    switch (value) {
    case ContentType::JSON:
        return "JSON";
    case ContentType::JSON_ZIP:
        return "JSON_ZIP";
    case ContentType::IMAGE:
        return "IMAGE";
    }
    return "";
}

std::string_view name(VxaType value) {
    switch (value) {
    case VxaType::SIGNED:
        return "SIGNED";
    case VxaType::SECURED:
        return "SECURED";
    case VxaType::ENCRYPTED:
        return "ENCRYPTED";
    case VxaType::MASKED:
        return "MASKED";
    case VxaType::SIGNED_COLORED:
        return "SIGNED_COLORED";
    case VxaType::SECURED_COLORED:
        return "SECURED_COLORED";
    case VxaType::ENCRYPTED_COLORED:
        return "ENCRYPTED_COLORED";
    case VxaType::MASKED_COLORED:
        return "MASKED_COLORED";
    }
    return "";
}

std::string_view name(CipherMethod value) {
    switch (value) {
    case CipherMethod::RSA1024_AES128_SHA256:
        return "RSA1024_AES128_SHA256";
    case CipherMethod::RSA2048_AES128_SHA256:
        return "RSA2048_AES128_SHA256";
    }
    return "";
}

std::string_view name(VerificationStatus value) {
    switch (value) {
    case VerificationStatus::verified:
        return "verified";
    case VerificationStatus::notParsed:
        return "notParsed";
    case VerificationStatus::truncated:
        return "truncated";
    case VerificationStatus::notSigned:
        return "notSigned";
    case VerificationStatus::noPublicKey:
        return "noPublicKey";
    case VerificationStatus::wrongPublicKey:
        return "wrongPublicKey";
    case VerificationStatus::noPrivateKey:
        return "noPrivateKey";
    case VerificationStatus::wrongPrivateKey:
        return "wrongPrivateKey";
    case VerificationStatus::keyBlockUnopened:
        return "keyBlockUnopened";
    case VerificationStatus::contentUnreadable:
        return "contentUnreadable";
    case VerificationStatus::signatureMismatch:
        return "signatureMismatch";
    }
    return "";
}

std::string_view describe(VerificationStatus value) {
    switch (value) {
    case VerificationStatus::verified:
        return "the signature verified with the partner public key";
    case VerificationStatus::notParsed:
        return "there are no record bytes (the text is not strict base64)";
    case VerificationStatus::truncated:
        return "the record ends before its layout does: it is damaged or not a record";
    case VerificationStatus::notSigned:
        return "MASKED records carry no signature that could be verified";
    case VerificationStatus::noPublicKey:
        return "no partner public key was given, so the signature cannot be checked";
    case VerificationStatus::wrongPublicKey:
        return "the partner public key has another size than the record's signature: it is the wrong key";
    case VerificationStatus::noPrivateKey:
        return "the key block needs a private key that was not given (the application's for SECURED records, "
               "the partner's for ENCRYPTED ones)";
    case VerificationStatus::wrongPrivateKey:
        return "the private key has another size than the record's key block: it is the wrong key";
    case VerificationStatus::keyBlockUnopened:
        return "the key block does not open with the private key given: another key, or a damaged record";
    case VerificationStatus::contentUnreadable:
        return "the content does not decrypt with the opened key: the record is damaged";
    case VerificationStatus::signatureMismatch:
        return "the signature does not match: another partner's key, or an altered record";
    }
    return "";
}

} // namespace vexaqr
