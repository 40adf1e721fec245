// HubCredentials: the devserver hub's side of authorisation. It holds the hub's keys, checks every
// `Authorization` header (a Shared Access Signature or a WRAP token it issued) and issues WRAP tokens for
// correctly signed assertions. Written apart from the client library's signing code on purpose: the two
// sides agree only when both follow the wire format.
//
// Uses the context's database; callers hold `context.mutex`.
#pragma once

#include "account/platform/SqliteDatabase.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexaqr::devserver {

class HubCredentials {
public:
    static constexpr std::string_view kKeyName = "DefaultFullSharedAccessSignature";
    static constexpr std::string_view kIssuer = "owner";

    /// Creates the tables and, on first use of a data file, the hub's random key and issuer secret.
    explicit HubCredentials(SqliteDatabase& database);

    /// The Shared Access key (text) and the issuer secret (Base64 text).
    std::string sharedAccessKey() const;
    std::string issuerSecret() const;

    /// Whether `authorization` admits a request for `requestUrl` (origin + path + query) at `nowSeconds`.
    bool admits(std::string_view authorization, std::string_view requestUrl, std::int64_t nowSeconds);

    /// The token-service reply body for a WRAP request body, or nothing when the assertion does not verify.
    std::optional<std::string> issueToken(std::string_view formBody, std::int64_t nowSeconds);

    static std::string percentEncode(std::string_view text);
    /// Decodes %XX escapes, and "+" as a space when `plusIsSpace` (form encoding).
    static std::string percentDecode(std::string_view text, bool plusIsSpace = true);
    static std::string hmacBase64(std::string_view key, std::string_view text);

private:
    std::string setting(const std::string& name) const;
    bool admitsSignature(std::string_view fields, std::string_view requestUrl, std::int64_t nowSeconds) const;
    bool admitsToken(std::string_view token, std::int64_t nowSeconds) const;

    SqliteDatabase& _database;
};

} // namespace vexaqr::devserver
