#include "codec/payload/AesCbc.hpp"

#include <vexaqr/payload/KeyHandle.hpp>

#include "codec/payload/OpenSslHandles.hpp"

#include <climits>

namespace vexaqr::aes {

std::optional<Bytes> cbc(Direction direction, const Bytes& data, const Block& key, const Block& iv) {
    if (data.size() > static_cast<std::size_t>(INT_MAX) - 16)
        return std::nullopt;
    CipherCtxPtr ctx(EVP_CIPHER_CTX_new());
    const int encrypt = direction == Direction::encrypt ? 1 : 0;
    // One block more than the input holds the padding block of an encryption.
    Bytes output(data.size() + 16);
    int written = 0;
    int finalWritten = 0;
    const bool ok =
        ctx && EVP_CipherInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, key.data(), iv.data(), encrypt) == 1 &&
        EVP_CipherUpdate(ctx.get(), output.data(), &written, data.data(), static_cast<int>(data.size())) == 1 &&
        EVP_CipherFinal_ex(ctx.get(), output.data() + written, &finalWritten) == 1;
    if (!ok) {
        clearOpenSslErrors();
        cleanse(output); // a failed decryption still wrote the plaintext of every block but the last
        return std::nullopt;
    }
    output.resize(static_cast<std::size_t>(written + finalWritten));
    return output;
}

} // namespace vexaqr::aes
