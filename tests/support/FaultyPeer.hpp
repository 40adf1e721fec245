// A loopback HTTP peer that passes each request on to a real server and spoils the reply on the way back:
// cut after a number of bytes, reset after a number of bytes, dripped one byte at a time, or replaced by a
// 500 with a huge body. It also keeps the real replies, so that a test can cut at every byte of them.
// Connections are served one at a time on the peer's own thread.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vexaqr::test {

class FaultyPeer {
public:
    enum class Fault {
        none,     // the real reply, whole
        cut,      // the first `bytes` of the real reply, then an orderly close
        cutShort, // the real reply without its last `bytes` (for replies whose length varies), then a close
        reset,    // the first `bytes` of the real reply, then a connection reset
        drip,     // the real reply one byte every `interval`
        huge500,  // a 500 whose body is `bytes` long, without asking the real server
    };

    /// Passes requests on to the HTTP server at 127.0.0.1:`upstreamPort`.
    explicit FaultyPeer(int upstreamPort) : _upstreamPort(upstreamPort) {
        _listener = listenOnLoopback(_port);
        _thread = std::thread([this] { serve(); });
    }
    ~FaultyPeer() {
        _stopping = true;
        ::shutdown(_listener, SHUT_RDWR);
        _thread.join();
        ::close(_listener);
    }
    FaultyPeer(const FaultyPeer&) = delete;
    FaultyPeer& operator=(const FaultyPeer&) = delete;

    /// "http://127.0.0.1:<port>"
    std::string origin() const { return "http://127.0.0.1:" + std::to_string(_port); }

    /// "http://127.0.0.1:<port>" for a port that nothing listens on.
    static std::string closedOrigin() {
        int port = 0;
        ::close(listenOnLoopback(port));
        return "http://127.0.0.1:" + std::to_string(port);
    }

    /// Spoils the replies to requests from the `skip`+1-th on (counted from this call); earlier ones pass.
    void setFault(Fault fault, std::size_t bytes = 0, std::chrono::milliseconds interval = {}, int skip = 0) {
        std::lock_guard lock(_mutex);
        _fault = fault;
        _bytes = bytes;
        _interval = interval;
        _skip = skip;
        _replies.clear();
    }

    /// The replies the real server gave since the last setFault(), whole, in order.
    std::vector<std::string> realReplies() const {
        std::lock_guard lock(_mutex);
        return _replies;
    }

private:
    static int listenOnLoopback(int& port) {
        const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        ::listen(listener, 16);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        return listener;
    }

    // One HTTP message from `socket`: the head and as many body bytes as Content-Length announces.
    static std::string readMessage(int socket) {
        std::string received;
        char buffer[8192];
        for (;;) {
            const auto headEnd = received.find("\r\n\r\n");
            if (headEnd != std::string::npos) {
                std::size_t bodyLength = 0;
                for (const char* name : {"Content-Length: ", "content-length: "}) {
                    const auto at = received.find(name);
                    if (at != std::string::npos && at < headEnd)
                        bodyLength = std::stoul(received.substr(at + 16));
                }
                if (received.size() >= headEnd + 4 + bodyLength)
                    return received;
            }
            const auto count = ::recv(socket, buffer, sizeof(buffer), 0);
            if (count <= 0)
                return received;
            received.append(buffer, static_cast<std::size_t>(count));
        }
    }

    std::string askUpstream(const std::string& request) const {
        const int upstream = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(_upstreamPort));
        std::string reply;
        if (::connect(upstream, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
            ::send(upstream, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size()))
            reply = readMessage(upstream);
        ::close(upstream);
        return reply;
    }

    static void sendAll(int socket, const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const auto count = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (count <= 0)
                return;
            sent += static_cast<std::size_t>(count);
        }
    }

    void answer(int connection) {
        const std::string request = readMessage(connection);
        if (request.empty())
            return;
        std::lock_guard lock(_mutex);
        const Fault fault = _skip-- > 0 ? Fault::none : _fault;
        if (fault == Fault::huge500) {
            sendAll(connection, "HTTP/1.1 500 Internal Server Error\r\nContent-Type: text/plain\r\nContent-Length: " +
                                    std::to_string(_bytes) + "\r\n\r\n");
            sendAll(connection, std::string(_bytes, 'x'));
            return;
        }
        const std::string reply = askUpstream(request);
        _replies.push_back(reply);
        switch (fault) {
        case Fault::none:
            sendAll(connection, reply);
            break;
        case Fault::cut:
            sendAll(connection, reply.substr(0, _bytes));
            break;
        case Fault::cutShort:
            sendAll(connection, reply.substr(0, reply.size() - std::min(_bytes, reply.size())));
            break;
        case Fault::reset: {
            sendAll(connection, reply.substr(0, _bytes));
            const linger resetOnClose{1, 0}; // closing now sends RST instead of FIN
            ::setsockopt(connection, SOL_SOCKET, SO_LINGER, &resetOnClose, sizeof(resetOnClose));
            break;
        }
        case Fault::drip:
            for (char byte : reply) {
                if (_stopping || ::send(connection, &byte, 1, MSG_NOSIGNAL) != 1)
                    break;
                std::this_thread::sleep_for(_interval);
            }
            break;
        case Fault::huge500:
            break;
        }
    }

    void serve() {
        while (!_stopping) {
            const int connection = ::accept4(_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0)
                return;
            answer(connection);
            ::close(connection);
        }
    }

    int _upstreamPort;
    int _listener = -1;
    int _port = -1;
    std::atomic<bool> _stopping{false};
    mutable std::mutex _mutex;
    Fault _fault = Fault::none;
    std::size_t _bytes = 0;
    std::chrono::milliseconds _interval{};
    int _skip = 0;
    std::vector<std::string> _replies;
    std::thread _thread;
};

} // namespace vexaqr::test
