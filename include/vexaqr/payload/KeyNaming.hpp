// The names of the SDK's four RSA keys: whose key (client or partner), which half, and the size of
// a generated client pair.
#pragma once

#include <optional>
#include <string_view>

namespace vexaqr::Activation {

enum class KeyOwner { clientKey, partnerKey };
enum class KeyType { privateKey, publicKey };
enum class RsaKeySize : int { rsa1024 = 1024, rsa2048 = 2048 };

/// "client" / "partner".
std::string_view rawValue(KeyOwner owner);
/// "private" / "public".
std::string_view rawValue(KeyType type);
constexpr int rawValue(RsaKeySize size) {
    return static_cast<int>(size);
}

/// The case whose raw value is `raw`; nothing for any other value.
std::optional<KeyOwner> keyOwnerFromRawValue(std::string_view raw);
std::optional<KeyType> keyTypeFromRawValue(std::string_view raw);
std::optional<RsaKeySize> rsaKeySizeFromRawValue(int raw);

} // namespace vexaqr::Activation
