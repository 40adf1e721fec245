// Public vectors from Project Wycheproof (tests/data/wycheproof, Apache-2.0).
#include "account/keys/KeyStore.hpp"
#include "account/keys/RsaPemManager.hpp"
#include "codec/payload/CryptoManager.hpp"

#include "codec/payload/AesCbc.hpp"
#include "codec/payload/DerStripping.hpp"
#include "codec/payload/RsaOperations.hpp"
#include "support/TestKeys.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace vexaqr {
namespace {

nlohmann::json loadVectors(const std::string& file) {
    return nlohmann::json::parse(test::readTextFile(std::string(VEXAQR_TEST_DATA_DIR) + "/wycheproof/" + file));
}

Bytes hex(const nlohmann::json& value) {
    return test::fromHex(value.get<std::string>());
}

struct Tally {
    int passed = 0;
    int total = 0;
};

// Every case through the path the SDK takes: SubjectPublicKeyInfo stripped to PKCS#1, then the check.
TEST(WycheproofTest, SignatureVerificationOfTheVerifyFile) {
    const auto vectors = loadVectors("rsa_signature_2048_sha256_test.json");
    Tally tally;
    for (const auto& group : vectors["testGroups"]) {
        auto bare = der::stripPublicKeyHeader(hex(group["publicKeyDer"]));
        ASSERT_TRUE(bare);
        ASSERT_EQ(*bare, hex(group["publicKeyAsn"]));
        KeyHandle key = RsaKey::fromPkcs1(*bare, RsaKey::Kind::publicKey);
        ASSERT_TRUE(key);
        for (const auto& test : group["tests"]) {
            const std::string result = test["result"];
            const bool verified = CryptoManager::isValid(hex(test["msg"]), hex(test["sig"]), key);
            if (result == "acceptable")
                continue; // MissingNull: either answer passes
            ++tally.total;
            if (verified == (result == "valid"))
                ++tally.passed;
            else
                ADD_FAILURE() << "tcId " << test["tcId"] << " " << test["comment"];
        }
    }
    EXPECT_EQ(tally.passed, tally.total);
    EXPECT_EQ(tally.total, 258);
}

// The generation files hold correct signatures only; the record format needs 1024-bit ones to verify.
TEST(WycheproofTest, GeneratedSignaturesVerifyThroughPemImport) {
    const auto store = KeyStore::makeInMemory();
    int verified = 0;
    for (const std::string file : {"rsa_pkcs1_1024_sig_gen_test.json", "rsa_pkcs1_2048_sig_gen_test.json"}) {
        const auto vectors = loadVectors(file);
        for (const auto& group : vectors["testGroups"]) {
            if (group["sha"].get<std::string>() != "SHA-256")
                continue;
            RsaPemManager manager(store);
            KeyHandle key = manager.addRSAPublicKey(group["keyPem"].get<std::string>(), "wycheproof");
            ASSERT_TRUE(key);
            EXPECT_EQ(manager.exportRSAPublicKeyToDER(hex(group["keyAsn"]), "RSA", group["keySize"]),
                      hex(group["keyDer"]));
            KeyHandle privateKey = manager.addRSAPrivateKey(group["privateKeyPem"].get<std::string>(), "private");
            ASSERT_TRUE(privateKey);
            EXPECT_TRUE(privateKey->samePublicKey(*key));
            for (const auto& test : group["tests"]) {
                const Bytes message = hex(test["msg"]);
                EXPECT_TRUE(CryptoManager::isValid(message, hex(test["sig"]), key)) << file << " " << test["tcId"];
                // PKCS#1 v1.5 signatures are deterministic: ours must be the same bytes.
                EXPECT_EQ(rsa::signSha256(*privateKey, message.data(), message.size()), hex(test["sig"]));
                ++verified;
            }
        }
    }
    EXPECT_EQ(verified, 19);
}

TEST(WycheproofTest, KeyBlockDecryption) {
    const auto vectors = loadVectors("rsa_pkcs1_2048_test.json");
    int cases = 0;
    for (const auto& group : vectors["testGroups"]) {
        const Bytes pkcs8 = hex(group["privateKeyPkcs8"]);
        auto bare = der::stripPrivateKeyHeader(pkcs8);
        ASSERT_TRUE(bare);
        KeyHandle key = RsaKey::fromPkcs1(*bare, RsaKey::Kind::privateKey);
        ASSERT_TRUE(key);
        for (const auto& test : group["tests"]) {
            ++cases;
            const Bytes cipher = hex(test["ct"]);
            auto plain = rsa::decryptPkcs1(*key, cipher.data(), cipher.size());
            if (test["result"].get<std::string>() == "valid") {
                EXPECT_EQ(plain, hex(test["msg"])) << "tcId " << test["tcId"];
            } else {
                // Implicit rejection is off, so bad padding fails openly on every OpenSSL version.
                EXPECT_FALSE(plain) << "tcId " << test["tcId"];
            }
        }
    }
    EXPECT_EQ(cases, 67);
}

// The vectors carry their own IV; the wrapper under CryptoManager takes it. Through CryptoManager's zero
// vector the same cases hold as aes128Decrypt(iv || ct) with the first block dropped.
TEST(WycheproofTest, AesCbcPkcs7) {
    const auto vectors = loadVectors("aes_cbc_pkcs5_test.json");
    int cases = 0;
    for (const auto& group : vectors["testGroups"]) {
        if (group["keySize"].get<int>() != 128)
            continue;
        for (const auto& test : group["tests"]) {
            ++cases;
            const Bytes key = hex(test["key"]), iv = hex(test["iv"]), msg = hex(test["msg"]), ct = hex(test["ct"]);
            aes::Block keyBlock{}, ivBlock{};
            std::copy(key.begin(), key.end(), keyBlock.begin());
            std::copy(iv.begin(), iv.end(), ivBlock.begin());
            Bytes ivAndCipher = iv;
            ivAndCipher.insert(ivAndCipher.end(), ct.begin(), ct.end());
            auto viaWrapper = aes::cbc(aes::Direction::decrypt, ct, keyBlock, ivBlock);
            auto viaManager = CryptoManager::aes128Decrypt(ivAndCipher, key);
            if (test["result"].get<std::string>() == "valid") {
                EXPECT_EQ(viaWrapper, msg) << "tcId " << test["tcId"];
                EXPECT_EQ(aes::cbc(aes::Direction::encrypt, msg, keyBlock, ivBlock), ct) << "tcId " << test["tcId"];
                ASSERT_TRUE(viaManager) << "tcId " << test["tcId"];
                EXPECT_EQ(Bytes(viaManager->begin() + 16, viaManager->end()), msg) << "tcId " << test["tcId"];
                Bytes chained(viaManager->begin(), viaManager->begin() + 16); // AES^-1(iv)
                chained.insert(chained.end(), msg.begin(), msg.end());
                auto encrypted = CryptoManager::aes128Encrypt(chained, key);
                ASSERT_TRUE(encrypted);
                EXPECT_EQ(Bytes(encrypted->begin() + 16, encrypted->end()), ct) << "tcId " << test["tcId"];
            } else {
                EXPECT_FALSE(viaWrapper) << "tcId " << test["tcId"];
                EXPECT_FALSE(viaManager) << "tcId " << test["tcId"];
            }
        }
    }
    EXPECT_EQ(cases, 72);
}

} // namespace
} // namespace vexaqr
