#include "account/sdk/DatabaseWrapper.hpp"

namespace vexaqr {

std::optional<CachedVxaMessage> DatabaseWrapper::cacheVxaMessage(const std::optional<std::string>& messageId,
                                                                 const Bytes& vxaData,
                                                                 const std::optional<std::string>& vxaInfo,
                                                                 const std::optional<std::string>& vxaTemplate) {
    return _manager.saveNewMessage({vxaData, vxaInfo, vxaTemplate, messageId});
}

std::optional<std::vector<CachedVxaMessage>> DatabaseWrapper::getCachedVxaMessages() {
    return _manager.getAllMessages();
}

bool DatabaseWrapper::replaceVxaMessageCache(const std::vector<CachedVxaMessage>& messages) {
    return _manager.replaceAllMessages(messages);
}

std::optional<std::int64_t> DatabaseWrapper::beginVxaMessageStaging() {
    return _manager.beginStaging();
}

bool DatabaseWrapper::stageVxaMessage(std::int64_t stagingId, const CachedVxaMessage& message) {
    return _manager.stageMessage(stagingId, message);
}

bool DatabaseWrapper::replaceVxaMessageCacheWithStaged(std::int64_t stagingId, std::size_t count) {
    return _manager.replaceAllMessagesWithStaged(stagingId, count);
}

void DatabaseWrapper::discardStagedVxaMessages(std::int64_t stagingId) {
    _manager.discardStaged(stagingId);
}

std::optional<std::vector<std::int64_t>> DatabaseWrapper::cachedVxaMessageIds() {
    return _manager.messageIds();
}

std::optional<CachedVxaMessage> DatabaseWrapper::cachedVxaMessage(std::int64_t rowId) {
    return _manager.message(rowId);
}

void DatabaseWrapper::resetDatabase() {
    resetSettings();
    resetVxaMessageCache();
}

void DatabaseWrapper::resetVxaMessageCache() {
    _manager.deleteAllMessages();
}

void DatabaseWrapper::resetSettings() {
    _manager.deleteSettings();
}

} // namespace vexaqr
