// The facade while another connection writes the object store: it waits for a short write, and a write
// held past the busy timeout fails the step loudly instead of reporting work that was not stored.
#include "sdk/SdkTestSupport.hpp"
#include "sdk/StoreTestSupport.hpp"

#include <thread>

namespace vexaqr {
namespace {

using test::kEmail;
using test::kPartnerId;
using test::Reported;
using State = VexaQrSDKRegistrationState;

class SharedDataDirectoryTest : public test::SdkTest {
protected:
    // A second connection to this installation's object store, holding the write lock until released.
    class WriteLock {
    public:
        explicit WriteLock(const std::filesystem::path& file) {
            std::string error;
            _other = SqliteDatabase::open(file, error);
            EXPECT_TRUE(_other && _other->execute("BEGIN IMMEDIATE")) << error;
        }
        void release() {
            if (_other)
                _other->execute("ROLLBACK");
        }
        ~WriteLock() { release(); }

    private:
        std::unique_ptr<SqliteDatabase> _other;
    };

    std::filesystem::path objectStore() { return _directory.path() / "data" / test::kObjectStoreFile; }

    Reported registerOnly() {
        Reported reported;
        _sdk->registerAccount({kEmail, kPartnerId, false, std::nullopt}, reported.completion());
        EXPECT_TRUE(runUntil([&] { return reported.calls > 0; }));
        return reported;
    }

    std::unique_ptr<VexaQrSDK> _sdk = makeSdk();
};

TEST_F(SharedDataDirectoryTest, ARegistrationWaitsForAShortWriteOfAnotherConnection) {
    _sdk->getRegistrationState(); // the store file exists before the other connection opens it
    WriteLock lock(objectStore());
    std::thread releaser([&lock] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400)); // well within the busy timeout
        lock.release();
    });
    const auto reported = registerOnly();
    releaser.join();
    EXPECT_EQ(reported.code, 0);
    EXPECT_FALSE(reported.error);
    EXPECT_EQ(_sdk->getRegistrationState(), State::pending);
    EXPECT_EQ(_sdk->getUserEmail(), kEmail);
}

TEST_F(SharedDataDirectoryTest, AWriteHeldPastTheTimeoutFailsTheRegistrationBeforeAnythingIsSent) {
    _sdk->getRegistrationState();
    {
        WriteLock lock(objectStore());
        const auto reported = registerOnly();
        EXPECT_EQ(reported.code, -999); // sdkTechnicalError
        ASSERT_TRUE(reported.error);
        EXPECT_NE(reported.error->message.find("could not be stored"), std::string::npos);
        EXPECT_EQ(_http->count("/registerclient"), 0u); // no installation the device does not know of
    }
    EXPECT_EQ(registerOnly().code, 0); // and once the other writer is done, it works
    EXPECT_EQ(_sdk->getRegistrationState(), State::pending);
}

TEST_F(SharedDataDirectoryTest, AStateThatCannotBeStoredAfterTheBackendAnsweredIsAFailure) {
    _sdk->getRegistrationState();
    // The lock is taken between the request and its answer, so the writes after the answer meet it.
    std::unique_ptr<WriteLock> lock;
    Reported reported;
    _sdk->registerAccount({kEmail, kPartnerId, false, std::nullopt}, reported.completion());
    lock = std::make_unique<WriteLock>(objectStore());
    ASSERT_TRUE(runUntil([&] { return reported.calls > 0; }));
    EXPECT_EQ(reported.code, -999);
    ASSERT_TRUE(reported.error);
    lock.reset();
    EXPECT_EQ(_sdk->getRegistrationState(), State::initial);
}

TEST_F(SharedDataDirectoryTest, ACacheThatCannotBeReplacedFailsTheDownloadAndStaysWhole) {
    ASSERT_EQ(registerAndActivate(*_sdk), 0);
    const auto appUniqueId = *_sdk->appDataService()->getAppUniqueId();
    const auto first = postMessage(appUniqueId, "first");
    test::ReportedMessages cached;
    _sdk->getVexaQrMessages({}, cached.completion());
    ASSERT_TRUE(runUntil([&] { return cached.calls > 0; }));
    ASSERT_EQ(cached.ids(), std::vector<std::string>{first});

    const auto second = postMessage(appUniqueId, "second");
    WriteLock lock(objectStore());
    test::ReportedMessages reported;
    _sdk->getVexaQrMessages({}, reported.completion());
    ASSERT_TRUE(runUntil([&] { return reported.calls > 0; }));
    lock.release();
    EXPECT_EQ(reported.code, -999);
    ASSERT_TRUE(reported.error);
    EXPECT_NE(reported.error->message.find("message cache"), std::string::npos);
    const auto rows = _database->getCachedVxaMessages();
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 1u);
    EXPECT_EQ(rows->front().messageId, first);
}

} // namespace
} // namespace vexaqr
