#include "account/platform/CurlGlobal.hpp"

#include <curl/curl.h>

namespace vexaqr {

void ensureCurlGlobalInit() {
    // Never cleaned up: handles may live until the process ends.
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    (void)initialised;
}

} // namespace vexaqr
