// The present, scan and demo commands as a user runs them.
#include <vexaqr/payload/VXAData.hpp>

#include "views/ScannerTestSupport.hpp"
#include "views/ViewsTestSupport.hpp"

#include "cli/CliSupport.hpp"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <fstream>
#include <map>

namespace vexaqr {
namespace {

using namespace vexaqr::test;

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

struct CommandFixture : ::testing::Test {
    test::TempDirectory folder;
    Bytes content = jsonContent(3000);
    std::string recordFile = pathIn(folder, "record.vxa");
    std::string keys =
        " --partner-pub " + test::keyPath("partner1024.pub.pem") + " --app-key " + test::keyPath("app1024.key.pem");

    CommandFixture() {
        const Bytes record = sealedRecord(content);
        std::ofstream(recordFile, std::ios::binary)
            .write(reinterpret_cast<const char*>(record.data()), static_cast<std::streamsize>(record.size()));
    }
};

TEST_F(CommandFixture, PresentedGifScansToTheRecordAndItsContent) {
    const auto gif = pathIn(folder, "a.gif");
    const auto presented = cli("present " + recordFile + " --gif " + gif);
    ASSERT_EQ(exitStatus(presented), 0) << presented.output;
    const auto contentOut = pathIn(folder, "content.json");
    const auto scanned = runCommand(std::string(VEXAQR_CLI_PATH) + " scan " + gif + keys + " --json --content-out " +
                                    contentOut + " 2>/dev/null");
    ASSERT_EQ(exitStatus(scanned), 0) << scanned.output;
    const auto json = nlohmann::json::parse(scanned.output, nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << scanned.output;
    EXPECT_EQ(json["isValid"], true);
    EXPECT_EQ(json["vxaType"], "SECURED");
    std::ifstream written(contentOut, std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(written), {}), content);
}

TEST_F(CommandFixture, CyclicPngFolderScansAndKeepScanningReportsEveryTransfer) {
    const auto frames = pathIn(folder, "frames");
    ASSERT_EQ(exitStatus(cli("present " + recordFile + " --cyclic --slowdown 1 --png-dir " + frames + " --frames 12")),
              0);
    const auto once = cli("scan " + frames + keys);
    EXPECT_EQ(exitStatus(once), 0) << once.output;
    EXPECT_EQ(occurrences(once.output, "isValid: true"), 1u);
    const auto every = cli("scan " + frames + keys + " --keep-scanning");
    EXPECT_EQ(exitStatus(every), 0) << every.output;
    EXPECT_EQ(occurrences(every.output, "isValid: true"), 2u); // 12 frames are two full loops of 6 blocks
}

TEST_F(CommandFixture, ScanStatsCountPicturesAndFramesUntilCompletionForEitherDecoder) {
    const auto frames = pathIn(folder, "luby");
    ASSERT_EQ(exitStatus(cli("present " + recordFile + " --png-dir " + frames + " --frames 20")), 0);
    std::map<std::string, nlohmann::json> stats;
    for (const std::string decoder : {"peeling", "ml"}) {
        const auto scanned = cli("scan " + frames + keys + " --decoder " + decoder + " --stats");
        ASSERT_EQ(exitStatus(scanned), 0) << scanned.output;
        EXPECT_EQ(occurrences(scanned.output, "isValid: true"), 1u);
        const auto at = scanned.output.find("{\"decoder\"");
        ASSERT_NE(at, std::string::npos) << scanned.output;
        stats[decoder] = nlohmann::json::parse(scanned.output.substr(at, scanned.output.find('\n', at) - at));
        const auto& line = stats[decoder];
        EXPECT_EQ(line["decoder"], decoder);
        EXPECT_EQ(line["completed"], true);
        EXPECT_GE(line["frames"].get<int>(), 2); // a 3 KB record does not fit one frame
        EXPECT_GE(line["pictures"].get<int>(), line["frames"].get<int>());
        EXPECT_LE(line["pictures"].get<int>(), 20);
    }
    EXPECT_LE(stats["ml"]["frames"].get<int>(), stats["peeling"]["frames"].get<int>());
    EXPECT_NE(exitStatus(cli("scan " + frames + keys + " --decoder fastest")), 0);
}

TEST_F(CommandFixture, ScanFailsClearlyWithoutKeysTransfersOrCamera) {
    const auto gif = pathIn(folder, "a.gif");
    ASSERT_EQ(exitStatus(cli("present " + recordFile + " --gif " + gif)), 0);
    const auto noKey = cli("scan " + gif + " --data-dir " + pathIn(folder, "empty-data"));
    EXPECT_EQ(exitStatus(noKey), 1);
    EXPECT_NE(noKey.output.find("no partner public key"), std::string::npos) << noKey.output;

    const auto wrongKey = cli("scan " + gif + " --partner-pub " + test::keyPath("app1024.pub.pem"));
    EXPECT_EQ(exitStatus(wrongKey), 1);
    EXPECT_NE(wrongKey.output.find("isValid: false"), std::string::npos);

    ASSERT_EQ(exitStatus(cli("present " + recordFile + " --png-dir " + pathIn(folder, "few") + " --frames 1")), 0);
    const auto tooFew = cli("scan " + pathIn(folder, "few") + keys);
    EXPECT_EQ(exitStatus(tooFew), 1);
    EXPECT_NE(tooFew.output.find("no transfer completed"), std::string::npos);

    const auto camera = cli("scan --camera /dev/video-vexaqr-none" + keys);
    EXPECT_EQ(exitStatus(camera), 1);
    EXPECT_NE(camera.output.find("cannot open the camera"), std::string::npos);
    EXPECT_EQ(exitStatus(cli("scan" + keys)), 2);
}

TEST_F(CommandFixture, PresentRefusesDataNoFrameCanCarry) {
    const auto empty = pathIn(folder, "empty");
    std::ofstream(empty).close();
    const auto refused = cli("present " + empty + " --gif " + pathIn(folder, "e.gif"));
    EXPECT_EQ(exitStatus(refused), 1) << refused.output;
    const auto large = pathIn(folder, "large");
    std::ofstream(large) << std::string(148921, 'x');
    EXPECT_EQ(exitStatus(cli("present " + large + " --cyclic --png-dir " + pathIn(folder, "l"))), 1);
    EXPECT_NE(exitStatus(cli("present " + recordFile)), 0); // an output is required
}

TEST(DemoCommandTest, DemoVerifiesBothModes) {
    const auto demo = cli("demo");
    EXPECT_EQ(exitStatus(demo), 0) << demo.output;
    EXPECT_EQ(occurrences(demo.output, "verified, content identical to what was sealed"), 2u) << demo.output;
}

} // namespace
} // namespace vexaqr
