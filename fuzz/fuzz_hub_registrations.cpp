// Registration replies from outside, through the hub client's XML reader (no network, no entity loading):
// nothing may crash, read out of bounds or throw; a failure always comes with an error.
#include "account/hub/HubRegistrationParser.hpp"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vexaqr;
    std::optional<Error> error;
    const auto registrations = HubRegistrationParser::parseRegistrations(Bytes(data, data + size), error);
    if (!registrations && !error)
        __builtin_trap();
    if (registrations) {
        for (const auto& registration : *registrations) {
            if (!registration)
                __builtin_trap();
            (void)registration->Name();
        }
    }
    return 0;
}
