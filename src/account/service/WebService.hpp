// WebService: the base of every backend service. Sends one request record as a JSON POST, checks the HTTP
// reply, decodes it with the operation's decoder and delivers the outcome on the main queue.
//
// process() may be called from any thread and returns at once. Reply handling (status checks, parsing and
// decoding) runs on the HTTP client's callback thread; the completion always runs later on the main queue,
// never on the caller's stack. A request in flight holds its service weakly: services live in a
// std::shared_ptr, and when the service is gone by the time the reply arrives the completion is never called.
#pragma once

#include "account/service/ConstantWebService.hpp"
#include "account/service/RequestModelProtocol.hpp"
#include "account/service/ResponseDeserializer.hpp"
#include "account/service/UrlProvider.hpp"
#include <vexaqr/Bytes.hpp>
#include <vexaqr/Error.hpp>
#include <vexaqr/platform/HttpClient.hpp>
#include <vexaqr/platform/MainQueue.hpp>
#include <vexaqr/platform/Url.hpp>
#include <vexaqr/service/AccountTypes.hpp>

#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <variant>

namespace vexaqr {

/// Domains of the errors that the exchange itself reports (transport errors keep the HTTP client's domain).
inline constexpr std::string_view kMissingDataErrorDomain = "Missing data";
inline constexpr std::string_view kJsonParsingErrorDomain = "JSON parsing error";
/// An address that is not a well-formed URL (a message id that breaks it); code -1, nothing is sent.
inline constexpr std::string_view kInvalidUrlErrorDomain = "Invalid URL";

/// What a service talks through. Every member defaults to the process-wide instance.
struct WebServiceEnvironment {
    std::shared_ptr<HttpClient> httpClient = HttpClient::shared();
    std::shared_ptr<MainQueue> mainQueue = MainQueue::shared();
    /// Non-owning by default: the standard table is never destroyed.
    std::shared_ptr<const UrlProvider> urlProvider{std::shared_ptr<const UrlProvider>{}, &UrlProvider::standard()};
    std::chrono::milliseconds timeoutInterval{
        static_cast<std::chrono::milliseconds::rep>(Constant::WebService::defaultTimeoutInterval * 1000)};
};

class WebService : public std::enable_shared_from_this<WebService> {
public:
    explicit WebService(WebServiceEnvironment environment = {});
    virtual ~WebService() = default;

    WebService(const WebService&) = delete;
    WebService& operator=(const WebService&) = delete;

    /// Sends `requestModel` to `requestUrl` and later calls `completion` on the main queue with the record that
    /// `deserializer` makes of a status-200 JSON reply, or with the error: the HTTP client's own, "Missing data",
    /// "JSON parsing error" (also for a reply nesting or holding more values than any reply of the backend),
    /// "Status code: Optional(N)" / "Status code: nil", or "Invalid URL" when `requestUrl` is absent. A reply
    /// that parses is always a record, whatever its result code.
    template <RequestModelProtocol Request, ResponseDeserializer Deserializer>
    void process(const Request& requestModel, const std::optional<Url>& requestUrl, Deserializer deserializer,
                 ServiceCompletion<ResponseModelOf<Deserializer>> completion) {
        using Model = ResponseModelOf<Deserializer>;
        // Called once: the completion moves into the main-queue task, so whatever it holds is released there and
        // not on the HTTP thread.
        send(
            requestModel.toJsonDictionary(), requestUrl,
            [deserializer = std::move(deserializer), completion = std::move(completion)](ReplyOutcome outcome) mutable {
                if (auto* json = std::get_if<nlohmann::json>(&outcome)) {
                    return MainQueue::Task(
                        [completion = std::move(completion), record = deserializer.responseModel(*json)] {
                            completion(std::optional<Model>(record), std::nullopt);
                        });
                }
                return MainQueue::Task(
                    [completion = std::move(completion), error = std::get<Error>(std::move(outcome))] {
                        completion(std::nullopt, error);
                    });
            });
    }

    /// The HTTP request for an address and optional body: POST, "Content-Type: application/json; charset=utf-8"
    /// and no other header, the service's timeout, never answered from a cache.
    HttpRequest postUrlRequest(const Url& requestUrl, std::optional<Bytes> postData) const;

protected:
    const UrlProvider& urlProvider() const { return *_environment.urlProvider; }

private:
    // A parsed reply body, or the error that ends the exchange.
    using ReplyOutcome = std::variant<nlohmann::json, Error>;
    // Runs on the HTTP client's thread; returns the task that calls the caller's completion.
    using Deliver = std::function<MainQueue::Task(ReplyOutcome)>;

    void send(const nlohmann::json& jsonDictionary, const std::optional<Url>& requestUrl, Deliver deliver);

    WebServiceEnvironment _environment;
};

} // namespace vexaqr
