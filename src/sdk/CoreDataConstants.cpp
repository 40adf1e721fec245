#include <vexaqr/sdk/CoreDataConstants.hpp>

#include <array>

namespace vexaqr::Constant::CoreData {

namespace {
constexpr std::array<std::string_view, 4> kAttributeKeys{"appUniqueId", "vexaQrUserId", "userEmailAddress",
                                                         "registrationState"};
} // namespace

std::string_view rawValue(AttributeKey key) {
    return kAttributeKeys[static_cast<std::size_t>(key)];
}

std::optional<AttributeKey> attributeKeyFromRawValue(std::string_view raw) {
    for (std::size_t i = 0; i < kAttributeKeys.size(); ++i)
        if (kAttributeKeys[i] == raw)
            return static_cast<AttributeKey>(i);
    return std::nullopt;
}

} // namespace vexaqr::Constant::CoreData
