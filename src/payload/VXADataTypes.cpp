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

} // namespace vexaqr
