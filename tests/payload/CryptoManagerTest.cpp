#include "codec/payload/CryptoManager.hpp"

#include "FreedMemoryWatch.hpp"
#include "codec/payload/RsaOperations.hpp"
#include "support/TestKeys.hpp"

#include <gtest/gtest.h>

namespace vexaqr {
namespace {

const Bytes kKey = test::fromHex("000102030405060708090a0b0c0d0e0f");

TEST(CryptoManagerTest, FailedDecryptionLeavesNoPlaintextInFreedMemory) {
    const Bytes secret = toBytes("the secret part of the content.."); // two blocks
    Bytes plain = secret;
    plain.resize(48, '-');
    auto cipher = CryptoManager::aes128Encrypt(plain, kKey);
    ASSERT_TRUE(cipher);
    cipher->back() ^= 0x01; // the padding block no longer decrypts to valid padding
    const test::FreedMemoryWatch watch(secret);
    EXPECT_FALSE(CryptoManager::aes128Decrypt(*cipher, kKey));
    EXPECT_EQ(watch.sightings(), 0);
}

TEST(CryptoManagerTest, ShortPlaintextRoundTripsThroughOneBlock) {
    const Bytes abc = toBytes("abc");
    auto cipher = CryptoManager::aes128Encrypt(abc, kKey);
    ASSERT_TRUE(cipher);
    EXPECT_EQ(cipher->size(), 16u);
    EXPECT_EQ(CryptoManager::aes128Decrypt(*cipher, kKey), abc);
    // The vector is fixed at zero, so the same input gives the same ciphertext.
    EXPECT_EQ(CryptoManager::aes128Encrypt(abc, kKey), cipher);
}

TEST(CryptoManagerTest, EmptyPlaintextIsOnePaddingBlockAndDecryptsToEmptyNotAbsent) {
    auto cipher = CryptoManager::aes128Encrypt({}, kKey);
    ASSERT_TRUE(cipher);
    EXPECT_EQ(cipher->size(), 16u);
    auto plain = CryptoManager::aes128Decrypt(*cipher, kKey);
    ASSERT_TRUE(plain);
    EXPECT_TRUE(plain->empty());
}

TEST(CryptoManagerTest, RejectsPartialBlocksShortKeysAndUnknownOperations) {
    EXPECT_FALSE(CryptoManager::aes128Decrypt(Bytes(15, 1), kKey));
    EXPECT_FALSE(CryptoManager::aes128Decrypt(Bytes(17, 1), kKey));
    EXPECT_FALSE(CryptoManager::aes128Encrypt(toBytes("abc"), Bytes(15, 1)));
    EXPECT_FALSE(CryptoManager::aes128(toBytes("abc"), kKey, 2));
}

TEST(CryptoManagerTest, OnlyTheFirstSixteenKeyBytesCount) {
    Bytes longKey = kKey;
    longKey.push_back(0x55);
    EXPECT_EQ(CryptoManager::aes128Encrypt(toBytes("abc"), longKey),
              CryptoManager::aes128Encrypt(toBytes("abc"), kKey));
}

TEST(CryptoManagerTest, WrongKeyFailsThePaddingCheckForAlmostEveryKey) {
    auto cipher = CryptoManager::aes128Encrypt(toBytes("some content of two blocks...."), kKey);
    ASSERT_TRUE(cipher);
    int accepted = 0;
    for (int i = 1; i <= 64; ++i) {
        Bytes other = kKey;
        other[0] = static_cast<std::uint8_t>(other[0] ^ i);
        if (CryptoManager::aes128Decrypt(*cipher, other))
            ++accepted;
    }
    EXPECT_LE(accepted, 4); // a wrong key passes only by chance (last byte happens to read 01)
}

TEST(CryptoManagerTest, SignatureCheckRejectsOtherKeysOtherBytesAndWrongLengths) {
    auto signer = test::privateKey("partner", 1024);
    auto verifier = test::publicKey("partner", 1024);
    const Bytes message = toBytes("time stamp and content");
    auto signature = rsa::signSha256(*signer, message.data(), message.size());
    ASSERT_TRUE(signature);
    EXPECT_TRUE(CryptoManager::isValid(message, *signature, verifier));
    EXPECT_TRUE(CryptoManager::isValid(message, *signature, signer)); // a private key verifies with its public half
    EXPECT_FALSE(CryptoManager::isValid(message, *signature, test::publicKey("app", 1024)));
    EXPECT_FALSE(CryptoManager::isValid(toBytes("time stamp and content!"), *signature, verifier));
    Bytes shortSignature(signature->begin(), signature->end() - 1);
    EXPECT_FALSE(CryptoManager::isValid(message, shortSignature, verifier));
    EXPECT_FALSE(CryptoManager::isValid(message, *signature, nullptr));
}

TEST(CryptoManagerTest, EveryFlippedSignatureBitIsRejected) {
    auto signer = test::privateKey("partner", 1024);
    auto verifier = test::publicKey("partner", 1024);
    const Bytes message = toBytes("abc");
    auto signature = rsa::signSha256(*signer, message.data(), message.size());
    ASSERT_TRUE(signature);
    for (std::size_t bit = 0; bit < signature->size() * 8; ++bit) {
        Bytes flipped = *signature;
        flipped[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
        ASSERT_FALSE(CryptoManager::isValid(message, flipped, verifier)) << "bit " << bit;
    }
}

} // namespace
} // namespace vexaqr
