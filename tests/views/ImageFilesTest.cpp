#include "codec/pictures/GifCanvas.hpp"
#include "codec/pictures/GifFile.hpp"
#include "codec/pictures/PngFile.hpp"
#include "codec/pictures/PngSequenceCanvas.hpp"
#include "codec/pictures/QrRenderer.hpp"
#include "codec/pictures/TerminalCanvas.hpp"

#include "views/ViewsTestSupport.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace vexaqr {
namespace {

using namespace std::chrono_literals;
using test::pathIn;
using test::runCommand;

Picture symbolPicture(const std::string& text, int side) {
    Picture picture(side, side);
    QrRenderer::draw(*QrRenderer::render(text), picture);
    return picture;
}

TEST(ImageFilesTest, PngRoundTripKeepsEveryPixel) {
    test::TempDirectory folder;
    Picture picture(7, 3);
    for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
        picture.pixels[i] = static_cast<std::uint8_t>(i * 12);
    }
    ASSERT_TRUE(PngFile::write(pathIn(folder, "p.png"), picture));
    EXPECT_EQ(PngFile::read(pathIn(folder, "p.png")), picture);
    std::ifstream file(pathIn(folder, "p.png"), std::ios::binary);
    EXPECT_EQ(PngFile::decode(Bytes(std::istreambuf_iterator<char>(file), {})), picture);
}

TEST(ImageFilesTest, UnreadablePngsGiveNothing) {
    test::TempDirectory folder;
    EXPECT_FALSE(PngFile::read(pathIn(folder, "missing.png")));
    std::ofstream(pathIn(folder, "text.png")) << "not a picture";
    EXPECT_FALSE(PngFile::read(pathIn(folder, "text.png")));
    EXPECT_FALSE(PngFile::decode(Bytes()));
    EXPECT_FALSE(PngFile::write(pathIn(folder, "no-such-folder/p.png"), Picture(2, 2)));
}

// One picture and what a detector makes of it stay well within 200 MB: long sides are fine, many pixels not.
TEST(ImageFilesTest, PngsWithMorePixelsThanTheLimitAreRefused) {
    test::TempDirectory folder;
    const struct {
        int width, height;
        bool read;
    } cases[] = {
        {PngFile::kMaxSide, 16, true}, {4096, 4096, true}, {4097, 4096, false}, {16, PngFile::kMaxSide + 1, false}};
    for (const auto& c : cases) {
        const auto path = pathIn(folder, std::to_string(c.width) + "x" + std::to_string(c.height) + ".png");
        ASSERT_TRUE(PngFile::write(path, Picture(c.width, c.height, 0)));
        EXPECT_EQ(PngFile::read(path).has_value(), c.read) << c.width << " x " << c.height;
    }
}

TEST(ImageFilesTest, GifCanvasFramesReadBackWithTheirDelays) {
    test::TempDirectory folder;
    const auto path = pathIn(folder, "a.gif");
    const std::vector<Picture> pictures = {symbolPicture("ONE", 60), symbolPicture("TWO", 60),
                                           symbolPicture("THREE", 60)};
    const std::vector<std::chrono::milliseconds> delays = {50ms, 350ms, 0ms};
    {
        auto canvas = GifCanvas::create(path, 60);
        ASSERT_TRUE(canvas);
        for (std::size_t i = 0; i < pictures.size(); ++i) {
            ASSERT_TRUE(canvas->draw(pictures[i], delays[i]));
        }
        EXPECT_FALSE(canvas->draw(Picture(10, 10), 50ms)); // wrong size
        ASSERT_TRUE(canvas->finish());
        EXPECT_FALSE(canvas->draw(pictures[0], 50ms));
    }
    const auto frames = GifFile::readFrames(path);
    ASSERT_TRUE(frames);
    ASSERT_EQ(frames->size(), 3u);
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        EXPECT_EQ((*frames)[i].picture, pictures[i]);
        EXPECT_EQ((*frames)[i].delay, delays[i]);
    }
    std::ifstream file(path, std::ios::binary);
    const auto fromMemory = GifFile::decodeFrames(Bytes(std::istreambuf_iterator<char>(file), {}));
    ASSERT_TRUE(fromMemory);
    ASSERT_EQ(fromMemory->size(), 3u);
    EXPECT_EQ((*fromMemory)[1].picture, pictures[1]);
    // An independent reader sees an animation of three frames of that size.
    const auto identified = runCommand("file '" + path + "'");
    EXPECT_NE(identified.output.find("GIF image data, version 89a, 60 x 60"), std::string::npos) << identified.output;
}

