// Token-service replies from outside: the extracted header value is either empty or a quoted WRAP token, and
// percent-decoding never crashes on broken escapes.
#include "account/hub/HubTokenProvider.hpp"
#include "account/hub/NotificationHubHelper.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vexaqr;
    const Bytes body(data, data + size);
    const std::string token = HubTokenProvider::ExtractToken(body);
    if (!token.empty() && (token.rfind("WRAP access_token=\"", 0) != 0 || token.back() != '"'))
        __builtin_trap();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (NotificationHubHelper::urlDecode(NotificationHubHelper::urlEncode(text)) != text)
        __builtin_trap();
    return 0;
}
