// Messages the devserver seals for one installation: listed, fetched and opened by the SDK's own record
// parser, checked once with the openssl command, and deleted.
#include "BackendTestSupport.hpp"

#include "account/service/DeleteAllVexaQrMessage.hpp"
#include "account/service/DeleteVexaQrMessage.hpp"
#include "account/service/VexaQrMessage.hpp"
#include "account/service/VexaQrMessageIdList.hpp"
#include <vexaqr/payload/VXAData.hpp>

#include <cstdio>

namespace vexaqr::test {
namespace {

using Constant::Application::rawValue;
using Constant::Application::ResultCode;

const std::string kContent = R"({"ticket":"A-17","seat":"12F"})";

class MessageEndpointsTest : public BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        partner = makePartner("P1");
        installation = activeInstallation("P1", "user@example.com");
        contentFile = writeFile("content.json", kContent);
    }

    std::string send(const std::string& type, std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"message",   "--app-id", installation.appUniqueId, "--type", type,
                                      "--content", contentFile};
        args.insert(args.end(), extra.begin(), extra.end());
        const auto result = server.adminWith(args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return result.line();
    }

    Reply<VexaQrMessageIdList::ResponseModel> list(const std::string& appUniqueId) {
        return call(&VexaQrMessageIdListService::getVexaQrMessageIdList,
                    VexaQrMessageIdList::RequestModel{.appUniqueId = appUniqueId});
    }

    Reply<VexaQrMessage::ResponseModel> fetch(const std::string& messageId, const std::string& appUniqueId) {
        return call(&VexaQrMessageService::getVexaQrMessage,
                    VexaQrMessage::RequestModel{.appUniqueId = appUniqueId, .vxaMessageId = messageId});
    }

    VXAData open(const std::string& messageId) {
        const auto reply = fetch(messageId, installation.appUniqueId);
        EXPECT_EQ(reply.code(), 0);
        EXPECT_TRUE(reply.record && reply.record->vxaData);
        return VXAData(reply.record && reply.record->vxaData ? *reply.record->vxaData : Bytes{},
                       installation.appKeys.privateKey, partner.publicKey, partner.privateKey);
    }

    PartnerKeys partner;
    Installation installation;
    std::string contentFile;
};

Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

TEST_F(MessageEndpointsTest, EveryTypeIsSealedForTheInstallationAndOpensWithItsKeys) {
    struct Case {
        const char* type;
        bool colored;
        VxaType expected;
        bool verifies;
    };
    for (const Case& c :
         {Case{"signed", false, VxaType::SIGNED, true}, Case{"secured", false, VxaType::SECURED, true},
          Case{"encrypted", false, VxaType::ENCRYPTED, true}, Case{"masked", false, VxaType::MASKED, false},
          Case{"secured", true, VxaType::SECURED_COLORED, true},
          Case{"encrypted", true, VxaType::ENCRYPTED_COLORED, true}}) {
        SCOPED_TRACE(std::string(c.type) + (c.colored ? " colored" : ""));
        const auto id = send(c.type, c.colored ? std::vector<std::string>{"--colored"} : std::vector<std::string>{});
        const VXAData record = open(id);
        EXPECT_EQ(record.vxaType, c.expected);
        EXPECT_EQ(record.cipherMethod, CipherMethod::RSA1024_AES128_SHA256);
        EXPECT_EQ(record.contentType, ContentType::JSON);
        EXPECT_EQ(record.isValid(), c.verifies);
        if (c.verifies) {
            EXPECT_EQ(record.actualVxaData, bytesOf(kContent));
        }
        ASSERT_TRUE(record.date);
        const auto age = std::chrono::system_clock::now() - *record.date;
        EXPECT_LT(std::chrono::abs(age), std::chrono::minutes(5)) << "the time stamp is the sealing time";
    }
}

TEST_F(MessageEndpointsTest, ASecuredMessageOpensOnlyWithTheInstallationsKey) {
    const auto id = send("secured");
    const auto reply = fetch(id, installation.appUniqueId);
    const auto stranger = RsaKey::generatePair(1024);
    const VXAData withStranger(*reply.record->vxaData, stranger->privateKey, partner.publicKey, partner.privateKey);
    EXPECT_FALSE(withStranger.isValid());
    EXPECT_FALSE(withStranger.actualVxaData);
}

