// The payload record parser on arbitrary bytes, through both constructors; the first input byte picks
// the constructor and which private keys are present.
#include <vexaqr/payload/VXAData.hpp>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

struct Keys {
    vexaqr::RsaKeyPair partner = *vexaqr::RsaKey::generatePair(1024);
    vexaqr::RsaKeyPair app = *vexaqr::RsaKey::generatePair(1024);
};

const Keys& keys() {
    static const Keys k;
    return k;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const Keys& k = keys();
    const std::uint8_t selector = data[0];
    const vexaqr::KeyHandle appKey = (selector & 2) ? k.app.privateKey : nullptr;
    const vexaqr::KeyHandle partnerKey = (selector & 4) ? k.partner.privateKey : nullptr;
    if (selector & 1) {
        const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
        vexaqr::VXAData record(text, appKey, k.partner.publicKey, partnerKey);
        if (record.isValid() && !record.signature)
            __builtin_trap();
    } else {
        const vexaqr::Bytes bytes(data + 1, data + size);
        vexaqr::VXAData record(bytes, appKey, k.partner.publicKey, partnerKey);
        if (record.isValid() && !record.signature)
            __builtin_trap();
    }
    return 0;
}
