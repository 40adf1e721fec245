#include "account/service/ReplyFields.hpp"

#include "account/service/StrictBase64.hpp"

#include "account/service/ConstantJsonKey.hpp"
#include "account/service/ConstantWebService.hpp"

#include <cmath>
#include <limits>

namespace vexaqr::ReplyFields {

namespace {

// Members exist only in an object; any other top-level value has none.
const nlohmann::json* member(const nlohmann::json& reply, std::string_view key) {
    if (!reply.is_object()) {
        return nullptr;
    }
    const auto found = reply.find(key);
    return found == reply.end() ? nullptr : &*found;
}

std::optional<std::int64_t> integralValue(const nlohmann::json& value) {
    if (value.is_number_integer() && value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(number);
    }
    if (value.is_number_integer()) {
        return value.get<std::int64_t>();
    }
    if (value.is_number_float()) {
        const double number = value.get<double>();
        constexpr double kLimit = 9223372036854775808.0; // 2^63
        if (std::isfinite(number) && std::trunc(number) == number && number >= -kLimit && number < kLimit) {
            return static_cast<std::int64_t>(number);
        }
    }
    return std::nullopt;
}

} // namespace

std::int64_t resultCode(const nlohmann::json& reply) {
    return integer(reply, Constant::JsonKey::resultCode).value_or(Constant::WebService::missingResultCode);
}

std::optional<std::int64_t> integer(const nlohmann::json& reply, std::string_view key) {
    const auto* value = member(reply, key);
    return value ? integralValue(*value) : std::nullopt;
}

std::optional<std::string> text(const nlohmann::json& reply, std::string_view key) {
    const auto* value = member(reply, key);
    if (!value || !value->is_string()) {
        return std::nullopt;
    }
    return value->get<std::string>();
}

std::optional<std::vector<std::string>> textList(const nlohmann::json& reply, std::string_view key) {
    const auto* value = member(reply, key);
    if (!value || !value->is_array()) {
        return std::nullopt;
    }
    std::vector<std::string> list;
    list.reserve(value->size());
    for (const auto& element : *value) {
        if (!element.is_string()) {
            return std::nullopt;
        }
        list.push_back(element.get<std::string>());
    }
    return list;
}

std::optional<Bytes> base64Data(const nlohmann::json& reply, std::string_view key) {
    const auto* value = member(reply, key);
    if (!value || !value->is_string()) {
        return std::nullopt;
    }
    return decodeStrictBase64(value->get_ref<const std::string&>());
}

} // namespace vexaqr::ReplyFields
