#include "account/service/ReplyJson.hpp"

#include <algorithm>
#include <string>

namespace vexaqr {

namespace {

// Counts what a parse would build and stops the pass as soon as a bound is crossed.
class ShapeCheck {
public:
    explicit ShapeCheck(JsonShapeLimits limits) : _limits(limits) {}

    bool null() { return countValue(); }
    bool boolean(bool) { return countValue(); }
    bool number_integer(nlohmann::json::number_integer_t) { return countValue(); }
    bool number_unsigned(nlohmann::json::number_unsigned_t) { return countValue(); }
    bool number_float(nlohmann::json::number_float_t, const std::string&) { return countValue(); }
    bool string(std::string&) { return countValue(); }
    bool binary(nlohmann::json::binary_t&) { return countValue(); }
    bool key(std::string&) { return countValue(); }
    bool start_object(std::size_t) { return enter(); }
    bool start_array(std::size_t) { return enter(); }
    bool end_object() { return leave(); }
    bool end_array() { return leave(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::json::exception&) { return false; }

private:
    bool countValue() { return ++_values <= _limits.maxValues; }
    bool enter() { return countValue() && ++_depth <= _limits.maxDepth; }
    bool leave() {
        --_depth;
        return true;
    }

    JsonShapeLimits _limits;
    std::size_t _values = 0;
    std::size_t _depth = 0;
};

bool hasAcceptableShape(const Bytes& body, JsonShapeLimits limits) {
    ShapeCheck check(limits);
    return nlohmann::json::sax_parse(body.begin(), body.end(), &check);
}

} // namespace

std::optional<nlohmann::json> parseReplyJson(const Bytes& body, JsonShapeLimits limits) {
    if (std::find(body.begin(), body.end(), std::uint8_t{0}) != body.end() || !hasAcceptableShape(body, limits)) {
        return std::nullopt;
    }
    auto json = nlohmann::json::parse(body.begin(), body.end(), nullptr, false);
    if (json.is_discarded()) {
        return std::nullopt;
    }
    return json;
}

} // namespace vexaqr
