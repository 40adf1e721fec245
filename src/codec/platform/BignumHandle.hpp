// BignumPtr: the one owning handle of an OpenSSL BIGNUM, shared by the base-45 codec and the RSA key
// code (which may not include each other). Single-owner, like any unique_ptr; no thread rules of its own.
#pragma once

#include "codec/platform/CHandle.hpp"

#include <openssl/bn.h>

namespace vexaqr {

using BignumPtr = CHandle<BIGNUM, BN_free>;
/// For numbers that are key material: the memory is wiped before it is freed.
using SecretBignumPtr = CHandle<BIGNUM, BN_clear_free>;

} // namespace vexaqr
