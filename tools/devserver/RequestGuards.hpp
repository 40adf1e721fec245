// RequestGuards: what stands before and after every handler of the devserver: the rules that keep the
// administration endpoints to local programs (loopback peer, loopback Host, no other site's Origin, a JSON
// content type) and the fault switches of all other endpoints.
//
// Installed once, before the server accepts a connection; uses only the thread-safe parts of the context.
#pragma once

namespace httplib {
class Server;
}

namespace vexaqr::devserver {

class DevServerContext;

/// Sets the server's pre- and post-routing handlers; `context` must outlive the server's serving.
void installRequestGuards(httplib::Server& server, DevServerContext& context);

} // namespace vexaqr::devserver
