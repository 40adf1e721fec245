#include "account/sdk/AppDataService.hpp"
#include "account/keys/KeyStore.hpp"
#include "account/keys/KeychainWrapper.hpp"
#include "account/sdk/DatabaseWrapper.hpp"
#include "account/sdk/PersistencyManager.hpp"
#include "codec/platform/LogManager.hpp"
#include <vexaqr/sdk/Installation.hpp>

#include "account/platform/SqliteDatabase.hpp"
#include "support/TempDirectory.hpp"
#include "support/TestKeys.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <limits>

namespace vexaqr {
namespace {

class AppDataServiceTest : public ::testing::Test {
protected:
    // Another connection to the store's file, reading and writing what a program of any kind may have put there.
    std::unique_ptr<SqliteDatabase> rawStore() {
        std::string error;
        auto raw = SqliteDatabase::open(_directory.path() / "vexaqr" / "VexaQrSDKModel.sqlite", error);
        EXPECT_TRUE(raw) << error;
        return raw;
    }

    /// Every settings record in the file, each as its four values in column order.
    std::vector<std::vector<SqliteValue>> settingsRecords() {
        std::vector<std::vector<SqliteValue>> records;
        auto raw = rawStore();
        auto select = raw ? raw->prepare("SELECT appUniqueId, vexaQrUserId, userEmailAddress, registrationState FROM "
                                         "SDKData ORDER BY objectId")
                          : nullptr;
        while (select && select->step() == SqliteDatabase::Statement::Step::row)
            records.push_back({select->column(0), select->column(1), select->column(2), select->column(3)});
        return records;
    }

    /// Stores `value` as it is in `column` of the settings record.
    bool storeRaw(const std::string& column, const SqliteValue& value) {
        _service.getRegistrationState(); // the record exists from the first read on
        auto raw = rawStore();
        auto update = raw ? raw->prepare("UPDATE SDKData SET " + column + " = ?") : nullptr;
        return update && update->bind(1, value) && update->step() == SqliteDatabase::Statement::Step::done &&
               raw->changes() == 1;
    }

    test::TempDirectory _directory;
    std::shared_ptr<Installation> _installation = Installation::inDirectory(_directory.path() / "vexaqr");
    DatabaseWrapper& _database = _installation->database();
    const KeychainWrapper& _keychain = _installation->keychain();
    AppDataService& _service = *_installation->appData();
};

TEST_F(AppDataServiceTest, FreshStoreReadsInitialAndLeavesOneEmptySettingsRecord) {
    EXPECT_EQ(_service.getRegistrationState(), VexaQrSDKRegistrationState::initial);
    auto records = settingsRecords();
    ASSERT_EQ(records.size(), 1u);
    for (const auto& value : records.front())
        EXPECT_TRUE(std::holds_alternative<std::monostate>(value));
    EXPECT_FALSE(_service.getUserEmail());
    EXPECT_EQ(settingsRecords().size(), 1u);
}

TEST_F(AppDataServiceTest, ValuesRoundTripAndSurviveAReopenedStore) {
    const auto id = _service.createNewAppUniqueId();
    ASSERT_TRUE(id);
    _service.save(std::int64_t{4711});
    _service.save(std::string("user@example.org"));
    _service.save(VexaQrSDKRegistrationState::pending);
    EXPECT_EQ(_service.getAppUniqueId(), id);

    // The file holds the values in the columns and kinds earlier versions wrote and read.
    const auto records = settingsRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0][0], SqliteValue(id->uuidString()));
    EXPECT_EQ(records[0][1], SqliteValue(std::int64_t{4711}));
    EXPECT_EQ(records[0][2], SqliteValue(std::string("user@example.org")));
    EXPECT_EQ(records[0][3], SqliteValue(std::int64_t{1}));
    PersistencyManager reopened([this] { return _directory.path() / "vexaqr"; });
    const auto settings = reopened.settings();
    EXPECT_EQ(settings.appUniqueId, id->uuidString());
    EXPECT_EQ(settings.vexaQrUserId, 4711);
    EXPECT_EQ(settings.userEmailAddress, "user@example.org");
    EXPECT_EQ(settings.registrationState, 1);
    EXPECT_EQ(_service.getVexaQrUserId(), 4711);
}

