#include "FaultSwitches.hpp"

#include "DevServerPaths.hpp"

#include <algorithm>

namespace vexaqr::devserver {

namespace {

bool isPathOrParent(std::string_view prefix, std::string_view path) {
    if (prefix.empty() || !path.starts_with(prefix))
        return false;
    return path.size() == prefix.size() || path[prefix.size()] == '/' || prefix.back() == '/';
}

} // namespace

void FaultSwitches::add(FaultRule rule) {
    std::lock_guard lock(_mutex);
    _rules.push_back(std::move(rule));
}

void FaultSwitches::clear() {
    std::lock_guard lock(_mutex);
    _rules.clear();
}

std::optional<FaultRule> FaultSwitches::take(std::string_view path, bool replacesReply) {
    std::lock_guard lock(_mutex);
    auto rule = std::find_if(_rules.begin(), _rules.end(), [&](const FaultRule& candidate) {
        return candidate.replacesReply() == replacesReply && matches(candidate.endpoint, path);
    });
    if (rule == _rules.end())
        return std::nullopt;
    FaultRule taken = *rule;
    if (rule->times && --*rule->times <= 0)
        _rules.erase(rule);
    return taken;
}

bool FaultSwitches::matches(std::string_view endpoint, std::string_view path) {
    if (isPathOrParent(endpoint, path))
        return true;
    if (!path.starts_with(kClientApiPath))
        return false;
    return isPathOrParent(endpoint, path.substr(kClientApiPath.size()));
}

} // namespace vexaqr::devserver
