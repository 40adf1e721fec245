#include <vexaqr/platform/RunLoop.hpp>
#include <vexaqr/views/GifCanvas.hpp>
#include <vexaqr/views/PictureSequenceSource.hpp>
#include <vexaqr/views/PngFile.hpp>
#include <vexaqr/views/QrRenderer.hpp>
#include <vexaqr/views/V4l2CameraSource.hpp>

#include "views/ViewsTestSupport.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace vexaqr {
namespace {

using namespace std::chrono_literals;
using testing::pathIn;

using Reports = std::vector<std::vector<std::string>>;

Picture symbolPicture(const std::string& text) {
    auto picture = Picture(120, 120);
    QrRenderer::draw(*QrRenderer::render(text), picture);
    return picture;
}

struct Recorder {
    std::shared_ptr<RunLoop> loop = std::make_shared<RunLoop>();
    Reports reports;

    void attach(CameraSource& source) {
        source.setReportHandler([this](const std::vector<std::string>& symbols) {
            EXPECT_TRUE(loop->isCurrent()); // delivered on the main queue
            reports.push_back(symbols);
        });
    }
    void runToEnd(CameraSource& source) {
        loop->runUntil([&] { return source.isExhausted() && loop->pendingCount() == 0; }, 20s);
    }
};

TEST(CameraSourceTest, FolderIsShownInNameOrderOneReportPerPicture) {
    test::TempDirectory folder;
    ASSERT_TRUE(PngFile::write(pathIn(folder, "b.png"), symbolPicture("SECOND")));
    ASSERT_TRUE(PngFile::write(pathIn(folder, "a.png"), symbolPicture("FIRST")));
    ASSERT_TRUE(PngFile::write(pathIn(folder, "c.png"), Picture(50, 50))); // nothing in view
    std::ofstream(pathIn(folder, "d.png")) << "broken";                    // unreadable: an empty picture
    std::ofstream(pathIn(folder, "notes.txt")) << "ignored";
    Recorder recorder;
    auto opened = PictureSequenceSource::open({folder.path().string()}, recorder.loop);
    ASSERT_TRUE(opened.source) << opened.error->message;
    recorder.attach(*opened.source);
    opened.source->startRunning();
    recorder.runToEnd(*opened.source);
    EXPECT_EQ(recorder.reports, (Reports{{"FIRST"}, {"SECOND"}, {}, {}}));
}

TEST(CameraSourceTest, GifFramesAndFilesFollowTheOrderOfTheInputs) {
    test::TempDirectory folder;
    {
        auto canvas = GifCanvas::create(pathIn(folder, "anim.gif"), 120);
        ASSERT_TRUE(canvas);
        canvas->draw(symbolPicture("G1"), 50ms);
        canvas->draw(symbolPicture("G2"), 50ms);
    }
    ASSERT_TRUE(PngFile::write(pathIn(folder, "one.png"), symbolPicture("P1")));
    Recorder recorder;
    auto opened = PictureSequenceSource::open({pathIn(folder, "one.png"), pathIn(folder, "anim.gif")}, recorder.loop);
    ASSERT_TRUE(opened.source);
    recorder.attach(*opened.source);
    opened.source->startRunning();
    recorder.runToEnd(*opened.source);
    EXPECT_EQ(recorder.reports, (Reports{{"P1"}, {"G1"}, {"G2"}}));
}

TEST(CameraSourceTest, StopPausesAndStartResumesWhereItStopped) {
    Recorder recorder;
    auto source = PictureSequenceSource::fromPictures({symbolPicture("A"), symbolPicture("B"), symbolPicture("C")},
                                                      recorder.loop);
    recorder.attach(*source);
    source->setReportHandler([&](const std::vector<std::string>& symbols) {
        recorder.reports.push_back(symbols);
        source->stopRunning(); // a host that stops from inside a report
    });
    source->startRunning();
    recorder.loop->runUntilIdle();
    EXPECT_EQ(recorder.reports, (Reports{{"A"}}));
    EXPECT_FALSE(source->isRunning());
    source->startRunning();
    source->startRunning(); // already running: no second chain of deliveries
    recorder.loop->runUntilIdle();
    EXPECT_EQ(recorder.reports, (Reports{{"A"}, {"B"}}));
    EXPECT_FALSE(source->isExhausted());
    EXPECT_EQ(source->picturesShown(), 2u);
}

TEST(CameraSourceTest, OpeningFailsClearlyForMissingOrEmptyInputs) {
    test::TempDirectory folder;
    auto missing = PictureSequenceSource::open({pathIn(folder, "nothing.png")});
    ASSERT_TRUE(missing.error);
    EXPECT_EQ(missing.error->code, CameraError::kCannotOpen);
    EXPECT_FALSE(missing.source);
    auto empty = PictureSequenceSource::open({folder.path().string()});
    ASSERT_TRUE(empty.error);
    EXPECT_EQ(empty.error->code, CameraError::kNoPictures);
    std::ofstream(pathIn(folder, "bad.gif")) << "broken";
    EXPECT_TRUE(PictureSequenceSource::open({pathIn(folder, "bad.gif")}).error);
}

TEST(CameraSourceTest, VideoDeviceThatIsNotACameraFailsAtOnce) {
    auto missing = V4l2CameraSource::open("/dev/video-vexaqr-missing");
    ASSERT_TRUE(missing.error);
    EXPECT_EQ(missing.error->domain, CameraError::kDomain);
    EXPECT_EQ(missing.error->code, CameraError::kCannotOpen);
    EXPECT_FALSE(missing.source);
    auto notVideo = V4l2CameraSource::open("/dev/null");
    ASSERT_TRUE(notVideo.error);
    EXPECT_EQ(notVideo.error->code, CameraError::kNotACamera);
}

} // namespace
} // namespace vexaqr
