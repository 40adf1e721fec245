#include "account/hub/HubRegistrationParser.hpp"

#include "account/hub/NotificationHubHelper.hpp"

#include "account/hub/HubHttpSupport.hpp"
#include "codec/platform/CHandle.hpp"

#include <libxml/xmlreader.h>

#include <climits>
#include <cstdio>
#include <ctime>
#include <string_view>

namespace vexaqr {

namespace {

using XmlReaderPtr = CHandle<xmlTextReader, xmlFreeTextReader>;

// A registration is well under 1 KB in a feed (a few KB with a long body template) and a device has a handful;
// 4 MiB holds a listing of 4,000 registrations of 1 KB each. Larger bodies are refused rather than parsed.
constexpr std::size_t kMaxBodyBytes = 4 * 1024 * 1024;
// No element of a registration feed has more than a few attributes and namespace declarations. libxml2 checks
// an element's attributes for duplicates pair by pair, so their count must stay small before it sees them.
constexpr std::size_t kMaxAttributesPerElement = 16;
// A feed nests six elements deep. libxml2 looks an element's namespace up through every declaration in scope, so
// deep nesting, each level declaring namespaces, would make every element cost thousands of comparisons.
constexpr std::size_t kMaxDepth = 32;

// Skips from `at` past the end marker; npos when the marker never comes (the parser then refuses the body).
std::size_t skipPast(std::string_view xml, std::size_t at, std::string_view end) {
    const auto found = xml.find(end, at);
    return found == std::string_view::npos ? found : found + end.size();
}

// Skips one tag that starts at `at` (its "<"), counting its attributes; npos when it has too many.
std::size_t skipTag(std::string_view xml, std::size_t at) {
    std::size_t attributes = 0;
    char quote = 0;
    for (++at; at < xml.size(); ++at) {
        const char c = xml[at];
        if (quote != 0) {
            quote = c == quote ? 0 : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '=' && ++attributes > kMaxAttributesPerElement) {
            return std::string_view::npos;
        } else if (c == '>' || c == '<') {
            return at; // a "<" here is malformed; the parser says so
        }
    }
    return at;
}

enum class TagKind { start, empty, end };

// The kind of the tag from its "<" at `start` to `end` (its ">").
TagKind tagKind(std::string_view xml, std::size_t start, std::size_t end) {
    if (xml.substr(start).starts_with("</"))
        return TagKind::end;
    return end < xml.size() && xml[end] == '>' && xml[end - 1] == '/' ? TagKind::empty : TagKind::start;
}

// Whether the body has the shape a registration feed can have, checked in one pass before the parser runs: no
// document type declaration (its entities would cost far more than the body's size: 4 MiB of references to one
// entity made 240 MB of nodes), no element with more attributes than a feed's elements have, and no nesting
// deeper than kMaxDepth.
bool hasFeedShape(std::string_view xml) {
    std::size_t depth = 0;
    for (auto at = xml.find('<'); at != std::string_view::npos; at = xml.find('<', at)) {
        const auto rest = xml.substr(at);
        if (rest.starts_with("<!--")) {
            at = skipPast(xml, at + 4, "-->");
        } else if (rest.starts_with("<![CDATA[")) {
            at = skipPast(xml, at + 9, "]]>");
        } else if (rest.starts_with("<?")) {
            at = skipPast(xml, at + 2, "?>");
        } else if (rest.starts_with("<!")) {
            return false; // a document type or another declaration
        } else {
            const auto start = at;
            if ((at = skipTag(xml, at)) == std::string_view::npos)
                return false;
            const TagKind kind = tagKind(xml, start, at);
            if (kind == TagKind::end)
                depth -= depth > 0 ? 1 : 0; // a stray end tag is the parser's to refuse
            else if (depth + 1 > kMaxDepth)
                return false;
            else if (kind == TagKind::start)
                ++depth;
        }
        if (at == std::string_view::npos)
            return true;
    }
    return true;
}

std::string_view localName(xmlTextReader* reader) {
    const xmlChar* name = xmlTextReaderConstLocalName(reader);
    return name ? std::string_view(reinterpret_cast<const char*>(name)) : std::string_view();
}

std::set<std::string> splitTags(const std::string& text) {
    std::set<std::string> tags;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find(',', start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            tags.insert(text.substr(start, end - start));
        start = end + 1;
    }
    return tags;
}

// "yyyy-MM-ddTHH:mm:ss.SSSZ" in UTC; nothing for any other form.
std::optional<std::chrono::system_clock::time_point> parseExpirationTime(const std::string& text) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millis = 0;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ%n", &year, &month, &day, &hour, &minute, &second,
                    &millis, &consumed) != 7 ||
        static_cast<std::size_t>(consumed) != text.size())
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60 || millis < 0)
        return std::nullopt;
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    const std::time_t seconds = timegm(&parts);
    // The hub writes "never" as the year 9999, beyond the clock's range: such times saturate at its end.
    using std::chrono::system_clock;
    constexpr auto kLatest =
        std::chrono::duration_cast<std::chrono::seconds>(system_clock::duration::max()).count() - 1;
    if (seconds >= kLatest)
        return system_clock::time_point::max();
    if (seconds <= -kLatest)
        return system_clock::time_point::min();
    return system_clock::from_time_t(seconds) + std::chrono::milliseconds(millis);
}

