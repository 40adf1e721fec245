#include "RecordPrinter.hpp"

#include "PayloadFiles.hpp"

#include <ctime>
#include <string>

namespace vexaqr::cli {

namespace {

std::string isoDate(std::chrono::system_clock::time_point date) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(date);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

template <class T, class F> nlohmann::json optionalJson(const std::optional<T>& value, F convert) {
    return value ? nlohmann::json(convert(*value)) : nlohmann::json(nullptr);
}

} // namespace

nlohmann::json recordJson(const VXAData& data, Secrets secrets) {
    auto hex = [](const Bytes& bytes) { return hexString(bytes); };
    auto same = [](const auto& value) { return value; };
    auto enumName = [](auto value) { return std::string(name(value)); };
    return {
        {"rawBase64String", optionalJson(data.rawBase64String(), same)},
        {"rawData", optionalJson(data.rawData(), hex)},
        {"presentableData", optionalJson(data.presentableData, hex)},
        {"contentType", optionalJson(data.contentType, enumName)},
        {"vxaType", optionalJson(data.vxaType, enumName)},
        {"cipherMethod", optionalJson(data.cipherMethod, enumName)},
        {"issuerId", optionalJson(data.issuerId, same)},
        {"issuerBytes", optionalJson(data.issuerBytes, hex)},
        {"signature", optionalJson(data.signature, hex)},
        {"aesKey", secrets == Secrets::shown ? optionalJson(data.aesKey, hex) : nlohmann::json(nullptr)},
        {"unixTimeStamp", optionalJson(data.unixTimeStamp, same)},
        {"date", optionalJson(data.date, isoDate)},
        {"actualVxaData", optionalJson(data.actualVxaData, hex)},
        {"isValid", data.isValid()},
        {"verificationStatus", std::string(name(data.verificationStatus()))},
    };
}

void printRecordText(const VXAData& data, std::ostream& out, Secrets secrets) {
    auto field = [&out](const char* label, const std::string& value) { out << label << ": " << value << "\n"; };
    auto orNone = [](const auto& optional, auto convert) {
        return optional ? convert(*optional) : std::string("(none)");
    };
    auto hex = [](const Bytes& bytes) { return hexString(bytes); };
    auto hidden = [](const Bytes&) { return std::string(kHiddenSecret); };
    auto length = [](const Bytes& bytes) { return std::to_string(bytes.size()) + " bytes"; };
    auto enumName = [](auto value) { return std::string(name(value)); };
    field("contentType", orNone(data.contentType, enumName));
    field("vxaType", orNone(data.vxaType, enumName));
    field("cipherMethod", orNone(data.cipherMethod, enumName));
    field("issuerId", data.issuerId.value_or("(none)"));
    field("date", orNone(data.date, isoDate));
    field("signature", orNone(data.signature, hex));
    field("aesKey", secrets == Secrets::shown ? orNone(data.aesKey, hex) : orNone(data.aesKey, hidden));
    field("actualVxaData", orNone(data.actualVxaData, length));
    field("presentableData", orNone(data.presentableData, length));
    field("isValid", data.isValid() ? "true" : "false");
    field("verificationStatus",
          std::string(name(data.verificationStatus())) + " (" + std::string(describe(data.verificationStatus())) + ")");
}

} // namespace vexaqr::cli
