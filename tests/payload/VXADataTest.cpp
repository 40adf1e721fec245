#include <vexaqr/payload/VXAData.hpp>
#include <vexaqr/payload/VXADataWriter.hpp>

#include "FreedMemoryWatch.hpp"
#include "codec/payload/Base64.hpp"
#include "codec/payload/RsaOperations.hpp"
#include "support/TestKeys.hpp"

#include <gtest/gtest.h>

namespace vexaqr {
namespace {

constexpr std::uint32_t kTimestamp = 10000; // 10 27 00 00 in the record
const Uuid kIssuer = *Uuid::fromString("0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0");

struct Keys {
    KeyHandle partnerPrivate, partnerPublic, appPrivate, appPublic;
};

Keys keys(int bits) {
    return {test::privateKey("partner", bits), test::publicKey("partner", bits), test::privateKey("app", bits),
            test::publicKey("app", bits)};
}

CipherMethod methodFor(int bits) {
    return bits == 1024 ? CipherMethod::RSA1024_AES128_SHA256 : CipherMethod::RSA2048_AES128_SHA256;
}

Bytes seal(VxaType type, int bits, const Bytes& content, ContentType contentType = ContentType::JSON) {
    const Keys k = keys(bits);
    VXADataWriter::Input input;
    input.content = content;
    input.contentType = contentType;
    input.vxaType = type;
    input.cipherMethod = methodFor(bits);
    input.issuerId = kIssuer;
    input.timestamp = kTimestamp;
    input.partnerPrivateKey = k.partnerPrivate;
    input.keyBlockPublicKey = isSecured(type) ? k.appPublic : k.partnerPublic;
    auto record = VXADataWriter::write(input);
    EXPECT_TRUE(record);
    return record.value_or(Bytes{});
}

VXAData parse(const Bytes& record, int bits) {
    const Keys k = keys(bits);
    return VXAData(record, k.appPrivate, k.partnerPublic, k.partnerPrivate);
}

const VxaType kAllTypes[] = {
    VxaType::SIGNED,         VxaType::SECURED,         VxaType::ENCRYPTED,         VxaType::MASKED,
    VxaType::SIGNED_COLORED, VxaType::SECURED_COLORED, VxaType::ENCRYPTED_COLORED, VxaType::MASKED_COLORED};

TEST(VXADataTest, WrittenRecordsOfEveryTypeAndSizeReadBack) {
    const Bytes content = toBytes(R"({"greeting":"hello"})");
    for (int bits : {1024, 2048}) {
        for (VxaType type : kAllTypes) {
            SCOPED_TRACE(std::string(name(type)) + " " + std::to_string(bits));
            const Bytes record = seal(type, bits, content, ContentType::IMAGE);
            const VXAData data = parse(record, bits);
            const bool masked = type == VxaType::MASKED || type == VxaType::MASKED_COLORED;
            EXPECT_EQ(data.isValid(), !masked);
            EXPECT_EQ(data.vxaType, type);
            EXPECT_EQ(data.contentType, ContentType::IMAGE);
            EXPECT_EQ(data.cipherMethod, methodFor(bits));
            EXPECT_EQ(data.issuerId, "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0");
            EXPECT_EQ(data.signature->size(), static_cast<std::size_t>(bits / 8));
            EXPECT_EQ(data.date, std::chrono::system_clock::time_point(std::chrono::seconds(kTimestamp)));
            EXPECT_FALSE(data.unixTimeStamp);
            if (masked) {
                EXPECT_FALSE(data.actualVxaData);
                EXPECT_FALSE(data.presentableData);
            } else {
                EXPECT_EQ(data.actualVxaData, content);
                ASSERT_TRUE(data.presentableData);
            }
            EXPECT_EQ(data.aesKey.has_value(), hasKeyBlock(type));
        }
    }
}

TEST(VXADataTest, SignedRecordExposesContentAndWholeInputAndFlagsTampering) {
    const Bytes record = seal(VxaType::SIGNED, 1024, toBytes("payload"));
    const VXAData data = parse(record, 1024);
    EXPECT_TRUE(data.isValid());
    EXPECT_EQ(data.actualVxaData, toBytes("payload"));
    EXPECT_EQ(data.presentableData, record);
    EXPECT_EQ(data.rawData(), record);
    EXPECT_FALSE(data.rawBase64String());

    Bytes altered = record;
    altered.back() ^= 0x01;
    const VXAData tampered = parse(altered, 1024);
    EXPECT_FALSE(tampered.isValid());
    EXPECT_EQ(tampered.actualVxaData, toBytes("payloae"));
}

TEST(VXADataTest, SecuredPresentableFormIsASignedRecordThatVerifies) {
    const Bytes record = seal(VxaType::SECURED_COLORED, 2048, toBytes("secret content"));
    const VXAData data = parse(record, 2048);
    ASSERT_TRUE(data.isValid());
    ASSERT_TRUE(data.presentableData);
    EXPECT_EQ((*data.presentableData)[1], 0);
    const VXAData reparsed(*data.presentableData, nullptr, keys(2048).partnerPublic, nullptr);
    EXPECT_TRUE(reparsed.isValid());
    EXPECT_EQ(reparsed.vxaType, VxaType::SIGNED);
    EXPECT_EQ(reparsed.actualVxaData, toBytes("secret content"));
    EXPECT_EQ(reparsed.presentableData->size(), 19u + 256 + 4 + 14); // no key block, plain content
}

TEST(VXADataTest, SecuredRecordWithoutOrWithWrongAppKeyHasNoContent) {
    const Bytes record = seal(VxaType::SECURED, 1024, toBytes("secret"));
    const Keys k = keys(1024);
    for (const KeyHandle& appKey : {KeyHandle(), k.partnerPrivate}) {
        const VXAData data(record, appKey, k.partnerPublic, k.partnerPrivate);
        EXPECT_FALSE(data.aesKey);
        EXPECT_FALSE(data.isValid());
        EXPECT_FALSE(data.actualVxaData);
        EXPECT_FALSE(data.presentableData);
    }
}

TEST(VXADataTest, WrongPrivateKeyLeavesTheAesKeyEmpty) {
    // Newer OpenSSL would answer a wrong key with a pseudo-random "plaintext"; the record must not
    // take that for its AES key.
    for (int bits : {1024, 2048}) {
        const Keys k = keys(bits);
        const Keys other = keys(bits == 1024 ? 2048 : 1024);
        for (VxaType type : {VxaType::SECURED, VxaType::ENCRYPTED_COLORED}) {
            SCOPED_TRACE(std::string(name(type)) + " " + std::to_string(bits));
            const Bytes record = seal(type, bits, toBytes("{\"for\":\"someone else\"}"));
            const KeyHandle wrong = isSecured(type) ? k.partnerPrivate : k.appPrivate;
            for (const KeyHandle& key : {wrong, other.appPrivate}) {
                const VXAData data(record, key, k.partnerPublic, key);
                EXPECT_FALSE(data.aesKey);
                EXPECT_FALSE(data.actualVxaData);
            }
        }
    }
}

TEST(VXADataTest, AssignmentsWipeTheAesKeyTheyReplace) {
    const Bytes secured = seal(VxaType::SECURED, 1024, toBytes("first"));
    const VXAData withoutKey = parse(seal(VxaType::SIGNED, 1024, toBytes("plain")), 1024);
    {
        VXAData data = parse(secured, 1024);
        ASSERT_TRUE(data.aesKey);
        const test::FreedMemoryWatch watch(*data.aesKey);
        data = withoutKey; // the key's buffer is freed here
        EXPECT_FALSE(data.aesKey);
        EXPECT_EQ(watch.sightings(), 0);
    }
    {
        VXAData data = parse(secured, 1024);
        VXAData next = parse(seal(VxaType::ENCRYPTED, 1024, toBytes("second")), 1024);
        ASSERT_TRUE(data.aesKey && next.aesKey);
        const Bytes nextKey = *next.aesKey;
        const test::FreedMemoryWatch watch(*data.aesKey);
        data = std::move(next); // the old key's buffer is freed here
        EXPECT_EQ(data.aesKey, nextKey);
        EXPECT_EQ(data.actualVxaData, toBytes("second"));
        EXPECT_TRUE(data.isValid());
        EXPECT_EQ(watch.sightings(), 0);
    }
    VXAData copy = parse(secured, 1024);
    const VXAData& same = copy;
    copy = same; // self-assignment keeps the record
    EXPECT_EQ(copy.actualVxaData, toBytes("first"));
}

TEST(VXADataTest, EncryptedRecordWithoutPartnerPrivateKeyStillVerifies) {
    const Bytes record = seal(VxaType::ENCRYPTED, 2048, toBytes("for the partner"));
    const Keys k = keys(2048);
    const VXAData data(record, k.appPrivate, k.partnerPublic, nullptr);
    EXPECT_TRUE(data.isValid());
    EXPECT_FALSE(data.aesKey);
    EXPECT_FALSE(data.actualVxaData);
    EXPECT_EQ(data.presentableData, record);
}

TEST(VXADataTest, EveryTamperedByteOfASecuredRecordIsRejected) {
    const Bytes record = seal(VxaType::SECURED, 1024, toBytes("0123456789abcdef0123"));
    // The header bytes are not signed; unknown values read as the default cases (see below).
    for (std::size_t i = 3; i < record.size(); i += (i < 19 ? 1 : 7)) {
        Bytes altered = record;
        altered[i] ^= 0x40;
        const VXAData data = parse(altered, 1024);
        const bool issuerByte = i >= 3 && i < 19; // the issuer is recorded, not signed
        EXPECT_EQ(data.isValid(), issuerByte) << "byte " << i;
    }
}

TEST(VXADataTest, UnknownHeaderBytesReadAsDefaultCases) {
    Bytes record = seal(VxaType::SIGNED, 1024, toBytes("x"));
    record[0] = 7;
    record[1] = 9;
    record[2] = 2;
    const VXAData data = parse(record, 1024);
    EXPECT_EQ(data.contentType, ContentType::JSON);
    EXPECT_EQ(data.vxaType, VxaType::SIGNED);
    EXPECT_EQ(data.cipherMethod, CipherMethod::RSA1024_AES128_SHA256);
    EXPECT_TRUE(data.isValid());
}

TEST(VXADataTest, TimeStampIsLittleEndianSeconds) {
    const Bytes record = seal(VxaType::MASKED, 1024, {});
    EXPECT_EQ(record[19 + 128], 0x10);
    EXPECT_EQ(record[20 + 128], 0x27);
    const VXAData data = parse(record, 1024);
    EXPECT_EQ(data.date->time_since_epoch(), std::chrono::seconds(10000)); // 1970-01-01 02:46:40 UTC
    EXPECT_FALSE(data.isValid());
    EXPECT_TRUE(data.signature);
    EXPECT_FALSE(data.actualVxaData);
}

TEST(VXADataTest, TextConstructorIsStrictBase64) {
    const Bytes record = seal(VxaType::SIGNED, 1024, toBytes("abc"));
    const std::string text = base64::encode(record);
    const VXAData data(text, nullptr, keys(1024).partnerPublic, nullptr);
    EXPECT_TRUE(data.isValid());
    EXPECT_EQ(data.rawBase64String(), text);

    const std::string broken = text.substr(0, 64) + "\n" + text.substr(64);
    const VXAData rejected(broken, nullptr, keys(1024).partnerPublic, nullptr);
    EXPECT_FALSE(rejected.rawData());
    EXPECT_FALSE(rejected.contentType);
    EXPECT_FALSE(rejected.isValid());
}

TEST(VXADataTest, TruncatedRecordsNeverExposeContentOrVerify) {
    for (VxaType type : {VxaType::SIGNED, VxaType::SECURED, VxaType::ENCRYPTED}) {
        const Bytes record = seal(type, 1024, {});
        const std::size_t complete = hasKeyBlock(type) ? 23 + 256 + 16 : 23 + 128;
        ASSERT_EQ(record.size(), complete);
        for (std::size_t length = 0; length < (hasKeyBlock(type) ? 23 + 256 : complete); ++length) {
            const VXAData data = parse(Bytes(record.begin(), record.begin() + length), 1024);
            ASSERT_FALSE(data.isValid()) << length;
            ASSERT_FALSE(data.actualVxaData) << length;
            ASSERT_FALSE(data.presentableData) << length;
        }
    }
}

TEST(VXADataTest, KeyBlockShorterThanAnAesKeyIsAFailedOpening) {
    const Keys k = keys(1024);
    const Bytes shortKey(15, 0x11);
    auto keyBlock = rsa::encryptPkcs1(*k.appPublic, shortKey);
    Bytes record{0, rawValue(VxaType::SECURED), 0};
    record.insert(record.end(), 16, 0xAB);
    record.insert(record.end(), 128, 0x00); // signature (never reached)
    record.insert(record.end(), keyBlock->begin(), keyBlock->end());
    record.insert(record.end(), {0, 0, 0, 0});
    record.insert(record.end(), 16, 0x22);
    const VXAData data(record, k.appPrivate, k.partnerPublic, nullptr);
    EXPECT_FALSE(data.aesKey);
    EXPECT_FALSE(data.actualVxaData);
}

TEST(VXADataTest, WriterRefusesKeysThatDoNotFitTheCipherMethod) {
    VXADataWriter::Input input;
    input.vxaType = VxaType::SIGNED;
    input.cipherMethod = CipherMethod::RSA2048_AES128_SHA256;
    input.partnerPrivateKey = test::privateKey("partner", 1024);
    EXPECT_FALSE(VXADataWriter::write(input));
    input.partnerPrivateKey = test::publicKey("partner", 2048); // cannot sign
    EXPECT_FALSE(VXADataWriter::write(input));
    input.partnerPrivateKey = test::privateKey("partner", 2048);
    input.vxaType = VxaType::SECURED;
    input.keyBlockPublicKey = test::publicKey("app", 1024);
    EXPECT_FALSE(VXADataWriter::write(input));
}

TEST(VXADataTest, VerificationStatusSaysWhyARecordDidNotVerify) {
    const Keys k = keys(1024);
    const Keys big = keys(2048);
    const Bytes secured = seal(VxaType::SECURED, 1024, toBytes("secret"));
    const Bytes encrypted = seal(VxaType::ENCRYPTED, 1024, toBytes("for the partner"));
    const Bytes signedRecord = seal(VxaType::SIGNED, 1024, toBytes("plain"));
    Bytes altered = signedRecord;
    altered.back() ^= 0x01;
    Bytes damagedCipher = secured;
    damagedCipher.pop_back(); // no longer whole AES blocks
    struct Case {
        const char* what;
        VXAData record;
        VerificationStatus expected;
    };
    const Case cases[] = {
        {"verified", VXAData(secured, k.appPrivate, k.partnerPublic, nullptr), VerificationStatus::verified},
        {"not base64", VXAData(std::string("not base64!"), nullptr, k.partnerPublic, nullptr),
         VerificationStatus::notParsed},
        {"truncated",
         VXAData(Bytes(signedRecord.begin(), signedRecord.begin() + 40), nullptr, k.partnerPublic, nullptr),
         VerificationStatus::truncated},
        {"masked", parse(seal(VxaType::MASKED, 1024, {}), 1024), VerificationStatus::notSigned},
        {"no public key", VXAData(signedRecord, nullptr, nullptr, nullptr), VerificationStatus::noPublicKey},
        {"public key of another size", VXAData(signedRecord, nullptr, big.partnerPublic, nullptr),
         VerificationStatus::wrongPublicKey},
        {"another partner's key", VXAData(signedRecord, nullptr, k.appPublic, nullptr),
         VerificationStatus::signatureMismatch},
        {"altered content", VXAData(altered, nullptr, k.partnerPublic, nullptr), VerificationStatus::signatureMismatch},
        {"no app key", VXAData(secured, nullptr, k.partnerPublic, k.partnerPrivate), VerificationStatus::noPrivateKey},
        {"app key of another size", VXAData(secured, big.appPrivate, k.partnerPublic, nullptr),
         VerificationStatus::wrongPrivateKey},
        {"another app key", VXAData(secured, k.partnerPrivate, k.partnerPublic, nullptr),
         VerificationStatus::keyBlockUnopened},
        {"damaged ciphertext", VXAData(damagedCipher, k.appPrivate, k.partnerPublic, nullptr),
         VerificationStatus::contentUnreadable},
        // ENCRYPTED records verify over the ciphertext, so a missing partner key does not stop verification.
        {"encrypted without partner key", VXAData(encrypted, nullptr, k.partnerPublic, nullptr),
         VerificationStatus::verified},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.record.verificationStatus(), c.expected) << c.what << ": " << name(c.record.verificationStatus())
                                                             << " - " << describe(c.record.verificationStatus());
        EXPECT_EQ(c.record.isValid(), c.expected == VerificationStatus::verified) << c.what;
        EXPECT_FALSE(describe(c.record.verificationStatus()).empty());
    }
    VXAData assigned = parse(signedRecord, 1024);
    assigned = VXAData(altered, nullptr, k.partnerPublic, nullptr);
    EXPECT_EQ(assigned.verificationStatus(), VerificationStatus::signatureMismatch);
}

} // namespace
} // namespace vexaqr
