// The vexaqr frames commands, run as a user would run them.
#include "support/CraftedFrames.hpp"
#include "transport/TransportTestSupport.hpp"

#include "codec/transport/Base45Converter.hpp"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/wait.h>

using namespace vexaqr;

namespace {

class FramesCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        _directory =
            std::filesystem::temp_directory_path() / ("vexaqr-frames-" + std::to_string(::getpid()) + "-" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(_directory);
    }
    void TearDown() override { std::filesystem::remove_all(_directory); }

    std::string path(const std::string& name) const { return (_directory / name).string(); }

    static int shell(const std::string& command) {
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static int run(const std::string& arguments) { return shell(std::string(VEXAQR_CLI_PATH) + " " + arguments); }

    static void write(const std::string& file, const Bytes& data) {
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    }

    static std::string read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    static std::vector<std::string> lines(const std::string& file) {
        std::ifstream in(file);
        std::vector<std::string> all;
        for (std::string line; std::getline(in, line);) {
            all.push_back(line);
        }
        return all;
    }

private:
    std::filesystem::path _directory;
};

} // namespace

TEST_F(FramesCommandTest, EncodedFramesDecodeBackInBothModes) {
    const Bytes data = test::randomBytes(5000, 77);
    write(path("in.bin"), data);
    for (const std::string mode : {"luby", "cyclic"}) {
        ASSERT_EQ(run("frames encode --mode " + mode + " --seed 9 " + path("in.bin") + " > " + path("frames.txt")), 0);
        ASSERT_EQ(run("frames decode --out " + path("out.bin") + " < " + path("frames.txt") + " 2> " + path("log")), 0);
        EXPECT_EQ(read(path("out.bin")), toString(data)) << mode;
    }
}

TEST_F(FramesCommandTest, LinesAreTheGeneratorsFramesInBase45) {
    write(path("in.bin"), test::randomBytes(1200, 5));
    ASSERT_EQ(run("frames encode --mode cyclic --count 4 " + path("in.bin") + " > " + path("frames.txt")), 0);
    const auto all = lines(path("frames.txt"));
    ASSERT_EQ(all.size(), 4u);
    const std::vector<std::uint8_t> indices{1, 2, 0, 1};
    for (std::size_t i = 0; i < all.size(); ++i) {
        const Bytes frame = Base45Converter::dataFromBase45String(all[i]);
        ASSERT_GE(frame.size(), 3u);
        EXPECT_EQ(frame[0], 0x02);
        EXPECT_EQ(frame[1], indices[i]);
        EXPECT_EQ(frame[2], 3);
    }

    ASSERT_EQ(run("frames encode --mode luby --seed 4242 --count 2 " + path("in.bin") + " > " + path("luby.txt")), 0);
    const auto luby = lines(path("luby.txt"));
    ASSERT_EQ(luby.size(), 2u);
    const Bytes first = Base45Converter::dataFromBase45String(luby[0]);
    EXPECT_EQ(first.size(), 597u);
    EXPECT_EQ(Bytes(first.begin(), first.begin() + 9), (Bytes{0x01, 0x00, 0x00, 0x10, 0x92, 0x00, 0x00, 0x04, 0xB0}));
}

TEST_F(FramesCommandTest, DefaultCountLetsALosslessReceiverFinishWithAMargin) {
    const Bytes data = test::randomBytes(20000, 6);
    write(path("in.bin"), data);
    ASSERT_EQ(run("frames encode --mode luby --seed 31 " + path("in.bin") + " > " + path("frames.txt")), 0);
    const std::size_t count = lines(path("frames.txt")).size();
    EXPECT_GE(count, 2500u / 73 + 2); // K = 2500 packets need more than K / 73 frames
    ASSERT_EQ(shell("head -n " + std::to_string(count - 2) + " " + path("frames.txt") + " | " + VEXAQR_CLI_PATH +
                    " frames decode --out " + path("out.bin") + " 2> " + path("log")),
              0);
    EXPECT_EQ(read(path("out.bin")), toString(data));

    ASSERT_EQ(run("frames encode --mode cyclic " + path("in.bin") + " > " + path("cyclic.txt")), 0);
    EXPECT_GE(lines(path("cyclic.txt")).size(), 35u + 2); // 35 blocks
}

TEST_F(FramesCommandTest, InputEndingEarlySaysHowFarItGot) {
    write(path("in.bin"), test::randomBytes(3000, 8));
    ASSERT_EQ(run("frames encode --mode cyclic --count 3 " + path("in.bin") + " > " + path("frames.txt")), 0);
    EXPECT_EQ(run("frames decode --out " + path("out.bin") + " < " + path("frames.txt") + " 2> " + path("log")), 1);
    const std::string log = read(path("log"));
    EXPECT_NE(log.find("input ended after 3 lines"), std::string::npos) << log;
    EXPECT_NE(log.find("cyclic reached 50.0%"), std::string::npos) << log;
    EXPECT_FALSE(std::filesystem::exists(path("out.bin")));
}

