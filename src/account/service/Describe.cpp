#include "account/service/Describe.hpp"

#include "account/service/ResultCode.hpp"

#include <nlohmann/json.hpp>

namespace vexaqr::Describe {

namespace {

constexpr const char* kNil = "nil";

std::string quoted(const std::string& text) {
    // Replacing keeps a text with invalid UTF-8 printable instead of failing.
    return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace

std::string record(std::int64_t resultCode, const std::string& furtherLines) {
    const auto result = Constant::Application::resultFromRawValue(resultCode);
    return "(\nresult: " + std::string(Constant::Application::description(result)) +
           "\nresultCode: " + std::to_string(resultCode) + furtherLines + "\n)";
}

std::string optional(const std::optional<std::int64_t>& value) {
    return value ? std::to_string(*value) : kNil;
}

std::string optional(const std::optional<std::string>& value) {
    return value ? quoted(*value) : kNil;
}

std::string optional(const std::optional<std::vector<std::string>>& value) {
    if (!value) {
        return kNil;
    }
    std::string text = "[";
    for (std::size_t i = 0; i < value->size(); ++i) {
        text += (i == 0 ? "" : ", ") + quoted((*value)[i]);
    }
    return text + "]";
}

std::string optional(const std::optional<Bytes>& value) {
    return value ? std::to_string(value->size()) + " bytes" : kNil;
}

} // namespace vexaqr::Describe