TEST_F(MessageEndpointsTest, ContentTypeInfoAndTemplateTravelWithTheMessage) {
    const auto id = send("signed", {"--content-type", "image", "--info", "boarding pass", "--template", "t-1"});
    const auto reply = fetch(id, installation.appUniqueId);
    EXPECT_EQ(reply.record->vxaInfo, "boarding pass");
    EXPECT_EQ(reply.record->vxaTemplate, "t-1");
    EXPECT_EQ(open(id).contentType, ContentType::IMAGE);
}

TEST_F(MessageEndpointsTest, A2048BitPartnerSealsWithTheLargerBlocks) {
    const auto bigPartner = makePartner("P2048", 2048);
    const auto big = activeInstallation("P2048", "user@example.com", 2048);
    const auto result =
        server.admin("message", "--app-id", big.appUniqueId, "--type", "secured", "--content", contentFile);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto reply = fetch(result.line(), big.appUniqueId);
    const VXAData record(*reply.record->vxaData, big.appKeys.privateKey, bigPartner.publicKey, nullptr);
    EXPECT_TRUE(record.isValid());
    EXPECT_EQ(record.cipherMethod, CipherMethod::RSA2048_AES128_SHA256);
    EXPECT_EQ(record.actualVxaData, bytesOf(kContent));
}

TEST_F(MessageEndpointsTest, TheIssuerIsThePartnersAndAUuidPartnerIdIsItsOwnIssuer) {
    const std::string uuidPartner = "0F8FAD5B-D9CB-469F-A165-70867728950E";
    const auto keys = makePartner(uuidPartner);
    const auto member = activeInstallation(uuidPartner, "user@example.com");
    const auto result =
        server.admin("message", "--app-id", member.appUniqueId, "--type", "signed", "--content", contentFile);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto reply = fetch(result.line(), member.appUniqueId);
    const VXAData record(*reply.record->vxaData, member.appKeys.privateKey, keys.publicKey, nullptr);
    EXPECT_EQ(record.issuerId, uuidPartner);
}

TEST_F(MessageEndpointsTest, ListKeepsTheOrderOfSealingAndDeletesRemoveMessages) {
    const auto first = send("signed");
    const auto second = send("secured");
    const auto third = send("encrypted");
    EXPECT_EQ(list(installation.appUniqueId).record->vxaMessageIdList, (std::vector{first, second, third}));

    const auto deleteOne = [&](const std::string& id) {
        return call(&DeleteVexaQrMessageService::deleteVexaQrMessage,
                    DeleteVexaQrMessage::RequestModel{.appUniqueId = installation.appUniqueId, .vxaMessageId = id});
    };
    EXPECT_EQ(deleteOne(second).code(), 0);
    EXPECT_EQ(deleteOne(second).code(), rawValue(ResultCode::vexaQrMessageNotFound));
    EXPECT_EQ(fetch(second, installation.appUniqueId).code(), rawValue(ResultCode::vexaQrMessageNotFound));
    EXPECT_EQ(list(installation.appUniqueId).record->vxaMessageIdList, (std::vector{first, third}));

    EXPECT_EQ(call(&DeleteAllVexaQrMessageService::deleteAllVexaQrMessage,
                   DeleteAllVexaQrMessage::RequestModel{.appUniqueId = installation.appUniqueId})
                  .code(),
              0);
    EXPECT_EQ(list(installation.appUniqueId).record->vxaMessageIdList, std::vector<std::string>{});
}

TEST_F(MessageEndpointsTest, AnotherInstallationsMessageIsNotFound) {
    const auto id = send("signed");
    const auto other = activeInstallation("P1", "other@example.com");
    EXPECT_EQ(fetch(id, other.appUniqueId).code(), rawValue(ResultCode::vexaQrMessageNotFound));
    EXPECT_EQ(call(&DeleteVexaQrMessageService::deleteVexaQrMessage,
                   DeleteVexaQrMessage::RequestModel{.appUniqueId = other.appUniqueId, .vxaMessageId = id})
                  .code(),
              rawValue(ResultCode::vexaQrMessageNotFound));
    EXPECT_EQ(fetch(id, installation.appUniqueId).code(), 0) << "the owner still has it";
    EXPECT_EQ(fetch("no-such-id", installation.appUniqueId).code(), rawValue(ResultCode::vexaQrMessageNotFound));
    EXPECT_EQ(fetch(id, Uuid::random().value().uuidString()).code(), rawValue(ResultCode::clientApplicationNotFound));
}

