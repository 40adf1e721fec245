// Records assembled from the openssl command's output alone, so the parser is checked against an
// independent writer, not against our own.
#include <vexaqr/payload/VXAData.hpp>

#include "support/TempDirectory.hpp"
#include "support/TestKeys.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace vexaqr {
namespace {

const std::string kAesKeyHex = "00112233445566778899aabbccddeeff";

void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes readFile(const std::filesystem::path& path) {
    return toBytes(test::readTextFile(path.string()));
}

bool run(const std::string& command) {
    return std::system((command + " 2>/dev/null").c_str()) == 0;
}

bool isMasked(VxaType t) {
    return t == VxaType::MASKED || t == VxaType::MASKED_COLORED;
}

struct OpensslRecord {
    Bytes bytes;
    std::size_t keyBlockOffset = 0; // 0 when there is none
    std::size_t timestampOffset = 0;
};

// content type JSON_ZIP, issuer 00 01 .. 0F, time stamp 1 700 000 000.
std::optional<OpensslRecord> buildWithOpenssl(const std::filesystem::path& dir, VxaType type, int bits,
                                              const Bytes& content) {
    const std::string partnerKey = test::keyPath("partner" + std::to_string(bits) + ".key.pem");
    const std::string wrapKey =
        test::keyPath((isSecured(type) ? "app" : "partner") + std::to_string(bits) + ".pub.pem");
    const Bytes timestamp{0x00, 0xF1, 0x53, 0x65}; // 1700000000 little-endian
    writeFile(dir / "content", content);
    writeFile(dir / "aeskey", test::fromHex(kAesKeyHex));

    Bytes body = content;
    Bytes keyBlock;
    if (hasKeyBlock(type)) {
        if (!run("openssl enc -aes-128-cbc -K " + kAesKeyHex + " -iv 00000000000000000000000000000000 -in " +
                 (dir / "content").string() + " -out " + (dir / "cipher").string()) ||
            !run("openssl pkeyutl -encrypt -pubin -inkey " + wrapKey + " -in " + (dir / "aeskey").string() + " -out " +
                 (dir / "keyblock").string()))
            return std::nullopt;
        body = readFile(dir / "cipher");
        keyBlock = readFile(dir / "keyblock");
    }
    Bytes signedBytes = timestamp;
    const Bytes& signedContent = isEncrypted(type) ? body : content;
    signedBytes.insert(signedBytes.end(), signedContent.begin(), signedContent.end());
    writeFile(dir / "signed", signedBytes);
    if (!run("openssl dgst -sha256 -sign " + partnerKey + " -out " + (dir / "signature").string() + " " +
             (dir / "signed").string()))
        return std::nullopt;

    OpensslRecord record;
    record.bytes = {1, static_cast<std::uint8_t>(type), static_cast<std::uint8_t>(bits == 2048 ? 1 : 0)};
    for (std::uint8_t i = 0; i < 16; ++i)
        record.bytes.push_back(i);
    const Bytes signature = readFile(dir / "signature");
    record.bytes.insert(record.bytes.end(), signature.begin(), signature.end());
    if (!keyBlock.empty())
        record.keyBlockOffset = record.bytes.size();
    record.bytes.insert(record.bytes.end(), keyBlock.begin(), keyBlock.end());
    record.timestampOffset = record.bytes.size();
    record.bytes.insert(record.bytes.end(), timestamp.begin(), timestamp.end());
    record.bytes.insert(record.bytes.end(), body.begin(), body.end());
    return record;
}

VXAData parse(const Bytes& bytes, int bits) {
    return VXAData(bytes, test::privateKey("app", bits), test::publicKey("partner", bits),
                   test::privateKey("partner", bits));
}

TEST(OpensslRecordTest, EveryTypeAndKeySizeParsesAndVerifiesAndTamperingIsCaught) {
    test::TempDirectory dir;
    const Bytes content = toBytes(R"({"made":"by the openssl command","n":[1,2,3,4,5,6,7,8,9,10]})");
    for (int bits : {1024, 2048}) {
        for (std::uint8_t raw = 0; raw <= 7; ++raw) {
            const auto type = static_cast<VxaType>(raw);
            SCOPED_TRACE(std::string(name(type)) + " " + std::to_string(bits));
            auto record = buildWithOpenssl(dir.path(), type, bits, content);
            ASSERT_TRUE(record) << "openssl failed";
            const VXAData data = parse(record->bytes, bits);
            EXPECT_EQ(data.contentType, ContentType::JSON_ZIP);
            EXPECT_EQ(data.issuerId, "00010203-0405-0607-0809-0A0B0C0D0E0F");
            EXPECT_EQ(data.date->time_since_epoch(), std::chrono::seconds(1700000000));
            if (isMasked(type)) {
                EXPECT_FALSE(data.isValid());
                continue;
            }
            EXPECT_TRUE(data.isValid());
            EXPECT_EQ(data.actualVxaData, content);
            if (hasKeyBlock(type)) {
                EXPECT_EQ(data.aesKey, test::fromHex(kAesKeyHex));
            }

            for (std::size_t offset : {std::size_t{19}, record->timestampOffset, record->bytes.size() - 1}) {
                Bytes tampered = record->bytes;
                tampered[offset] ^= 0x01;
                EXPECT_FALSE(parse(tampered, bits).isValid()) << "offset " << offset;
            }
            if (record->keyBlockOffset) {
                // The ENCRYPTED signature covers the ciphertext, not the key block: a broken key block
                // there loses the content but not the signature.
                Bytes tampered = record->bytes;
                tampered[record->keyBlockOffset + 5] ^= 0x01;
                const VXAData broken = parse(tampered, bits);
                EXPECT_FALSE(broken.actualVxaData);
                EXPECT_EQ(broken.isValid(), isEncrypted(type));
            }
        }
    }
}

} // namespace
} // namespace vexaqr
