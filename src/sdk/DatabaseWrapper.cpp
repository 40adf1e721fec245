#include <vexaqr/sdk/DatabaseWrapper.hpp>

namespace vexaqr {

namespace {

const std::string kMessageEntity(Constant::CoreData::EntityName::vxaMessage);

template <class T> std::optional<T> attribute(const StoredObject& object, const std::string& key) {
    auto found = object.values.find(key);
    if (found == object.values.end() || !found->second)
        return std::nullopt;
    if (auto* value = std::get_if<T>(&*found->second))
        return *value;
    return std::nullopt;
}

CachedVxaMessage toMessage(const StoredObject& object) {
    return {attribute<Bytes>(object, "vxaData"), attribute<std::string>(object, "vxaInfo"),
            attribute<std::string>(object, "vxaTemplate"), attribute<std::string>(object, "messageId")};
}

// Only what is present is written; an absent text stays an empty attribute.
StoredValues messageValues(const std::optional<std::string>& messageId, const Bytes& vxaData,
                           const std::optional<std::string>& vxaInfo, const std::optional<std::string>& vxaTemplate) {
    StoredValues values{{"vxaData", vxaData}};
    if (messageId)
        values["messageId"] = *messageId;
    if (vxaInfo)
        values["vxaInfo"] = *vxaInfo;
    if (vxaTemplate)
        values["vxaTemplate"] = *vxaTemplate;
    return values;
}

} // namespace

DatabaseWrapper& DatabaseWrapper::standard() {
    static auto* instance = new DatabaseWrapper(PersistencyManager::shared()); // never destroyed
    return *instance;
}

std::optional<StoredValue> DatabaseWrapper::value(Constant::CoreData::AttributeKey key) {
    return _manager.value(std::string(Constant::CoreData::rawValue(key)));
}

bool DatabaseWrapper::set(const std::optional<StoredValue>& value, Constant::CoreData::AttributeKey key) {
    return _manager.set(value, std::string(Constant::CoreData::rawValue(key)));
}

std::optional<CachedVxaMessage> DatabaseWrapper::cacheVxaMessage(const std::optional<std::string>& messageId,
                                                                 const Bytes& vxaData,
                                                                 const std::optional<std::string>& vxaInfo,
                                                                 const std::optional<std::string>& vxaTemplate) {
    auto saved = _manager.saveNewEntity(kMessageEntity, messageValues(messageId, vxaData, vxaInfo, vxaTemplate));
    if (!saved || saved->entityName != kMessageEntity)
        return std::nullopt;
    return toMessage(*saved);
}

std::optional<std::vector<CachedVxaMessage>> DatabaseWrapper::getCachedVxaMessages() {
    auto objects = _manager.getAllEntities(kMessageEntity);
    if (!objects)
        return std::nullopt;
    std::vector<CachedVxaMessage> messages;
    for (const auto& object : *objects)
        if (object.entityName == kMessageEntity)
            messages.push_back(toMessage(object));
    return messages;
}

bool DatabaseWrapper::replaceVxaMessageCache(const std::vector<CachedVxaMessage>& messages) {
    std::vector<StoredValues> objects;
    objects.reserve(messages.size());
    for (const auto& message : messages)
        objects.push_back(
            messageValues(message.messageId, message.vxaData.value_or(Bytes{}), message.vxaInfo, message.vxaTemplate));
    return _manager.replaceAllEntities(kMessageEntity, objects);
}

std::optional<std::int64_t> DatabaseWrapper::beginVxaMessageStaging() {
    return _manager.beginStaging(kMessageEntity);
}

bool DatabaseWrapper::stageVxaMessage(std::int64_t stagingId, const CachedVxaMessage& message) {
    return _manager.stageEntity(
        stagingId, kMessageEntity,
        messageValues(message.messageId, message.vxaData.value_or(Bytes{}), message.vxaInfo, message.vxaTemplate));
}

bool DatabaseWrapper::replaceVxaMessageCacheWithStaged(std::int64_t stagingId, std::size_t count) {
    return _manager.replaceAllEntitiesWithStaged(stagingId, kMessageEntity, count);
}

void DatabaseWrapper::discardStagedVxaMessages(std::int64_t stagingId) {
    _manager.discardStaged(stagingId, kMessageEntity);
}

std::optional<std::vector<std::int64_t>> DatabaseWrapper::cachedVxaMessageIds() {
    return _manager.entityIds(kMessageEntity);
}

std::optional<CachedVxaMessage> DatabaseWrapper::cachedVxaMessage(std::int64_t rowId) {
    auto object = _manager.entity(kMessageEntity, rowId);
    if (!object)
        return std::nullopt;
    return toMessage(*object);
}

void DatabaseWrapper::resetDatabase() {
    resetSettings();
    resetVxaMessageCache();
}

void DatabaseWrapper::resetVxaMessageCache() {
    _manager.deleteAllEntities(kMessageEntity);
}

void DatabaseWrapper::resetSettings() {
    _manager.deleteAllEntities(std::string(Constant::CoreData::EntityName::sdkData));
}

} // namespace vexaqr
