// Real HTTP peers on the loopback interface for the backend client's tests.
#pragma once

#include <httplib.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vexaqr::test {

struct RecordedRequest {
    std::string method;
    std::string path;
    httplib::Headers headers;
    std::string body;
    int remotePort = -1;
};

/// An HTTP server on 127.0.0.1 and a free port that records every request and answers through a handler.
class LoopbackServer {
public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    /// A handler that always answers `status` with `body`.
    static Handler reply(int status, std::string body, std::string contentType = "application/json");

    explicit LoopbackServer(Handler handler = reply(200, "{}"));
    ~LoopbackServer();

    /// "http://127.0.0.1:<port>"
    std::string origin() const;
    void setHandler(Handler handler);
    std::vector<RecordedRequest> requests() const;

protected:
    // For the TLS variant: serves `server` instead of a plain one.
    explicit LoopbackServer(std::unique_ptr<httplib::Server> server, Handler handler);

private:
    void start();

    std::unique_ptr<httplib::Server> _server;
    int _port = -1;
    std::thread _thread;
    mutable std::mutex _mutex;
    Handler _handler;
    std::vector<RecordedRequest> _requests;
};

/// A TLS server with a freshly made self-signed certificate, which a verifying client must refuse.
class SelfSignedTlsServer : public LoopbackServer {
public:
    SelfSignedTlsServer();
    /// "https://127.0.0.1:<port>"
    std::string httpsOrigin() const;
};

/// A bare TCP peer for replies no HTTP server library would send.
class RawSocketServer {
public:
    enum class Behaviour {
        neverAccept,    // listens, so connecting succeeds, but never reads or answers
        answerAndClose, // reads one request, writes `answer` and closes the connection
    };

    explicit RawSocketServer(Behaviour behaviour, std::string answer = {});
    ~RawSocketServer();

    std::string origin() const;

private:
    void serveOnce();

    int _listener = -1;
    int _port = -1;
    std::string _answer;
    std::thread _thread;
};

/// A loopback port that nothing listens on.
int closedLoopbackPort();

} // namespace vexaqr::test
