#include "HubCredentials.hpp"

#include "codec/payload/Base64.hpp"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <map>

namespace vexaqr::devserver {

namespace {

constexpr std::int64_t kTokenLifetimeSeconds = 20 * 60;

std::string lower(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

std::string randomBase64(std::size_t bytes) {
    Bytes random(bytes);
    RAND_bytes(random.data(), static_cast<int>(random.size()));
    return base64::encode(random);
}

// "a=1&b=2" into its decoded pairs.
std::map<std::string, std::string> formFields(std::string_view text, char separator) {
    std::map<std::string, std::string> fields;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find(separator, start);
        if (end == std::string_view::npos)
            end = text.size();
        const auto pair = text.substr(start, end - start);
        const auto equals = pair.find('=');
        if (equals != std::string_view::npos)
            fields[std::string(pair.substr(0, equals))] = std::string(pair.substr(equals + 1));
        start = end + 1;
    }
    return fields;
}

bool equalInConstantTime(const std::string& a, const std::string& b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

} // namespace

HubCredentials::HubCredentials(SqliteDatabase& database) : _database(database) {
    _database.execute("CREATE TABLE IF NOT EXISTS hub_settings (name TEXT PRIMARY KEY, value TEXT NOT NULL);"
                      "CREATE TABLE IF NOT EXISTS hub_tokens (token TEXT PRIMARY KEY, expires INTEGER NOT NULL);");
    for (const char* name : {"sharedAccessKey", "issuerSecret"}) {
        auto insert = _database.prepare("INSERT OR IGNORE INTO hub_settings (name, value) VALUES (?1, ?2)");
        if (insert && insert->bind(1, std::string(name)) && insert->bind(2, randomBase64(32)))
            insert->step();
    }
}

std::string HubCredentials::setting(const std::string& name) const {
    auto select = _database.prepare("SELECT value FROM hub_settings WHERE name = ?1");
    if (!select || !select->bind(1, name) || select->step() != SqliteDatabase::Statement::Step::row)
        return {};
    const auto value = select->column(0);
    return std::holds_alternative<std::string>(value) ? std::get<std::string>(value) : std::string();
}

std::string HubCredentials::sharedAccessKey() const {
    return setting("sharedAccessKey");
}

std::string HubCredentials::issuerSecret() const {
    return setting("issuerSecret");
}

std::string HubCredentials::percentEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            encoded.push_back(static_cast<char>(c));
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 15];
        }
    }
    return encoded;
}

std::string HubCredentials::percentDecode(std::string_view text, bool plusIsSpace) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (plusIsSpace && text[i] == '+') {
            decoded += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            decoded += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

std::string HubCredentials::hmacBase64(std::string_view key, std::string_view text) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    static constexpr char kEmpty = 0;
    HMAC(EVP_sha256(), key.empty() ? &kEmpty : key.data(), static_cast<int>(key.size()),
         reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest.data(), &length);
    return base64::encode(Bytes(digest.begin(), digest.begin() + length));
}

bool HubCredentials::admits(std::string_view authorization, std::string_view requestUrl, std::int64_t nowSeconds) {
    constexpr std::string_view kSignature = "SharedAccessSignature ";
    constexpr std::string_view kWrapPrefix = "WRAP access_token=\"";
    if (authorization.starts_with(kSignature))
        return admitsSignature(authorization.substr(kSignature.size()), requestUrl, nowSeconds);
    if (authorization.starts_with(kWrapPrefix) && authorization.ends_with('"') &&
        authorization.size() > kWrapPrefix.size())
        return admitsToken(authorization.substr(kWrapPrefix.size(), authorization.size() - kWrapPrefix.size() - 1),
                           nowSeconds);
    return false;
}

// The server's HTTP library hands header values over percent-decoded, so the fields are found from the end
// (the decoded resource holds "&" and "=") and the resource is encoded again before it is verified.
bool HubCredentials::admitsSignature(std::string_view fields, std::string_view requestUrl,
                                     std::int64_t nowSeconds) const {
    const auto keyNameAt = fields.rfind("&skn=");
    const auto expiryAt = fields.rfind("&se=", keyNameAt);
    const auto signatureAt = fields.rfind("&sig=", expiryAt);
    if (!fields.starts_with("sr=") || keyNameAt == std::string_view::npos || expiryAt == std::string_view::npos ||
        signatureAt == std::string_view::npos || signatureAt < 3)
        return false;
    std::string covered = lower(fields.substr(3, signatureAt - 3));
    std::string signature(fields.substr(signatureAt + 5, expiryAt - signatureAt - 5));
    if (covered.find("%3a%2f%2f") != std::string::npos) { // the header arrived as sent, still encoded
        covered = percentDecode(covered, false);
        signature = percentDecode(signature, false);
    }
    const std::string expiry(fields.substr(expiryAt + 4, keyNameAt - expiryAt - 4));
    if (fields.substr(keyNameAt + 5) != kKeyName || covered.empty() || expiry.empty() || expiry.size() > 18 ||
        !std::all_of(expiry.begin(), expiry.end(), [](unsigned char c) { return std::isdigit(c); }) ||
        std::stoll(expiry) <= nowSeconds)
        return false;
    // The signed resource must cover the request: a prefix of its address, compared without regard to case.
    if (!lower(requestUrl).starts_with(covered))
        return false;
    const std::string resource = lower(percentEncode(covered));
    return equalInConstantTime(hmacBase64(sharedAccessKey(), resource + "\n" + expiry), signature);
}

bool HubCredentials::admitsToken(std::string_view token, std::int64_t nowSeconds) const {
    auto select = _database.prepare("SELECT expires FROM hub_tokens WHERE token = ?1");
    if (!select || !select->bind(1, std::string(token)) || select->step() != SqliteDatabase::Statement::Step::row)
        return false;
    const auto expires = select->column(0);
    return std::holds_alternative<std::int64_t>(expires) && std::get<std::int64_t>(expires) > nowSeconds;
}

std::optional<std::string> HubCredentials::issueToken(std::string_view formBody, std::int64_t nowSeconds) {
    auto form = formFields(formBody, '&');
    if (form["wrap_assertion_format"] != "SWT" || form["wrap_scope"].empty())
        return std::nullopt;
    auto assertion = formFields(percentDecode(form["wrap_assertion"]), '&');
    const auto secret = base64::decode(issuerSecret());
    if (!secret || assertion["Issuer"] != kIssuer)
        return std::nullopt;
    const std::string expected =
        hmacBase64(std::string_view(reinterpret_cast<const char*>(secret->data()), secret->size()),
                   "Issuer=" + std::string(kIssuer));
    if (!equalInConstantTime(expected, percentDecode(assertion["HMACSHA256"])))
        return std::nullopt;
    const std::string token = "net.devserver.hub/" + randomBase64(24);
    auto insert = _database.prepare("INSERT INTO hub_tokens (token, expires) VALUES (?1, ?2)");
    if (!insert || !insert->bind(1, token) || !insert->bind(2, nowSeconds + kTokenLifetimeSeconds) ||
        insert->step() != SqliteDatabase::Statement::Step::done)
        return std::nullopt;
    return "wrap_access_token=" + percentEncode(token) +
           "&wrap_access_token_expires_in=" + std::to_string(kTokenLifetimeSeconds);
}

} // namespace vexaqr::devserver
