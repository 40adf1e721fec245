// The names of the SDK's four RSA keys: whose key (client or partner) and which half. (The size of a
// generated client pair, Activation::RsaKeySize, belongs to the activation record.)
#pragma once

#include <optional>
#include <string_view>

namespace vexaqr::Constant::Application {

/// Prefix of every key tag the SDK stores in the key store.
inline constexpr std::string_view rsaKeyTagPrefix = "com.vexaqr.VexaQrSDK";

} // namespace vexaqr::Constant::Application

namespace vexaqr::Activation {

enum class KeyOwner { clientKey, partnerKey };
enum class KeyType { privateKey, publicKey };

/// "client" / "partner".
std::string_view rawValue(KeyOwner owner);
/// "private" / "public".
std::string_view rawValue(KeyType type);

/// The case whose raw value is `raw`; nothing for any other value.
std::optional<KeyOwner> keyOwnerFromRawValue(std::string_view raw);
std::optional<KeyType> keyTypeFromRawValue(std::string_view raw);

} // namespace vexaqr::Activation
