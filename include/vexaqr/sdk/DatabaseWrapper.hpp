// DatabaseWrapper: the SDK's own vocabulary over the object store: settings by attribute key, the
// message cache and the resets. Forwards to a PersistencyManager; same thread rules.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/sdk/CoreDataConstants.hpp>
#include <vexaqr/sdk/PersistencyManager.hpp>

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

    /// resetSettings(), then resetVxaMessageCache().
    void resetDatabase();
    void resetVxaMessageCache();
    void resetSettings();

private:
    PersistencyManager& _manager;
};

} // namespace vexaqr
