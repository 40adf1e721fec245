#include "account/keys/RsaPemManager.hpp"

#include "account/keys/KeyStore.hpp"
#include "codec/platform/LogManager.hpp"

#include "codec/payload/Base64.hpp"
#include "codec/payload/DerStripping.hpp"

#include <openssl/crypto.h>

// g++ 12 with the sanitizers reports a false "maybe uninitialized" inside std::regex's own
// std::function members; the warning is silenced for this unit only.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <regex>

namespace vexaqr {

namespace {

// The armour lines and all white space. std::regex recurses per character matched, so texts far
// beyond any real key are refused before matching.
constexpr std::size_t kMaxPemLength = 16 * 1024;

const std::regex& armourPattern() {
    static const std::regex pattern("(-----BEGIN.*?-----)|(-----END.*?-----)|\\s+");
    return pattern;
}

KeyStoreStatus addToStore(KeyStore* store, const std::string& tagName, const Bytes& bareKey, RsaKey::Kind kind) {
    KeyHandle key = RsaKey::fromPkcs1(bareKey, kind);
    if (!key)
        return KeyStoreStatus::decodeError;
    return store ? store->add(toBytes(tagName), key) : KeyStoreStatus::notAvailable;
}

bool countsAsStored(KeyStoreStatus status) {
    return status == KeyStoreStatus::success || status == KeyStoreStatus::duplicateItem;
}

} // namespace

RsaPemManager::RsaPemManager(std::shared_ptr<KeyStore> store) : _store(std::move(store)) {}

std::optional<Bytes> RsaPemManager::base64Decode(const std::string& pem) {
    if (pem.size() > kMaxPemLength)
        return std::nullopt;
    std::string body = std::regex_replace(pem, armourPattern(), "");
    auto bytes = base64::decode(body);
    OPENSSL_cleanse(body.data(), body.size()); // may be a private key
    return bytes;
}

KeyHandle RsaPemManager::addRSAPrivateKey(const std::string& pem, const std::string& tagName) {
    auto bytes = base64Decode(pem);
    if (!bytes)
        return nullptr;
    KeyHandle key = addRSAPrivateKey(*bytes, tagName);
    cleanse(*bytes);
    return key;
}

KeyHandle RsaPemManager::addRSAPublicKey(const std::string& pem, const std::string& tagName) {
    auto bytes = base64Decode(pem);
    if (!bytes)
        return nullptr;
    return addRSAPublicKey(*bytes, tagName);
}

KeyHandle RsaPemManager::addRSAPublicKey(const Bytes& key, const std::string& tagName) {
    deleteRSAKeyFromKeychain(tagName);
    auto bareKey = der::stripPublicKeyHeader(key);
    if (!bareKey)
        return nullptr;
    if (!countsAsStored(addToStore(_store.get(), tagName, *bareKey, RsaKey::Kind::publicKey)))
        return nullptr;
    return getRSAKeyFromKeychain(tagName);
}

KeyHandle RsaPemManager::addRSAPrivateKey(const Bytes& key, const std::string& tagName) {
    deleteRSAKeyFromKeychain(tagName);
    auto bareKey = der::stripPrivateKeyHeader(key);
    if (!bareKey)
        return nullptr;
    const KeyStoreStatus status = addToStore(_store.get(), tagName, *bareKey, RsaKey::Kind::privateKey);
    cleanse(*bareKey);
    if (!countsAsStored(status)) {
        LogManager::standard().log("Cannot add key to keychain, status " +
                                   std::to_string(static_cast<std::int32_t>(status)) + ".");
        return nullptr;
    }
    return getRSAKeyFromKeychain(tagName);
}

KeyHandle RsaPemManager::getRSAKeyFromKeychain(const std::string& tagName) {
    if (!_store)
        return nullptr;
    auto lookup = _store->copyMatching(toBytes(tagName));
    return lookup.status == KeyStoreStatus::success ? lookup.key : nullptr;
}

void RsaPemManager::deleteRSAKeyFromKeychain(const std::string& tagName) {
    if (_store)
        _store->remove(toBytes(tagName));
}

Bytes RsaPemManager::exportRSAPublicKeyToDER(const Bytes& key, const std::string& /*keyType*/, int /*keySize*/) {
    std::uint8_t bitString[kRsaPemManagerASNHeaderLengthForRSA] = {kRsaPemManagerASNHeaderBitstringMark};
    std::size_t bitStringLength = 1 + encodeASN1LengthParameter(key.size() + 1, bitString + 1);
    bitString[bitStringLength++] = 0x00; // no unused bits

    std::uint8_t outer[kRsaPemManagerASNHeaderLengthForRSA] = {kRsaPemManagerASNHeaderSequenceMark};
    const std::size_t contentLength = kRsaPemManagerRSAOIDHeaderLength + bitStringLength + key.size();
    const std::size_t outerLength = 1 + encodeASN1LengthParameter(contentLength, outer + 1);

    Bytes der(outer, outer + outerLength);
    der.insert(der.end(), der::kRsaPemManagerRSAOIDHeader.begin(), der::kRsaPemManagerRSAOIDHeader.end());
    der.insert(der.end(), bitString, bitString + bitStringLength);
    der.insert(der.end(), key.begin(), key.end());
    return der;
}

std::string RsaPemManager::exportRSAPublicKeyToPEM(const Bytes& key, const std::string& keyType, int keySize) {
    return PEMKeyFromDERKey(exportRSAPublicKeyToDER(key, keyType, keySize));
}

int RsaPemManager::bytesNeededForRepresentingInteger(std::int64_t x) {
    if (x <= 0)
        return 0;
    for (int i = 1; i <= 7; ++i)
        if (x < (std::int64_t{1} << (8 * i)))
            return i;
    return 8;
}

std::size_t RsaPemManager::encodeASN1LengthParameter(std::size_t length, std::uint8_t* buffer) {
    if (length < kRsaPemManagerExtendedLengthMark) {
        buffer[0] = static_cast<std::uint8_t>(length);
        return 1;
    }
    const int count = bytesNeededForRepresentingInteger(static_cast<std::int64_t>(length));
    buffer[0] = static_cast<std::uint8_t>(kRsaPemManagerExtendedLengthMark + count);
    for (int i = 0; i < count; ++i)
        buffer[1 + i] = static_cast<std::uint8_t>(length >> (8 * (count - 1 - i)));
    return static_cast<std::size_t>(count) + 1;
}

std::string RsaPemManager::PEMKeyFromDERKey(const Bytes& der) {
    const std::string body = base64::encode(der);
    std::string pem(kRsaPemManagerPublicKeyInitialTag);
    for (std::size_t offset = 0; offset < body.size(); offset += kRsaPemManagerPublicNumberOfCharactersInALine) {
        pem += body.substr(offset, kRsaPemManagerPublicNumberOfCharactersInALine);
        pem += '\n';
    }
    pem += kRsaPemManagerPublicKeyFinalTag;
    return pem;
}

} // namespace vexaqr
