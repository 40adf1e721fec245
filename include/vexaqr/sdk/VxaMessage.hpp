// VxaMessage: one server message as the host receives it: the backend's texts, the payload bytes as
// sent and the payload record decoded from them.
//
// A plain value; copy and use it on any thread.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/payload/VXAData.hpp>

#include <optional>
#include <string>

namespace vexaqr {

struct VxaMessage {
    /// The id from the backend's id list, or the cached message id.
    std::optional<std::string> vxaMessageId;
    /// The payload record exactly as the backend sent it (still signed and encrypted).
    std::optional<Bytes> vxaData;
    std::optional<std::string> vxaInfo;
    std::optional<std::string> vxaTemplate;
    /// The record decoded with the stored keys; `isValid` says whether its signature verified.
    std::optional<VXAData> processedVxaData;
};

} // namespace vexaqr
