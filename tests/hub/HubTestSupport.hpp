// Shared pieces of the hub client's tests: vector files, a recording loopback HTTP peer, a captured log.
#pragma once

#include "codec/platform/LogManager.hpp"
#include <vexaqr/Bytes.hpp>
#include <vexaqr/Error.hpp>
#include <vexaqr/Outcome.hpp>

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vexaqr::test {

/// Passes when a hub call succeeded; a failure shows the call's error.
template <class T> testing::AssertionResult succeeded(const Outcome<T, Error>& outcome) {
    if (outcome)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << outcome.failure().message << " (" << outcome.failure().domain << " "
                                       << outcome.failure().code << ")";
}

inline nlohmann::json readJson(const std::string& relativePath) {
    std::ifstream file(std::string(VEXAQR_TEST_DATA_DIR) + "/" + relativePath);
    return file ? nlohmann::json::parse(file, nullptr, false) : nlohmann::json();
}

/// tests/data/hub/hub_vectors.json, written by make_vectors.py beside it.
inline nlohmann::json hubVectors() {
    return readJson("hub/hub_vectors.json");
}

struct SeenRequest {
    std::string method;
    std::string target; // path and query as sent
    httplib::Headers headers;
    std::string body;
};

/// An HTTP peer on 127.0.0.1 that records every request and answers through a replaceable handler.
class ScriptedServer {
public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    explicit ScriptedServer(Handler handler) : _handler(std::move(handler)) {
        auto record = [this](const httplib::Request& request, httplib::Response& response) {
            Handler handler;
            {
                std::lock_guard lock(_mutex);
                _requests.push_back({request.method, request.target, request.headers, request.body});
                handler = _handler;
            }
            handler(request, response);
        };
        _server.Get(".*", record);
        _server.Post(".*", record);
        _server.Put(".*", record);
        _server.Delete(".*", record);
        _port = _server.bind_to_any_port("127.0.0.1");
        _thread = std::thread([this] { _server.listen_after_bind(); });
        while (!_server.is_running())
            std::this_thread::yield();
    }
    ~ScriptedServer() {
        _server.stop();
        _thread.join();
    }

    std::string origin() const { return "http://127.0.0.1:" + std::to_string(_port); }

    void setHandler(Handler handler) {
        std::lock_guard lock(_mutex);
        _handler = std::move(handler);
    }

    std::vector<SeenRequest> requests() const {
        std::lock_guard lock(_mutex);
        return _requests;
    }

    void clearRequests() {
        std::lock_guard lock(_mutex);
        _requests.clear();
    }

private:
    httplib::Server _server;
    int _port = -1;
    std::thread _thread;
    mutable std::mutex _mutex;
    Handler _handler;
    std::vector<SeenRequest> _requests;
};

/// Turns the debug printer on and captures what it writes until the object dies.
class CapturedLog {
public:
    CapturedLog() : _wasEnabled(LogManager::standard().enabled) {
        LogManager::standard().enabled = true;
        testing::internal::CaptureStdout();
    }
    ~CapturedLog() {
        if (!_taken)
            testing::internal::GetCapturedStdout();
        LogManager::standard().enabled = _wasEnabled;
    }
    /// Everything written so far; ends the capture.
    std::string text() {
        _taken = true;
        return testing::internal::GetCapturedStdout();
    }

private:
    bool _wasEnabled;
    bool _taken = false;
};

inline Bytes bytesFromHex(const std::string& hex) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

} // namespace vexaqr::test