TEST_F(AppDataServiceTest, ForeignStoredValuesReadAsAbsentOrInitial) {
    ASSERT_TRUE(storeRaw("appUniqueId", std::string("not-a-uuid")));
    ASSERT_TRUE(storeRaw("registrationState", std::int64_t{5}));
    ASSERT_TRUE(storeRaw("vexaQrUserId", std::string("12")));
    ASSERT_TRUE(storeRaw("userEmailAddress", std::int64_t{3}));
    EXPECT_FALSE(_service.getAppUniqueId());
    EXPECT_EQ(_service.getRegistrationState(), VexaQrSDKRegistrationState::initial);
    EXPECT_FALSE(_service.getVexaQrUserId());
    EXPECT_FALSE(_service.getUserEmail());
}

TEST_F(AppDataServiceTest, StoredRealsReadAsTheirWholePartOnlyWhenAnIntegerHoldsThem) {
    const struct {
        double stored;
        std::optional<std::int64_t> userId;
    } cases[] = {
        {42.9, 42},
        {-9223372036854775808.0, INT64_MIN},
        {9223372036854775808.0, std::nullopt},
        {1e300, std::nullopt},
        {-1e300, std::nullopt},
        {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
        {std::numeric_limits<double>::infinity(), std::nullopt},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(storeRaw("vexaQrUserId", c.stored));
        ASSERT_TRUE(storeRaw("registrationState", c.stored));
        EXPECT_EQ(_service.getVexaQrUserId(), c.userId) << c.stored;
        EXPECT_EQ(_service.getRegistrationState(), VexaQrSDKRegistrationState::initial) << c.stored;
    }
    ASSERT_TRUE(storeRaw("registrationState", 1.0));
    EXPECT_EQ(_service.getRegistrationState(), VexaQrSDKRegistrationState::pending);
}

TEST_F(AppDataServiceTest, MessageCacheKeepsInsertionOrderAndEmptyIds) {
    auto& database = _database;
    ASSERT_TRUE(database.cacheVxaMessage("m1", Bytes{1, 2}, "info", std::nullopt));
    auto second = database.cacheVxaMessage(std::nullopt, Bytes{}, std::nullopt, "tpl");
    ASSERT_TRUE(second);
    EXPECT_FALSE(second->messageId);
    ASSERT_TRUE(database.cacheVxaMessage("m0", Bytes{9}, std::nullopt, std::nullopt));
    auto cached = database.getCachedVxaMessages();
    ASSERT_TRUE(cached);
    ASSERT_EQ(cached->size(), 3u);
    EXPECT_EQ((*cached)[0].messageId, "m1");
    EXPECT_EQ((*cached)[0].vxaData, (Bytes{1, 2}));
    EXPECT_EQ((*cached)[0].vxaInfo, "info");
    EXPECT_FALSE((*cached)[1].messageId);
    EXPECT_EQ((*cached)[1].vxaData, Bytes{}); // empty bytes, not absent
    EXPECT_EQ((*cached)[1].vxaTemplate, "tpl");
    EXPECT_EQ((*cached)[2].messageId, "m0");
    database.resetVxaMessageCache();
    EXPECT_TRUE(database.getCachedVxaMessages()->empty());
}

TEST_F(AppDataServiceTest, KeysComeFromTheStoreUnderTheirTags) {
    EXPECT_FALSE(_service.getPartnerPublicKey());
    _keychain.addRsaKey(KeychainWrapper::keyTag(Activation::KeyOwner::partnerKey, Activation::KeyType::publicKey),
                        test::publicKey("partner", 1024));
    _keychain.addRsaKey(KeychainWrapper::keyTag(Activation::KeyOwner::clientKey, Activation::KeyType::privateKey),
                        test::privateKey("app", 1024));
    ASSERT_TRUE(_service.getPartnerPublicKey());
    EXPECT_TRUE(_service.getPartnerPublicKey()->samePublicKey(*test::publicKey("partner", 1024)));
    ASSERT_TRUE(_service.getClientPrivateKey());
    EXPECT_TRUE(_service.getClientPrivateKey()->isPrivate());
    EXPECT_FALSE(_service.getPartnerPrivateKey());
    EXPECT_FALSE(_service.getClientPublicKey());
}

TEST_F(AppDataServiceTest, ResetRegistrationLeavesOnlyTheInitialState) {
    _service.createNewAppUniqueId();
    _service.save(std::int64_t{7});
    _service.save(std::string("a@b.c"));
    _service.save(VexaQrSDKRegistrationState::active);
    _database.cacheVxaMessage("m", Bytes{1}, std::nullopt, std::nullopt);
    using Activation::KeyOwner;
    using Activation::KeyType;
    for (auto owner : {KeyOwner::clientKey, KeyOwner::partnerKey})
        for (auto type : {KeyType::privateKey, KeyType::publicKey})
            _keychain.addRsaKey(KeychainWrapper::keyTag(owner, type), test::privateKey("app", 1024));

    _service.resetRegistration();

    auto records = settingsRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records.front()[3], SqliteValue(std::int64_t{0}));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(records.front()[0]));
    EXPECT_FALSE(_service.getUserEmail());
    EXPECT_FALSE(_service.getVexaQrUserId());
    EXPECT_FALSE(_service.getAppUniqueId());
    EXPECT_EQ(_service.getRegistrationState(), VexaQrSDKRegistrationState::initial);
    EXPECT_TRUE(_database.getCachedVxaMessages()->empty());
    EXPECT_FALSE(_service.getPartnerPublicKey());
    EXPECT_FALSE(_service.getPartnerPrivateKey());
    EXPECT_FALSE(_service.getClientPublicKey());
    EXPECT_FALSE(_service.getClientPrivateKey());
}

