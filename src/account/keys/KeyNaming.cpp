#include "account/keys/KeyNaming.hpp"

namespace vexaqr::Activation {

std::string_view rawValue(KeyOwner owner) {
    return owner == KeyOwner::clientKey ? "client" : "partner";
}

std::string_view rawValue(KeyType type) {
    return type == KeyType::privateKey ? "private" : "public";
}

std::optional<KeyOwner> keyOwnerFromRawValue(std::string_view raw) {
    if (raw == "client")
        return KeyOwner::clientKey;
    if (raw == "partner")
        return KeyOwner::partnerKey;
    return std::nullopt;
}

std::optional<KeyType> keyTypeFromRawValue(std::string_view raw) {
    if (raw == "private")
        return KeyType::privateKey;
    if (raw == "public")
        return KeyType::publicKey;
    return std::nullopt;
}

} // namespace vexaqr::Activation
