// Small HTTP helpers shared by the hub client's units: endpoint parts, a blocking exchange, status reason texts
// and log descriptions that never show a credential.
//
// Stateless; any thread. sendAndWait() must not run on the HTTP client's own callback thread.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/platform/HttpClient.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexaqr::hub {

/// The host (with ":port" when given) of an absolute URL; nothing when the text is no URL with a host.
std::optional<std::string> hostAndPortOf(std::string_view url);

/// The scheme a hub or token-service address is reached with: "http" only for a loopback host given with
/// "http" (a hub on this machine), "https" otherwise.
std::string secureSchemeFor(std::string_view url);

/// Sends `request` and blocks until its completion has run.
HttpResult sendAndWait(HttpClient& client, HttpRequest request);

/// The standard reason text of an HTTP status ("Not Found"); "Unknown Status" for others.
std::string reasonPhrase(int status);

/// "METHOD URL" for logs.
std::string describeRequest(const HttpRequest& request);
/// Header lines for logs, with every credential-bearing value replaced by "<redacted>".
std::string describeHeaders(const HttpHeaders& headers);

/// A reply body as it may appear in an error or a log line: at most its first 200 bytes, every byte outside
/// printable ASCII written as "\xNN" (so that no terminal control sequence gets through), and the full size
/// when it was cut.
std::string bodyExcerpt(const Bytes& body);

/// The pieces of `text` between the `separator`s, empty ones included (one piece when there is none).
std::vector<std::string_view> split(std::string_view text, char separator);

/// The value of the first header named `name` (compared without regard to case).
std::optional<std::string> headerValue(const HttpHeaders& headers, std::string_view name);

} // namespace vexaqr::hub
