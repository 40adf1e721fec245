// Which LT decoder a frame reader runs. Both read the same packets and give the same bytes; they differ
// in how many packets they need and in the work they do per packet. Plain values, usable from any thread.
#pragma once

#include <optional>
#include <string_view>

namespace vexaqr {

enum class LTDecoderKind {
    /// Resolves a source packet only when a combination of degree one appears; cheap, needs more packets.
    peeling,
    /// Peels while that progresses, then solves the rest over GF(2): completes as soon as the received
    /// equations determine every source packet.
    maximumLikelihood,
};

/// The decoder named "peeling" or "ml"; nothing for any other name.
inline std::optional<LTDecoderKind> ltDecoderKindFromName(std::string_view name) {
    if (name == "peeling") {
        return LTDecoderKind::peeling;
    }
    if (name == "ml") {
        return LTDecoderKind::maximumLikelihood;
    }
    return std::nullopt;
}

/// The short name that ltDecoderKindFromName reads back.
inline std::string_view ltDecoderKindName(LTDecoderKind kind) {
    return kind == LTDecoderKind::maximumLikelihood ? "ml" : "peeling";
}

} // namespace vexaqr
