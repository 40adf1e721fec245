// Reading reply members with the decoders' type rules: a member of the wrong JSON type counts as absent.
#pragma once

#include <vexaqr/Bytes.hpp>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexaqr::ReplyFields {

/// "result" when it is a JSON number with an integral value that fits 64 bits; otherwise missingResultCode.
std::int64_t resultCode(const nlohmann::json& reply);

/// The member when it is a JSON number with an integral value that fits 64 bits (17 and 17.0, not "17").
std::optional<std::int64_t> integer(const nlohmann::json& reply, std::string_view key);

/// The member when it is a JSON string, untrimmed.
std::optional<std::string> text(const nlohmann::json& reply, std::string_view key);

/// The member when it is a JSON array of strings only, in array order.
std::optional<std::vector<std::string>> textList(const nlohmann::json& reply, std::string_view key);

/// The bytes of a JSON string member in strict base-64; absent when it is not a string or does not decode.
std::optional<Bytes> base64Data(const nlohmann::json& reply, std::string_view key);

} // namespace vexaqr::ReplyFields
