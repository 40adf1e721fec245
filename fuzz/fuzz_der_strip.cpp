// The fixed-offset DER stripping functions and the PKCS#1 decoding of what they return.
#include <vexaqr/payload/KeyHandle.hpp>

#include "codec/payload/DerStripping.hpp"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const vexaqr::Bytes input(data, data + size);
    if (auto bare = vexaqr::der::stripPublicKeyHeader(input)) {
        if (bare->size() > input.size())
            __builtin_trap();
        vexaqr::RsaKey::fromPkcs1(*bare, vexaqr::RsaKey::Kind::publicKey);
    }
    if (auto bare = vexaqr::der::stripPrivateKeyHeader(input)) {
        if (bare->size() > input.size())
            __builtin_trap();
        vexaqr::RsaKey::fromPkcs1(*bare, vexaqr::RsaKey::Kind::privateKey);
    }
    return 0;
}
