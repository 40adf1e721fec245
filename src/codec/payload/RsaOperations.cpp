#include "codec/payload/RsaOperations.hpp"

#include "codec/payload/OpenSslHandles.hpp"
#include "codec/payload/RsaKeyAccess.hpp"

#include <openssl/core_names.h>
#include <openssl/params.h>
#include <openssl/rsa.h>

namespace vexaqr::rsa {

namespace {

PkeyCtxPtr makeContext(const RsaKey& key) {
    return PkeyCtxPtr(EVP_PKEY_CTX_new_from_pkey(nullptr, RsaKeyAccess::native(key), nullptr));
}

// Newer OpenSSL answers bad padding with a pseudo-random message instead of an error (a defence
// for servers that must not reveal padding failures). A record reader answers no one, and must see
// the failure, or a wrong key would yield a garbage AES key. Older versions always fail openly.
bool refuseBadPaddingOpenly([[maybe_unused]] EVP_PKEY_CTX* ctx) {
#ifdef OSSL_ASYM_CIPHER_PARAM_IMPLICIT_REJECTION
    unsigned int implicitRejection = 0;
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_uint(OSSL_ASYM_CIPHER_PARAM_IMPLICIT_REJECTION, &implicitRejection),
        OSSL_PARAM_construct_end(),
    };
    return EVP_PKEY_CTX_set_params(ctx, params) == 1;
#else
    return true;
#endif
}

} // namespace

std::optional<Bytes> decryptPkcs1(const RsaKey& privateKey, const std::uint8_t* cipher, std::size_t length) {
    if (!privateKey.isPrivate())
        return std::nullopt;
    PkeyCtxPtr ctx = makeContext(privateKey);
    Bytes plain(static_cast<std::size_t>(privateKey.blockSize()));
    std::size_t plainLength = plain.size();
    if (!ctx || EVP_PKEY_decrypt_init(ctx.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1 || !refuseBadPaddingOpenly(ctx.get()) ||
        EVP_PKEY_decrypt(ctx.get(), plain.data(), &plainLength, cipher, length) != 1) {
        clearOpenSslErrors();
        cleanse(plain);
        return std::nullopt;
    }
    Bytes result(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(plainLength));
    cleanse(plain);
    return result;
}

std::optional<Bytes> encryptPkcs1(const RsaKey& key, const Bytes& plain) {
    PkeyCtxPtr ctx = makeContext(key);
    Bytes cipher(static_cast<std::size_t>(key.blockSize()));
    std::size_t cipherLength = cipher.size();
    if (!ctx || EVP_PKEY_encrypt_init(ctx.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1 ||
        EVP_PKEY_encrypt(ctx.get(), cipher.data(), &cipherLength, plain.data(), plain.size()) != 1) {
        logOpenSslFailure("RSA encryption failed");
        return std::nullopt;
    }
    cipher.resize(cipherLength);
    return cipher;
}

std::optional<Bytes> signSha256(const RsaKey& privateKey, const std::uint8_t* message, std::size_t length) {
    if (!privateKey.isPrivate())
        return std::nullopt;
    MdCtxPtr ctx(EVP_MD_CTX_new());
    Bytes signature(static_cast<std::size_t>(privateKey.blockSize()));
    std::size_t signatureLength = signature.size();
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, RsaKeyAccess::native(privateKey)) != 1 ||
        EVP_DigestSign(ctx.get(), signature.data(), &signatureLength, message, length) != 1) {
        logOpenSslFailure("RSA signing failed");
        return std::nullopt;
    }
    signature.resize(signatureLength);
    return signature;
}

bool verifySha256(const RsaKey& key, const std::uint8_t* message, std::size_t length, const Bytes& signature) {
    MdCtxPtr ctx(EVP_MD_CTX_new());
    EVP_PKEY_CTX* pkeyCtx = nullptr; // owned by ctx
    const bool verified =
        ctx && EVP_DigestVerifyInit(ctx.get(), &pkeyCtx, EVP_sha256(), nullptr, RsaKeyAccess::native(key)) == 1 &&
        EVP_PKEY_CTX_set_rsa_padding(pkeyCtx, RSA_PKCS1_PADDING) == 1 &&
        EVP_DigestVerify(ctx.get(), signature.data(), signature.size(), message, length) == 1;
    if (!verified)
        clearOpenSslErrors();
    return verified;
}

} // namespace vexaqr::rsa
