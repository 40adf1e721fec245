// Parsing a backend reply body into a JSON value without letting the reply decide how much is built.
//
// A reply is outside bytes: before anything is built, one allocation-free pass checks how deep the value nests
// and how many values and member names it holds. Stateless; callable from any thread.
#pragma once

#include <vexaqr/Bytes.hpp>

#include <nlohmann/json.hpp>

#include <cstddef>
#include <optional>

namespace vexaqr {

/// How much parsing one reply may build. Legitimate replies are one object with a few members, at most a list of
/// message ids; the value count is what bounds memory (every nesting level is a value too), the depth keeps any
/// recursive walk over a reply shallow.
struct JsonShapeLimits {
    std::size_t maxDepth = 512;      // nested objects and arrays
    std::size_t maxValues = 100'000; // values and member names together
};

/// The body as any JSON value, or nothing when it is not JSON text, holds a zero byte (which the parser would
/// take as the end of the input) or exceeds `limits`.
std::optional<nlohmann::json> parseReplyJson(const Bytes& body, JsonShapeLimits limits = {});

} // namespace vexaqr
