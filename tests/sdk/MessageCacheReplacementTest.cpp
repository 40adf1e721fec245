// The message cache is replaced as a whole or not at all: a write that fails part-way (here a trigger
// that refuses the third row, standing in for a full disk) must leave the previous cache intact.
#include "account/sdk/DatabaseWrapper.hpp"
#include "account/sdk/PersistencyManager.hpp"

#include "account/platform/SqliteDatabase.hpp"
#include "support/TempDirectory.hpp"

#include <gtest/gtest.h>

namespace vexaqr {
namespace {

class MessageCacheReplacementTest : public ::testing::Test {
protected:
    CachedVxaMessage message(const std::string& id, std::uint8_t byte) {
        return {Bytes{byte, byte}, "info " + id, std::nullopt, id};
    }

    std::vector<std::string> cachedIds() {
        std::vector<std::string> ids;
        for (const auto& row : _database.getCachedVxaMessages().value_or(std::vector<CachedVxaMessage>{}))
            ids.push_back(row.messageId.value_or("(none)"));
        return ids;
    }

    // Another connection to the same file, as a second process or a failing disk would be.
    void refuseInsertsBeyond(int rows) {
        std::string error;
        auto raw = SqliteDatabase::open(_directory.path() / "VexaQrSDKModel.sqlite", error);
        ASSERT_TRUE(raw) << error;
        ASSERT_TRUE(raw->execute("CREATE TRIGGER refuse BEFORE INSERT ON CachedVxaMessage WHEN (SELECT count(*) FROM "
                                 "CachedVxaMessage) >= " +
                                 std::to_string(rows) + " BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END;"))
            << raw->lastError();
    }

    test::TempDirectory _directory;
    PersistencyManager _manager{[this] { return _directory.path(); }};
    DatabaseWrapper _database{_manager};
};

TEST_F(MessageCacheReplacementTest, ReplacementKeepsTheNewMessagesInOrderAndNothingElse) {
    ASSERT_TRUE(_database.replaceVxaMessageCache({message("old1", 1), message("old2", 2), message("old3", 3)}));
    ASSERT_TRUE(_database.replaceVxaMessageCache({message("b", 5), message("a", 4)}));
    EXPECT_EQ(cachedIds(), (std::vector<std::string>{"b", "a"}));
    auto rows = _database.getCachedVxaMessages();
    ASSERT_TRUE(rows);
    EXPECT_EQ((*rows)[0].vxaData, (Bytes{5, 5}));
    EXPECT_EQ((*rows)[0].vxaInfo, "info b");
    EXPECT_FALSE((*rows)[0].vxaTemplate);

    ASSERT_TRUE(_database.replaceVxaMessageCache({}));
    EXPECT_TRUE(cachedIds().empty());
}

TEST_F(MessageCacheReplacementTest, AFailedWritePartWayLeavesTheOldCacheWhole) {
    ASSERT_TRUE(_database.replaceVxaMessageCache({message("old1", 1), message("old2", 2)}));
    refuseInsertsBeyond(2);

    EXPECT_FALSE(_database.replaceVxaMessageCache({message("n1", 7), message("n2", 8), message("n3", 9)}));
    EXPECT_EQ(cachedIds(), (std::vector<std::string>{"old1", "old2"}));

    // The store stays usable: a replacement that fits goes through.
    EXPECT_TRUE(_database.replaceVxaMessageCache({message("n1", 7)}));
    EXPECT_EQ(cachedIds(), (std::vector<std::string>{"n1"}));
}

} // namespace
} // namespace vexaqr