// Each service reads and writes only the stores it was given.
TEST(AppDataServiceStoresTest, TwoInstallationsSeeOnlyTheirOwnSettingsAndKeys) {
    test::TempDirectory directory;
    const auto first = Installation::inDirectory(directory.path() / "first");
    const auto second = Installation::inDirectory(directory.path() / "second");
    first->appData()->save(std::string("first@example.org"));
    first->appData()->save(VexaQrSDKRegistrationState::active);
    const auto tag = KeychainWrapper::keyTag(Activation::KeyOwner::clientKey, Activation::KeyType::privateKey);
    ASSERT_TRUE(first->keychain().addRsaKey(tag, test::privateKey("app", 1024)));

    EXPECT_FALSE(second->appData()->getUserEmail());
    EXPECT_EQ(second->appData()->getRegistrationState(), VexaQrSDKRegistrationState::initial);
    EXPECT_FALSE(second->appData()->getClientPrivateKey());
    second->appData()->resetRegistration();

    EXPECT_EQ(first->appData()->getUserEmail(), "first@example.org");
    EXPECT_EQ(first->appData()->getRegistrationState(), VexaQrSDKRegistrationState::active);
    ASSERT_TRUE(first->appData()->getClientPrivateKey());
    EXPECT_TRUE(first->appData()->getClientPrivateKey()->isPrivate());
    EXPECT_TRUE(std::filesystem::exists(directory.path() / "first" / "keystore.sqlite3"));
}

TEST(PersistencyManagerTest, AnUnusableFileFailsEveryOperationQuietly) {
    test::TempDirectory directory;
    std::filesystem::create_directories(directory.path() / "bad");
    std::ofstream(directory.path() / "bad" / "VexaQrSDKModel.sqlite") << std::string(8192, 'z');
    PersistencyManager broken([&] { return directory.path() / "bad"; });
    LogManager::standard().enabled = true;
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(broken.persistentContainer());
    const std::string log = ::testing::internal::GetCapturedStdout();
    LogManager::standard().enabled = false;
    EXPECT_EQ(log.rfind("Unresolved error file is not a database", 0), 0u) << log;
    EXPECT_FALSE(broken.setRegistrationState(1));
    EXPECT_FALSE(broken.settings().registrationState);
    EXPECT_FALSE(broken.getAllMessages());
    EXPECT_FALSE(broken.saveNewMessage({}));
    EXPECT_FALSE(broken.replaceAllMessages({}));
    EXPECT_FALSE(broken.beginStaging());
    broken.deleteSettings();
}

} // namespace
} // namespace vexaqr
