#include "LoopbackServer.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace vexaqr::test {

LoopbackServer::Handler LoopbackServer::reply(int status, std::string body, std::string contentType) {
    return [status, body, contentType](const httplib::Request&, httplib::Response& response) {
        response.status = status;
        response.set_content(body, contentType.c_str());
    };
}

LoopbackServer::LoopbackServer(Handler handler)
    : LoopbackServer(std::make_unique<httplib::Server>(), std::move(handler)) {}

LoopbackServer::LoopbackServer(std::unique_ptr<httplib::Server> server, Handler handler)
    : _server(std::move(server)), _handler(std::move(handler)) {
    start();
}

void LoopbackServer::start() {
    auto record = [this](const httplib::Request& request, httplib::Response& response) {
        Handler handler;
        {
            std::lock_guard lock(_mutex);
            _requests.push_back({request.method, request.path, request.headers, request.body, request.remote_port});
            handler = _handler;
        }
        handler(request, response);
    };
    _server->Post(".*", record);
    _server->Get(".*", record);
    _server->Put(".*", record);
    _server->Delete(".*", record);
    _server->set_tcp_nodelay(true); // no Nagle wait between head and body: keeps round trips fast
    _port = _server->bind_to_any_port("127.0.0.1");
    if (_port <= 0) {
        throw std::runtime_error("cannot bind a loopback port");
    }
    // The socket already listens after binding: clients may connect before the accept loop runs.
    _thread = std::thread([this] { _server->listen_after_bind(); });
    // stop() does nothing before the accept loop runs, so wait for it: a quick test could otherwise hang.
    while (!_server->is_running()) {
        std::this_thread::yield();
    }
}

LoopbackServer::~LoopbackServer() {
    _server->stop();
    _thread.join();
}

std::string LoopbackServer::origin() const {
    return "http://127.0.0.1:" + std::to_string(_port);
}

void LoopbackServer::setHandler(Handler handler) {
    std::lock_guard lock(_mutex);
    _handler = std::move(handler);
}

std::vector<RecordedRequest> LoopbackServer::requests() const {
    std::lock_guard lock(_mutex);
    return _requests;
}

namespace {

std::filesystem::path makeSelfSignedCertificate() {
    const auto directory = std::filesystem::temp_directory_path() / ("vexaqr-tls-" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory);
    const auto command = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -keyout '" +
                         (directory / "key.pem").string() + "' -out '" + (directory / "cert.pem").string() +
                         "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("openssl could not make a certificate");
    }
    return directory;
}

} // namespace

SelfSignedTlsServer::SelfSignedTlsServer()
    : LoopbackServer(
          [] {
              const auto directory = makeSelfSignedCertificate();
              return std::make_unique<httplib::SSLServer>((directory / "cert.pem").c_str(),
                                                          (directory / "key.pem").c_str());
          }(),
          reply(200, "{}")) {}

std::string SelfSignedTlsServer::httpsOrigin() const {
    return "https" + origin().substr(4);
}

namespace {

int listenOnLoopback(int& port) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listener, 8) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot listen on loopback");
    }
    port = ntohs(address.sin_port);
    return listener;
}

// Reads the head and as many body bytes as Content-Length announces.
void readRequest(int connection) {
    std::string received;
    char buffer[4096];
    for (;;) {
        const auto headEnd = received.find("\r\n\r\n");
        if (headEnd != std::string::npos) {
            const auto lengthAt = received.find("Content-Length: ");
            const std::size_t bodyLength =
                lengthAt == std::string::npos ? 0 : std::stoul(received.substr(lengthAt + 16));
            if (received.size() >= headEnd + 4 + bodyLength) {
                return;
            }
        }
        const auto count = ::recv(connection, buffer, sizeof(buffer), 0);
        if (count <= 0) {
            return;
        }
        received.append(buffer, static_cast<std::size_t>(count));
    }
}

} // namespace

RawSocketServer::RawSocketServer(Behaviour behaviour, std::string answer) : _answer(std::move(answer)) {
    _listener = listenOnLoopback(_port);
    if (behaviour == Behaviour::answerAndClose) {
        _thread = std::thread([this] { serveOnce(); });
    }
}

void RawSocketServer::serveOnce() {
    const int connection = ::accept(_listener, nullptr, nullptr);
    if (connection < 0) {
        return;
    }
    readRequest(connection);
    (void)::send(connection, _answer.data(), _answer.size(), MSG_NOSIGNAL);
    ::shutdown(connection, SHUT_RDWR);
    ::close(connection);
}

RawSocketServer::~RawSocketServer() {
    ::shutdown(_listener, SHUT_RDWR); // wakes a pending accept()
    if (_thread.joinable()) {
        _thread.join();
    }
    ::close(_listener);
}

std::string RawSocketServer::origin() const {
    return "http://127.0.0.1:" + std::to_string(_port);
}

int closedLoopbackPort() {
    int port = 0;
    const int listener = listenOnLoopback(port);
    ::close(listener);
    return port;
}

} // namespace vexaqr::test
