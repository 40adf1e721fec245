#include "codec/payload/CryptoManager.hpp"

#include "codec/payload/AesCbc.hpp"
#include "codec/payload/RsaOperations.hpp"

#include <algorithm>
#include <openssl/crypto.h>

namespace vexaqr {

std::optional<Bytes> CryptoManager::aes128(const Bytes& data, const Bytes& keyData, int operation) {
    if (keyData.size() < 16 || (operation != kEncrypt && operation != kDecrypt))
        return std::nullopt;
    aes::Block key{};
    std::copy_n(keyData.begin(), key.size(), key.begin());
    const aes::Block zeroVector{};
    auto result =
        aes::cbc(operation == kEncrypt ? aes::Direction::encrypt : aes::Direction::decrypt, data, key, zeroVector);
    OPENSSL_cleanse(key.data(), key.size());
    return result;
}

std::optional<Bytes> CryptoManager::aes128Encrypt(const Bytes& data, const Bytes& keyData) {
    return aes128(data, keyData, kEncrypt);
}

std::optional<Bytes> CryptoManager::aes128Decrypt(const Bytes& data, const Bytes& keyData) {
    return aes128(data, keyData, kDecrypt);
}

bool CryptoManager::isValid(const Bytes& signedData, const Bytes& signature, const KeyHandle& publicKey) {
    if (!publicKey)
        return false;
    return rsa::verifySha256(*publicKey, signedData.data(), signedData.size(), signature);
}

} // namespace vexaqr
