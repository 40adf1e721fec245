#include "support/TempDirectory.hpp"

#include "account/hub/HubLocalStorage.hpp"
#include "account/hub/UserDefaults.hpp"

#include <gtest/gtest.h>

namespace vexaqr::test {
namespace {

class HubLocalStorageTest : public testing::Test {
protected:
    std::shared_ptr<UserDefaults> openDefaults() {
        return std::make_shared<UserDefaults>([this] { return _directory.path() / "data"; });
    }

    TempDirectory _directory;
};

TEST_F(HubLocalStorageTest, UserDefaultsKeepTextsAndArraysApartAcrossReopening) {
    {
        auto defaults = openDefaults();
        EXPECT_TRUE(defaults->setString("text", "[\"looks like an array\"]"));
        EXPECT_TRUE(defaults->setStringArray("array", {"a:b:c", "", "ü"}));
        EXPECT_TRUE(defaults->setString("gone", "x"));
        EXPECT_TRUE(defaults->removeObjectForKey("gone"));
        EXPECT_TRUE(defaults->removeObjectForKey("never-there"));
    }
    auto defaults = openDefaults();
    EXPECT_EQ(defaults->stringForKey("text"), "[\"looks like an array\"]");
    EXPECT_FALSE(defaults->stringArrayForKey("text"));
    EXPECT_EQ(defaults->stringArrayForKey("array"), (std::vector<std::string>{"a:b:c", "", "ü"}));
    EXPECT_FALSE(defaults->stringForKey("array"));
    EXPECT_FALSE(defaults->stringForKey("gone"));
}

TEST_F(HubLocalStorageTest, FreshStoreNeedsARefreshAndRemembersEntriesAfterIt) {
    {
        HubLocalStorage storage(openDefaults(), "hub");
        EXPECT_TRUE(storage.isRefreshNeeded());
        EXPECT_EQ(storage.deviceToken(), "");
        storage.refreshFinishedWithDeviceToken("0AFF");
        EXPECT_FALSE(storage.isRefreshNeeded());
        storage.updateWithRegistrationName("$Default", "111", "*", "0AFF");
        storage.updateWithRegistrationName("alerts", "222", "4", "0AFF");
    }
    auto defaults = openDefaults();
    EXPECT_EQ(defaults->stringForKey("hub-version"), "v1.0.0");
    EXPECT_EQ(defaults->stringForKey("hub-deviceToken"), "0AFF");
    EXPECT_EQ(defaults->stringArrayForKey("hub-registrations"),
              (std::vector<std::string>{"$Default:111:*", "alerts:222:4"}));

    HubLocalStorage reopened(defaults, "hub");
    EXPECT_FALSE(reopened.isRefreshNeeded());
    EXPECT_EQ(reopened.getStoredRegistrationEntryWithRegistrationName("alerts"),
              (StoredRegistrationEntry{"alerts", "222", "4"}));
    EXPECT_FALSE(reopened.getStoredRegistrationEntryWithRegistrationName("other"));

    HubLocalStorage otherHub(defaults, "other");
    EXPECT_TRUE(otherHub.isRefreshNeeded()) << "each hub path has its own keys";
}

TEST_F(HubLocalStorageTest, DeletingTheLastEntryRemovesTheRegistrationsKey) {
    auto defaults = openDefaults();
    HubLocalStorage storage(defaults, "hub");
    storage.updateWithRegistrationName("$Default", "111", "*", "0AFF");
    storage.updateWithRegistrationName("alerts", "222", "*", "0AFF");
    storage.deleteWithRegistrationName("alerts");
    EXPECT_EQ(defaults->stringArrayForKey("hub-registrations"), (std::vector<std::string>{"$Default:111:*"}));
    storage.deleteAllRegistrations();
    EXPECT_FALSE(defaults->stringArrayForKey("hub-registrations"));
    EXPECT_EQ(defaults->stringForKey("hub-version"), "v1.0.0");
}

TEST_F(HubLocalStorageTest, OlderVersionStartsEmptyInRefreshModeButKeepsTheToken) {
    auto defaults = openDefaults();
    defaults->setString("hub-version", "v0.9");
    defaults->setString("hub-deviceToken", "OLD");
    defaults->setStringArray("hub-registrations", {"$Default:111:*"});
    HubLocalStorage storage(defaults, "hub");
    EXPECT_TRUE(storage.isRefreshNeeded());
    EXPECT_EQ(storage.deviceToken(), "OLD");
    EXPECT_TRUE(storage.registrations().empty());
}

TEST_F(HubLocalStorageTest, StoredFormsReadBackOnlyWithExactlyThreeParts) {
    EXPECT_EQ(StoredRegistrationEntry::fromString("a:b:c"), (StoredRegistrationEntry{"a", "b", "c"}));
    EXPECT_EQ(StoredRegistrationEntry::fromString("na:me:id:etag"), StoredRegistrationEntry{});
    EXPECT_EQ(StoredRegistrationEntry::fromString("a:b"), StoredRegistrationEntry{});
    EXPECT_EQ((StoredRegistrationEntry{"n", "i", "e"}).toString(), "n:i:e");

    auto defaults = openDefaults();
    defaults->setString("hub-version", "v1.0.0");
    defaults->setStringArray("hub-registrations", {"na:me:id:etag", "good:1:*", "::"});
    HubLocalStorage storage(defaults, "hub");
    ASSERT_EQ(storage.registrations().size(), 1u) << "entries that read back empty address nothing";
    EXPECT_TRUE(storage.getStoredRegistrationEntryWithRegistrationName("good"));
}

TEST_F(HubLocalStorageTest, RefreshStoresANewTokenOnlyWhenItChanged) {
    auto defaults = openDefaults();
    HubLocalStorage storage(defaults, "hub");
    storage.refreshFinishedWithDeviceToken("");
    EXPECT_FALSE(defaults->stringForKey("hub-version")) << "nothing changed, nothing written";
    storage.refreshFinishedWithDeviceToken("NEW");
    EXPECT_EQ(defaults->stringForKey("hub-deviceToken"), "NEW");
}

TEST_F(HubLocalStorageTest, UnwritableDirectoryReadsBackAsAbsent) {
    auto defaults = std::make_shared<UserDefaults>([] { return std::filesystem::path("/proc/no-such-dir"); });
    EXPECT_FALSE(defaults->setString("k", "v"));
    EXPECT_FALSE(defaults->stringForKey("k"));
    HubLocalStorage storage(defaults, "hub");
    EXPECT_TRUE(storage.isRefreshNeeded());
}

} // namespace
} // namespace vexaqr::test
