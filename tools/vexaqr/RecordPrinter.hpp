// How the commands show a payload record: every field as "name: value" lines, or one JSON object whose
// member names are the record's property names.
#pragma once

#include <vexaqr/payload/VXAData.hpp>

#include <nlohmann/json.hpp>

#include <ostream>

namespace vexaqr::cli {

/// Every property; absent ones are null, bytes are lower-case hexadecimal, the date ISO 8601 UTC.
nlohmann::json recordJson(const VXAData& data);

/// The header cases, issuer, date, signature and key in hexadecimal, content lengths, isValid and
/// the verification status with its explanation.
void printRecordText(const VXAData& data, std::ostream& out);

} // namespace vexaqr::cli
