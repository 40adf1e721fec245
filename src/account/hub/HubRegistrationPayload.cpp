#include "account/hub/HubRegistrationPayload.hpp"

#include "account/hub/NotificationHubHelper.hpp"
#include <vexaqr/hub/NotificationHub.hpp>

#include <initializer_list>
#include <string_view>

namespace vexaqr::hub {

namespace {

// Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) about `"<" + std::string(...)` chains.
std::string joined(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (const auto part : parts)
        text.append(part);
    return text;
}

std::string openEntry(std::string_view description) {
    return joined({"<entry xmlns=\"http://www.w3.org/2005/Atom\"><content type=\"text/xml\"><", description,
                   " xmlns:i=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns=\"", kHubRegistrationNamespace,
                   "\">"});
}

std::string closeEntry(std::string_view description) {
    return joined({"</", description, "></content></entry>"});
}

std::string element(std::string_view name, const std::string& escapedText) {
    return joined({"<", name, ">", escapedText, "</", name, ">"});
}

std::string tagsAndToken(const std::string& deviceToken, const std::set<std::string>& tags) {
    std::string text;
    if (!tags.empty())
        text += element("Tags", escapeXml(NotificationHubHelper::convertTagSetToString(tags)));
    return text + element("DeviceToken", escapeXml(deviceToken));
}

} // namespace

std::string payloadWithDeviceToken(const std::string& deviceToken, const std::set<std::string>& tags) {
    constexpr std::string_view kDescription = "AppleRegistrationDescription";
    return openEntry(kDescription) + tagsAndToken(deviceToken, tags) + closeEntry(kDescription);
}

std::string templatePayloadWithDeviceToken(const std::string& deviceToken, const std::set<std::string>& tags,
                                           const std::string& bodyTemplate, const std::string& expiry,
                                           const std::string& priority, const std::string& templateName) {
    constexpr std::string_view kDescription = "AppleTemplateRegistrationDescription";
    std::string text = openEntry(kDescription) + tagsAndToken(deviceToken, tags);
    text += element("BodyTemplate", cdata(bodyTemplate));
    if (!expiry.empty())
        text += element("Expiry", escapeXml(expiry));
    if (!priority.empty())
        text += element("Priority", escapeXml(priority));
    text += element("TemplateName", escapeXml(templateName));
    return text + closeEntry(kDescription);
}

std::string escapeXml(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        case '\'':
            escaped += "&apos;";
            break;
        default:
            escaped.push_back(c);
        }
    }
    return escaped;
}

std::string cdata(const std::string& text) {
    std::string sections = "<![CDATA[";
    std::size_t start = 0;
    for (auto at = text.find("]]>"); at != std::string::npos; at = text.find("]]>", start)) {
        // Close after "]]" and reopen before ">", so the reader joins the pieces back into the original text.
        sections += text.substr(start, at + 2 - start) + "]]><![CDATA[";
        start = at + 2;
    }
    return sections + text.substr(start) + "]]>";
}

} // namespace vexaqr::hub
