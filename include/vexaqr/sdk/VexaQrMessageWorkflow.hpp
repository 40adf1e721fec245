// VexaQrMessageWorkflow: fetches the installation's messages from the backend one after another,
// decodes them with the stored keys, keeps the valid ones, and replaces the local message cache with
// them; when the backend cannot be used it answers from the cache.
//
// Strictly sequential: one request at a time, each sent from the previous answer on the main queue
// of the workflow's service environment; decoding and cache writes run there too. Owned through a
// std::shared_ptr: answers that arrive after the workflow has gone are dropped. Use from the main thread.
#pragma once

#include <vexaqr/Error.hpp>
#include <vexaqr/sdk/VxaMessage.hpp>
#include <vexaqr/service/VexaQrMessage.hpp>
#include <vexaqr/service/VexaQrMessageIdList.hpp>
#include <vexaqr/service/WebService.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vexaqr {

class AppDataServiceProtocol;
class DatabaseWrapper;

/// The raw result code (0 success, -1 unknown, else the backend's), the messages and an error.
using VexaQrMessagesCompletion =
    std::function<void(std::int64_t, std::optional<std::vector<VxaMessage>>, std::optional<Error>)>;

class VexaQrMessageWorkflowProtocol {
public:
    virtual ~VexaQrMessageWorkflowProtocol() = default;

    /// Downloads, decodes and caches the messages, in the order of the backend's list; on a failure
    /// answers with the decoded cache (absent when it cannot be read or a key is missing). The
    /// completion runs exactly once. `viewModel` carries nothing.
    virtual void getVexaQrMessageList(const VexaQrMessageIdList::ViewModel& viewModel,
                                      VexaQrMessagesCompletion completion) = 0;
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

    /// The id-list service, created on first use; replaceable.
    std::shared_ptr<VexaQrMessageIdListServiceProtocol> vexaQrMessageIdListService();
    void setVexaQrMessageIdListService(std::shared_ptr<VexaQrMessageIdListServiceProtocol> service);

    /// The one-message service, created on first use; replaceable.
    std::shared_ptr<VexaQrMessageServiceProtocol> vexaQrMessageService();
    void setVexaQrMessageService(std::shared_ptr<VexaQrMessageServiceProtocol> service);

private:
    void getVexaQrMessageIdList(VexaQrMessagesCompletion completion);
    void processMessageIdList(const std::optional<std::vector<std::string>>& idList,
                              VexaQrMessagesCompletion completion);
    struct Download; // the ids, the position in them, the results so far and the completion
    void getVexaQrMessagesRecursively(std::shared_ptr<Download> download);
    void handleMessage(std::shared_ptr<Download> download, const std::optional<VexaQrMessage::ResponseModel>& response,
                       const std::optional<Error>& error);
    struct DecodingKeys; // the client's private key and the partner's keys
    std::optional<DecodingKeys> decodingKeys();
    void cacheMessages(const std::vector<VxaMessage>& messages);
    std::optional<std::vector<VxaMessage>> cachedMessages();

    std::shared_ptr<AppDataServiceProtocol> _appDataService;
    DatabaseWrapper& _database;
    WebServiceEnvironment _environment;
    std::shared_ptr<VexaQrMessageIdListServiceProtocol> _vexaQrMessageIdListService;
    std::shared_ptr<VexaQrMessageServiceProtocol> _vexaQrMessageService;
};

} // namespace vexaqr
