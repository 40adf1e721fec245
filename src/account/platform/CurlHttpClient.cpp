#include "account/platform/CurlHttpClient.hpp"

#include "account/platform/CurlGlobal.hpp"
#include "codec/platform/CHandle.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace vexaqr {

namespace {

using EasyPtr = CHandle<CURL, curl_easy_cleanup>;
using MultiPtr = CHandle<CURLM, curl_multi_cleanup>;
using SlistPtr = CHandle<curl_slist, curl_slist_free_all>;

constexpr long kIdlePollMilliseconds = 1000;
// Finished easy handles kept for the next requests: creating one costs about as much as the client's own work
// per request. More than this many at once only happens in bursts.
constexpr std::size_t kMaxIdleEasyHandles = 8;
// A reply's head (status line and headers): the backend's and the hub's are well under a kilobyte.
constexpr std::size_t kMaxHeadBytes = 64 * 1024;

// One request on its way: everything libcurl points into lives here until the transfer is done.
struct Transfer {
    HttpRequest request;
    HttpClient::Completion completion;
    std::size_t maxResponseBytes = 0;
    std::string certificateAuthorityFile;
    EasyPtr easy;
    SlistPtr headerList;
    Bytes body;
    HttpHeaders responseHeaders;
    bool bodyTooLarge = false;
    std::size_t headBytes = 0;
    bool headComplete = false; // the empty line that ends the head has arrived
    char errorText[CURL_ERROR_SIZE] = {};
};

std::size_t receiveBody(char* data, std::size_t size, std::size_t count, void* context) {
    auto& transfer = *static_cast<Transfer*>(context);
    const std::size_t length = size * count;
    if (length > transfer.maxResponseBytes - transfer.body.size()) {
        transfer.bodyTooLarge = true;
        return 0; // anything but `length` makes libcurl abort the transfer
    }
    transfer.body.insert(transfer.body.end(), data, data + length);
    return length;
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::size_t receiveHeaderLine(char* data, std::size_t size, std::size_t count, void* context) {
    auto& transfer = *static_cast<Transfer*>(context);
    const std::size_t length = size * count;
    const std::string_view line(data, length);
    transfer.headBytes += length;
    if (transfer.headBytes > kMaxHeadBytes)
        return 0; // aborts the transfer; headTooLarge() names the limit
    if (line.starts_with("HTTP/")) {
        transfer.responseHeaders.clear(); // a new head, e.g. after "100 Continue": keep only the last one
        transfer.headComplete = false;
    } else if (line == "\r\n" || line == "\n") {
        transfer.headComplete = true;
    } else if (const auto colon = line.find(':'); colon != std::string_view::npos) {
        transfer.responseHeaders.emplace_back(std::string(trimmed(line.substr(0, colon))),
                                              std::string(trimmed(line.substr(colon + 1))));
    }
    return length;
}

HttpClientErrorCode errorCodeFor(CURLcode code, bool bodyTooLarge) {
    if (bodyTooLarge) {
        return HttpClientErrorCode::responseTooLarge;
    }
    switch (code) {
    case CURLE_URL_MALFORMAT:
        return HttpClientErrorCode::badUrl;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return HttpClientErrorCode::cannotFindHost;
    case CURLE_COULDNT_CONNECT:
        return HttpClientErrorCode::cannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
        return HttpClientErrorCode::timedOut;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
        return HttpClientErrorCode::tlsFailure;
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
        return HttpClientErrorCode::connectionLost;
    case CURLE_UNSUPPORTED_PROTOCOL: // schemes are checked before sending: this is a reply without a status line
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_HTTP2:
    case CURLE_BAD_CONTENT_ENCODING:
        return HttpClientErrorCode::badServerResponse;
    default:
        return HttpClientErrorCode::other;
    }
}

// Our own limit, or libcurl's on one header line, which it reports as running out of memory.
bool headTooLarge(const Transfer& transfer, CURLcode code) {
    return transfer.headBytes > kMaxHeadBytes || (code == CURLE_OUT_OF_MEMORY && !transfer.headComplete);
}

HttpResult failure(const Transfer& transfer, CURLcode code) {
    if (headTooLarge(transfer, code))
        return HttpResult{std::nullopt, std::nullopt,
                          makeHttpClientError(HttpClientErrorCode::responseTooLarge,
                                              "reply head larger than " + std::to_string(kMaxHeadBytes) + " bytes")};
    std::string message = transfer.bodyTooLarge
                              ? "reply body larger than " + std::to_string(transfer.maxResponseBytes) + " bytes"
                          : transfer.errorText[0] != '\0' ? std::string(transfer.errorText)
                                                          : std::string(curl_easy_strerror(code));
    return HttpResult{std::nullopt, std::nullopt,
                      makeHttpClientError(errorCodeFor(code, transfer.bodyTooLarge), std::move(message))};
}

HttpResult errorResult(HttpClientErrorCode code, std::string message) {
    return HttpResult{std::nullopt, std::nullopt, makeHttpClientError(code, std::move(message))};
}

HttpResult cancelledResult() {
    return errorResult(HttpClientErrorCode::cancelled, "HTTP client shut down");
}

HttpResult success(Transfer& transfer) {
    long status = 0;
    curl_easy_getinfo(transfer.easy.get(), CURLINFO_RESPONSE_CODE, &status);
    HttpResponse response{transfer.request.url, static_cast<int>(status), std::move(transfer.responseHeaders)};
    return HttpResult{std::move(transfer.body), std::move(response), std::nullopt};
}

// libcurl takes a reply that ends inside its head for one read to the close of the connection, and reports
// success with an empty body: it was cut short.
HttpResult outcome(Transfer& transfer, CURLcode code) {
    if (code != CURLE_OK)
        return failure(transfer, code);
    if (!transfer.headComplete)
        return errorResult(HttpClientErrorCode::connectionLost, "the connection closed inside the reply's head");
    return success(transfer);
}

void setMethodAndBody(CURL* easy, const HttpRequest& request) {
    if (request.method == "GET" && !request.body) {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
        return;
    }
    if (request.method == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        return;
    }
    // POSTFIELDS sends exactly these bytes (none for an absent body); they live in the transfer's request.
    const auto size = request.body ? request.body->size() : 0;
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(size));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, size > 0 ? reinterpret_cast<const char*>(request.body->data()) : "");
    if (request.method != "POST") {
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }
}

