// RsaKeyAccess: the library's own way to the OpenSSL object inside an RsaKey. Hosts never see it;
// units under src/ (and the benchmarks) use it to wrap a new EVP_PKEY or hand a key to an EVP call.
// Stateless; the thread rules are those of the key (immutable, shareable).
#pragma once

#include <vexaqr/payload/KeyHandle.hpp>

#include <openssl/evp.h>

namespace vexaqr {

class RsaKeyAccess {
public:
    /// Takes ownership of `pkey` (freed on every path). Nothing when it is null, not RSA, or meant as a
    /// private key without a private exponent.
    static KeyHandle adopt(EVP_PKEY* pkey, RsaKey::Kind kind);

    /// The key's OpenSSL object, owned by `key` and valid as long as it lives; never null.
    static EVP_PKEY* native(const RsaKey& key) { return key._pkey.get(); }
};

} // namespace vexaqr
