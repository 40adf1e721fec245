#include <vexaqr/sdk/VexaQrMessageWorkflow.hpp>

#include <vexaqr/sdk/AppDataService.hpp>
#include <vexaqr/sdk/DatabaseWrapper.hpp>
#include <vexaqr/service/ResultCode.hpp>

namespace vexaqr {

namespace {

constexpr std::int64_t kSuccess =
    Constant::Application::rawValue(Constant::Application::ResultCode::successfulOperation);
constexpr std::int64_t kUnknown = Constant::Application::rawValue(Constant::Application::ResultCode::unknownResultCode);

CachedVxaMessage toCached(const VxaMessage& message) {
    return {message.vxaData, message.vxaInfo, message.vxaTemplate, message.vxaMessageId};
}

} // namespace

// Shared by the chain of answers so that each step moves on without copying what came before.
struct VexaQrMessageWorkflow::DecodingKeys {
    KeyHandle clientPrivateKey;
    KeyHandle partnerPublicKey;
    KeyHandle partnerPrivateKey; // may be null
};

struct VexaQrMessageWorkflow::Download {
    std::vector<std::string> ids;
    std::size_t next = 0;
    std::vector<VxaMessage> results;
    std::optional<DecodingKeys> keys; // read from the key store once, at the first answer
    VexaQrMessagesCompletion completion;
};

VexaQrMessageWorkflow::VexaQrMessageWorkflow(std::shared_ptr<AppDataServiceProtocol> appDataService,
                                             DatabaseWrapper& database, WebServiceEnvironment environment)
    : _appDataService(std::move(appDataService)), _database(database), _environment(std::move(environment)) {}

void VexaQrMessageWorkflow::getVexaQrMessageList(const VexaQrMessageIdList::ViewModel& /*viewModel*/,
                                                 VexaQrMessagesCompletion completion) {
    getVexaQrMessageIdList(std::move(completion));
}

void VexaQrMessageWorkflow::getVexaQrMessageIdList(VexaQrMessagesCompletion completion) {
    auto appUniqueId = _appDataService->getAppUniqueId();
    if (!appUniqueId)
        return completion(kUnknown, cachedMessages(), std::nullopt);
    vexaQrMessageIdListService()->getVexaQrMessageIdList(
        {appUniqueId->uuidString()},
        [weakSelf = weak_from_this(), completion](std::optional<VexaQrMessageIdList::ResponseModel> response,
                                                  std::optional<Error> error) {
            auto self = weakSelf.lock();
            if (!self)
                return;
            if (!response)
                return completion(kUnknown, self->cachedMessages(), error);
            if (response->resultCode != kSuccess)
                return completion(response->resultCode, self->cachedMessages(), error);
            self->processMessageIdList(response->vxaMessageIdList, completion);
        });
}

void VexaQrMessageWorkflow::processMessageIdList(const std::optional<std::vector<std::string>>& idList,
                                                 VexaQrMessagesCompletion completion) {
    if (!idList || idList->empty()) // nothing on the backend is no reason to forget the cache
        return completion(kSuccess, std::vector<VxaMessage>{}, std::nullopt);
    auto download = std::make_shared<Download>();
    download->ids = *idList;
    download->results.reserve(idList->size());
    download->completion = std::move(completion);
    getVexaQrMessagesRecursively(std::move(download));
}

void VexaQrMessageWorkflow::getVexaQrMessagesRecursively(std::shared_ptr<Download> download) {
    auto appUniqueId = _appDataService->getAppUniqueId();
    if (!appUniqueId)
        return download->completion(kUnknown, cachedMessages(), std::nullopt);
    if (download->next == download->ids.size()) {
        cacheMessages(download->results);
        return download->completion(kSuccess, std::move(download->results), std::nullopt);
    }
    const std::string& messageId = download->ids[download->next];
    vexaQrMessageService()->getVexaQrMessage(
        {appUniqueId->uuidString(), messageId},
        [weakSelf = weak_from_this(), download](std::optional<VexaQrMessage::ResponseModel> response,
                                                std::optional<Error> error) {
            if (auto self = weakSelf.lock())
                self->handleMessage(download, response, error);
        });
}

void VexaQrMessageWorkflow::handleMessage(std::shared_ptr<Download> download,
                                          const std::optional<VexaQrMessage::ResponseModel>& response,
                                          const std::optional<Error>& error) {
    if (response && response->vxaData && !download->keys)
        download->keys = decodingKeys();
    auto processed = response && response->vxaData && download->keys
                         ? std::optional<VXAData>(std::in_place, *response->vxaData, download->keys->clientPrivateKey,
                                                  download->keys->partnerPublicKey, download->keys->partnerPrivateKey)
                         : std::nullopt;
    if (!processed) // the whole download is abandoned: a partial list must not replace the cache
        return download->completion(response ? response->resultCode : kUnknown, cachedMessages(), error);
    const std::string& messageId = download->ids[download->next++];
    if (processed->isValid)
        download->results.push_back(
            {messageId, response->vxaData, response->vxaInfo, response->vxaTemplate, std::move(*processed)});
    getVexaQrMessagesRecursively(std::move(download));
}

// Nothing when a key needed for decoding is missing.
std::optional<VexaQrMessageWorkflow::DecodingKeys> VexaQrMessageWorkflow::decodingKeys() {
    KeyHandle clientPrivateKey = _appDataService->getClientPrivateKey();
    KeyHandle partnerPublicKey = clientPrivateKey ? _appDataService->getPartnerPublicKey() : nullptr;
    if (!partnerPublicKey)
        return std::nullopt;
    return DecodingKeys{clientPrivateKey, partnerPublicKey, _appDataService->getPartnerPrivateKey()};
}

void VexaQrMessageWorkflow::cacheMessages(const std::vector<VxaMessage>& messages) {
    std::vector<CachedVxaMessage> rows;
    rows.reserve(messages.size());
    for (const auto& message : messages)
        if (message.vxaData)
            rows.push_back(toCached(message));
    _database.replaceVxaMessageCache(rows); // a failure keeps the old cache whole and is logged below
}

std::optional<std::vector<VxaMessage>> VexaQrMessageWorkflow::cachedMessages() {
    auto rows = _database.getCachedVxaMessages();
    if (!rows)
        return std::nullopt;
    auto keys = decodingKeys();
    if (!keys)
        return std::nullopt;
    std::vector<VxaMessage> messages;
    for (auto& row : *rows) {
        if (!row.vxaData)
            continue;
        VXAData record(*row.vxaData, keys->clientPrivateKey, keys->partnerPublicKey, keys->partnerPrivateKey);
        messages.push_back({std::move(row.messageId), std::move(row.vxaData), std::move(row.vxaInfo),
                            std::move(row.vxaTemplate), std::move(record)});
    }
    return messages;
}

std::shared_ptr<VexaQrMessageIdListServiceProtocol> VexaQrMessageWorkflow::vexaQrMessageIdListService() {
    if (!_vexaQrMessageIdListService)
        _vexaQrMessageIdListService = std::make_shared<VexaQrMessageIdListService>(_environment);
    return _vexaQrMessageIdListService;
}

void VexaQrMessageWorkflow::setVexaQrMessageIdListService(std::shared_ptr<VexaQrMessageIdListServiceProtocol> service) {
    _vexaQrMessageIdListService = std::move(service);
}

std::shared_ptr<VexaQrMessageServiceProtocol> VexaQrMessageWorkflow::vexaQrMessageService() {
    if (!_vexaQrMessageService)
        _vexaQrMessageService = std::make_shared<VexaQrMessageService>(_environment);
    return _vexaQrMessageService;
}

void VexaQrMessageWorkflow::setVexaQrMessageService(std::shared_ptr<VexaQrMessageServiceProtocol> service) {
    _vexaQrMessageService = std::move(service);
}

} // namespace vexaqr
