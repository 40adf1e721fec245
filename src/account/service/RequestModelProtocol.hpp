// RequestModelProtocol: what every backend request record offers, its JSON object.
#pragma once

#include <nlohmann/json.hpp>

#include <concepts>

namespace vexaqr {

/// A request record: `toJsonDictionary()` returns the request body as a JSON object whose members are texts
/// or booleans.
template <class T>
concept RequestModelProtocol = requires(const T& model) {
    { model.toJsonDictionary() } -> std::convertible_to<nlohmann::json>;
};

} // namespace vexaqr
