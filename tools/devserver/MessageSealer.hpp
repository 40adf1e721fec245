// MessageSealer: makes the payload record the backend sends to one installation, as its partner issues it.
//
// The record is signed with the partner's private key; SECURED records wrap their AES key for the
// installation's uploaded public key, ENCRYPTED records for the partner's own public key. The cipher
// method follows the partner's key size. Stateless; safe on any thread.
#pragma once

#include "AccountStore.hpp"

#include <vexaqr/Bytes.hpp>
#include <vexaqr/payload/VXADataTypes.hpp>

#include <cstdint>
#include <string>
#include <variant>

namespace vexaqr::devserver {

struct SealRequest {
    VxaType vxaType = VxaType::SIGNED;
    ContentType contentType = ContentType::JSON;
    Bytes content;
    /// Seconds since 1970-01-01 00:00:00 UTC.
    std::uint32_t timestamp = 0;
};

/// The record bytes, or why it cannot be made (e.g. no uploaded key for a SECURED record).
std::variant<Bytes, std::string> sealMessage(const SealRequest& request, const Partner& partner,
                                             const Registration& installation);

/// Parses "signed", "secured", "encrypted" or "masked" and the colored flag; nothing for other text.
std::optional<VxaType> vxaTypeNamed(const std::string& name, bool colored);

/// Parses "json", "json-zip" or "image".
std::optional<ContentType> contentTypeNamed(const std::string& name);

} // namespace vexaqr::devserver
