#include "account/keys/KeyStore.hpp"
#include "account/keys/KeychainWrapper.hpp"
#include "account/service/ResultCode.hpp"

#include "support/TempDirectory.hpp"
#include "support/TestKeys.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

namespace vexaqr {
namespace {

mode_t permissionsOf(const std::filesystem::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 0777;
}

class KeyStoreContract : public ::testing::TestWithParam<bool> {
protected:
    std::shared_ptr<KeyStore> makeStore() {
        return GetParam() ? KeyStore::makeSqlite(_directory.path() / "store") : KeyStore::makeInMemory();
    }
    test::TempDirectory _directory;
};

TEST_P(KeyStoreContract, AddLookUpAndRemoveByTagBytes) {
    auto store = makeStore();
    const Bytes tag = toBytes("tag.one");
    auto key = test::publicKey("partner", 1024);
    EXPECT_EQ(store->copyMatching(tag).status, KeyStoreStatus::itemNotFound);
    EXPECT_EQ(store->remove(tag), KeyStoreStatus::itemNotFound);
    EXPECT_EQ(store->add(tag, key), KeyStoreStatus::success);
    EXPECT_EQ(store->add(tag, test::publicKey("app", 1024)), KeyStoreStatus::duplicateItem);
    auto found = store->copyMatching(tag);
    ASSERT_EQ(found.status, KeyStoreStatus::success);
    EXPECT_TRUE(found.key->samePublicKey(*key)); // the first key stayed
    EXPECT_EQ(store->copyMatching(toBytes("tag.one ")).status, KeyStoreStatus::itemNotFound);
    EXPECT_EQ(store->add(tag, nullptr), KeyStoreStatus::invalidParameter);
    EXPECT_EQ(store->remove(tag), KeyStoreStatus::success);
    EXPECT_EQ(store->copyMatching(tag).status, KeyStoreStatus::itemNotFound);
}

TEST_P(KeyStoreContract, PrivateKeysComeBackPrivate) {
    auto store = makeStore();
    auto key = test::privateKey("app", 2048);
    ASSERT_EQ(store->add(toBytes("p"), key), KeyStoreStatus::success);
    auto found = store->copyMatching(toBytes("p"));
    ASSERT_TRUE(found.key);
    EXPECT_TRUE(found.key->isPrivate());
    EXPECT_EQ(found.key->externalRepresentation(), key->externalRepresentation());
}

INSTANTIATE_TEST_SUITE_P(SqliteAndInMemory, KeyStoreContract, ::testing::Bool());

TEST(SqliteKeyStoreTest, KeysSurviveReopeningAndFilesArePrivate) {
    test::TempDirectory directory;
    const auto storeDirectory = directory.path() / "data";
    auto key = test::privateKey("partner", 1024);
    ASSERT_EQ(KeyStore::makeSqlite(storeDirectory)->add(toBytes("k"), key), KeyStoreStatus::success);
    auto reopened = KeyStore::makeSqlite(storeDirectory)->copyMatching(toBytes("k"));
    ASSERT_EQ(reopened.status, KeyStoreStatus::success);
    EXPECT_TRUE(reopened.key->samePublicKey(*key));
    EXPECT_EQ(permissionsOf(storeDirectory), 0700u);
    EXPECT_EQ(permissionsOf(storeDirectory / "keystore.sqlite3"), 0600u);
}

TEST(SqliteKeyStoreTest, UnusableStoresFailWithoutStoppingTheProcess) {
    test::TempDirectory directory;
    const auto corrupt = directory.path() / "corrupt";
    std::filesystem::create_directories(corrupt);
    std::ofstream(corrupt / "keystore.sqlite3") << std::string(4096, 'x');
    auto store = KeyStore::makeSqlite(corrupt);
    EXPECT_EQ(store->add(toBytes("k"), test::publicKey("app", 1024)), KeyStoreStatus::notAvailable);
    EXPECT_EQ(store->copyMatching(toBytes("k")).status, KeyStoreStatus::notAvailable);

    // A directory that cannot be made (its parent is a file) fails the same way, even for root.
    std::ofstream(directory.path() / "file") << "x";
    EXPECT_EQ(KeyStore::makeSqlite(directory.path() / "file" / "sub")->remove(toBytes("k")),
              KeyStoreStatus::notAvailable);
}

TEST(KeychainWrapperTest, TagIsPrefixOwnerAndType) {
    EXPECT_EQ(KeychainWrapper::keyTag(Activation::KeyOwner::partnerKey, Activation::KeyType::publicKey),
              std::string(Constant::Application::rsaKeyTagPrefix) + ".partner.public");
    EXPECT_EQ(KeychainWrapper::keyTag(Activation::KeyOwner::clientKey, Activation::KeyType::privateKey),
              std::string(Constant::Application::rsaKeyTagPrefix) + ".client.private");
}

TEST(KeychainWrapperTest, AddReplacesDeleteOfAbsentSucceedsResetEmptiesAllFour) {
    const KeychainWrapper keychain(KeyStore::makeInMemory());
    const std::string tag = KeychainWrapper::keyTag(Activation::KeyOwner::clientKey, Activation::KeyType::publicKey);
    EXPECT_TRUE(keychain.deleteRsaKey(tag));
    EXPECT_FALSE(keychain.getRsaKey(tag));
    ASSERT_TRUE(keychain.addRsaKey(tag, test::publicKey("partner", 1024)));
    ASSERT_TRUE(keychain.addRsaKey(tag, test::publicKey("app", 1024)));
    EXPECT_TRUE(keychain.getRsaKey(tag)->samePublicKey(*test::publicKey("app", 1024)));

    using Activation::KeyOwner;
    using Activation::KeyType;
    for (auto owner : {KeyOwner::clientKey, KeyOwner::partnerKey})
        for (auto type : {KeyType::privateKey, KeyType::publicKey})
            ASSERT_TRUE(keychain.addRsaKey(KeychainWrapper::keyTag(owner, type), test::privateKey("app", 1024)));
    keychain.resetKeys();
    for (auto owner : {KeyOwner::clientKey, KeyOwner::partnerKey})
        for (auto type : {KeyType::privateKey, KeyType::publicKey})
            EXPECT_FALSE(keychain.getRsaKey(KeychainWrapper::keyTag(owner, type)));
}

TEST(KeyNamingTest, RawValuesConvertBack) {
    using namespace Activation;
    EXPECT_EQ(keyOwnerFromRawValue("partner"), KeyOwner::partnerKey);
    EXPECT_EQ(keyTypeFromRawValue("private"), KeyType::privateKey);
    EXPECT_FALSE(keyOwnerFromRawValue("Partner"));
}

} // namespace
} // namespace vexaqr
