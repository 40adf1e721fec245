// ResponseDeserializer: turns a parsed reply into an operation's response record.
#pragma once

#include "account/service/ResponseModelProtocol.hpp"

#include <nlohmann/json.hpp>

#include <concepts>
#include <utility>

namespace vexaqr {

/// A decoder: `responseModel(json)` takes any parsed JSON value (an object is expected) and always returns a
/// record; members that are absent or of the wrong JSON type are left absent. Decoders are stateless.
template <class T>
concept ResponseDeserializer = std::copyable<T> && requires(const T& decoder, const nlohmann::json& json) {
    { decoder.responseModel(json) } -> ResponseModelProtocol;
};

/// The record type that decoder `T` produces.
template <ResponseDeserializer T>
using ResponseModelOf = decltype(std::declval<const T&>().responseModel(std::declval<const nlohmann::json&>()));

} // namespace vexaqr
