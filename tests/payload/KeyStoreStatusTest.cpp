// How KeychainWrapper and RsaPemManager read the key store's statuses, with a store that answers
// whatever the test asks.
#include "account/keys/KeyStore.hpp"
#include "account/keys/KeychainWrapper.hpp"
#include "account/keys/RsaPemManager.hpp"
#include "codec/platform/LogManager.hpp"

#include "support/TestKeys.hpp"

#include <gtest/gtest.h>

namespace vexaqr {
namespace {

class ScriptedKeyStore final : public KeyStore {
public:
    KeyStoreStatus addStatus = KeyStoreStatus::success;
    KeyStoreStatus removeStatus = KeyStoreStatus::success;
    KeyHandle storedKey;
    int adds = 0;

    KeyStoreStatus add(const Bytes&, const KeyHandle& key) override {
        ++adds;
        if (addStatus == KeyStoreStatus::success)
            storedKey = key;
        return addStatus;
    }
    KeyStoreLookup copyMatching(const Bytes&) override {
        return storedKey ? KeyStoreLookup{KeyStoreStatus::success, storedKey} : KeyStoreLookup{};
    }
    KeyStoreStatus remove(const Bytes&) override { return removeStatus; }
};

class KeyStoreStatusTest : public ::testing::Test {
protected:
    void TearDown() override { LogManager::standard().enabled = false; }
    std::string capturedLog(const std::function<void()>& action) {
        LogManager::standard().enabled = true;
        ::testing::internal::CaptureStdout();
        action();
        return ::testing::internal::GetCapturedStdout();
    }
    std::shared_ptr<ScriptedKeyStore> _store = std::make_shared<ScriptedKeyStore>();
};

TEST_F(KeyStoreStatusTest, FailedDeleteStopsAnAddAndKeepsTheOldKey) {
    _store->storedKey = test::publicKey("app", 1024);
    _store->removeStatus = KeyStoreStatus::ioError;
    EXPECT_FALSE(KeychainWrapper(_store).addRsaKey("t", test::publicKey("partner", 1024)));
    EXPECT_EQ(_store->adds, 0);
    EXPECT_FALSE(KeychainWrapper(_store).deleteRsaKey("t"));
    _store->removeStatus = KeyStoreStatus::itemNotFound;
    EXPECT_TRUE(KeychainWrapper(_store).deleteRsaKey("t"));
}

TEST_F(KeyStoreStatusTest, DuplicateItemOnImportCountsAsStored) {
    _store->storedKey = test::publicKey("app", 1024);
    _store->addStatus = KeyStoreStatus::duplicateItem;
    auto key = RsaPemManager(_store).addRSAPublicKey(test::readTextFile(test::keyPath("partner1024.pub.pem")), "t");
    ASSERT_TRUE(key);
    EXPECT_TRUE(key->samePublicKey(*test::publicKey("app", 1024))); // what the store holds comes back
}

TEST_F(KeyStoreStatusTest, FailedPrivateAddIsLoggedWithItsStatusAndPublicIsNot) {
    _store->addStatus = KeyStoreStatus::ioError;
    const std::string privateLog = capturedLog([this] {
        EXPECT_FALSE(RsaPemManager(_store).addRSAPrivateKey(test::readTextFile(test::keyPath("app1024.key.pem")), "t"));
    });
    EXPECT_EQ(privateLog, "Cannot add key to keychain, status -36.\n");
    const std::string publicLog = capturedLog([this] {
        EXPECT_FALSE(RsaPemManager(_store).addRSAPublicKey(test::readTextFile(test::keyPath("app1024.pub.pem")), "t"));
    });
    EXPECT_EQ(publicLog, "");
}

} // namespace
} // namespace vexaqr
