// Shared pieces of the backend client's tests: a main queue per test, the real HTTP client, a loopback
// server, and a way to wait (without sleeping) until a reply has been handled.
#pragma once

#include "LoopbackServer.hpp"

#include "account/platform/CurlHttpClient.hpp"
#include "account/service/WebService.hpp"
#include "codec/platform/LogManager.hpp"
#include <vexaqr/platform/RunLoop.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace vexaqr::test {

using namespace std::chrono_literals;

/// Passes every request to the real client and counts the replies whose handling has returned, so that a test
/// can wait for work done on the HTTP thread after the completion was posted.
class ReplyCountingHttpClient final : public HttpClient {
public:
    explicit ReplyCountingHttpClient(std::shared_ptr<HttpClient> inner) : _inner(std::move(inner)) {}

    void send(HttpRequest request, Completion completion) override {
        _inner->send(std::move(request), [this, completion = std::move(completion)](HttpResult result) {
            completion(std::move(result));
            {
                std::lock_guard lock(_mutex);
                ++_handled;
            }
            _changed.notify_all();
        });
    }

    /// Waits until `count` replies have been handled in all; false after `timeout`.
    bool waitForHandled(int count, std::chrono::milliseconds timeout = 10s) {
        std::unique_lock lock(_mutex);
        return _changed.wait_for(lock, timeout, [&] { return _handled >= count; });
    }

private:
    std::mutex _mutex;
    std::condition_variable _changed;
    int _handled = 0;
    std::shared_ptr<HttpClient> _inner; // last: destroyed first, while its cancellations may still count
};

/// What a completion received, and where it ran.
template <class Model> struct Received {
    int calls = 0;
    std::optional<Model> record;
    std::optional<Error> error;
    bool ranOnMainQueue = false;
    std::thread::id thread;
};

class ServiceTest : public testing::Test {
protected:
    ServiceTest() { urlProvider->setApiBaseUrl(*Url::fromString(server.origin() + "/api/v1/client")); }

    WebServiceEnvironment environment() const {
        return WebServiceEnvironment{.httpClient = httpClient, .mainQueue = mainQueue, .urlProvider = urlProvider};
    }

    template <class Service> std::shared_ptr<Service> makeService() { return std::make_shared<Service>(environment()); }

    /// A completion that records into `received`.
    template <class Model> ServiceCompletion<Model> recordInto(Received<Model>& received) {
        return [&received, queue = mainQueue](std::optional<Model> record, std::optional<Error> error) {
            ++received.calls;
            received.record = std::move(record);
            received.error = std::move(error);
            received.ranOnMainQueue = queue->isCurrent();
            received.thread = std::this_thread::get_id();
        };
    }

    template <class Model> bool runUntilCalled(const Received<Model>& received) {
        return mainQueue->runUntil([&] { return received.calls > 0; }, 10s);
    }

    LoopbackServer server;
    std::shared_ptr<RunLoop> mainQueue = std::make_shared<RunLoop>();
    std::shared_ptr<ReplyCountingHttpClient> httpClient =
        std::make_shared<ReplyCountingHttpClient>(std::make_shared<CurlHttpClient>());
    std::shared_ptr<UrlProvider> urlProvider = std::make_shared<UrlProvider>();
};

/// Switches the debug printer for one test and restores it afterwards.
class LoggingScope {
public:
    explicit LoggingScope(bool enabled) : _before(LogManager::standard().enabled) {
        LogManager::standard().enabled = enabled;
    }
    ~LoggingScope() { LogManager::standard().enabled = _before; }

private:
    bool _before;
};

} // namespace vexaqr::test
