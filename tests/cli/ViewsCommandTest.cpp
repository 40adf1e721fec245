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
    const auto presented = runCli("present " + recordFile + " --gif " + gif);
    ASSERT_EQ(presented.exitCode, 0) << presented.out;
    const auto contentOut = pathIn(folder, "content.json");
    const auto scanned = runShell(std::string(VEXAQR_CLI_PATH) + " scan " + gif + keys + " --json --content-out " +
                                  contentOut + " 2>/dev/null");
    ASSERT_EQ(scanned.exitCode, 0) << scanned.out;
    const auto json = nlohmann::json::parse(scanned.out, nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << scanned.out;
    EXPECT_EQ(json["isValid"], true);
    EXPECT_EQ(json["vxaType"], "SECURED");
    std::ifstream written(contentOut, std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(written), {}), content);
}

TEST_F(CommandFixture, CyclicPngFolderScansAndKeepScanningReportsEveryTransfer) {
    const auto frames = pathIn(folder, "frames");
    ASSERT_EQ(runCli("present " + recordFile + " --cyclic --slowdown 1 --png-dir " + frames + " --frames 12").exitCode,
              0);
    const auto once = runCli("scan " + frames + keys);
    EXPECT_EQ(once.exitCode, 0) << once.out;
    EXPECT_EQ(occurrences(once.out, "isValid: true"), 1u);
    const auto every = runCli("scan " + frames + keys + " --keep-scanning");
    EXPECT_EQ(every.exitCode, 0) << every.out;
    EXPECT_EQ(occurrences(every.out, "isValid: true"), 2u); // 12 frames are two full loops of 6 blocks
}

TEST_F(CommandFixture, ScanStatsCountPicturesAndFramesUntilCompletionForEitherDecoder) {
    const auto frames = pathIn(folder, "luby");
    ASSERT_EQ(runCli("present " + recordFile + " --png-dir " + frames + " --frames 20").exitCode, 0);
    std::map<std::string, nlohmann::json> stats;
    for (const std::string decoder : {"peeling", "ml"}) {
        const auto scanned = runCli("scan " + frames + keys + " --decoder " + decoder + " --stats");
        ASSERT_EQ(scanned.exitCode, 0) << scanned.out;
        EXPECT_EQ(occurrences(scanned.out, "isValid: true"), 1u);
        const auto at = scanned.out.find("{\"decoder\"");
        ASSERT_NE(at, std::string::npos) << scanned.out;
        stats[decoder] = nlohmann::json::parse(scanned.out.substr(at, scanned.out.find('\n', at) - at));
        const auto& line = stats[decoder];
        EXPECT_EQ(line["decoder"], decoder);
        EXPECT_EQ(line["completed"], true);
        EXPECT_GE(line["frames"].get<int>(), 2); // a 3 KB record does not fit one frame
        EXPECT_GE(line["pictures"].get<int>(), line["frames"].get<int>());
        EXPECT_LE(line["pictures"].get<int>(), 20);
    }
    EXPECT_LE(stats["ml"]["frames"].get<int>(), stats["peeling"]["frames"].get<int>());
    EXPECT_NE(runCli("scan " + frames + keys + " --decoder fastest").exitCode, 0);
}

TEST_F(CommandFixture, ScanFailsClearlyWithoutKeysTransfersOrCamera) {
    const auto gif = pathIn(folder, "a.gif");
    ASSERT_EQ(runCli("present " + recordFile + " --gif " + gif).exitCode, 0);
    const auto noKey = runCli("scan " + gif + " --data-dir " + pathIn(folder, "empty-data"));
    EXPECT_EQ(noKey.exitCode, 1);
    EXPECT_NE(noKey.out.find("no partner public key"), std::string::npos) << noKey.out;

    const auto wrongKey = runCli("scan " + gif + " --partner-pub " + test::keyPath("app1024.pub.pem"));
    EXPECT_EQ(wrongKey.exitCode, 1);
    EXPECT_NE(wrongKey.out.find("isValid: false"), std::string::npos);

    ASSERT_EQ(runCli("present " + recordFile + " --png-dir " + pathIn(folder, "few") + " --frames 1").exitCode, 0);
    const auto tooFew = runCli("scan " + pathIn(folder, "few") + keys);
    EXPECT_EQ(tooFew.exitCode, 1);
    EXPECT_NE(tooFew.out.find("no transfer completed"), std::string::npos);

    const auto camera = runCli("scan --camera /dev/video-vexaqr-none" + keys);
    EXPECT_EQ(camera.exitCode, 1);
    EXPECT_NE(camera.out.find("cannot open the camera"), std::string::npos);
    EXPECT_EQ(runCli("scan" + keys).exitCode, 2);
}

TEST_F(CommandFixture, AnyFilePresentedComesBackWithScanOut) {
    const auto file = pathIn(folder, "notes.txt");
    {
        std::ofstream text(file);
        for (int i = 0; i < 400; ++i)
            text << "line " << i << " of a plain file, no record\n";
    }
    const auto gif = pathIn(folder, "notes.gif");
    ASSERT_EQ(runCli("present " + file + " --gif " + gif).exitCode, 0);
    const auto back = pathIn(folder, "back.txt");
    const auto saved = runCli("scan " + gif + " --out " + back);
    ASSERT_EQ(saved.exitCode, 0) << saved.out;
    EXPECT_EQ(runShell("cmp " + file + " " + back).exitCode, 0);
    // A record file comes back whole too, not as its content.
    const auto recordBack = pathIn(folder, "record.back");
    ASSERT_EQ(runCli("present " + recordFile + " --gif " + gif).exitCode, 0);
    ASSERT_EQ(runCli("scan " + gif + " --out " + recordBack).exitCode, 0);
    EXPECT_EQ(runShell("cmp " + recordFile + " " + recordBack).exitCode, 0);

    // Read as a record, a plain file is named as such, with the way to save it, instead of asking for keys.
    ASSERT_EQ(runCli("present " + file + " --gif " + gif).exitCode, 0);
    const auto asRecord = runCli("scan " + gif + " --data-dir " + pathIn(folder, "empty-data"));
    EXPECT_EQ(asRecord.exitCode, 1);
    EXPECT_NE(asRecord.out.find("not a payload record"), std::string::npos) << asRecord.out;
    EXPECT_NE(asRecord.out.find("--out FILE"), std::string::npos) << asRecord.out;
    EXPECT_EQ(asRecord.out.find("key"), std::string::npos) << asRecord.out;
}

TEST_F(CommandFixture, PresentRefusesDataNoFrameCanCarry) {
    const auto empty = pathIn(folder, "empty");
    std::ofstream(empty).close();
    const auto refused = runCli("present " + empty + " --gif " + pathIn(folder, "e.gif"));
    EXPECT_EQ(refused.exitCode, 1) << refused.out;
    const auto large = pathIn(folder, "large");
    std::ofstream(large) << std::string(148921, 'x');
    EXPECT_EQ(runCli("present " + large + " --cyclic --png-dir " + pathIn(folder, "l")).exitCode, 1);
    EXPECT_NE(runCli("present " + recordFile).exitCode, 0); // an output is required
}

TEST(DemoCommandTest, DemoVerifiesBothModes) {
    const auto demo = runCli("demo");
    EXPECT_EQ(demo.exitCode, 0) << demo.out;
    EXPECT_EQ(occurrences(demo.out, "verified, content identical to what was sealed"), 2u) << demo.out;
}

} // namespace
} // namespace vexaqr