SlistPtr makeHeaderList(const HttpHeaders& headers) {
    SlistPtr list;
    auto append = [&list](const std::string& line) {
        curl_slist* extended = curl_slist_append(list.get(), line.c_str());
        if (extended) {
            (void)list.release();
            list.reset(extended);
        }
    };
    for (const auto& [name, value] : headers) {
        append(name + ": " + value);
    }
    append("Expect:"); // no "100-continue" round trip before larger bodies
    return list;
}

// A CR or LF would end the header line and start another of the caller's choosing; a NUL cuts the line short.
std::optional<std::string> unsafeHeaderName(const HttpHeaders& headers) {
    const auto unsafe = [](const std::string& text) {
        return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos;
    };
    for (const auto& [name, value] : headers) {
        if (unsafe(name) || unsafe(value))
            return name;
    }
    return std::nullopt;
}

bool hasHttpScheme(std::string_view url) {
    auto startsWith = [url](std::string_view prefix) {
        return url.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), url.begin(), [](char a, char b) {
                   return a == std::tolower(static_cast<unsigned char>(b));
               });
    };
    return startsWith("http://") || startsWith("https://");
}

// A given file replaces the system's authorities altogether, so that only that file's authorities are trusted.
bool trustCertificateAuthorities(CURL* easy, const std::string& file) {
    if (file.empty())
        return true;
    return curl_easy_setopt(easy, CURLOPT_CAINFO, file.c_str()) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr) == CURLE_OK;
}

