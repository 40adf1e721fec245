// DatabaseWrapper: the SDK's own vocabulary over the object store: the settings record, the message cache
// and the resets. Forwards to a PersistencyManager; same thread rules.
#pragma once

#include "account/sdk/PersistencyManager.hpp"
#include <vexaqr/Bytes.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vexaqr {

class DatabaseWrapper final {
public:
    explicit DatabaseWrapper(PersistencyManager& manager) : _manager(manager) {}

    /// The settings record (all fields empty when there is none or it cannot be read).
    StoredSettings settings() { return _manager.settings(); }
    /// Write one field of the settings record (nil clears); false when the store did not keep it.
    bool setAppUniqueId(const std::optional<std::string>& appUniqueId) { return _manager.setAppUniqueId(appUniqueId); }
    bool setVexaQrUserId(const std::optional<std::int64_t>& vexaQrUserId) {
        return _manager.setVexaQrUserId(vexaQrUserId);
    }
    bool setUserEmailAddress(const std::optional<std::string>& userEmailAddress) {
        return _manager.setUserEmailAddress(userEmailAddress);
    }
    bool setRegistrationState(const std::optional<std::int64_t>& registrationState) {
        return _manager.setRegistrationState(registrationState);
    }

    /// Appends one message to the cache (absent texts stay empty); nil when the save fails.
    std::optional<CachedVxaMessage> cacheVxaMessage(const std::optional<std::string>& messageId, const Bytes& vxaData,
                                                    const std::optional<std::string>& vxaInfo,
                                                    const std::optional<std::string>& vxaTemplate);

    /// The cached messages in the order they were cached; nil when the fetch fails.
    std::optional<std::vector<CachedVxaMessage>> getCachedVxaMessages();

    /// Replaces the whole cache with `messages`, in order, in one transaction; false (old cache kept)
    /// when any write fails.
    bool replaceVxaMessageCache(const std::vector<CachedVxaMessage>& messages);

    /// A download's messages gathered outside the cache, so that neither memory nor the write lock is held for
    /// them (see PersistencyManager::beginStaging): begin (nil on failure), add (false on failure), then
    /// replace the whole cache with the `count` gathered in one transaction (false keeps the old cache) or
    /// discard them.
    std::optional<std::int64_t> beginVxaMessageStaging();
    bool stageVxaMessage(std::int64_t stagingId, const CachedVxaMessage& message);
    bool replaceVxaMessageCacheWithStaged(std::int64_t stagingId, std::size_t count);
    void discardStagedVxaMessages(std::int64_t stagingId);

    /// The cached messages' row ids in cache order, and one message by row id, for reading large caches one
    /// message at a time; nil when the fetch fails or the row is gone.
    std::optional<std::vector<std::int64_t>> cachedVxaMessageIds();
    std::optional<CachedVxaMessage> cachedVxaMessage(std::int64_t rowId);

    /// resetSettings(), then resetVxaMessageCache().
    void resetDatabase();
    void resetVxaMessageCache();
    void resetSettings();

private:
    PersistencyManager& _manager;
};

} // namespace vexaqr
