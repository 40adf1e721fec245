#include "account/keys/RsaPemManager.hpp"
#include "account/keys/KeyStore.hpp"

#include "codec/payload/Base64.hpp"
#include "codec/payload/DerStripping.hpp"
#include "support/TestKeys.hpp"

#include <gtest/gtest.h>

namespace vexaqr {
namespace {

// The DER inside a PEM file written by the openssl command.
Bytes pemBody(const std::string& pem) {
    std::string body;
    std::istringstream lines(pem);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("-----", 0) != 0)
            body += line;
    return base64::decode(body).value_or(Bytes{});
}

class RsaPemManagerTest : public ::testing::Test {
protected:
    RsaPemManager _manager{KeyStore::makeInMemory()};
};

TEST_F(RsaPemManagerTest, ExportMatchesTheOpensslCommandAndTheKnownHeaderBytes) {
    for (int bits : {1024, 2048}) {
        const std::string opensslPem = test::readTextFile(test::keyPath("partner" + std::to_string(bits) + ".pub.pem"));
        const Bytes bare = test::publicKey("partner", bits)->externalRepresentation();
        const Bytes der = _manager.exportRSAPublicKeyToDER(bare, "RSA", bits);
        EXPECT_EQ(der, pemBody(opensslPem));
        // openssl ends the END line with a line feed; ours does not.
        EXPECT_EQ(_manager.exportRSAPublicKeyToPEM(bare, "RSA", bits) + "\n", opensslPem);
        if (bits == 2048) {
            ASSERT_EQ(bare.size(), 270u);
            ASSERT_EQ(der.size(), 294u);
            EXPECT_EQ(Bytes(der.begin(), der.begin() + 4), (Bytes{0x30, 0x82, 0x01, 0x22}));
            EXPECT_EQ(Bytes(der.begin() + 19, der.begin() + 24), (Bytes{0x03, 0x82, 0x01, 0x0F, 0x00}));
        } else {
            ASSERT_EQ(bare.size(), 140u);
            ASSERT_EQ(der.size(), 162u);
            EXPECT_EQ(Bytes(der.begin(), der.begin() + 3), (Bytes{0x30, 0x81, 0x9F}));
            EXPECT_EQ(Bytes(der.begin() + 18, der.begin() + 22), (Bytes{0x03, 0x81, 0x8D, 0x00}));
        }
    }
}

TEST_F(RsaPemManagerTest, PemLinesAreSixtyFourCharactersWithoutFinalLineFeed) {
    const std::string pem = _manager.PEMKeyFromDERKey(Bytes(294, 0xAB));
    std::vector<std::string> lines;
    std::istringstream stream(pem);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines.front(), "-----BEGIN PUBLIC KEY-----");
    for (int i = 1; i <= 6; ++i)
        EXPECT_EQ(lines[i].size(), 64u);
    EXPECT_EQ(lines[7].size(), 8u);
    EXPECT_EQ(lines.back(), "-----END PUBLIC KEY-----");
    EXPECT_NE(pem.back(), '\n');
}

TEST_F(RsaPemManagerTest, LengthEncodingValues) {
    std::uint8_t buffer[9] = {};
    EXPECT_EQ(RsaPemManager::encodeASN1LengthParameter(127, buffer), 1u);
    EXPECT_EQ(buffer[0], 0x7F);
    EXPECT_EQ(RsaPemManager::encodeASN1LengthParameter(128, buffer), 2u);
    EXPECT_EQ(Bytes(buffer, buffer + 2), (Bytes{0x81, 0x80}));
    EXPECT_EQ(RsaPemManager::encodeASN1LengthParameter(271, buffer), 3u);
    EXPECT_EQ(Bytes(buffer, buffer + 3), (Bytes{0x82, 0x01, 0x0F}));
    EXPECT_EQ(RsaPemManager::bytesNeededForRepresentingInteger(0), 0);
    EXPECT_EQ(RsaPemManager::bytesNeededForRepresentingInteger(-5), 0);
    EXPECT_EQ(RsaPemManager::bytesNeededForRepresentingInteger(255), 1);
    EXPECT_EQ(RsaPemManager::bytesNeededForRepresentingInteger(256), 2);
    EXPECT_EQ(RsaPemManager::bytesNeededForRepresentingInteger(INT64_MAX), 8);
}

TEST_F(RsaPemManagerTest, PublicImportStoresTheInnerPkcs1KeyWhateverTheLineBreaks) {
    const std::string pem = test::readTextFile(test::keyPath("partner2048.pub.pem"));
    const Bytes spki = pemBody(pem);
    auto key = _manager.addRSAPublicKey(pem, "t");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->externalRepresentation(), Bytes(spki.end() - 270, spki.end()));

    std::string crlf;
    for (char c : pem)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const std::string bare = base64::encode(spki);
    for (const std::string& variant : {crlf, bare, "  " + bare + "\n\t"}) {
        auto again = _manager.addRSAPublicKey(variant, "t");
        ASSERT_TRUE(again);
        EXPECT_TRUE(again->samePublicKey(*key));
    }
}

