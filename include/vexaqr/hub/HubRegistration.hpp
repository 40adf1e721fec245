// HubRegistration and HubTemplateRegistration: one registration as the hub describes it.
//
// Plain values; no thread rules beyond those of any value.
#pragma once

#include <chrono>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace vexaqr {

/// A native registration: binds a device token (and tags) to the hub. Its name is always "$Default".
class HubRegistration {
public:
    static constexpr std::string_view kDefaultName = "$Default";

    virtual ~HubRegistration() = default;

    /// The name the local store keeps this registration under.
    virtual std::string Name() const { return std::string(kDefaultName); }
    virtual bool isTemplate() const { return false; }

    std::string ETag;
    /// Absent when the hub sent no (readable) expiration time.
    std::optional<std::chrono::system_clock::time_point> expiresAt;
    std::set<std::string> tags;
    std::string deviceToken;
    std::string registrationId;
};

/// A template registration: the hub renders `bodyTemplate` for this device. Its name is its template name.
class HubTemplateRegistration final : public HubRegistration {
public:
    std::string Name() const override { return templateName; }
    bool isTemplate() const override { return true; }

    std::string bodyTemplate;
    std::string expiry;
    std::string templateName;
};

} // namespace vexaqr
