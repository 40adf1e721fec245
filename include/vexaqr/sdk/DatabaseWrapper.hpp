// DatabaseWrapper: the SDK's own vocabulary over the object store: settings by attribute key, the
// message cache and the resets. Forwards to a PersistencyManager; same thread rules.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/sdk/CoreDataConstants.hpp>
#include <vexaqr/sdk/PersistencyManager.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vexaqr {

/// One cached server message: its payload bytes exactly as the backend sent them.
struct CachedVxaMessage {
    std::optional<Bytes> vxaData;
    std::optional<std::string> vxaInfo;
    std::optional<std::string> vxaTemplate;
    std::optional<std::string> messageId;
};

class DatabaseWrapper final {
public:
    /// The process-wide wrapper over PersistencyManager::shared().
    static DatabaseWrapper& standard();

    explicit DatabaseWrapper(PersistencyManager& manager) : _manager(manager) {}

    std::optional<StoredValue> value(Constant::CoreData::AttributeKey key);
    bool set(const std::optional<StoredValue>& value, Constant::CoreData::AttributeKey key);

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
