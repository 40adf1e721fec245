#include "codec/payload/OpenSslHandles.hpp"

#include "codec/platform/LogManager.hpp"

#include <openssl/err.h>

#include <string>

namespace vexaqr {

void clearOpenSslErrors() {
    ERR_clear_error();
}

void logOpenSslFailure(std::string_view what) {
    char reason[256] = {};
    ERR_error_string_n(ERR_peek_last_error(), reason, sizeof reason);
    LogManager::standard().log(std::string(what) + ": " + reason);
    ERR_clear_error();
}

} // namespace vexaqr
