#include <vexaqr/platform/Url.hpp>

#include "account/platform/CurlGlobal.hpp"
#include "codec/platform/CHandle.hpp"

#include <curl/curl.h>

#include <cctype>
#include <string_view>

namespace vexaqr {

namespace {

using CurlUrlPtr = CHandle<CURLU, curl_url_cleanup>;

bool isAllowedCharacter(unsigned char c) {
    static constexpr std::string_view kExcluded = " \"<>\\^`{|}";
    return c > 0x20 && c < 0x7F && kExcluded.find(static_cast<char>(c)) == std::string_view::npos;
}

// Only printable ASCII that URLs allow, and "%" only as the start of a two-digit escape.
bool hasOnlyUrlCharacters(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!isAllowedCharacter(c)) {
            return false;
        }
        if (c == '%' && (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
                         !std::isxdigit(static_cast<unsigned char>(text[i + 2])))) {
            return false;
        }
    }
    return true;
}

bool parsesAsAbsoluteUrl(const std::string& text) {
    ensureCurlGlobalInit();
    CurlUrlPtr handle(curl_url());
    return handle && curl_url_set(handle.get(), CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK;
}

} // namespace

std::optional<Url> Url::fromString(std::string text) {
    if (text.empty() || !hasOnlyUrlCharacters(text) || !parsesAsAbsoluteUrl(text)) {
        return std::nullopt;
    }
    return Url(std::move(text));
}

} // namespace vexaqr
