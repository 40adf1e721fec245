#include "account/sdk/VexaQrMessageWorkflow.hpp"

#include "account/sdk/AppDataService.hpp"
#include "account/sdk/DatabaseWrapper.hpp"
#include "account/service/ResultCode.hpp"

namespace vexaqr {

namespace {

constexpr std::int64_t kSuccess =
    Constant::Application::rawValue(Constant::Application::ResultCode::successfulOperation);
constexpr std::int64_t kUnknown = Constant::Application::rawValue(Constant::Application::ResultCode::unknownResultCode);

using Constant::Application::ResultCode;

// An SDK-side failure of `code` that says what went wrong.
Error failure(ResultCode code, const std::string& what) {
    auto error = Constant::Application::makeSdkError(code);
    error.message = what;
    return error;
}

const Error& notRegistered() {
    static const Error error = failure(ResultCode::unknownResultCode, "no installation is registered on this device");
    return error;
}

Error cacheNotWritten() {
    return failure(ResultCode::sdkTechnicalError,
                   "the message cache could not be replaced (is another program writing to it?)");
}

} // namespace

// Shared by the chain of answers so that each step moves on without copying what came before.
struct VexaQrMessageWorkflow::DecodingKeys {
    KeyHandle clientPrivateKey;
    KeyHandle partnerPublicKey;
    KeyHandle partnerPrivateKey; // may be null
};

struct VexaQrMessageWorkflow::Answer {
    VexaQrMessageVisitor each;
    VexaQrMessagesEnd end;
};

// Only the ids and the position in them stay in memory; the valid messages wait in the store's staging.
struct VexaQrMessageWorkflow::Download {
    std::vector<std::string> ids;
    std::size_t next = 0;
    std::int64_t stagingId = 0;
    std::size_t staged = 0;
    std::optional<DecodingKeys> keys; // read from the key store once, at the first answer
    Answer answer;
};

VexaQrMessageWorkflow::VexaQrMessageWorkflow(std::shared_ptr<AppDataServiceProtocol> appDataService,
                                             DatabaseWrapper& database, WebServiceEnvironment environment)
    : _appDataService(std::move(appDataService)), _database(database), _environment(std::move(environment)) {}

void VexaQrMessageWorkflow::getVexaQrMessageList(const VexaQrMessageIdList::ViewModel& viewModel,
                                                 VexaQrMessagesCompletion completion) {
    auto collected = std::make_shared<std::vector<VxaMessage>>();
    visitVexaQrMessageList(
        viewModel, [collected](VxaMessage message) { collected->push_back(std::move(message)); },
        [collected, completion](std::int64_t code, bool listed, std::optional<Error> error) {
            completion(code, listed ? std::optional(std::move(*collected)) : std::nullopt, std::move(error));
        });
}

void VexaQrMessageWorkflow::visitVexaQrMessageList(const VexaQrMessageIdList::ViewModel& /*viewModel*/,
                                                   VexaQrMessageVisitor each, VexaQrMessagesEnd end) {
    getVexaQrMessageIdList(Answer{std::move(each), std::move(end)});
}

void VexaQrMessageWorkflow::getVexaQrMessageIdList(Answer answer) {
    auto appUniqueId = _appDataService->getAppUniqueId();
    if (!appUniqueId)
        return answerFromCache(answer, kUnknown, notRegistered());
    vexaQrMessageIdListService()->getVexaQrMessageIdList(
        {appUniqueId->uuidString()},
        [weakSelf = weak_from_this(), answer](std::optional<VexaQrMessageIdList::ResponseModel> response,
                                              std::optional<Error> error) {
            auto self = weakSelf.lock();
            if (!self)
                return;
            if (!response)
                return self->answerFromCache(answer, kUnknown, error);
            if (response->resultCode != kSuccess)
                return self->answerFromCache(answer, response->resultCode, error);
            self->processMessageIdList(response->vxaMessageIdList, answer);
        });
}

void VexaQrMessageWorkflow::processMessageIdList(const std::optional<std::vector<std::string>>& idList, Answer answer) {
    if (!idList) // a success without the list it stands for says nothing about the messages
        return answerFromCache(answer, kUnknown,
                               failure(ResultCode::unknownResultCode, "the backend's answer carried no message list"));
    if (idList->empty()) // nothing on the backend is no reason to forget the cache
        return answer.end(kSuccess, true, std::nullopt);
    const auto stagingId = _database.beginVxaMessageStaging();
    if (!stagingId)
        return answerFromCache(answer, rawValue(ResultCode::sdkTechnicalError), cacheNotWritten());
    auto download = std::make_shared<Download>();
    download->ids = *idList;
    download->stagingId = *stagingId;
    download->answer = std::move(answer);
    getVexaQrMessagesRecursively(std::move(download));
}

void VexaQrMessageWorkflow::getVexaQrMessagesRecursively(std::shared_ptr<Download> download) {
    auto appUniqueId = _appDataService->getAppUniqueId();
    if (!appUniqueId)
        return abandonDownload(*download, kUnknown, notRegistered());
    if (download->next == download->ids.size()) {
        if (!_database.replaceVxaMessageCacheWithStaged(download->stagingId, download->staged))
            return abandonDownload(*download, rawValue(ResultCode::sdkTechnicalError), cacheNotWritten());
        return answerFromCache(download->answer, kSuccess, std::nullopt); // now the valid messages, in list order
    }
    const std::string& messageId = download->ids[download->next];
    vexaQrMessageService()->getVexaQrMessage(
        {appUniqueId->uuidString(), messageId},
        [weakSelf = weak_from_this(), download](std::optional<VexaQrMessage::ResponseModel> response,
                                                std::optional<Error> error) {
            if (auto self = weakSelf.lock())
                self->handleMessage(download, std::move(response), error);
        });
}

void VexaQrMessageWorkflow::handleMessage(std::shared_ptr<Download> download,
                                          std::optional<VexaQrMessage::ResponseModel> response,
                                          const std::optional<Error>& error) {
    // Whatever cannot be decoded abandons the whole download: a partial list must not replace the cache.
    if (!response || !response->vxaData)
        return abandonWithoutPayload(*download, response, error);
    if (!download->keys)
        download->keys = decodingKeys();
    if (!download->keys) {
        const auto missing = missingKey();
        return abandonDownload(*download, rawValue(missing.first), failure(missing.first, missing.second));
    }
    if (!stageIfValid(*download, std::move(*response)))
        return abandonDownload(*download, rawValue(ResultCode::sdkTechnicalError), cacheNotWritten());
    getVexaQrMessagesRecursively(std::move(download));
}

// Decodes the answer for the current id and keeps it in the staging when it is valid; false when that write
// failed. The decoded record is not kept: the answer is read back from the cache.
bool VexaQrMessageWorkflow::stageIfValid(Download& download, VexaQrMessage::ResponseModel response) {
    const DecodingKeys& keys = *download.keys;
    const bool valid =
        VXAData(*response.vxaData, keys.clientPrivateKey, keys.partnerPublicKey, keys.partnerPrivateKey).isValid();
    const std::string& messageId = download.ids[download.next++];
    if (!valid)
        return true;
    ++download.staged;
    return _database.stageVxaMessage(download.stagingId, {std::move(response.vxaData), std::move(response.vxaInfo),
                                                          std::move(response.vxaTemplate), messageId});
}

void VexaQrMessageWorkflow::abandonWithoutPayload(Download& download,
                                                  const std::optional<VexaQrMessage::ResponseModel>& response,
                                                  const std::optional<Error>& error) {
    if (!response || response->resultCode != kSuccess)
        return abandonDownload(download, response ? response->resultCode : kUnknown, error);
    abandonDownload(download, kUnknown,
                    failure(ResultCode::unknownResultCode,
                            "the backend's answer for message " + download.ids[download.next] + " carried no payload"));
}

void VexaQrMessageWorkflow::abandonDownload(Download& download, std::int64_t code, std::optional<Error> error) {
    _database.discardStagedVxaMessages(download.stagingId);
    answerFromCache(download.answer, code, std::move(error));
}

// Which of the keys needed for decoding the key store lacks, with the code of a key that was not stored.
std::pair<ResultCode, std::string> VexaQrMessageWorkflow::missingKey() {
    if (!_appDataService->getClientPrivateKey())
        return {ResultCode::clientKeyPersistError,
                "the installation's private key is missing from the key store (activate the account again)"};
    return {ResultCode::partnerKeyPersistError, "the partner's public key is missing from the key store (give it "
                                                "to activation, or activate again to download it)"};
}

// Nothing when a key needed for decoding is missing.
std::optional<VexaQrMessageWorkflow::DecodingKeys> VexaQrMessageWorkflow::decodingKeys() {
    KeyHandle clientPrivateKey = _appDataService->getClientPrivateKey();
    KeyHandle partnerPublicKey = clientPrivateKey ? _appDataService->getPartnerPublicKey() : nullptr;
    if (!partnerPublicKey)
        return std::nullopt;
    return DecodingKeys{clientPrivateKey, partnerPublicKey, _appDataService->getPartnerPrivateKey()};
}

void VexaQrMessageWorkflow::answerFromCache(const Answer& answer, std::int64_t code, std::optional<Error> error) {
    const bool listed = visitCachedMessages(answer.each);
    answer.end(code, listed, std::move(error));
}

// Every cached row with payload, decoded, one at a time and in cache order, without a validity filter; false
// when the cache cannot be read or a key is missing.
bool VexaQrMessageWorkflow::visitCachedMessages(const VexaQrMessageVisitor& each) {
    const auto rowIds = _database.cachedVxaMessageIds();
    if (!rowIds)
        return false;
    const auto keys = decodingKeys();
    if (!keys)
        return false;
    for (const std::int64_t rowId : *rowIds) {
        auto row = _database.cachedVxaMessage(rowId);
        if (!row || !row->vxaData) // no payload, or replaced meanwhile by another program
            continue;
        VXAData record(*row->vxaData, keys->clientPrivateKey, keys->partnerPublicKey, keys->partnerPrivateKey);
        each({std::move(row->messageId), std::move(row->vxaData), std::move(row->vxaInfo), std::move(row->vxaTemplate),
              std::move(record)});
    }
    return true;
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
