// A child process that keeps rewriting a store is killed (SIGKILL) at a random moment, some hundreds of
// times: the file must pass SQLite's integrity check and hold one of the states the child wrote whole,
// never a mix of two.
#include "sdk/StoreTestSupport.hpp"
#include "support/TempDirectory.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <random>
#include <set>
#include <thread>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace vexaqr {
namespace {

using test::Stores;

constexpr int kKills = 200;

// The two states a child alternates between; writeState(stores, i) writes state i % 2.
struct CrashCase {
    std::string name;
    std::function<void(Stores&, int)> writeState;
    const char* file;
};

// Names the case in test listings instead of its bytes.
void PrintTo(const CrashCase& c, std::ostream* out) {
    *out << c.name;
}

class StoreCrashTest : public ::testing::TestWithParam<CrashCase> {
protected:
    // The snapshot after writing state `index` (and, first, the other one) into a fresh directory.
    std::string stateSnapshot(int index) {
        test::TempDirectory directory;
        {
            Stores stores(directory.path());
            GetParam().writeState(stores, index + 1);
            GetParam().writeState(stores, index);
        }
        return Stores(directory.path()).snapshot();
    }

    // Starts a child that writes the states in turn, forever; returns once it has written a few.
    pid_t startWriter(const std::filesystem::path& directory) {
        int ready[2];
        if (::pipe(ready) != 0)
            return -1;
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(ready[0]);
            Stores stores(directory);
            for (int i = 0;; ++i) {
                GetParam().writeState(stores, i);
                if (i == 1)
                    (void)!::write(ready[1], "x", 1);
            }
        }
        ::close(ready[1]);
        char signal = 0;
        (void)!::read(ready[0], &signal, 1);
        ::close(ready[0]);
        return child;
    }
};

TEST_P(StoreCrashTest, AKilledWriterLeavesASoundFileWithOneWholeState) {
    const std::set<std::string> wholeStates{stateSnapshot(0), stateSnapshot(1)};
    ASSERT_EQ(wholeStates.size(), 2u);
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> delayMicroseconds(0, 20000);
    int mixed = 0;
    std::set<std::string> seen;
    for (int kill = 0; kill < kKills; ++kill) {
        test::TempDirectory directory;
        const pid_t child = startWriter(directory.path());
        ASSERT_GT(child, 0);
        std::this_thread::sleep_for(std::chrono::microseconds(delayMicroseconds(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));

        ASSERT_EQ(test::integrityCheck(directory.path() / GetParam().file), "ok") << "kill " << kill;
        const std::string state = Stores(directory.path()).snapshot();
        if (!wholeStates.count(state)) {
            ++mixed;
            ADD_FAILURE() << "kill " << kill << " left a mixed state:\n" << state;
        }
        seen.insert(state);
    }
    RecordProperty("kills", kKills);
    RecordProperty("mixed", mixed);
    // The kills must have landed on both states, or the test says little.
    EXPECT_EQ(seen.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Stores, StoreCrashTest,
                         ::testing::Values(CrashCase{"KeyPairGeneration",
                                                     [](Stores& s, int i) {
                                                         auto keys = test::clientPair("app", i % 2 ? 2048 : 1024);
                                                         if (i % 2)
                                                             for (auto& key : test::partnerPair())
                                                                 keys.push_back(key);
                                                         s.keychain.resetKeysAndAdd(keys);
                                                     },
                                                     test::kKeyStoreFile},
                                           CrashCase{"MessageCacheReplacement",
                                                     [](Stores& s, int i) {
                                                         std::vector<CachedVxaMessage> messages;
                                                         for (int m = 0; m < (i % 2 ? 5 : 3); ++m)
                                                             messages.push_back(test::cachedMessage(
                                                                 (i % 2 ? "b" : "a") + std::to_string(m)));
                                                         s.database.replaceVxaMessageCache(messages);
                                                     },
                                                     test::kObjectStoreFile},
                                           CrashCase{"HubRegistrationFlush",
                                                     [](Stores& s, int i) {
                                                         const std::string n = std::to_string(i % 2);
                                                         HubLocalStorage(s.defaults, test::kHubPath)
                                                             .updateWithRegistrationName("$Default", "id" + n,
                                                                                         "etag" + n, "0a" + n);
                                                     },
                                                     test::kDefaultsFile}),
                         [](const ::testing::TestParamInfo<CrashCase>& info) { return info.param.name; });

} // namespace
} // namespace vexaqr
