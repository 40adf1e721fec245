// DevServer: the built vexaqr-devserver as a child process, for tests that need a real backend.
//
//     vexaqr::test::DevServer server;                 // serve --port 0 --data <temporary file>
//     ASSERT_TRUE(server.isRunning());
//     urlProvider->setApiBaseUrl(*Url::fromString(server.apiBaseUrl()));
//     auto partner = server.admin("partner", "--partner-id", "P1");   // {exitCode, out, err}
//     server.admin("fault", "--endpoint", "/getvxa", "--status", "500");
//
// The program's path comes from the compile definition VEXAQR_DEVSERVER_PATH. The server is stopped
// with SIGTERM and reaped when the object dies (or by stop()). Not thread-safe: one test thread.
#pragma once

#include "TempDirectory.hpp"

#include <array>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vexaqr::test {

class DevServer {
public:
    /// What one `admin` run printed and how it ended.
    struct AdminResult {
        int exitCode = -1;
        std::string out;
        std::string err;
        /// `out` without its final line feed, e.g. a printed id.
        std::string line() const { return out.empty() || out.back() != '\n' ? out : out.substr(0, out.size() - 1); }
    };

    /// Starts `serve --port 0 --data FILE` plus `extraArgs`; FILE is `dataFile` or a fresh temporary one.
    explicit DevServer(std::vector<std::string> extraArgs = {}, std::optional<std::filesystem::path> dataFile = {})
        : _dataFile(dataFile ? *dataFile : _directory.path() / "devserver.db") {
        std::vector<std::string> args{"serve", "--port", "0", "--data", _dataFile.string()};
        args.insert(args.end(), extraArgs.begin(), extraArgs.end());
        int out[2];
        if (::pipe(out) != 0)
            return;
        _pid = spawn(args, out[1], -1);
        ::close(out[1]);
        _stdout = out[0];
        const std::string first = readLine(_stdout, std::chrono::seconds(20));
        constexpr std::string_view kPrefix = "listening on ";
        if (first.starts_with(kPrefix))
            _origin = first.substr(kPrefix.size());
    }

    ~DevServer() {
        stop();
        if (_stdout >= 0)
            ::close(_stdout);
    }

    DevServer(const DevServer&) = delete;
    DevServer& operator=(const DevServer&) = delete;

    /// Whether the server started and announced its address.
    bool isRunning() const { return _pid > 0 && !_origin.empty(); }

    /// "http://127.0.0.1:PORT"; empty when the server did not start.
    const std::string& origin() const { return _origin; }

    /// The SDK's base address on this server: origin + "/api/v1/client".
    std::string apiBaseUrl() const { return _origin + "/api/v1/client"; }

    const std::filesystem::path& dataFile() const { return _dataFile; }

    /// Runs `vexaqr-devserver admin --server ORIGIN args...` to its end.
    template <class... Args> AdminResult admin(const Args&... args) const {
        return adminWith(std::vector<std::string>{std::string(args)...});
    }

    /// The connection string of the server's hub for one credential kind ("--sas" or "--issuer"); empty when the
    /// admin command fails.
    std::string hubConnectionString(const char* credentials = "--sas") const {
        const auto printed = admin("hub-connection-string", credentials);
        return printed.exitCode == 0 ? printed.line() : std::string();
    }

    AdminResult adminWith(const std::vector<std::string>& args) const {
        std::vector<std::string> all{"admin", "--server", _origin};
        all.insert(all.end(), args.begin(), args.end());
        return run(all);
    }

    /// Runs the program with exactly `args` (no "admin" added) and captures both outputs.
    static AdminResult run(const std::vector<std::string>& args) {
        AdminResult result;
        int out[2], err[2];
        if (::pipe(out) != 0 || ::pipe(err) != 0)
            return result;
        const pid_t pid = spawn(args, out[1], err[1]);
        ::close(out[1]);
        ::close(err[1]);
        drain(out[0], err[0], result.out, result.err);
        ::close(out[0]);
        ::close(err[0]);
        result.exitCode = reapWithin(pid, std::chrono::seconds(60));
        return result;
    }

    /// Sends SIGTERM and waits; the server's exit status, or -1 when it was not running, died of a signal or
    /// had to be killed after ten seconds.
    int stop() {
        if (_pid <= 0)
            return -1;
        ::kill(_pid, SIGTERM);
        const int status = reapWithin(_pid, std::chrono::seconds(10));
        _pid = -1;
        return status;
    }

private:
    static pid_t spawn(const std::vector<std::string>& args, int stdoutFd, int stderrFd) {
        std::vector<char*> argv;
        std::string program = VEXAQR_DEVSERVER_PATH;
        argv.push_back(program.data());
        std::vector<std::string> copies = args;
        for (auto& arg : copies)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0) {
            // A test program that crashes takes its servers along; an orphan would keep the test's output pipe
            // open and hold ctest until its timeout.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::dup2(stdoutFd, STDOUT_FILENO);
            if (stderrFd >= 0)
                ::dup2(stderrFd, STDERR_FILENO);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        return pid;
    }

    // The exit status; a child still running after `limit` is killed (-1), so that no test hangs on it.
    static int reapWithin(pid_t pid, std::chrono::milliseconds limit) {
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    static std::string readLine(int fd, std::chrono::milliseconds timeout) {
        std::string line;
        char c = 0;
        while (true) {
            pollfd waiting{fd, POLLIN, 0};
            if (::poll(&waiting, 1, static_cast<int>(timeout.count())) <= 0 || ::read(fd, &c, 1) != 1 || c == '\n')
                return line;
            line += c;
        }
    }

    // Reads both pipes until both are closed, so that neither child output can fill up and block.
    static void drain(int outFd, int errFd, std::string& out, std::string& err) {
        std::array<pollfd, 2> fds{pollfd{outFd, POLLIN, 0}, pollfd{errFd, POLLIN, 0}};
        std::array<std::string*, 2> sinks{&out, &err};
        int open = 2;
        char buffer[4096];
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (open > 0 && std::chrono::steady_clock::now() < deadline && ::poll(fds.data(), fds.size(), 1000) >= 0) {
            for (std::size_t i = 0; i < fds.size(); ++i) {
                if (fds[i].fd < 0 || fds[i].revents == 0) // a negative fd is skipped by poll() too
                    continue;
                const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                if (n > 0) {
                    sinks[i]->append(buffer, static_cast<std::size_t>(n));
                } else {
                    fds[i].fd = -1;
                    --open;
                }
            }
        }
    }

    TempDirectory _directory;
    std::filesystem::path _dataFile;
    pid_t _pid = -1;
    int _stdout = -1;
    std::string _origin;
};

} // namespace vexaqr::test