// The presenter may schedule any delay a signed 64-bit count of milliseconds holds; the format keeps
// at most 65535 hundredths of a second.
TEST(ImageFilesTest, GifDelaysAreRoundedAndClampedToTheFormat) {
    test::TempDirectory folder;
    const auto path = pathIn(folder, "delays.gif");
    const std::vector<std::chrono::milliseconds> delays = {0ms, 4ms, 5ms, 655354ms, std::chrono::milliseconds::max()};
    {
        auto canvas = GifCanvas::create(path, 20);
        ASSERT_TRUE(canvas);
        for (const auto delay : delays) {
            ASSERT_TRUE(canvas->draw(Picture(20, 20), delay));
        }
        ASSERT_TRUE(canvas->finish());
    }
    const auto frames = GifFile::readFrames(path);
    ASSERT_TRUE(frames);
    std::vector<std::chrono::milliseconds> read;
    for (const auto& frame : *frames) {
        read.push_back(frame.delay);
    }
    EXPECT_EQ(read, (std::vector<std::chrono::milliseconds>{0ms, 0ms, 10ms, 655350ms, 655350ms}));
}

TEST(ImageFilesTest, UnreadableGifsGiveNothing) {
    test::TempDirectory folder;
    EXPECT_FALSE(GifFile::readFrames(pathIn(folder, "missing.gif")));
    std::ofstream(pathIn(folder, "bad.gif")) << "GIF89a broken";
    EXPECT_FALSE(GifFile::readFrames(pathIn(folder, "bad.gif")));
    EXPECT_FALSE(GifFile::decodeFrames(Bytes()));
    EXPECT_FALSE(GifFile::decodeFrames(toBytes("GIF89a\x10\x00\x10\x00")));
    EXPECT_FALSE(GifCanvas::create(pathIn(folder, "no-such-folder/a.gif"), 10));
}

TEST(ImageFilesTest, PngSequenceNamesSortInDrawingOrder) {
    test::TempDirectory folder;
    PngSequenceCanvas canvas(folder.path().string(), 40);
    ASSERT_TRUE(canvas.draw(symbolPicture("A", 40), 50ms));
    ASSERT_TRUE(canvas.draw(symbolPicture("B", 40), 50ms));
    EXPECT_EQ(canvas.framesWritten(), 2);
    EXPECT_EQ(PngFile::read(pathIn(folder, "frame-000001.png")), symbolPicture("B", 40));
    PngSequenceCanvas missing(pathIn(folder, "nowhere"), 40);
    EXPECT_FALSE(missing.draw(symbolPicture("A", 40), 50ms));
}

TEST(ImageFilesTest, TerminalCanvasDrawsHalfBlocksInPlace) {
    std::ostringstream out;
    TerminalCanvas canvas(out, 2);
    Picture picture(2, 3); // rows: dark/light, light/dark, dark/light
    picture.at(0, 0) = 0;
    picture.at(1, 1) = 0;
    picture.at(0, 2) = 0;
    ASSERT_TRUE(canvas.draw(picture, 50ms));
    const std::string first = "\x1b[30;47m\u2580\u2584\x1b[0m\n\x1b[30;47m\u2580 \x1b[0m\n";
    EXPECT_EQ(out.str(), first);
    ASSERT_TRUE(canvas.draw(picture, 50ms));
    EXPECT_EQ(out.str(), first + "\x1b[2A\r" + first);
}

} // namespace
} // namespace vexaqr
