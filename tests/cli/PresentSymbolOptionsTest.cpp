// vexaqr present with larger frames: --symbol-version, --packets and --block-size.
#include "codec/pictures/PngFile.hpp"
#include "codec/pictures/QrDetector.hpp"
#include "codec/pictures/QrSymbolCapacity.hpp"
#include "codec/transport/Base45Converter.hpp"

#include "views/ScannerTestSupport.hpp"
#include "views/ViewsTestSupport.hpp"

#include "cli/CliSupport.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace vexaqr {
namespace {

using namespace vexaqr::test;

struct PresentSymbolFixture : ::testing::Test {
    test::TempDirectory folder;
    std::string recordFile = pathIn(folder, "record.vxa");
    std::string keys =
        " --partner-pub " + test::keyPath("partner1024.pub.pem") + " --app-key " + test::keyPath("app1024.key.pem");

    PresentSymbolFixture() {
        const Bytes record = sealedRecord(jsonContent(20000));
        std::ofstream(recordFile, std::ios::binary)
            .write(reinterpret_cast<const char*>(record.data()), static_cast<std::streamsize>(record.size()));
    }

    // The frame in the first picture of a PNG folder, and the picture's side.
    std::pair<Bytes, int> firstFrame(const std::string& directory) {
        const auto picture = PngFile::read(directory + "/frame-000000.png");
        if (!picture) {
            return {};
        }
        const auto texts = QrDetector::detect(*picture);
        return {texts.size() == 1 ? Base45Converter::dataFromBase45String(texts[0]) : Bytes(), picture->width};
    }

    int scan(const std::string& input) {
        return runShell(std::string(VEXAQR_CLI_PATH) + " scan " + input + keys + " >/dev/null 2>&1").exitCode;
    }
};

TEST_F(PresentSymbolFixture, SymbolVersionPicksTheLargestFramesOfThatVersion) {
    const auto row = *QrSymbolCapacity::largestFrames(30);
    const auto luby = pathIn(folder, "luby");
    const auto presented = runCli("present " + recordFile + " --symbol-version 30 --png-dir " + luby);
    ASSERT_EQ(presented.exitCode, 0) << presented.out;
    const auto [frame, side] = firstFrame(luby);
    EXPECT_EQ(frame.size(), 13u + 8 * row.ltPacketsPerFrame);
    EXPECT_EQ(side, (17 + 4 * 30 + 8) * 4);
    EXPECT_EQ(scan(luby), 0);

    const auto cyclic = pathIn(folder, "cyclic");
    ASSERT_EQ(runCli("present " + recordFile + " --cyclic --symbol-version 30 --png-dir " + cyclic).exitCode, 0);
    const auto [block, cyclicSide] = firstFrame(cyclic);
    EXPECT_EQ(block.size(), 3u + row.cyclicBlockLength);
    EXPECT_EQ(cyclicSide, side);
    EXPECT_EQ(scan(cyclic), 0);
}

TEST_F(PresentSymbolFixture, PacketsAndBlockSizeSetTheFrameAndTheSymbolFollows) {
    const auto luby = pathIn(folder, "luby");
    ASSERT_EQ(runCli("present " + recordFile + " --packets 146 --png-dir " + luby).exitCode, 0);
    const auto [frame, side] = firstFrame(luby);
    EXPECT_EQ(frame.size(), 1181u);
    const int version = *QrSymbolCapacity::smallestVersionHolding(QrSymbolCapacity::base45Length(1181));
    EXPECT_EQ(side, (17 + 4 * version + 8) * 4);
    EXPECT_EQ(scan(luby), 0);

    const auto cyclic = pathIn(folder, "cyclic");
    ASSERT_EQ(runCli("present " + recordFile + " --cyclic --block-size 2000 --png-dir " + cyclic).exitCode, 0);
    EXPECT_EQ(firstFrame(cyclic).first.size(), 2003u);
    EXPECT_EQ(scan(cyclic), 0);
}

TEST_F(PresentSymbolFixture, FrameTooLongForTheVersionIsRefusedWithWhatFits) {
    const auto refused =
        runCli("present " + recordFile + " --symbol-version 10 --packets 200 --gif " + pathIn(folder, "a.gif"));
    EXPECT_EQ(refused.exitCode, 1) << refused.out;
    EXPECT_NE(refused.out.find("does not fit a version-10 QR symbol"), std::string::npos) << refused.out;
    const auto row = *QrSymbolCapacity::largestFrames(10);
    EXPECT_NE(refused.out.find(std::to_string(row.ltPacketsPerFrame) + " packets"), std::string::npos) << refused.out;
}

TEST_F(PresentSymbolFixture, OptionsOutsideTheirRangeOrModeAreUsageMistakes) {
    const auto out = " --gif " + pathIn(folder, "b.gif");
    for (const std::string options : {"--symbol-version 1", "--symbol-version 41", "--packets 0",
                                      "--cyclic --packets 80", "--block-size 700", "--cyclic --block-size 0"}) {
        EXPECT_EQ(runCli("present " + recordFile + " " + options + out).exitCode, 2) << options;
    }
}

} // namespace
} // namespace vexaqr