bool configure(Transfer& transfer) {
    CURL* easy = transfer.easy.get();
    const auto timeout = static_cast<long>(transfer.request.timeout.count());
    transfer.headerList = makeHeaderList(transfer.request.headers);
    return curl_easy_setopt(easy, CURLOPT_URL, transfer.request.url.c_str()) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, timeout) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer.headerList.get()) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, receiveBody) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, receiveHeaderLine) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer.errorText) == CURLE_OK &&
           trustCertificateAuthorities(easy, transfer.certificateAuthorityFile);
}

} // namespace

// Shared by the client and its thread, so that a client released from inside one of its own completions
// can let the thread finish on its own instead of joining itself.
class CurlHttpClient::Worker : public std::enable_shared_from_this<Worker> {
public:
    static std::shared_ptr<Worker> start(Options options) {
        auto worker = std::make_shared<Worker>(options);
        worker->_thread = std::thread([worker] { worker->run(); });
        return worker;
    }

    explicit Worker(Options options) : _options(options) {
        ensureCurlGlobalInit();
        _multi.reset(curl_multi_init()); // when this fails, every request fails instead of waiting forever
    }

    void stop() {
        {
            std::lock_guard lock(_mutex);
            _stopping = true;
        }
        wakeUp();
        if (std::this_thread::get_id() == _thread.get_id()) {
            _thread.detach(); // called from a completion: the loop ends once that completion returns
        } else {
            _thread.join();
        }
    }

    // Requests that arrive while shutting down (a completion chaining another one) are still queued: the
    // thread cancels them after the current completion returns, never on the sender's stack.
    void enqueue(HttpRequest request, Completion completion) {
        auto transfer = std::make_unique<Transfer>();
        transfer->request = std::move(request);
        transfer->completion = std::move(completion);
        transfer->maxResponseBytes = _options.maxResponseBytes;
        transfer->certificateAuthorityFile = _options.certificateAuthorityFile;
        {
            std::lock_guard lock(_mutex);
            if (!_finished) {
                _incoming.push_back(std::move(transfer));
            }
        }
        if (transfer) {
            cancelOnThreadOfItsOwn(std::move(transfer));
            return;
        }
        wakeUp();
    }

private:
    void run() {
        while (adoptIncoming()) {
            if (!_multi) {
                waitForIncoming();
                continue;
            }
            int running = 0;
            curl_multi_perform(_multi.get(), &running);
            finishCompleted();
            curl_multi_poll(_multi.get(), nullptr, 0, kIdlePollMilliseconds, nullptr);
        }
        cancelEverything();
    }

    void wakeUp() {
        if (_multi) {
            curl_multi_wakeup(_multi.get());
        } else {
            _incomingChanged.notify_all();
        }
    }

    // Only without a multi handle, whose poll does the waiting otherwise.
    void waitForIncoming() {
        std::unique_lock lock(_mutex);
        _incomingChanged.wait(lock, [this] { return _stopping || !_incoming.empty(); });
    }

    // Starts the transfers queued by send(); false once the client is shutting down.
    bool adoptIncoming() {
        std::deque<std::unique_ptr<Transfer>> incoming;
        {
            std::lock_guard lock(_mutex);
            if (_stopping) {
                return false;
            }
            incoming.swap(_incoming);
        }
        for (auto& transfer : incoming) {
            start(std::move(transfer));
        }
        return true;
    }

    void start(std::unique_ptr<Transfer> transfer) {
        if (!hasHttpScheme(transfer->request.url)) {
            complete(*transfer, errorResult(HttpClientErrorCode::badUrl, "not an http(s) URL"));
            return;
        }
        if (const auto name = unsafeHeaderName(transfer->request.headers)) {
            std::string shown;
            for (const char c : *name)
                shown += (c == '\r' || c == '\n' || c == '\0') ? '?' : c;
            complete(*transfer, errorResult(HttpClientErrorCode::badHeader,
                                            "the request header " + shown + " holds CR, LF or NUL"));
            return;
        }
        if (!_multi) {
            complete(*transfer, errorResult(HttpClientErrorCode::other, "cannot create the transfer engine"));
            return;
        }
        transfer->easy = takeEasyHandle();
        if (!transfer->easy || !configure(*transfer)) {
            complete(*transfer, errorResult(HttpClientErrorCode::other, "cannot set up request"));
            return;
        }
        setMethodAndBody(transfer->easy.get(), transfer->request);
        CURL* easy = transfer->easy.get();
        if (const CURLMcode added = curl_multi_add_handle(_multi.get(), easy); added != CURLM_OK) {
            complete(*transfer, errorResult(HttpClientErrorCode::other,
                                            std::string("cannot start request: ") + curl_multi_strerror(added)));
            return;
        }
        _active.emplace(easy, std::move(transfer));
    }

