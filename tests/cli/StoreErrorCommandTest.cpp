// A store file that cannot be used makes the commands say which file and why, and leaves it as it was,
// rather than blaming a missing key later.
#include "support/TempDirectory.hpp"

#include "cli/CliSupport.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace vexaqr {
namespace {

using namespace vexaqr::test;

std::string readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

class StoreErrorCommandTest : public ::testing::Test {
protected:
    // Puts `content` in place of the store file `name` of the data directory; its path.
    std::filesystem::path spoil(const std::string& name, const std::string& content) {
        std::filesystem::create_directories(data());
        const auto file = data() / name;
        std::ofstream(file, std::ios::binary) << content;
        return file;
    }
    std::filesystem::path data() const { return _directory.path() / "data"; }

    test::TempDirectory _directory;
};

TEST_F(StoreErrorCommandTest, ScanNamesAKeyStoreThatIsNotADatabase) {
    const std::string junk(6000, '#');
    const auto file = spoil("keystore.sqlite3", junk);
    std::ofstream(_directory.path() / "picture.png") << "not read";
    const auto run = runCli("scan --data-dir " + data().string() + " " + (_directory.path() / "picture.png").string());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find(file.string() + ": file is not a database"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("no partner public key"), std::string::npos) << run.out;
    EXPECT_EQ(readFile(file), junk);
}

TEST_F(StoreErrorCommandTest, AccountNamesAnObjectStoreThatIsNotADatabase) {
    const std::string junk(6000, '#');
    const auto file = spoil("VexaQrSDKModel.sqlite", junk);
    const auto run = runCli("account status --data-dir " + data().string());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("cannot use " + file.string() + ": file is not a database"), std::string::npos) << run.out;
    EXPECT_EQ(readFile(file), junk);
}

} // namespace
} // namespace vexaqr
