// libcurl's process-wide initialisation, done once before the first handle is made.
#pragma once

namespace vexaqr {

/// Initialises libcurl once per process (thread-safe); later calls do nothing.
void ensureCurlGlobalInit();

} // namespace vexaqr
