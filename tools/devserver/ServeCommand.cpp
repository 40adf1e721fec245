#include "ServeCommand.hpp"

#include "DevServerContext.hpp"
#include "DevServerRegistry.hpp"
#include "RequestGuards.hpp"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <iostream>
#include <memory>
#include <pthread.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace vexaqr::devserver {

namespace {

// Far above any real request (a sealed message is at most a few MiB of base-64 text); a larger body is refused
// with 413 before it is read, so that a peer cannot make the server hold an unbounded body in memory.
constexpr std::size_t kMaxRequestBodyBytes = 16u << 20;
// A slow or idle client holds a worker until it finishes or stays silent this long. A client that trickles a
// byte at a time is not cut off by it, so there are workers enough for many of them beside real requests, and
// a backlog that does not turn connections away while they are busy.
constexpr time_t kReadTimeoutSeconds = 2;
constexpr std::size_t kWorkers = 128;
constexpr int kListenBacklog = 256;

struct ServeOptions {
    int port = kDefaultPort;
    std::string host = "127.0.0.1";
    std::string dataFile;
};

std::unique_ptr<SqliteDatabase> openDatabase(const std::string& dataFile) {
    if (dataFile.empty())
        return SqliteDatabase::openInMemory();
    std::string error;
    auto database = SqliteDatabase::open(dataFile, error);
    if (!database)
        std::cerr << "vexaqr-devserver: cannot open " << dataFile << ": " << error << '\n';
    return database;
}

// The port actually bound, or -1.
int bind(httplib::Server& server, const ServeOptions& options) {
    // A reply's head and body go out in separate writes: without this, Nagle's algorithm holds the body back
    // until the client's delayed acknowledgement, some 40 ms a request. Applies to sockets bound from here on.
    server.set_tcp_nodelay(true);
    server.set_payload_max_length(kMaxRequestBodyBytes);
    server.set_read_timeout(kReadTimeoutSeconds, 0);
    server.set_write_timeout(kReadTimeoutSeconds, 0);
    server.new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
    // Not the library's default SO_REUSEPORT: a second server on a busy port must fail, not share it.
    auto listening = std::make_shared<socket_t>(INVALID_SOCKET);
    server.set_socket_options([listening](socket_t socket) {
        int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        *listening = socket;
    });
    const int port = options.port == 0                                 ? server.bind_to_any_port(options.host)
                     : server.bind_to_port(options.host, options.port) ? options.port
                                                                       : -1;
    // The library listens with a backlog of 5, fixed when it was built; listening again raises it.
    if (port > 0 && ::listen(*listening, kListenBacklog) != 0)
        return -1;
    return port;
}

std::string originFor(const std::string& host, int port) {
    // A wildcard address is reached locally through the loopback.
    const std::string reachable = (host == "0.0.0.0" || host == "::") ? "127.0.0.1" : host;
    return "http://" + reachable + ":" + std::to_string(port);
}

sigset_t stopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

int serve(const ServeOptions& options) {
    // Blocked before any thread starts, so that only sigwait() below receives them.
    const sigset_t signals = stopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    auto database = openDatabase(options.dataFile);
    if (!database)
        return 1;
    httplib::Server server;
    const int port = bind(server, options);
    if (port <= 0) {
        std::cerr << "vexaqr-devserver: cannot listen on " << options.host << ":" << options.port << '\n';
        return 1;
    }
    // A stop waits for open keep-alive connections; keep that wait short.
    server.set_keep_alive_timeout(1);
    DevServerContext context(*database, originFor(options.host, port));
    installRequestGuards(server, context);
    for (const auto& install : registeredEndpoints())
        install(server, context);

    std::atomic<bool> listenerEnded = false;
    std::thread listener([&server, &listenerEnded] {
        server.listen_after_bind();
        listenerEnded = true;
        ::kill(::getpid(), SIGTERM); // a listener that ends by itself ends the program too
    });
    // stop() is a no-op until the listener runs; announce (and accept a signal) only from then on.
    while (!server.is_running() && !listenerEnded)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::cout << "listening on " << context.baseUrl << std::endl;
    int received = 0;
    sigwait(&signals, &received);
    server.stop();
    listener.join();
    return 0;
}

} // namespace

void addServeCommand(CLI::App& root, int& exitCode) {
    auto options = std::make_shared<ServeOptions>();
    auto* command = root.add_subcommand("serve", "Serve the backend until SIGINT or SIGTERM");
    command->add_option("--port", options->port, "Port to listen on; 0 picks a free one")
        ->capture_default_str()
        ->check(CLI::Range(0, 65535));
    command->add_option("--data", options->dataFile, "SQLite file that keeps the state (default: memory only)");
    command
        ->add_option("--host", options->host,
                     "Address to listen on; /admin/ answers only loopback peers whatever it is")
        ->capture_default_str();
    command->callback([options, &exitCode] { exitCode = serve(*options); });
}

} // namespace vexaqr::devserver