void setField(HubRegistration& registration, std::string_view element, const std::string& text) {
    auto* templated = dynamic_cast<HubTemplateRegistration*>(&registration);
    if (element == "ExpirationTime")
        registration.expiresAt = parseExpirationTime(text);
    else if (element == "RegistrationId")
        registration.registrationId = text;
    else if (element == "ETag")
        registration.ETag = text;
    else if (element == "DeviceToken")
        registration.deviceToken = text;
    else if (element == "Tags")
        registration.tags = splitTags(text);
    else if (templated && element == "Expiry")
        templated->expiry = text;
    else if (templated && element == "BodyTemplate")
        templated->bodyTemplate = text;
    else if (templated && element == "TemplateName")
        templated->templateName = text;
}

class Reading {
public:
    explicit Reading(xmlTextReader* reader) : _reader(reader) {
        xmlTextReaderSetStructuredErrorHandler(_reader, noteError, &_failed);
    }

    // Reads to the end of the document (or its "feed"); false when the XML is not well-formed or not
    // namespace-well-formed. libxml2 goes on after an error such as an undeclared prefix, formatting a message for
    // every element that repeats it: reading stops at the first.
    bool run() {
        int status = 0;
        while ((status = xmlTextReaderRead(_reader)) == 1 && !_failed) {
            if (!handleNode())
                return true;
        }
        return status == 0 && !_failed;
    }

    HubRegistrationParser::Registrations take() { return std::move(_registrations); }

private:
    // Returns false when the document is complete.
    bool handleNode() {
        switch (xmlTextReaderNodeType(_reader)) {
        case XML_READER_TYPE_ELEMENT:
            startElement();
            if (xmlTextReaderIsEmptyElement(_reader) == 1)
                return endElement();
            return true;
        case XML_READER_TYPE_TEXT:
        case XML_READER_TYPE_CDATA:
        case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
            appendText();
            return true;
        case XML_READER_TYPE_END_ELEMENT:
            return endElement();
        default:
            return true;
        }
    }

    void startElement() {
        const auto name = localName(_reader);
        _text.clear();
        if (name == "AppleRegistrationDescription")
            _current = std::make_shared<HubRegistration>();
        else if (name == "AppleTemplateRegistrationDescription")
            _current = std::make_shared<HubTemplateRegistration>();
    }

    void appendText() {
        const xmlChar* value = xmlTextReaderConstValue(_reader);
        if (value)
            _text += reinterpret_cast<const char*>(value);
    }

    bool endElement() {
        const auto name = localName(_reader);
        if (name == "feed")
            return false;
        if (name == "AppleRegistrationDescription" || name == "AppleTemplateRegistrationDescription") {
            if (_current)
                _registrations.push_back(std::move(_current));
            _current.reset();
        } else if (_current) {
            setField(*_current, name, _text);
        }
        _text.clear();
        return true;
    }

    static void noteError(void* failed, xmlErrorPtr error) {
        if (error && error->level >= XML_ERR_ERROR)
            *static_cast<bool*>(failed) = true;
    }

    xmlTextReader* _reader;
    bool _failed = false;
    std::shared_ptr<HubRegistration> _current;
    std::string _text;
    HubRegistrationParser::Registrations _registrations;
};

} // namespace

Outcome<HubRegistrationParser::Registrations, Error> HubRegistrationParser::parseRegistrations(const Bytes& body) {
    const auto fail = [&] {
        return NotificationHubHelper::errorWithMsg("Fail to parse registration:" + hub::bodyExcerpt(body), -1);
    };
    if (body.empty() || body.size() > kMaxBodyBytes ||
        !hasFeedShape(std::string_view(reinterpret_cast<const char*>(body.data()), body.size())))
        return fail();
    // No entity substitution, no DTD loading, no network: a reply cannot make the parser fetch or expand anything.
    XmlReaderPtr reader(xmlReaderForMemory(reinterpret_cast<const char*>(body.data()), static_cast<int>(body.size()),
                                           nullptr, nullptr,
                                           XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (!reader)
        return fail();
    Reading reading(reader.get());
    if (!reading.run())
        return fail();
    return reading.take();
}

} // namespace vexaqr
