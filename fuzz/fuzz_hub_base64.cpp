// Base64 text from outside: only whole groups of four decode, the decoded length follows from the text's
// length, and whatever decodes comes back unchanged through encoding and decoding again.
#include "account/hub/NotificationHubHelper.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using vexaqr::NotificationHubHelper;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto decoded = NotificationHubHelper::fromBase64(text);
    if (!decoded)
        return 0;
    if (text.size() % 4 != 0 || decoded->size() > text.size() / 4 * 3)
        __builtin_trap();
    const auto again =
        NotificationHubHelper::fromBase64(NotificationHubHelper::toBase64(decoded->data(), decoded->size()));
    if (!again || *again != *decoded)
        __builtin_trap();
    return 0;
}