TEST_F(FramesCommandTest, RefusesDataNoFrameCanCarry) {
    write(path("empty.bin"), {});
    EXPECT_EQ(run("frames encode --mode luby " + path("empty.bin") + " > /dev/null 2> " + path("log")), 1);
    EXPECT_NE(read(path("log")).find("no data"), std::string::npos);
    write(path("large.bin"), Bytes(148921, 1));
    EXPECT_EQ(run("frames encode --mode cyclic " + path("large.bin") + " > /dev/null 2> " + path("log")), 1);
    EXPECT_NE(read(path("log")).find("148920"), std::string::npos);
    EXPECT_EQ(run("frames encode --mode luby " + path("missing.bin") + " > /dev/null 2> " + path("log")), 1);
}

TEST_F(FramesCommandTest, RefusesLubyDataNoReaderAccepts) {
    write(path("large.bin"), Bytes((1u << 20) + 1, 1));
    EXPECT_EQ(run("frames encode --mode luby " + path("large.bin") + " > " + path("frames.txt") + " 2> " + path("log")),
              1);
    const std::string log = read(path("log"));
    EXPECT_NE(log.find("vexaqr frames: luby frames carry at most 1048576 bytes"), std::string::npos) << log;
    EXPECT_NE(log.find("1048577"), std::string::npos) << log;
    EXPECT_TRUE(read(path("frames.txt")).empty());
}

TEST_F(FramesCommandTest, StatsTellWhatEachDecoderWasFedUntilCompletion) {
    const Bytes data = test::randomBytes(8000, 12); // K = 1000
    write(path("in.bin"), data);
    ASSERT_EQ(run("frames encode --mode luby --seed 77 --count 40 " + path("in.bin") + " > " + path("frames.txt")), 0);
    std::map<std::string, nlohmann::json> stats;
    for (const std::string decoder : {"peeling", "ml", ""}) { // "": the default, which is ml
        const std::string choice = decoder.empty() ? "" : "--decoder " + decoder;
        ASSERT_EQ(run("frames decode " + choice + " --stats --out " + path("out.bin") + " < " + path("frames.txt") +
                      " 2> " + path("log")),
                  0);
        EXPECT_EQ(read(path("out.bin")), toString(data)) << decoder;
        const auto log = lines(path("log"));
        ASSERT_FALSE(log.empty());
        stats[decoder] = nlohmann::json::parse(log.back(), nullptr, false);
        const auto& line = stats[decoder];
        ASSERT_TRUE(line.is_object()) << log.back();
        EXPECT_EQ(line.size(), 5u) << log.back();
        EXPECT_EQ(line.value("decoder", ""), decoder.empty() ? "ml" : decoder);
        EXPECT_EQ(line.value("symbols", 0), 1000);
        EXPECT_EQ(line.value("completed", false), true);
        const int frames = line.value("frames", 0);
        const int packets = line.value("packets", 0);
        EXPECT_GE(frames, 14); // 1000 packets do not fit 13 frames
        EXPECT_LT(frames, 40);
        EXPECT_GT(packets, (frames - 1) * 73);
        EXPECT_LE(packets, frames * 73);
    }
    // The maximum-likelihood decoder completes at a whole frame's end, never after peeling.
    EXPECT_EQ(stats["ml"].value("packets", 0), stats["ml"].value("frames", 0) * 73);
    EXPECT_LE(stats["ml"].value("frames", 0), stats["peeling"].value("frames", 0));
    EXPECT_EQ(stats[""], stats["ml"]);
}

// Frames that pass every check but never complete (no packet of degree one, one source packet never touched):
// the end says how much was decoded, not how many frames were fed.
TEST_F(FramesCommandTest, NeverCompletingFramesEndWithTheSourcePacketsDecoded) {
    std::ofstream frames(path("frames.txt"));
    for (const Bytes& frame : test::neverCompletingFrames(20000, 200)) {
        frames << Base45Converter::base45EncodedString(frame) << '\n';
    }
    frames.close();
    for (const std::string decoder : {"peeling", "ml"}) {
        EXPECT_EQ(run("frames decode --decoder " + decoder + " --out " + path("out.bin") + " < " + path("frames.txt") +
                      " 2> " + path("log")),
                  1);
        const std::string log = read(path("log"));
        EXPECT_NE(log.find("luby reached 0.0%"), std::string::npos) << decoder << ": " << log;
    }
}

TEST_F(FramesCommandTest, StatsOfAnUnfinishedTransferSayHowMuchWasFed) {
    write(path("in.bin"), test::randomBytes(8000, 13));
    ASSERT_EQ(run("frames encode --mode luby --seed 78 --count 3 " + path("in.bin") + " > " + path("frames.txt")), 0);
    EXPECT_EQ(run("frames decode --decoder ml --stats --out " + path("out.bin") + " < " + path("frames.txt") + " 2> " +
                  path("log")),
              1);
    const auto log = lines(path("log"));
    const auto stats = std::find_if(log.begin(), log.end(), [](const std::string& line) { return line[0] == '{'; });
    ASSERT_NE(stats, log.end()) << read(path("log"));
    EXPECT_EQ(nlohmann::json::parse(*stats, nullptr, false),
              nlohmann::json::parse(R"({"decoder":"ml","frames":3,"packets":219,"symbols":1000,"completed":false})"))
        << *stats;
    EXPECT_NE(run("frames decode --decoder fastest < " + path("frames.txt") + " 2> " + path("log")), 0);
}
