#include <vexaqr/payload/KeyStore.hpp>
#include <vexaqr/payload/KeychainWrapper.hpp>
#include <vexaqr/platform/LogManager.hpp>
#include <vexaqr/sdk/AppDataService.hpp>
#include <vexaqr/sdk/DatabaseWrapper.hpp>

#include "support/TempDirectory.hpp"
#include "support/TestKeys.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <limits>

namespace vexaqr {
namespace {

using Constant::CoreData::AttributeKey;

// The object store and the key store of one installation, as SQLite files in a directory of its own.
struct Installation {
    explicit Installation(const std::filesystem::path& directory)
        : manager([directory] { return directory; }), database(manager), keychain(KeyStore::makeSqlite(directory)),
          service(database, keychain) {}

    PersistencyManager manager;
    DatabaseWrapper database;
    KeychainWrapper keychain;
    AppDataService service;
};

class AppDataServiceTest : public ::testing::Test {
protected:
    std::size_t settingsRecords() {
        return _manager.getAllEntities("SDKData").value_or(std::vector<StoredObject>{}).size();
    }

    test::TempDirectory _directory;
    Installation _installation{_directory.path() / "vexaqr"};
    PersistencyManager& _manager = _installation.manager;
    DatabaseWrapper& _database = _installation.database;
    KeychainWrapper& _keychain = _installation.keychain;
    AppDataService& _service = _installation.service;
};

TEST_F(AppDataServiceTest, FreshStoreReadsInitialAndLeavesOneEmptySettingsRecord) {
    EXPECT_EQ(_service.getRegistrationState(), VexaQrSDKRegistrationState::initial);
    auto records = _manager.getAllEntities("SDKData");
    ASSERT_TRUE(records);
    ASSERT_EQ(records->size(), 1u);
    for (const auto& entry : records->front().values)
        EXPECT_FALSE(entry.second) << entry.first;
    EXPECT_FALSE(_service.getUserEmail());
    EXPECT_EQ(settingsRecords(), 1u);
}

TEST_F(AppDataServiceTest, ValuesRoundTripAndSurviveAReopenedStore) {
    const auto id = _service.createNewAppUniqueId();
    ASSERT_TRUE(id);
    _service.save(std::int64_t{4711});
    _service.save(std::string("user@example.org"));
    _service.save(VexaQrSDKRegistrationState::pending);
    EXPECT_EQ(_service.getAppUniqueId(), id);

    PersistencyManager reopened([this] { return _directory.path() / "vexaqr"; });
    EXPECT_EQ(reopened.value("appUniqueId"), StoredValue(id->uuidString()));
    EXPECT_EQ(reopened.value("vexaQrUserId"), StoredValue(std::int64_t{4711}));
    EXPECT_EQ(reopened.value("userEmailAddress"), StoredValue(std::string("user@example.org")));
    EXPECT_EQ(reopened.value("registrationState"), StoredValue(std::int64_t{1}));
    EXPECT_EQ(_service.getVexaQrUserId(), 4711);
}

TEST_F(AppDataServiceTest, ForeignStoredValuesReadAsAbsentOrInitial) {
    auto& database = _database;
    database.set(std::string("not-a-uuid"), AttributeKey::appUniqueId);
    database.set(std::int64_t{5}, AttributeKey::registrationState);
    database.set(std::string("12"), AttributeKey::vexaQrUserId);
    database.set(std::int64_t{3}, AttributeKey::userEmailAddress);
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
        ASSERT_TRUE(_database.set(c.stored, AttributeKey::vexaQrUserId));
        ASSERT_TRUE(_database.set(c.stored, AttributeKey::registrationState));
        EXPECT_EQ(_service.getVexaQrUserId(), c.userId) << c.stored;
        EXPECT_EQ(_service.getRegistrationState(), VexaQrSDKRegistrationState::initial) << c.stored;
    }
    ASSERT_TRUE(_database.set(1.0, AttributeKey::registrationState));
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

    auto records = _manager.getAllEntities("SDKData");
    ASSERT_EQ(records->size(), 1u);
    EXPECT_EQ(records->front().values.at("registrationState"), StoredValue(std::int64_t{0}));
    EXPECT_FALSE(records->front().values.at("appUniqueId"));
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
    Installation first(directory.path() / "first");
    Installation second(directory.path() / "second");
    first.service.save(std::string("first@example.org"));
    first.service.save(VexaQrSDKRegistrationState::active);
    const auto tag = KeychainWrapper::keyTag(Activation::KeyOwner::clientKey, Activation::KeyType::privateKey);
    ASSERT_TRUE(first.keychain.addRsaKey(tag, test::privateKey("app", 1024)));

    EXPECT_FALSE(second.service.getUserEmail());
    EXPECT_EQ(second.service.getRegistrationState(), VexaQrSDKRegistrationState::initial);
    EXPECT_FALSE(second.service.getClientPrivateKey());
    second.service.resetRegistration();

    EXPECT_EQ(first.service.getUserEmail(), "first@example.org");
    EXPECT_EQ(first.service.getRegistrationState(), VexaQrSDKRegistrationState::active);
    ASSERT_TRUE(first.service.getClientPrivateKey());
    EXPECT_TRUE(first.service.getClientPrivateKey()->isPrivate());
    EXPECT_TRUE(std::filesystem::exists(directory.path() / "first" / "keystore.sqlite3"));
}

TEST(PersistencyManagerTest, UnknownNamesAndUnusableFilesFailQuietly) {
    test::TempDirectory directory;
    PersistencyManager manager([&] { return directory.path(); });
    EXPECT_FALSE(manager.set(std::int64_t{1}, "noSuchKey"));
    EXPECT_FALSE(manager.value("noSuchKey"));
    EXPECT_FALSE(manager.saveNewEntity("NoSuchEntity", {}));
    EXPECT_FALSE(manager.saveNewEntity("CachedVxaMessage", {{"vxaData; DROP TABLE SDKData", std::nullopt}}));
    EXPECT_FALSE(manager.getAllEntities("NoSuchEntity"));
    EXPECT_TRUE(manager.set(std::int64_t{1}, "registrationState"));

    std::ofstream(directory.path() / "corrupt.sqlite") << std::string(8192, 'z');
    std::filesystem::create_directories(directory.path() / "bad");
    std::filesystem::rename(directory.path() / "corrupt.sqlite", directory.path() / "bad" / "VexaQrSDKModel.sqlite");
    PersistencyManager broken([&] { return directory.path() / "bad"; });
    LogManager::standard().enabled = true;
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(broken.persistentContainer());
    const std::string log = ::testing::internal::GetCapturedStdout();
    LogManager::standard().enabled = false;
    EXPECT_EQ(log.rfind("Unresolved error file is not a database", 0), 0u) << log;
    EXPECT_FALSE(broken.set(std::int64_t{1}, "registrationState"));
    EXPECT_FALSE(broken.value("registrationState"));
    EXPECT_FALSE(broken.getAllEntities("SDKData"));
    EXPECT_FALSE(broken.saveNewEntity("CachedVxaMessage", {}));
    broken.deleteAllEntities("SDKData");
}

} // namespace
} // namespace vexaqr