TEST_F(RsaPemManagerTest, RsaPublicKeyArmourIsStoredUnchanged) {
    const Bytes bare = test::publicKey("app", 1024)->externalRepresentation();
    const std::string pem =
        "-----BEGIN RSA PUBLIC KEY-----\n" + base64::encode(bare) + "\n-----END RSA PUBLIC KEY-----\n";
    auto key = _manager.addRSAPublicKey(pem, "t");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->externalRepresentation(), bare);
}

TEST_F(RsaPemManagerTest, ImportingTwiceLeavesOneKeyAndTheSecondWins) {
    ASSERT_TRUE(_manager.addRSAPublicKey(test::readTextFile(test::keyPath("app1024.pub.pem")), "t"));
    ASSERT_TRUE(_manager.addRSAPublicKey(test::readTextFile(test::keyPath("partner1024.pub.pem")), "t"));
    EXPECT_TRUE(_manager.getRSAKeyFromKeychain("t")->samePublicKey(*test::publicKey("partner", 1024)));
    _manager.deleteRSAKeyFromKeychain("t");
    EXPECT_FALSE(_manager.getRSAKeyFromKeychain("t"));
}

TEST_F(RsaPemManagerTest, PrivateImportUnwrapsPkcs8WithLongFormLength) {
    const std::string pem = test::readTextFile(test::keyPath("partner1024.key.pem"));
    const Bytes pkcs8 = pemBody(pem);
    ASSERT_EQ(pkcs8[22], 0x04);
    ASSERT_EQ(pkcs8[23], 0x82);
    const std::size_t length = pkcs8[24] << 8 | pkcs8[25];
    EXPECT_EQ(der::stripPrivateKeyHeader(pkcs8),
              Bytes(pkcs8.begin() + 26, pkcs8.begin() + 26 + static_cast<long>(length)));
    auto key = _manager.addRSAPrivateKey(pem, "p");
    ASSERT_TRUE(key);
    EXPECT_TRUE(key->isPrivate());
    EXPECT_TRUE(key->samePublicKey(*test::publicKey("partner", 1024)));
}

TEST_F(RsaPemManagerTest, BrokenInputGivesNoKeyAndRemovesTheOldOne) {
    ASSERT_TRUE(_manager.addRSAPublicKey(test::readTextFile(test::keyPath("app1024.pub.pem")), "t"));
    EXPECT_FALSE(_manager.addRSAPublicKey("-----BEGIN PUBLIC KEY-----\nnot*base64\n-----END PUBLIC KEY-----", "t"));
    EXPECT_FALSE(_manager.addRSAPublicKey(base64::encode(Bytes{0x30, 0x82, 0x01}), "t"));
    EXPECT_FALSE(_manager.addRSAPublicKey(base64::encode(Bytes{0x31, 0x00}), "t"));
    EXPECT_FALSE(_manager.addRSAPrivateKey(base64::encode(Bytes(30, 0x04)), "t"));
    EXPECT_FALSE(_manager.addRSAPrivateKey("", "t"));
    EXPECT_FALSE(_manager.getRSAKeyFromKeychain("t"));
}

TEST(DerStrippingTest, NeverReadsPastTheEnd) {
    Bytes spki = pemBody(test::readTextFile(test::keyPath("partner1024.pub.pem")));
    for (std::size_t length = 0; length < 22; ++length) // 22: the bit string content starts
        EXPECT_FALSE(der::stripPublicKeyHeader(Bytes(spki.begin(), spki.begin() + static_cast<long>(length))));
    Bytes pkcs8 = pemBody(test::readTextFile(test::keyPath("partner1024.key.pem")));
    for (std::size_t length = 0; length < 26; ++length)
        EXPECT_FALSE(der::stripPrivateKeyHeader(Bytes(pkcs8.begin(), pkcs8.begin() + static_cast<long>(length))));
    // A declared length running past the end.
    EXPECT_FALSE(der::stripPrivateKeyHeader(Bytes(pkcs8.begin(), pkcs8.end() - 1)));
    Bytes hugeLength(40, 0);
    hugeLength[22] = 0x04;
    hugeLength[23] = 0x88;
    for (int i = 24; i < 32; ++i)
        hugeLength[i] = 0xFF;
    EXPECT_FALSE(der::stripPrivateKeyHeader(hugeLength));
}

} // namespace
} // namespace vexaqr
