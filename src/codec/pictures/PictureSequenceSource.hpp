// PictureSequenceSource: a camera that "sees" a finite sequence of pictures (PNG files, folders of them,
// the frames of animated GIFs, or pictures in memory), one picture per main-queue task.
//
// Pictures are read from disk one at a time as they are shown, GIF frames included; a PNG or frame that
// cannot be read is shown as a picture with no symbol. After the last picture the source is exhausted
// and delivers nothing more.
#pragma once

#include <vexaqr/platform/MainQueue.hpp>
#include <vexaqr/views/CameraSource.hpp>
#include <vexaqr/views/Picture.hpp>

#include <chrono>
#include <cstddef>

namespace vexaqr {

class PictureSequenceSource final : public CameraSource, public std::enable_shared_from_this<PictureSequenceSource> {
public:
    using Loader = std::function<std::optional<Picture>()>;

    /// Shows `pictures` in order.
    static std::shared_ptr<PictureSequenceSource> fromPictures(std::vector<Picture> pictures,
                                                               std::shared_ptr<MainQueue> queue = MainQueue::shared());

    /// Shows each input in the order given: a PNG file; every frame of a GIF file (by its ".gif" suffix);
    /// or a folder's PNG and GIF files in name order. Fails when an input does not exist, a GIF is not
    /// readable or is beyond GifFrameReader's limits, or there is no picture at all.
    static OpenedCameraSource open(const std::vector<std::string>& inputs,
                                   std::shared_ptr<MainQueue> queue = MainQueue::shared());

    PictureSequenceSource(std::vector<Loader> loaders, std::shared_ptr<MainQueue> queue);

    void setReportHandler(Report report) override { _report = std::move(report); }
    bool isRunning() const override { return _running; }
    void startRunning() override;
    void stopRunning() override { _running = false; }
    bool isExhausted() const override { return _next == _loaders.size(); }

    std::size_t pictureCount() const { return _loaders.size(); }
    std::size_t picturesShown() const { return _next; }
    /// Time spent finding symbols in the pictures shown so far (reading files not included).
    std::chrono::steady_clock::duration detectionTime() const { return _detectionTime; }

private:
    void scheduleNext();
    void showNext();

    std::vector<Loader> _loaders;
    std::shared_ptr<MainQueue> _queue;
    Report _report;
    std::size_t _next = 0;
    bool _running = false;
    bool _scheduled = false;
    std::chrono::steady_clock::duration _detectionTime{};
};

} // namespace vexaqr
