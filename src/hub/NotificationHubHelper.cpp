#include <vexaqr/hub/NotificationHubHelper.hpp>

#include <vexaqr/hub/HubRegistration.hpp>

#include "hub/HubHttpSupport.hpp"
#include "platform/HexDigit.hpp"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <mutex>
#include <vector>

namespace vexaqr {

namespace {

constexpr std::string_view kBase64Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t kNotBase64 = 0xFF;

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

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    for (std::size_t at = text.find(separator); at != std::string_view::npos; at = text.find(separator, start)) {
        pieces.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

// Built on first use rather than at load time, under a lock, so that concurrent first callers agree.
const std::array<std::uint8_t, 256>& base64DecodingTable() {
    static std::once_flag built;
    static std::array<std::uint8_t, 256> table;
    std::call_once(built, [] {
        table.fill(kNotBase64);
        for (std::size_t i = 0; i < kBase64Alphabet.size(); ++i)
            table[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<std::uint8_t>(i);
    });
    return table;
}

bool isUnreserved(unsigned char c) {
    return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

} // namespace

std::map<std::string, std::string> NotificationHubHelper::parseConnectionString(std::string_view connectionString) {
    std::map<std::string, std::string> result;
    const auto pieces = split(connectionString, ';');
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
    std::string text;
    text.reserve((length + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        const unsigned group = data[i] << 16 | data[i + 1] << 8 | data[i + 2];
        for (int shift = 18; shift >= 0; shift -= 6)
            text.push_back(kBase64Alphabet[(group >> shift) & 0x3F]);
    }
    const std::size_t rest = length - i;
    if (rest > 0) {
        const unsigned group = data[i] << 16 | (rest == 2 ? data[i + 1] << 8 : 0);
        text.push_back(kBase64Alphabet[(group >> 18) & 0x3F]);
        text.push_back(kBase64Alphabet[(group >> 12) & 0x3F]);
        text.push_back(rest == 2 ? kBase64Alphabet[(group >> 6) & 0x3F] : '=');
        text.push_back('=');
    }
    return text;
}

std::optional<Bytes> NotificationHubHelper::fromBase64(std::string_view text) {
    if (text.size() % 4 != 0)
        return std::nullopt;
    std::size_t padding = 0;
    while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=')
        ++padding;
    const std::string_view body = text.substr(0, text.size() - padding);
    const auto& table = base64DecodingTable();
    Bytes bytes;
    bytes.reserve(body.size() * 3 / 4);
    unsigned accumulator = 0;
    int bits = 0;
    for (char c : body) {
        const std::uint8_t value = table[static_cast<unsigned char>(c)];
        if (value == kNotBase64)
            return std::nullopt; // stray "=", white space or any other character
        accumulator = (accumulator << 6 | value) & 0xFFFFFF;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<std::uint8_t>(accumulator >> bits));
        }
    }
    return bytes;
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