TEST_F(MessageEndpointsTest, SealingRefusalsAreReportedByTheAdminCommand) {
    const Installation keyless{Uuid::random().value().uuidString(), "P1", "keyless@example.com", {}};
    ASSERT_EQ(registerClient(keyless).code(), 0);
    const auto secured =
        server.admin("message", "--app-id", keyless.appUniqueId, "--type", "secured", "--content", contentFile);
    EXPECT_EQ(secured.exitCode, 1);
    EXPECT_NE(secured.err.find("not uploaded a public key"), std::string::npos) << secured.err;
    EXPECT_EQ(
        server.admin("message", "--app-id", keyless.appUniqueId, "--type", "signed", "--content", contentFile).exitCode,
        0)
        << "a signed record needs no installation key";

    const auto unknown = server.admin("message", "--app-id", Uuid::random().value().uuidString(), "--type", "signed",
                                      "--content", contentFile);
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_EQ(server.admin("message", "--app-id", installation.appUniqueId, "--type", "bogus", "--content", contentFile)
                  .exitCode,
              2);
    EXPECT_EQ(server
                  .admin("message", "--app-id", installation.appUniqueId, "--type", "signed", "--content",
                         (directory.path() / "missing").string())
                  .exitCode,
              1);
}

// The record layout read with nothing of ours: the signature checked and the key block and content opened
// by the openssl command.
class OpensslCheck {
public:
    explicit OpensslCheck(const TempDirectory& directory) : _directory(directory) {}

    std::string file(const std::string& name, const Bytes& bytes) const {
        const auto path = (_directory.path() / name).string();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return path;
    }

    static std::string run(const std::string& command) {
        std::string output;
        FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
        if (!pipe)
            return output;
        char buffer[512];
        while (const auto n = std::fread(buffer, 1, sizeof buffer, pipe))
            output.append(buffer, n);
        ::pclose(pipe);
        return output;
    }

private:
    const TempDirectory& _directory;
};

std::string hex(const Bytes& bytes) {
    std::string text;
    char digits[3];
    for (auto byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", byte);
        text += digits;
    }
    return text;
}

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t length = std::string::npos) {
    const auto end = length == std::string::npos ? bytes.size() : from + length;
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.begin() + static_cast<std::ptrdiff_t>(end));
}

TEST_F(MessageEndpointsTest, OpensslVerifiesASignedRecordAndOpensASecuredOne) {
    constexpr std::size_t kHeader = 19, kBlock = 128;
    const OpensslCheck openssl(directory);
    const auto partnerPem = writeFile("partner.pub.pem", partner.publicKeyPem);

    const auto signedRecord = *fetch(send("signed"), installation.appUniqueId).record->vxaData;
    const auto signature = openssl.file("signature.bin", slice(signedRecord, kHeader, kBlock));
    const auto signedBytes = openssl.file("signed.bin", slice(signedRecord, kHeader + kBlock));
    EXPECT_NE(
        OpensslCheck::run("openssl dgst -sha256 -verify " + partnerPem + " -signature " + signature + " " + signedBytes)
            .find("Verified OK"),
        std::string::npos);

    const auto securedRecord = *fetch(send("secured"), installation.appUniqueId).record->vxaData;
    const auto appKey = writeFile("app.key.pem", installation.appKeys.privateKey->privateKeyPem());
    const auto keyBlock = openssl.file("keyblock.bin", slice(securedRecord, kHeader + kBlock, kBlock));
    const auto aesKeyFile = (directory.path() / "aes.key").string();
    OpensslCheck::run("openssl pkeyutl -decrypt -inkey " + appKey + " -pkeyopt rsa_padding_mode:pkcs1 -in " + keyBlock +
                      " -out " + aesKeyFile);
    std::ifstream aesIn(aesKeyFile, std::ios::binary);
    const Bytes aesKey{std::istreambuf_iterator<char>(aesIn), {}};
    ASSERT_EQ(aesKey.size(), 16u);
    const auto cipherText = openssl.file("cipher.bin", slice(securedRecord, kHeader + 2 * kBlock + 4));
    const auto plain = OpensslCheck::run("openssl enc -d -aes-128-cbc -K " + hex(aesKey) +
                                         " -iv 00000000000000000000000000000000 -in " + cipherText);
    EXPECT_EQ(plain, kContent);
}

} // namespace
} // namespace vexaqr::test
