// The pieces of the response records' printed form.
#pragma once

#include <vexaqr/Bytes.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vexaqr::Describe {

/// "(\nresult: <message>\nresultCode: <n>" + `furtherLines` + "\n)".
std::string record(std::int64_t resultCode, const std::string& furtherLines = {});

/// Optional values: the word nil when absent; when present, a number in decimal, a text in double quotes
/// (JSON escapes), a list as ["a", "b"], a byte buffer as its length ("3 bytes").
std::string optional(const std::optional<std::int64_t>& value);
std::string optional(const std::optional<std::string>& value);
std::string optional(const std::optional<std::vector<std::string>>& value);
std::string optional(const std::optional<Bytes>& value);

} // namespace vexaqr::Describe
