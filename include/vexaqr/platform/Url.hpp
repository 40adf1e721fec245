// Url: an address text that has been checked to be a well-formed absolute URL.
//
// The text is kept exactly as given (no normalisation, no percent-encoding), so that addresses built by
// concatenation reach the wire verbatim.
#pragma once

#include <optional>
#include <string>

namespace vexaqr {

class Url final {
public:
    /// The URL for `text`, or nothing when `text` is not a well-formed absolute URL: it needs a scheme and a
    /// host and may contain only printable ASCII characters that are allowed in URLs ("%" only as an escape).
    static std::optional<Url> fromString(std::string text);

    const std::string& absoluteString() const { return _text; }

    friend bool operator==(const Url& a, const Url& b) = default;

private:
    explicit Url(std::string text) : _text(std::move(text)) {}

    std::string _text;
};

} // namespace vexaqr
