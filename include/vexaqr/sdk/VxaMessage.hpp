// VxaMessage: one server message as the host receives it: the backend's texts, the payload bytes as
// sent and the payload record decoded from them; and the shapes in which a list of them is handed over.
//
// A plain value; copy and use it on any thread.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/Error.hpp>
#include <vexaqr/payload/VXAData.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

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

/// The raw result code (0 success, -1 unknown, else the backend's), the messages and an error.
using VexaQrMessagesCompletion =
    std::function<void(std::int64_t, std::optional<std::vector<VxaMessage>>, std::optional<Error>)>;

/// One message of an answer, handed over as it is read; the workflow keeps no copy.
using VexaQrMessageVisitor = std::function<void(VxaMessage)>;
/// The end of an answer: the raw result code, whether there was a list (false when the cache cannot be read
/// or a key is missing: then no message was visited) and an error.
using VexaQrMessagesEnd = std::function<void(std::int64_t, bool, std::optional<Error>)>;

} // namespace vexaqr
