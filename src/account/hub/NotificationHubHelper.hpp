// NotificationHubHelper: the stateless text, encoding, signing and error functions of the hub client.
//
// Every function may be called from any thread. The only shared state is the Base64 decoding table, built once
// on first use under a lock.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/Error.hpp>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace vexaqr {

class HubRegistration;

/// Domain of every error the hub client creates; the code is an HTTP status or -1.
inline constexpr std::string_view kNotificationHubErrorDomain = "NotificationHubClient";

class NotificationHubHelper final {
public:
    /// The connection string's `Key=Value` pairs, keys lower-cased; a value may hold ";" and "=". Parsing stops
    /// at the first entry without "=". The "endpoint" value is normalised with the scheme "https".
    static std::map<std::string, std::string> parseConnectionString(std::string_view connectionString);

    /// `endpoint` with a trailing "/" and its scheme replaced by (or, without any ":", prefixed with) `scheme`.
    static std::string modifyEndpoint(std::string_view endpoint, std::string_view scheme);

    /// Percent-encoding of the UTF-8 bytes: only letters, digits and "-._~" stay as they are.
    static std::string urlEncode(std::string_view text);
    /// "+" becomes a space, then percent escapes are decoded; a malformed escape is kept as it stands.
    static std::string urlDecode(std::string_view text);

    /// Base64 of the HMAC-SHA256 of the text's bytes keyed with the key text's bytes.
    static std::string signString(std::string_view text, std::string_view key);
    /// Base64 of the HMAC-SHA256 of the text's bytes keyed with `keyLength` bytes at `keyData`.
    static std::string signString(std::string_view text, const std::uint8_t* keyData, std::size_t keyLength);

    /// Standard Base64 with "=" padding, no line breaks.
    static std::string toBase64(const std::uint8_t* data, std::size_t length);
    /// Standard Base64 decoding; nothing when the length is not a multiple of 4, a character is outside the
    /// alphabet, or "=" appears anywhere but in the last two places.
    static std::optional<Bytes> fromBase64(std::string_view text);

    /// The tags joined with "," in the set's order; empty for no tags.
    static std::string convertTagSetToString(const std::set<std::string>& tags);

    /// The name a registration is stored under: "$Default" for a native one, the template name otherwise.
    static std::string nameOfRegistration(const HubRegistration& registration);

    /// An error of the hub client's domain.
    static Error errorWithMsg(std::string message, std::int64_t code);
    static Error errorForNullDeviceToken();
    static Error errorForReservedTemplateName();
    static Error errorForInvalidTemplateName();
    static Error registrationNotFoundError();
};

} // namespace vexaqr
