// The README's two example programs, run on files the test makes: a record to an animated GIF and back.
#include "views/ScannerTestSupport.hpp"
#include "views/ViewsTestSupport.hpp"

#include "cli/CliSupport.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace vexaqr {
namespace {

using namespace vexaqr::test;

TEST(ExamplesTest, FileToGifAndPicturesToRecordRoundTripARecord) {
    TempDirectory folder;
    const Bytes content = jsonContent(4000);
    const Bytes record = sealedRecord(content);
    const auto recordFile = pathIn(folder, "record.vxa");
    std::ofstream(recordFile, std::ios::binary)
        .write(reinterpret_cast<const char*>(record.data()), static_cast<std::streamsize>(record.size()));
    const auto gif = pathIn(folder, "record.gif");

    const auto made = runCommand(std::string(VEXAQR_FILE_TO_GIF_PATH) + " " + recordFile + " " + gif + " 2>&1");
    ASSERT_EQ(exitStatus(made), 0) << made.output;
    EXPECT_NE(made.output.find("frames written to"), std::string::npos) << made.output;

    const std::string read = std::string(VEXAQR_PICTURES_TO_RECORD_PATH) + " " + keyPath("partner1024.pub.pem") + " ";
    const auto received = runCommand(read + keyPath("app1024.key.pem") + " " + gif + " 2>/dev/null");
    ASSERT_EQ(exitStatus(received), 0);
    EXPECT_EQ(toBytes(received.output), content);

    // The wrong application key: the reason, not the content, and a failing status.
    const auto refused = runCommand(read + keyPath("partner1024.key.pem") + " " + gif + " 2>&1");
    EXPECT_EQ(exitStatus(refused), 1);
    EXPECT_NE(refused.output.find("key block"), std::string::npos) << refused.output;

    EXPECT_EQ(exitStatus(runCommand(std::string(VEXAQR_FILE_TO_GIF_PATH) + " 2>/dev/null")), 2);
    const auto nothing = runCommand(std::string(VEXAQR_FILE_TO_GIF_PATH) + " " + pathIn(folder, "missing") + " " +
                                    pathIn(folder, "x.gif") + " 2>&1");
    EXPECT_EQ(exitStatus(nothing), 1) << nothing.output;
}

} // namespace
} // namespace vexaqr
