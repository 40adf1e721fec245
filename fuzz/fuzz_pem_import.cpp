// PEM import on arbitrary text, and on arbitrary key bytes wrapped as base64 so that the byte form
// (header stripping, key decoding, the store) sees every input.
#include "account/keys/KeyStore.hpp"
#include "account/keys/RsaPemManager.hpp"

#include "codec/payload/Base64.hpp"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto store = vexaqr::KeyStore::makeInMemory();
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string wrapped = vexaqr::base64::encode(vexaqr::Bytes(data, data + size));
    vexaqr::RsaPemManager manager(store);
    manager.addRSAPublicKey(text, "fuzz.public");
    manager.addRSAPrivateKey(text, "fuzz.private");
    manager.addRSAPublicKey(wrapped, "fuzz.public");
    manager.addRSAPrivateKey(wrapped, "fuzz.private");
    vexaqr::RsaKey::fromPem(text);
    return 0;
}
