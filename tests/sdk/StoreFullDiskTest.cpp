// Every kind of write to the three stores, with the disk filling up after each possible number of
// successful file writes: a write that reports failure has changed nothing, one that reports success has
// made its whole change, read back both through the same objects and through fresh ones.
#include "sdk/StoreTestSupport.hpp"
#include "support/FullDiskVfs.hpp"
#include "support/TempDirectory.hpp"

#include "codec/platform/LogManager.hpp"

#include <gtest/gtest.h>

#include <functional>

namespace vexaqr {
namespace {

using Activation::KeyType;
using test::Stores;

// A write under test: whether it reported success, or nothing for calls that report nothing.
using Write = std::function<std::optional<bool>(Stores&)>;

struct WriteCase {
    std::string name;
    Write write;
};

// Names the case in test listings instead of its bytes.
void PrintTo(const WriteCase& c, std::ostream* out) {
    *out << c.name;
}

// The state every case starts from: a full key store, settings, two cached messages, a hub entry.
void seed(Stores& stores) {
    ASSERT_TRUE(stores.keychain.addRsaKeys(test::clientPair("app", 1024)));
    ASSERT_TRUE(stores.keychain.addRsaKeys(test::partnerPair()));
    ASSERT_TRUE(stores.database.setVexaQrUserId(1));
    ASSERT_TRUE(stores.database.replaceVxaMessageCache({test::cachedMessage("m1"), test::cachedMessage("m2")}));
    HubLocalStorage(stores.defaults, test::kHubPath).updateWithRegistrationName("$Default", "id-1", "etag-1", "0aff");
    ASSERT_TRUE(stores.defaults->setString("text", "old text"));
}

std::vector<WriteCase> everyKindOfWrite() {
    return {
        {"key pair generated in place of every key",
         [](Stores& s) { return s.keychain.resetKeysAndAdd(test::clientPair("app", 2048)); }},
        {"key pair stored again", [](Stores& s) { return s.keychain.addRsaKeys(test::clientPair("app", 2048)); }},
        {"one key replaced",
         [](Stores& s) {
             return s.keychain.addRsaKey(test::partnerTag(KeyType::publicKey), test::publicKey("app", 2048));
         }},
        {"one key removed", [](Stores& s) { return s.keychain.deleteRsaKey(test::partnerTag(KeyType::privateKey)); }},
        {"setting written", [](Stores& s) { return s.database.setVexaQrUserId(2); }},
        {"message cached",
         [](Stores& s) {
             return s.database.cacheVxaMessage("m3", toBytes("data m3"), "info m3", "template m3").has_value();
         }},
        {"message cache replaced",
         [](Stores& s) {
             return s.database.replaceVxaMessageCache(
                 {test::cachedMessage("n1"), test::cachedMessage("n2"), test::cachedMessage("n3")});
         }},
        {"message cache emptied",
         [](Stores& s) -> std::optional<bool> {
             s.database.resetVxaMessageCache();
             return std::nullopt;
         }},
        {"hub registration stored",
         [](Stores& s) -> std::optional<bool> {
             HubLocalStorage(s.defaults, test::kHubPath).updateWithRegistrationName("other", "id-2", "etag-2", "0bff");
             return std::nullopt;
         }},
        {"hub registrations forgotten",
         [](Stores& s) -> std::optional<bool> {
             HubLocalStorage(s.defaults, test::kHubPath).deleteAllRegistrations();
             return std::nullopt;
         }},
        {"default text written", [](Stores& s) { return s.defaults->setString("text", "new text"); }},
        {"default removed", [](Stores& s) { return s.defaults->removeObjectForKey("text"); }},
    };
}

class StoreFullDiskTest : public ::testing::TestWithParam<WriteCase> {
protected:
    // The snapshot of a fresh directory after seed() and, when `write` is given, after it too.
    std::string stateAfter(const Write* write) {
        test::TempDirectory directory;
        {
            Stores stores(directory.path());
            seed(stores);
            if (write)
                (*write)(stores);
        }
        return Stores(directory.path()).snapshot();
    }

    test::FullDiskVfs _disk;
};

TEST_P(StoreFullDiskTest, AWriteThatMeetsAFullDiskChangesNothingAndSaysSo) {
    const WriteCase& writeCase = GetParam();
    const std::string before = stateAfter(nullptr);
    const std::string after = stateAfter(&writeCase.write);
    ASSERT_NE(before, after) << "the write under test changes nothing";

    int failures = 0;
    for (std::int64_t allowed = 0; allowed < 500; ++allowed) {
        test::TempDirectory directory;
        std::optional<bool> reported;
        std::int64_t refused = 0;
        std::string seen;
        {
            Stores stores(directory.path());
            seed(stores);
            _disk.allowWrites(allowed);
            reported = writeCase.write(stores);
            refused = _disk.refused();
            _disk.allowWrites(std::nullopt);
            seen = stores.snapshot();
        }
        const std::string reopened = Stores(directory.path()).snapshot();
        SCOPED_TRACE(writeCase.name + ", disk full after " + std::to_string(allowed) + " writes");
        EXPECT_EQ(seen, reopened);
        if (reported)
            EXPECT_EQ(reopened, *reported ? after : before) << "reported " << *reported;
        else
            EXPECT_TRUE(reopened == before || reopened == after) << reopened;
        for (const char* file : {test::kKeyStoreFile, test::kObjectStoreFile, test::kDefaultsFile})
            EXPECT_EQ(test::integrityCheck(directory.path() / file), "ok") << file;
        if (refused == 0) {
            EXPECT_NE(reported, std::optional<bool>(false)) << "failed with room on the disk";
            RecordProperty("casesRun", static_cast<int>(allowed + 1));
            return;
        }
        failures += reopened == before ? 1 : 0;
    }
    ADD_FAILURE() << "the write never finished within the budget; " << failures << " failures seen";
}

INSTANTIATE_TEST_SUITE_P(EveryKindOfWrite, StoreFullDiskTest, ::testing::ValuesIn(everyKindOfWrite()),
                         [](const ::testing::TestParamInfo<WriteCase>& info) {
                             std::string name;
                             for (char c : info.param.name)
                                 if (std::isalnum(static_cast<unsigned char>(c)))
                                     name += c;
                             return name;
                         });

TEST(StoreFullDiskReasonTest, TheObjectStoreLogsThatTheDiskIsFull) {
    test::TempDirectory directory;
    test::FullDiskVfs disk;
    Stores stores(directory.path());
    seed(stores);
    LogManager::standard().enabled = true;
    ::testing::internal::CaptureStdout();
    disk.allowWrites(0);
    EXPECT_FALSE(stores.database.replaceVxaMessageCache({test::cachedMessage("n1")}));
    disk.allowWrites(std::nullopt);
    const std::string log = ::testing::internal::GetCapturedStdout();
    LogManager::standard().enabled = false;
    EXPECT_NE(log.find("database or disk is full"), std::string::npos) << log;
}

TEST(StoreFullDiskReasonTest, TheKeyStoreAnswersAnInputOutputError) {
    test::TempDirectory directory;
    test::FullDiskVfs disk;
    Stores stores(directory.path());
    seed(stores);
    disk.allowWrites(0);
    EXPECT_EQ(stores.keyStore->write({{toBytes(test::clientTag(KeyType::publicKey)), test::publicKey("app", 2048)}}),
              KeyStoreStatus::ioError);
    EXPECT_GT(disk.refused(), 0);
}

} // namespace
} // namespace vexaqr
