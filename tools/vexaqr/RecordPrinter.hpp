// How the commands show a payload record: every field as "name: value" lines, or one JSON object whose
// member names are the record's property names.
#pragma once

#include <vexaqr/payload/VXAData.hpp>

#include <nlohmann/json.hpp>

#include <ostream>

namespace vexaqr::cli {

/// Whether the record's AES content key is printed. Hidden unless the user asks (--show-secrets): whoever
/// holds it can read the content of every copy of the record.
enum class Secrets { hidden, shown };

inline Secrets secretsFor(bool show) {
    return show ? Secrets::shown : Secrets::hidden;
}

/// The text that stands for a hidden secret.
inline constexpr const char* kHiddenSecret = "(hidden; --show-secrets shows it)";

/// Every property; absent ones are null, bytes are lower-case hexadecimal, the date ISO 8601 UTC; a hidden
/// key is null.
nlohmann::json recordJson(const VXAData& data, Secrets secrets = Secrets::hidden);

/// The header cases, issuer, date, signature and (when shown) key in hexadecimal, content lengths, isValid
/// and the verification status with its explanation.
void printRecordText(const VXAData& data, std::ostream& out, Secrets secrets = Secrets::hidden);

} // namespace vexaqr::cli
