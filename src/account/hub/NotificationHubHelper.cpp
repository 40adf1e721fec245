#include "account/hub/NotificationHubHelper.hpp"

#include <vexaqr/hub/HubRegistration.hpp>

#include "account/hub/HubHttpSupport.hpp"
#include "codec/payload/Base64.hpp"
#include "codec/platform/HexDigit.hpp"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

namespace vexaqr {

namespace {

// Keys whose "key=" at the start of a piece begins a new entry; any other piece continues the previous value.
constexpr std::array<std::string_view, 6> kEntryStarts = {
    "endpoint=",           "sharedaccesskeyname=", "sharedaccesskey=",
    "sharedsecretissuer=", "sharedsecretvalue=",   "stsendpoint="};

std::string lowercased(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

bool beginsEntry(std::string_view piece) {
    const std::string lower = lowercased(piece);
    return std::any_of(kEntryStarts.begin(), kEntryStarts.end(),
                       [&](std::string_view start) { return lower.starts_with(start); });
}

bool isUnreserved(unsigned char c) {
    return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

} // namespace

std::map<std::string, std::string> NotificationHubHelper::parseConnectionString(std::string_view connectionString) {
    std::map<std::string, std::string> result;
    const auto pieces = hub::split(connectionString, ';');
    std::string accumulated;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i + 1 < pieces.size() && !beginsEntry(pieces[i + 1])) {
            accumulated.append(pieces[i]).push_back(';');
            continue;
        }
        const std::string entry = accumulated + std::string(pieces[i]);
        accumulated.clear();
        const auto equals = entry.find('=');
        if (equals == std::string::npos)
            break;
        const std::string key = lowercased(std::string_view(entry).substr(0, equals));
        std::string value = entry.substr(equals + 1);
        if (key == "endpoint")
            value = modifyEndpoint(value, hub::secureSchemeFor(value));
        result[key] = std::move(value);
    }
    return result;
}

std::string NotificationHubHelper::modifyEndpoint(std::string_view endpoint, std::string_view scheme) {
    std::string text(endpoint);
    if (!text.ends_with('/'))
        text.push_back('/');
    const auto colon = text.find(':');
    if (colon == std::string::npos)
        return std::string(scheme) + "://" + text;
    return std::string(scheme) + text.substr(colon);
}

std::string NotificationHubHelper::urlEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size() * 3);
    for (unsigned char c : text) {
        if (isUnreserved(c)) {
            encoded.push_back(static_cast<char>(c));
        } else {
            encoded.push_back('%');
            encoded.push_back(kHex[c >> 4]);
            encoded.push_back(kHex[c & 0x0F]);
        }
    }
    return encoded;
}

std::string NotificationHubHelper::urlDecode(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            decoded.push_back(' ');
            continue;
        }
        if (c == '%' && i + 2 < text.size() && hexDigitValue(text[i + 1]) >= 0 && hexDigitValue(text[i + 2]) >= 0) {
            decoded.push_back(static_cast<char>(hexDigitValue(text[i + 1]) << 4 | hexDigitValue(text[i + 2])));
            i += 2;
            continue;
        }
        decoded.push_back(c);
    }
    return decoded;
}

std::string NotificationHubHelper::signString(std::string_view text, std::string_view key) {
    return signString(text, reinterpret_cast<const std::uint8_t*>(key.data()), key.size());
}

std::string NotificationHubHelper::signString(std::string_view text, const std::uint8_t* keyData,
                                              std::size_t keyLength) {
    static constexpr std::uint8_t kNoKey = 0;
    std::array<std::uint8_t, EVP_MAX_MD_SIZE> digest{};
    unsigned int digestLength = 0;
    if (!HMAC(EVP_sha256(), keyLength > 0 ? keyData : &kNoKey, static_cast<int>(keyLength),
              reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest.data(), &digestLength))
        return {};
    return toBase64(digest.data(), digestLength);
}

std::string NotificationHubHelper::toBase64(const std::uint8_t* data, std::size_t length) {
    return base64::encode({data, length});
}

std::optional<Bytes> NotificationHubHelper::fromBase64(std::string_view text) {
    return base64::decode(text);
}

std::string NotificationHubHelper::convertTagSetToString(const std::set<std::string>& tags) {
    std::string joined;
    for (const auto& tag : tags) {
        if (!joined.empty())
            joined.push_back(',');
        joined += tag;
    }
    return joined;
}

std::string NotificationHubHelper::nameOfRegistration(const HubRegistration& registration) {
    return registration.Name();
}

Error NotificationHubHelper::errorWithMsg(std::string message, std::int64_t code) {
    return Error{std::string(kNotificationHubErrorDomain), code, std::move(message)};
}

Error NotificationHubHelper::errorForNullDeviceToken() {
    return errorWithMsg("Device Token can't be nil.", -1);
}

Error NotificationHubHelper::errorForReservedTemplateName() {
    return errorWithMsg("TemplateName is conflict with reservered ones.", -1);
}

Error NotificationHubHelper::errorForInvalidTemplateName() {
    return errorWithMsg("TemplateName can't contains ':'.", -1);
}

Error NotificationHubHelper::registrationNotFoundError() {
    return errorWithMsg("Registration is not found.", 404);
}

} // namespace vexaqr
