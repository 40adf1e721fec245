// VexaQrMessageWorkflow: fetches the installation's messages from the backend one after another,
// decodes them with the stored keys, keeps the valid ones, and replaces the local message cache with
// them; when the backend cannot be used it answers from the cache. Either way the answer is read from the
// cache one message at a time, so a download holds only the ids and the message at hand.
//
// Strictly sequential: one request at a time, each sent from the previous answer on the main queue
// of the workflow's service environment; decoding and cache writes run there too. Owned through a
// std::shared_ptr: answers that arrive after the workflow has gone are dropped. Use from the main thread.
#pragma once

#include "account/service/ResultCode.hpp"
#include "account/service/VexaQrMessage.hpp"
#include "account/service/VexaQrMessageIdList.hpp"
#include "account/service/WebService.hpp"
#include <vexaqr/Error.hpp>
#include <vexaqr/sdk/VxaMessage.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vexaqr {

class AppDataServiceProtocol;
class DatabaseWrapper;

class VexaQrMessageWorkflowProtocol {
public:
    virtual ~VexaQrMessageWorkflowProtocol() = default;

    /// Downloads, decodes and caches the messages, in the order of the backend's list; on a failure
    /// answers with the decoded cache (absent when it cannot be read or a key is missing) and a non-zero
    /// code. A success answer without its list or payload, a missing key and a cache that could not be
    /// replaced are failures with an error that says so. The completion runs exactly once. `viewModel`
    /// carries nothing.
    virtual void getVexaQrMessageList(const VexaQrMessageIdList::ViewModel& viewModel,
                                      VexaQrMessagesCompletion completion) = 0;

    /// The same answer, its messages handed to `each` one at a time and in order, then `end` once: memory
    /// does not grow with the number of messages. Valid downloads wait in the store until the cache is
    /// replaced in one transaction; the answer is then read back from the cache.
    virtual void visitVexaQrMessageList(const VexaQrMessageIdList::ViewModel& viewModel, VexaQrMessageVisitor each,
                                        VexaQrMessagesEnd end) = 0;
};

class VexaQrMessageWorkflow final : public VexaQrMessageWorkflowProtocol,
                                    public std::enable_shared_from_this<VexaQrMessageWorkflow> {
public:
    /// Keeps `appDataService` (id and keys) and `database` (the message cache), which must outlive the
    /// workflow; services are made on first use with `environment`.
    VexaQrMessageWorkflow(std::shared_ptr<AppDataServiceProtocol> appDataService, DatabaseWrapper& database,
                          WebServiceEnvironment environment = {});

    void getVexaQrMessageList(const VexaQrMessageIdList::ViewModel& viewModel,
                              VexaQrMessagesCompletion completion) override;
    void visitVexaQrMessageList(const VexaQrMessageIdList::ViewModel& viewModel, VexaQrMessageVisitor each,
                                VexaQrMessagesEnd end) override;

    /// The id-list service, created on first use; replaceable.
    std::shared_ptr<VexaQrMessageIdListServiceProtocol> vexaQrMessageIdListService();
    void setVexaQrMessageIdListService(std::shared_ptr<VexaQrMessageIdListServiceProtocol> service);

    /// The one-message service, created on first use; replaceable.
    std::shared_ptr<VexaQrMessageServiceProtocol> vexaQrMessageService();
    void setVexaQrMessageService(std::shared_ptr<VexaQrMessageServiceProtocol> service);

private:
    struct Answer;       // where the messages and the end go
    struct Download;     // the ids, the position in them, the staging and the answer
    struct DecodingKeys; // the client's private key and the partner's keys
    void getVexaQrMessageIdList(Answer answer);
    void processMessageIdList(const std::optional<std::vector<std::string>>& idList, Answer answer);
    void getVexaQrMessagesRecursively(std::shared_ptr<Download> download);
    void handleMessage(std::shared_ptr<Download> download, std::optional<VexaQrMessage::ResponseModel> response,
                       const std::optional<Error>& error);
    bool stageIfValid(Download& download, VexaQrMessage::ResponseModel response);
    void abandonWithoutPayload(Download& download, const std::optional<VexaQrMessage::ResponseModel>& response,
                               const std::optional<Error>& error);
    void abandonDownload(Download& download, std::int64_t code, std::optional<Error> error);
    std::pair<Constant::Application::ResultCode, std::string> missingKey();
    std::optional<DecodingKeys> decodingKeys();
    void answerFromCache(const Answer& answer, std::int64_t code, std::optional<Error> error);
    bool visitCachedMessages(const VexaQrMessageVisitor& each);

    std::shared_ptr<AppDataServiceProtocol> _appDataService;
    DatabaseWrapper& _database;
    WebServiceEnvironment _environment;
    std::shared_ptr<VexaQrMessageIdListServiceProtocol> _vexaQrMessageIdListService;
    std::shared_ptr<VexaQrMessageServiceProtocol> _vexaQrMessageService;
};

} // namespace vexaqr
