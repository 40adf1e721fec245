// Parsing and verifying a 2048-bit SECURED record with 1 KiB of content, against the bare OpenSSL work
// such a record needs: one RSA-2048 private decryption, one RSA-2048 verification, AES-128-CBC of 1 KiB.
#include <vexaqr/payload/VXAData.hpp>
#include <vexaqr/payload/VXADataWriter.hpp>

#include "codec/payload/RsaKeyAccess.hpp"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <cstdlib>

namespace {

using namespace vexaqr;

constexpr std::size_t kContentLength = 1024;
constexpr std::size_t kKeyBlockOffset = 19 + 256;
constexpr std::size_t kTimestampOffset = 19 + 512;

struct Fixture {
    RsaKeyPair partner;
    RsaKeyPair app;
    Bytes record;
};

const Fixture& fixture() {
    static const Fixture f = [] {
        Fixture made{*RsaKey::generatePair(2048), *RsaKey::generatePair(2048), {}};
        VXADataWriter::Input input;
        input.content = Bytes(kContentLength, 0x5A);
        input.vxaType = VxaType::SECURED;
        input.cipherMethod = CipherMethod::RSA2048_AES128_SHA256;
        input.timestamp = 1700000000;
        input.partnerPrivateKey = made.partner.privateKey;
        input.keyBlockPublicKey = made.app.publicKey;
        made.record = *VXADataWriter::write(input);
        return made;
    }();
    return f;
}

void BM_ParseSecuredRecord2048(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state) {
        VXAData data(f.record, f.app.privateKey, f.partner.publicKey, nullptr);
        if (!data.isValid())
            state.SkipWithError("record did not verify");
        benchmark::DoNotOptimize(data.actualVxaData);
    }
}
BENCHMARK(BM_ParseSecuredRecord2048)->Unit(benchmark::kMicrosecond);

// The same three operations straight on OpenSSL, on the same record and keys.
void BM_RawOpenSslWork(benchmark::State& state) {
    const Fixture& f = fixture();
    const Bytes& record = f.record;
    const Bytes cipher(record.begin() + kTimestampOffset + 4, record.end());
    for (auto _ : state) {
        EVP_PKEY_CTX* rsa = EVP_PKEY_CTX_new_from_pkey(nullptr, RsaKeyAccess::native(*f.app.privateKey), nullptr);
        unsigned char key[256];
        std::size_t keyLength = sizeof key;
        EVP_PKEY_decrypt_init(rsa);
        EVP_PKEY_CTX_set_rsa_padding(rsa, RSA_PKCS1_PADDING);
        EVP_PKEY_decrypt(rsa, key, &keyLength, record.data() + kKeyBlockOffset, 256);
        EVP_PKEY_CTX_free(rsa);

        EVP_CIPHER_CTX* aes = EVP_CIPHER_CTX_new();
        const unsigned char iv[16] = {};
        Bytes signedBytes(record.begin() + kTimestampOffset, record.begin() + kTimestampOffset + 4);
        signedBytes.resize(4 + cipher.size() + 16);
        int written = 0, finalWritten = 0;
        EVP_DecryptInit_ex(aes, EVP_aes_128_cbc(), nullptr, key, iv);
        EVP_DecryptUpdate(aes, signedBytes.data() + 4, &written, cipher.data(), static_cast<int>(cipher.size()));
        EVP_DecryptFinal_ex(aes, signedBytes.data() + 4 + written, &finalWritten);
        EVP_CIPHER_CTX_free(aes);
        signedBytes.resize(4 + static_cast<std::size_t>(written + finalWritten));

        EVP_MD_CTX* md = EVP_MD_CTX_new();
        EVP_DigestVerifyInit(md, nullptr, EVP_sha256(), nullptr, RsaKeyAccess::native(*f.partner.publicKey));
        const int verified = EVP_DigestVerify(md, record.data() + 19, 256, signedBytes.data(), signedBytes.size());
        EVP_MD_CTX_free(md);
        if (verified != 1)
            state.SkipWithError("raw verification failed");
        benchmark::DoNotOptimize(signedBytes);
    }
}
BENCHMARK(BM_RawOpenSslWork)->Unit(benchmark::kMicrosecond);

} // namespace
