// V4l2CameraSource: a video capture device (/dev/videoN) as a camera source.
//
// Pictures are captured and searched for symbols on a capture thread of the source's own; each report
// is posted to the main queue. A picture arriving while the previous one is still being searched waits
// in the driver, so a slow search drops pictures rather than queueing them. A device that fails (gone,
// or holding no buffer to fill) ends the capture: the source is then no longer running, the log says
// why, and startRunning() tries afresh.
#pragma once

#include "codec/pictures/V4l2DeviceCalls.hpp"
#include <vexaqr/platform/MainQueue.hpp>
#include <vexaqr/views/CameraSource.hpp>

#include <atomic>
#include <thread>

namespace vexaqr {

class V4l2CameraSource final : public CameraSource, public std::enable_shared_from_this<V4l2CameraSource> {
public:
    /// Opens `device` for streaming capture of luminance pictures (YUYV or 8-bit gray, the driver's
    /// nearest size to 1280 × 720). Fails at once, without waiting, when the device is missing, is not
    /// a capture device or offers neither format. `calls` reach the device.
    static OpenedCameraSource open(const std::string& device, std::shared_ptr<MainQueue> queue = MainQueue::shared(),
                                   std::shared_ptr<V4l2DeviceCalls> calls = V4l2DeviceCalls::system());

    ~V4l2CameraSource() override;
    V4l2CameraSource(const V4l2CameraSource&) = delete;
    V4l2CameraSource& operator=(const V4l2CameraSource&) = delete;

    void setReportHandler(Report report) override;
    bool isRunning() const override { return _running; }
    void startRunning() override;
    void stopRunning() override;

    struct Device; // the open device and its mapped buffers

private:
    V4l2CameraSource(std::unique_ptr<Device> device, std::shared_ptr<MainQueue> queue);
    void capture();

    std::unique_ptr<Device> _device;
    std::shared_ptr<MainQueue> _queue;
    std::shared_ptr<Report> _report;
    std::atomic<bool> _running{false};
    std::thread _thread;
};

} // namespace vexaqr