    void finishCompleted() {
        int remaining = 0;
        while (CURLMsg* message = curl_multi_info_read(_multi.get(), &remaining)) {
            if (message->msg != CURLMSG_DONE) {
                continue;
            }
            auto found = _active.find(message->easy_handle);
            if (found == _active.end()) {
                continue;
            }
            const CURLcode code = message->data.result; // `message` is invalid once the handle is removed
            std::unique_ptr<Transfer> transfer = std::move(found->second);
            _active.erase(found);
            curl_multi_remove_handle(_multi.get(), transfer->easy.get());
            HttpResult result = outcome(*transfer, code);
            recycle(std::move(transfer->easy));
            complete(*transfer, std::move(result));
        }
    }

    // A handle from an earlier transfer with its options cleared, or a new one. Connections stay with the multi
    // handle either way.
    EasyPtr takeEasyHandle() {
        if (_idleEasyHandles.empty()) {
            return EasyPtr(curl_easy_init());
        }
        EasyPtr easy = std::move(_idleEasyHandles.back());
        _idleEasyHandles.pop_back();
        curl_easy_reset(easy.get());
        return easy;
    }

    void recycle(EasyPtr easy) {
        if (_idleEasyHandles.size() < kMaxIdleEasyHandles) {
            _idleEasyHandles.push_back(std::move(easy));
        }
    }

    // Cancels what is in flight, then what is queued, including what those cancellations queue in turn.
    void cancelEverything() {
        for (auto& [easy, transfer] : _active) {
            curl_multi_remove_handle(_multi.get(), easy);
            complete(*transfer, cancelledResult());
        }
        _active.clear();
        for (;;) {
            std::deque<std::unique_ptr<Transfer>> incoming;
            {
                std::lock_guard lock(_mutex);
                incoming.swap(_incoming);
                _finished = incoming.empty();
            }
            if (incoming.empty()) {
                return;
            }
            for (auto& transfer : incoming) {
                complete(*transfer, cancelledResult());
            }
        }
    }

    // The worker thread has ended, so only a request sent while the client is being destroyed gets here.
    static void cancelOnThreadOfItsOwn(std::unique_ptr<Transfer> transfer) {
        std::thread([transfer = std::move(transfer)] { complete(*transfer, cancelledResult()); }).detach();
    }

    static void complete(Transfer& transfer, HttpResult result) {
        if (transfer.completion) {
            transfer.completion(std::move(result));
        }
    }

    const Options _options;
    MultiPtr _multi;
    std::mutex _mutex;
    std::condition_variable _incomingChanged;
    std::deque<std::unique_ptr<Transfer>> _incoming;
    bool _stopping = false;
    bool _finished = false; // the thread has cancelled its last request and ended
    std::unordered_map<CURL*, std::unique_ptr<Transfer>> _active;
    std::vector<EasyPtr> _idleEasyHandles;
    std::thread _thread;
};

CurlHttpClient::CurlHttpClient() : CurlHttpClient(Options{kDefaultMaxResponseBytes, {}}) {}

CurlHttpClient::CurlHttpClient(Options options) : _worker(Worker::start(options)) {}

CurlHttpClient::~CurlHttpClient() {
    _worker->stop();
}

void CurlHttpClient::send(HttpRequest request, Completion completion) {
    _worker->enqueue(std::move(request), std::move(completion));
}

} // namespace vexaqr
