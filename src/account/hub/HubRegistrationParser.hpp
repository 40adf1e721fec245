// HubRegistrationParser: reads the hub's registration descriptions (a feed of entries or a single entry) with
// libxml2's pull reader. The network and external entities stay off; nothing from the document is fetched.
//
// Stateless; any thread.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/Error.hpp>
#include <vexaqr/Outcome.hpp>
#include <vexaqr/hub/HubRegistration.hpp>

#include <memory>
#include <vector>

namespace vexaqr {

class HubRegistrationParser final {
public:
    using Registrations = std::vector<std::shared_ptr<HubRegistration>>;

    /// Every native and template registration in `body`, in document order; the error "Fail to parse
    /// registration:<excerpt of the body>" (code -1) when the body is not namespace-well-formed XML or cannot be a
    /// registration feed: over 4 MiB, with a document type declaration, with an element of more than 16 attributes
    /// or nested more than 32 deep. Time and memory grow linearly with the body's size.
    static Outcome<Registrations, Error> parseRegistrations(const Bytes& body);
};

} // namespace vexaqr
