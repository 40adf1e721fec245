// Uuid against the random generator and the text form; the generator is swapped for a failing one
// to see that no identifier is made from missing randomness.
#define OPENSSL_SUPPRESS_DEPRECATED // RAND_METHOD is the one way to make RAND_bytes fail on demand

#include <vexaqr/Uuid.hpp>

#include <gtest/gtest.h>
#include <openssl/rand.h>

#include <set>

using vexaqr::Uuid;

namespace {

int failingBytes(unsigned char*, int) {
    return 0;
}
int reportsSeeded() {
    return 1;
}

// Installs a generator whose every request fails; the previous one comes back when it goes.
class FailingRandomGenerator {
public:
    FailingRandomGenerator() : _previous(RAND_get_rand_method()) {
        _method.bytes = failingBytes;
        _method.status = reportsSeeded;
        RAND_set_rand_method(&_method);
    }
    ~FailingRandomGenerator() { RAND_set_rand_method(_previous); }
    FailingRandomGenerator(const FailingRandomGenerator&) = delete;
    FailingRandomGenerator& operator=(const FailingRandomGenerator&) = delete;

private:
    const RAND_METHOD* _previous;
    RAND_METHOD _method{};
};

} // namespace

TEST(UuidTest, RandomIdentifiersAreVersion4AndDistinct) {
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        const auto uuid = Uuid::random();
        ASSERT_TRUE(uuid);
        EXPECT_EQ(uuid->bytes[6] >> 4, 4);
        EXPECT_EQ(uuid->bytes[8] & 0xC0, 0x80);
        seen.insert(uuid->uuidString());
    }
    EXPECT_EQ(seen.size(), 100u);
}

TEST(UuidTest, FailingRandomGeneratorGivesNoIdentifier) {
    {
        const FailingRandomGenerator failing;
        EXPECT_FALSE(Uuid::random());
    }
    EXPECT_TRUE(Uuid::random());
}

TEST(UuidTest, TextFormRoundTripsInEitherLetterCase) {
    const auto parsed = Uuid::fromString("0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->uuidString(), "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0");
    EXPECT_EQ(Uuid::fromString(parsed->uuidString()), parsed);
    EXPECT_FALSE(Uuid::fromString("0f1e2d3c4b5a-6978-8796-a5b4c3d2e1f0-"));
    EXPECT_FALSE(Uuid::fromString("0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1fg"));
}
