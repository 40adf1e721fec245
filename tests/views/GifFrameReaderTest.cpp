#include "codec/pictures/GifFrameReader.hpp"
#include "codec/pictures/GifFile.hpp"
#include "codec/pictures/PictureSequenceSource.hpp"
#include "codec/pictures/PngFile.hpp"

#include "views/CraftedGif.hpp"
#include "views/ViewsTestSupport.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>

namespace vexaqr {
namespace {

using test::CraftedFrame;
using test::craftedGif;
using test::pathIn;

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A 100 × 100 screen with three frames that say they are 20000 × 20000: 1.2 billion pixels in some
// 800 KB. Refused when the first frame's size is read, before any of its pixels is decoded.
TEST(GifFrameReaderTest, HugeFramesOnASmallScreenAreRefusedBeforeDecoding) {
    test::TempDirectory folder;
    const CraftedFrame huge{0, 0, 20000, 20000, 1, {}, false};
    const Bytes gif = craftedGif(100, 100, {huge, huge, huge});
    ASSERT_GT(gif.size(), 700'000u);
    ASSERT_LT(gif.size(), 900'000u);
    const auto path = pathIn(folder, "huge.gif");
    writeFile(path, gif);

    EXPECT_FALSE(GifFrameReader::countFrames(path));
    std::string refusal;
    EXPECT_FALSE(GifFrameReader::open(path, &refusal)); // the screen is fine, its first frame is not
    EXPECT_NE(refusal.find("20000 x 20000"), std::string::npos) << refusal;
    EXPECT_FALSE(GifFile::readFrames(path));
    EXPECT_FALSE(GifFile::decodeFrames(gif));

    ASSERT_TRUE(PngFile::write(pathIn(folder, "a.png"), Picture(20, 20)));
    const auto opened = PictureSequenceSource::open({folder.path().string()});
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.failure().code, CameraError::kCannotOpen);
    EXPECT_NE(opened.failure().message.find("huge.gif"), std::string::npos) << opened.failure().message;
}

// What a file would cost is weighed before any pixel is decoded: the screens it hands out (each frame is a
// whole screen for the detector, however little of it the frame covers) and the pixels its frames declare.
// A few kilobytes must not buy minutes of work.
TEST(GifFrameReaderTest, FilesBeyondTheWorkBudgetAreRefusedBeforeDecoding) {
    const int side = GifFrameReader::kMaxSide;
    const std::uint64_t area = std::uint64_t(side) * side;
    const CraftedFrame dot{0, 0, 1, 1, 1, {}, false};
    const CraftedFrame full{0, 0, side, side, 1, {}, false};
    const std::size_t dots = GifFrameReader::kMaxPixelWork / (1 + area);   // a dot shows the whole screen
    const std::size_t fulls = GifFrameReader::kMaxPixelWork / (area + 64); // a full frame is decoded in full
    struct Case {
        const char* name;
        Bytes gif;
        std::optional<std::size_t> frames; // nothing: refused
        const char* reason;
    };
    const std::vector<Case> cases{
        {"dots up to the budget", craftedGif(side, side, std::vector(dots, dot)), dots, ""},
        {"one dot more", craftedGif(side, side, std::vector(dots + 1, dot)), std::nullopt, "4096 x 4096 screen"},
        {"full frames up to the budget", craftedGif(8, 8, std::vector(fulls, full)), fulls, ""},
        {"one full frame more", craftedGif(8, 8, std::vector(fulls + 1, full)), std::nullopt, "decoded and shown"},
    };
    for (const auto& c : cases) {
        ASSERT_LT(c.gif.size(), 2'000'000u) << c.name;
        std::string refusal;
        const auto reader = GifFrameReader::open(c.gif, &refusal);
        EXPECT_EQ(reader ? std::optional(reader->frameCount()) : std::nullopt, c.frames) << c.name;
        EXPECT_NE(refusal.find(c.reason), std::string::npos) << c.name << ": " << refusal;
    }
}

TEST(GifFrameReaderTest, SizesAtTheLimitsAreKeptAndOneBeyondIsRefused) {
    const int side = GifFrameReader::kMaxSide;
    const auto frames = [](int width, int height) {
        return GifFile::decodeFrames(craftedGif(8, 8, {CraftedFrame{0, 0, width, height, 0, {}, false}}));
    };
    EXPECT_TRUE(frames(side, 1));
    EXPECT_TRUE(frames(1, side));
    EXPECT_FALSE(frames(side + 1, 1));
    EXPECT_FALSE(frames(1, side + 1));
    EXPECT_FALSE(frames(0, 8));
    EXPECT_FALSE(GifFile::decodeFrames(craftedGif(side + 1, 8, {CraftedFrame{0, 0, 8, 8, 0, {}, false}})));
}

// Frames are composed line by line: offsets, clipping at the screen's edge and interlaced rows.
TEST(GifFrameReaderTest, FramesAreComposedOntoTheScreenInOrder) {
    CraftedFrame striped{2, 1, 6, 11, 0, {}, true};
    for (int y = 0; y < striped.height; ++y) {
        striped.pixels.insert(striped.pixels.end(), static_cast<std::size_t>(striped.width),
                              static_cast<std::uint8_t>(y % 4));
    }
    const Bytes gif = craftedGif(
        10, 12, {CraftedFrame{0, 0, 10, 12, 0, {}, false}, CraftedFrame{7, 9, 30, 30, 1, {}, false}, striped});
    auto reader = GifFrameReader::open(gif);
    ASSERT_TRUE(reader);
    const auto black = reader->next();
    const auto corner = reader->next();
    const auto stripes = reader->next();
    ASSERT_TRUE(black && corner && stripes);
    EXPECT_FALSE(reader->next());
    EXPECT_FALSE(reader->failed());

    EXPECT_EQ(black->picture, Picture(10, 12, 0));
    Picture expected(10, 12, 0);
    for (int y = 9; y < 12; ++y) {
        for (int x = 7; x < 10; ++x) {
            expected.at(x, y) = 255; // the part of the 30 × 30 frame that is on the screen
        }
    }
    EXPECT_EQ(corner->picture, expected);
    const std::uint8_t greys[] = {0, 255, 128, 64};
    for (int y = 1; y < 12; ++y) {
        for (int x = 2; x < 8; ++x) {
            expected.at(x, y) = greys[(y - 1) % 4];
        }
    }
    EXPECT_EQ(stripes->picture, expected);
}

} // namespace
} // namespace vexaqr
