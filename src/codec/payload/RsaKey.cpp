#include <vexaqr/payload/KeyHandle.hpp>

#include "codec/payload/OpenSslHandles.hpp"
#include "codec/payload/RsaKeyAccess.hpp"
#include "codec/platform/BignumHandle.hpp"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/decoder.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

namespace vexaqr {

namespace {

using DecoderCtxPtr = CHandle<OSSL_DECODER_CTX, OSSL_DECODER_CTX_free>;

bool isRsa(const EVP_PKEY* pkey) {
    return EVP_PKEY_get_base_id(pkey) == EVP_PKEY_RSA;
}

bool hasPrivateExponent(const EVP_PKEY* pkey) {
    BIGNUM* d = nullptr;
    const bool present = EVP_PKEY_get_bn_param(pkey, OSSL_PKEY_PARAM_RSA_D, &d) == 1;
    const SecretBignumPtr privateExponent(d);
    return present && privateExponent != nullptr;
}

std::string drainToString(BIO* bio) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return length > 0 ? std::string(data, static_cast<std::size_t>(length)) : std::string();
}

KeyHandle fromPublicDer(const Bytes& der) {
    const unsigned char* cursor = der.data();
    EVP_PKEY* pkey = d2i_PublicKey(EVP_PKEY_RSA, nullptr, &cursor, static_cast<long>(der.size()));
    if (!pkey) {
        clearOpenSslErrors();
        return nullptr;
    }
    if (cursor != der.data() + der.size()) { // trailing bytes: not one key
        EVP_PKEY_free(pkey);
        return nullptr;
    }
    return RsaKeyAccess::adopt(pkey, RsaKey::Kind::publicKey);
}

KeyHandle fromPrivateDer(const Bytes& der) {
    const unsigned char* cursor = der.data();
    EVP_PKEY* pkey = d2i_PrivateKey(EVP_PKEY_RSA, nullptr, &cursor, static_cast<long>(der.size()));
    if (!pkey) {
        clearOpenSslErrors();
        return nullptr;
    }
    if (cursor != der.data() + der.size()) {
        EVP_PKEY_free(pkey);
        return nullptr;
    }
    return RsaKeyAccess::adopt(pkey, RsaKey::Kind::privateKey);
}

} // namespace

void RsaKey::Release::operator()(evp_pkey_st* pkey) const noexcept {
    EVP_PKEY_free(pkey);
}

void cleanse(Bytes& bytes) {
    if (!bytes.empty())
        OPENSSL_cleanse(bytes.data(), bytes.size());
}

KeyHandle RsaKeyAccess::adopt(EVP_PKEY* pkey, RsaKey::Kind kind) {
    if (!pkey)
        return nullptr;
    if (!isRsa(pkey) || (kind == RsaKey::Kind::privateKey && !hasPrivateExponent(pkey))) {
        EVP_PKEY_free(pkey);
        return nullptr;
    }
    return KeyHandle(new RsaKey(pkey, kind));
}

std::optional<RsaKeyPair> RsaKey::generatePair(int bits) {
    if (bits < 512)
        return std::nullopt;
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr));
    EVP_PKEY* generated = nullptr;
    if (!ctx || EVP_PKEY_keygen_init(ctx.get()) != 1 || EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), bits) != 1 ||
        EVP_PKEY_keygen(ctx.get(), &generated) != 1) {
        logOpenSslFailure("RSA key generation failed");
        return std::nullopt;
    }
    KeyHandle privateKey = RsaKeyAccess::adopt(generated, Kind::privateKey);
    if (!privateKey)
        return std::nullopt;
    KeyHandle publicKey = privateKey->publicKey();
    if (!publicKey)
        return std::nullopt;
    return RsaKeyPair{std::move(privateKey), std::move(publicKey)};
}

KeyHandle RsaKey::fromPkcs1(const Bytes& der, Kind kind) {
    if (der.empty())
        return nullptr;
    return kind == Kind::publicKey ? fromPublicDer(der) : fromPrivateDer(der);
}

KeyHandle RsaKey::fromPem(std::string_view pem) {
    EVP_PKEY* pkey = nullptr;
    DecoderCtxPtr decoder(
        OSSL_DECODER_CTX_new_for_pkey(&pkey, "PEM", nullptr, "RSA", 0 /* any part */, nullptr, nullptr));
    if (!decoder) {
        clearOpenSslErrors();
        return nullptr;
    }
    // An empty passphrase: encrypted keys fail instead of prompting on a terminal.
    OSSL_DECODER_CTX_set_passphrase(decoder.get(), reinterpret_cast<const unsigned char*>(""), 0);
    const auto* data = reinterpret_cast<const unsigned char*>(pem.data());
    std::size_t remaining = pem.size();
    if (OSSL_DECODER_from_data(decoder.get(), &data, &remaining) != 1 || !pkey) {
        clearOpenSslErrors();
        EVP_PKEY_free(pkey);
        return nullptr;
    }
    return RsaKeyAccess::adopt(pkey, hasPrivateExponent(pkey) ? Kind::privateKey : Kind::publicKey);
}

int RsaKey::blockSize() const {
    return EVP_PKEY_get_size(_pkey.get());
}

int RsaKey::sizeInBits() const {
    return EVP_PKEY_get_bits(_pkey.get());
}

KeyHandle RsaKey::publicKey() const {
    if (_kind == Kind::publicKey)
        return fromPublicDer(externalRepresentation());
    unsigned char* der = nullptr;
    const int length = i2d_PublicKey(_pkey.get(), &der);
    if (length <= 0) {
        logOpenSslFailure("Cannot export RSA public key");
        return nullptr;
    }
    Bytes bytes(der, der + length);
    OPENSSL_free(der);
    return fromPublicDer(bytes);
}

Bytes RsaKey::externalRepresentation() const {
    unsigned char* der = nullptr;
    const int length = isPrivate() ? i2d_PrivateKey(_pkey.get(), &der) : i2d_PublicKey(_pkey.get(), &der);
    if (length <= 0) {
        logOpenSslFailure("Cannot export RSA key");
        return {};
    }
    Bytes bytes(der, der + length);
    OPENSSL_clear_free(der, static_cast<std::size_t>(length));
    return bytes;
}

std::string RsaKey::publicKeyPem() const {
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PUBKEY(bio.get(), _pkey.get()) != 1) {
        logOpenSslFailure("Cannot write public key PEM");
        return {};
    }
    return drainToString(bio.get());
}

std::string RsaKey::privateKeyPem() const {
    if (!isPrivate())
        return {};
    BioPtr bio(BIO_new(BIO_s_secmem()));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), _pkey.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
        logOpenSslFailure("Cannot write private key PEM");
        return {};
    }
    return drainToString(bio.get());
}

bool RsaKey::samePublicKey(const RsaKey& other) const {
    const bool same = EVP_PKEY_eq(_pkey.get(), other._pkey.get()) == 1;
    clearOpenSslErrors();
    return same;
}

} // namespace vexaqr
