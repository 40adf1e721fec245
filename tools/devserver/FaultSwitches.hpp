// FaultSwitches: rules that make chosen endpoints misbehave, so that clients can be tested against a
// real backend that fails on purpose.
//
// A rule names an endpoint path and one misbehaviour:
//   - status N:       answer HTTP N with a short JSON body; the request has no effect;
//   - result code N:  answer 200 with {"result": N} only; the request has no effect;
//   - body TEXT:      answer 200 with TEXT as it stands (an empty or non-JSON body); no effect;
//   - drop field F:   carry the request out, then remove member F from the JSON reply.
// The path matches a request path when it is equal to it or to its leading segments, either in full
// ("/api/v1/client/getvxa") or below the client prefix ("/getvxa" also matches "/getvxa/<id>"). A rule
// applies to its next `times` matching requests (or to all of them when `times` is absent), then
// disappears; of several rules for one request the oldest one applies. Thread-safe.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vexaqr::devserver {

struct FaultRule {
    struct Status {
        int status = 500;
    };
    struct ResultCode {
        std::int64_t resultCode = 0;
    };
    struct Body {
        std::string body;
    };
    struct DropField {
        std::string field;
    };
    using Action = std::variant<Status, ResultCode, Body, DropField>;

    std::string endpoint;
    Action action;
    std::optional<int> times;

    /// Whether the rule replaces the handler's answer (all but DropField).
    bool replacesReply() const { return !std::holds_alternative<DropField>(action); }
};

class FaultSwitches {
public:
    void add(FaultRule rule);
    void clear();

    /// The oldest rule for `path` that replaces the reply (or, with `replacesReply` false, that edits
    /// it), counting one use of it; nothing when none applies.
    std::optional<FaultRule> take(std::string_view path, bool replacesReply);

    /// Whether `endpoint` would match `path` (see the header comment).
    static bool matches(std::string_view endpoint, std::string_view path);

private:
    std::mutex _mutex;
    std::vector<FaultRule> _rules;
};

} // namespace vexaqr::devserver
