#include <vexaqr/sync/Failure.hpp>

namespace vexaqr {

std::string_view name(FailureReason reason) {
    switch (reason) {
    case FailureReason::noKey:
        return "noKey";
    case FailureReason::wrongKey:
        return "wrongKey";
    case FailureReason::signatureMismatch:
        return "signatureMismatch";
    case FailureReason::unreadableKey:
        return "unreadableKey";
    case FailureReason::unreadableKeyBlock:
        return "unreadableKeyBlock";
    case FailureReason::unreadableRecord:
        return "unreadableRecord";
    case FailureReason::notSigned:
        return "notSigned";
    case FailureReason::incompleteTransfer:
        return "incompleteTransfer";
    case FailureReason::unreadablePicture:
        return "unreadablePicture";
    case FailureReason::unsendableData:
        return "unsendableData";
    case FailureReason::cannotWrite:
        return "cannotWrite";
    case FailureReason::invalidOptions:
        return "invalidOptions";
    case FailureReason::notRegistered:
        return "notRegistered";
    case FailureReason::backendRefused:
        return "backendRefused";
    case FailureReason::backendUnreachable:
        return "backendUnreachable";
    case FailureReason::timedOut:
        return "timedOut";
    }
    return "";
}

} // namespace vexaqr
