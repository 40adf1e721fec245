// RAII aliases for the OpenSSL objects the payload subsystem creates, and the one place that turns
// OpenSSL's error queue into a log line.
#pragma once

#include "codec/platform/CHandle.hpp"

#include <openssl/bio.h>
#include <openssl/evp.h>

#include <string_view>

namespace vexaqr {

using PkeyPtr = CHandle<EVP_PKEY, EVP_PKEY_free>;
using PkeyCtxPtr = CHandle<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;
using CipherCtxPtr = CHandle<EVP_CIPHER_CTX, EVP_CIPHER_CTX_free>;
using MdCtxPtr = CHandle<EVP_MD_CTX, EVP_MD_CTX_free>;
using BioPtr = CHandle<BIO, BIO_free_all>;

/// Empties OpenSSL's thread-local error queue so that a failure left by one call (expected, e.g. a
/// bad signature) is not mistaken for the reason of a later one.
void clearOpenSslErrors();

/// Logs `what` with OpenSSL's own reason for the most recent failure, then clears the queue.
void logOpenSslFailure(std::string_view what);

} // namespace vexaqr
