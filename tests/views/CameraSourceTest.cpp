#include "codec/pictures/GifCanvas.hpp"
#include "codec/pictures/PictureSequenceSource.hpp"
#include "codec/pictures/PngFile.hpp"
#include "codec/pictures/QrRenderer.hpp"
#include "codec/pictures/V4l2CameraSource.hpp"
#include <vexaqr/platform/RunLoop.hpp>

#include "fakes/FakeV4l2Device.hpp"
#include "views/ViewsTestSupport.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace vexaqr {
namespace {

using namespace std::chrono_literals;
using test::pathIn;

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
    ASSERT_TRUE(opened) << opened.failure().message;
    recorder.attach(*opened.value());
    opened.value()->startRunning();
    recorder.runToEnd(*opened.value());
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
    ASSERT_TRUE(opened);
    recorder.attach(*opened.value());
    opened.value()->startRunning();
    recorder.runToEnd(*opened.value());
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
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.failure().code, CameraError::kCannotOpen);
    auto empty = PictureSequenceSource::open({folder.path().string()});
    ASSERT_FALSE(empty);
    EXPECT_EQ(empty.failure().code, CameraError::kNoPictures);
    std::ofstream(pathIn(folder, "bad.gif")) << "broken";
    EXPECT_FALSE(PictureSequenceSource::open({pathIn(folder, "bad.gif")}));
}

TEST(CameraSourceTest, VideoDeviceThatIsNotACameraFailsAtOnce) {
    auto missing = V4l2CameraSource::open("/dev/video-vexaqr-missing");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.failure().domain, CameraError::kDomain);
    EXPECT_EQ(missing.failure().code, CameraError::kCannotOpen);
    auto notVideo = V4l2CameraSource::open("/dev/null");
    ASSERT_FALSE(notVideo);
    EXPECT_EQ(notVideo.failure().code, CameraError::kNotACamera);
}

struct FakeCamera {
    static constexpr const char* kPath = "/dev/video-fake";
    std::shared_ptr<test::FakeV4l2Device> device = std::make_shared<test::FakeV4l2Device>(kPath, 120, 120);
    Recorder recorder;
    std::shared_ptr<CameraSource> source;

    FakeCamera() {
        auto opened = V4l2CameraSource::open(kPath, recorder.loop, device);
        EXPECT_TRUE(opened) << opened.failure().message;
        source = opened ? opened.value() : nullptr;
        if (source) {
            recorder.attach(*source);
        }
    }
    bool runUntilReports(std::size_t count) {
        return recorder.loop->runUntil([&] { return recorder.reports.size() >= count; }, 10s);
    }
};

// Stopping the stream takes every buffer off the driver's queue; resuming must hand them back, or the
// camera never fills another picture.
TEST(V4l2CameraSourceTest, PicturesArriveAgainAfterPauseAndResume) {
    FakeCamera camera;
    ASSERT_TRUE(camera.source);
    camera.source->startRunning();
    ASSERT_TRUE(camera.device->capture(symbolPicture("FIRST")));
    ASSERT_TRUE(camera.runUntilReports(1));

    camera.source->stopRunning();
    EXPECT_FALSE(camera.device->streaming());
    EXPECT_FALSE(camera.device->capture(symbolPicture("UNSEEN"))); // paused: no buffer to fill
    camera.source->startRunning();
    ASSERT_TRUE(camera.device->capture(symbolPicture("SECOND")));
    ASSERT_TRUE(camera.runUntilReports(2));
    EXPECT_EQ(camera.recorder.reports, (Reports{{"FIRST"}, {"SECOND"}}));
    EXPECT_TRUE(camera.source->isRunning());

    camera.source.reset();
    EXPECT_TRUE(camera.device->released());
}

// A driver left without buffers answers every poll with POLLERR and every dequeue with EAGAIN; the
// capture ends instead of spinning, and a new start hands the buffers over again.
TEST(V4l2CameraSourceTest, DeviceWithoutBuffersEndsTheCaptureAndCanBeRestarted) {
    FakeCamera camera;
    ASSERT_TRUE(camera.source);
    camera.source->startRunning();
    camera.device->loseBuffers();
    ASSERT_TRUE(camera.recorder.loop->runUntil([&] { return !camera.source->isRunning(); }, 10s));
    const int polls = camera.device->polls();
    camera.recorder.loop->runFor(150ms);
    EXPECT_EQ(camera.device->polls(), polls); // no thread keeps asking

    camera.source->startRunning();
    ASSERT_TRUE(camera.device->capture(symbolPicture("AGAIN")));
    ASSERT_TRUE(camera.runUntilReports(1));
    EXPECT_EQ(camera.recorder.reports, (Reports{{"AGAIN"}}));
}

TEST(V4l2CameraSourceTest, StartThatFailedHalfwayDoesNotBlockTheNextOne) {
    FakeCamera camera;
    ASSERT_TRUE(camera.source);
    camera.device->refuseNextStreamOn();
    camera.source->startRunning();
    EXPECT_FALSE(camera.source->isRunning());
    camera.source->startRunning();
    ASSERT_TRUE(camera.source->isRunning());
    ASSERT_TRUE(camera.device->capture(symbolPicture("LATE")));
    ASSERT_TRUE(camera.runUntilReports(1));
    EXPECT_EQ(camera.recorder.reports, (Reports{{"LATE"}}));
}

} // namespace
} // namespace vexaqr
