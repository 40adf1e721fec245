// The XML bodies the hub client sends: an entry holding one native or template registration description.
//
// Stateless; any thread. Every text is escaped for XML, so tags or names cannot change the document's shape.
#pragma once

#include <set>
#include <string>

namespace vexaqr::hub {

/// The native registration body for a device token text and its tags (no Tags element without tags).
std::string payloadWithDeviceToken(const std::string& deviceToken, const std::set<std::string>& tags);

/// The template registration body; an empty `expiry` or `priority` is left out.
std::string templatePayloadWithDeviceToken(const std::string& deviceToken, const std::set<std::string>& tags,
                                           const std::string& bodyTemplate, const std::string& expiry,
                                           const std::string& priority, const std::string& templateName);

/// `text` with "&", "<", ">", '"' and "'" written as character references.
std::string escapeXml(const std::string& text);

/// `text` as one or more CDATA sections; a "]]>" inside is split across two sections.
std::string cdata(const std::string& text);

} // namespace vexaqr::hub
