// The library's error value: a domain, an integer code and a message for people.
#pragma once

#include <cstdint>
#include <string>

namespace vexaqr {

/// Failures are values, never exceptions. `domain` and `code` are what callers compare;
/// `message` is for logs and people and is not part of any contract.
struct Error {
    std::string domain;
    std::int64_t code = 0;
    std::string message;

    /// True when this holds an error: a domain or a non-zero code. A default-made Error holds none; the
    /// message alone does not make one.
    explicit operator bool() const { return !domain.empty() || code != 0; }

    friend bool operator==(const Error& a, const Error& b) { return a.domain == b.domain && a.code == b.code; }
};

} // namespace vexaqr
