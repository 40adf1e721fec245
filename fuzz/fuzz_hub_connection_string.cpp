// Connection strings from outside: parse, build a token provider from the result and sign with it. Nothing may
// crash, read out of bounds or throw; a provider, when built, must sign.
#include "account/hub/HubTokenProvider.hpp"
#include "account/hub/NotificationHubHelper.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vexaqr;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto connection = NotificationHubHelper::parseConnectionString(text);
    for (const auto& [key, value] : connection) {
        for (char c : key)
            if (c >= 'A' && c <= 'Z')
                __builtin_trap(); // keys are stored lower-cased
    }
    const auto provider = HubTokenProvider::initWithConnectionDictinary(
        connection, nullptr, [] { return std::chrono::system_clock::time_point(std::chrono::seconds(1700000000)); });
    if (provider && provider->usesSharedAccessSignature() &&
        provider->PrepareSharedAccessTokenWithUrl(text).rfind("SharedAccessSignature sr=", 0) != 0)
        __builtin_trap();
    if (provider && !provider->usesSharedAccessSignature())
        (void)provider->PrepareSharedSecretTokenWithUrl(text);
    return 0;
}
