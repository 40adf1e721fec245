// HubRegistrationParser: reads the hub's registration descriptions (a feed of entries or a single entry) with
// libxml2's pull reader. The network and external entities stay off; nothing from the document is fetched.
//
// Stateless; any thread.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/Error.hpp>
#include <vexaqr/hub/HubRegistration.hpp>

#include <memory>
#include <optional>
#include <vector>

namespace vexaqr {

class HubRegistrationParser final {
public:
    using Registrations = std::vector<std::shared_ptr<HubRegistration>>;

    /// Every native and template registration in `body`, in document order; nothing, with `error` set to
    /// "Fail to parse registration:<body>" (code -1), when the body is not well-formed XML.
    static std::optional<Registrations> parseRegistrations(const Bytes& body, std::optional<Error>& error);
};

} // namespace vexaqr
