#include "codec/pictures/V4l2CameraSource.hpp"

#include "codec/pictures/QrDetector.hpp"
#include "codec/platform/LogManager.hpp"
#include <vexaqr/views/Picture.hpp>

#include <linux/videodev2.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>

namespace vexaqr {

namespace {

constexpr unsigned kWantedWidth = 1280;
constexpr unsigned kWantedHeight = 720;
constexpr unsigned kBufferCount = 4;
constexpr int kPollMilliseconds = 100; // how quickly the capture thread notices stopRunning()
// A device that keeps saying a picture is ready while none can be taken is stuck, not slow.
constexpr int kMaxEmptyWakeUps = 50;

OpenedCameraSource failure(std::int64_t code, const std::string& message) {
    return Error{CameraError::kDomain, code, message};
}

} // namespace

// What one wait for a picture gave: a picture, nothing yet, or the reason the device cannot go on.
struct Capture {
    std::optional<Picture> picture;
    std::optional<std::string> failure;
};

struct V4l2CameraSource::Device {
    struct Buffer {
        void* start = MAP_FAILED;
        std::size_t length = 0;
    };

    explicit Device(std::shared_ptr<V4l2DeviceCalls> calls) : calls(std::move(calls)) {}
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    std::shared_ptr<V4l2DeviceCalls> calls;
    int fd = -1;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t bytesPerLine = 0;
    std::uint32_t pixelFormat = 0;
    std::vector<Buffer> buffers;
    bool streaming = false;
    int emptyWakeUps = 0;

    ~Device() {
        setStreaming(false);
        for (auto& buffer : buffers) {
            if (buffer.start != MAP_FAILED) {
                calls->munmap(buffer.start, buffer.length);
            }
        }
        if (fd >= 0) {
            calls->close(fd);
        }
    }

    // ioctl, retried when a signal interrupts it.
    int control(unsigned long request, void* argument) {
        int result;
        do {
            result = calls->ioctl(fd, request, argument);
        } while (result == -1 && errno == EINTR);
        return result;
    }

    bool setStreaming(bool on) {
        if (on == streaming || fd < 0) {
            return true;
        }
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (control(on ? VIDIOC_STREAMON : VIDIOC_STREAMOFF, &type) == -1) {
            return false;
        }
        streaming = on;
        return true;
    }

    bool queueBuffer(std::uint32_t index) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = index;
        return control(VIDIOC_QBUF, &buffer) != -1;
    }

    // Stopping the stream takes every buffer back from the driver, so each start hands them all over
    // again. The stop comes first even when not streaming: it also takes back buffers left queued by a
    // capture that failed or a start that failed halfway.
    bool startStreaming() {
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (control(VIDIOC_STREAMOFF, &type) == -1) {
            return false;
        }
        streaming = false;
        for (std::uint32_t i = 0; i < buffers.size(); ++i) {
            if (!queueBuffer(i)) {
                return false;
            }
        }
        emptyWakeUps = 0;
        return setStreaming(true);
    }

    bool chooseFormat() {
        for (std::uint32_t format : {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_GREY}) {
            v4l2_format wanted{};
            wanted.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            wanted.fmt.pix.width = kWantedWidth;
            wanted.fmt.pix.height = kWantedHeight;
            wanted.fmt.pix.pixelformat = format;
            wanted.fmt.pix.field = V4L2_FIELD_NONE;
            if (control(VIDIOC_S_FMT, &wanted) != -1 && wanted.fmt.pix.pixelformat == format) {
                width = wanted.fmt.pix.width;
                height = wanted.fmt.pix.height;
                bytesPerLine = wanted.fmt.pix.bytesperline;
                pixelFormat = format;
                return width > 0 && height > 0;
            }
        }
        return false;
    }

    // Asks for the buffers and maps them; they are queued when the stream starts.
    bool mapBuffers() {
        v4l2_requestbuffers request{};
        request.count = kBufferCount;
        request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        request.memory = V4L2_MEMORY_MMAP;
        if (control(VIDIOC_REQBUFS, &request) == -1 || request.count == 0) {
            return false;
        }
        buffers.resize(request.count);
        for (std::uint32_t i = 0; i < request.count; ++i) {
            v4l2_buffer buffer{};
            buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            buffer.memory = V4L2_MEMORY_MMAP;
            buffer.index = i;
            if (control(VIDIOC_QUERYBUF, &buffer) == -1) {
                return false;
            }
            buffers[i].length = buffer.length;
            buffers[i].start = calls->mmap(buffer.length, fd, static_cast<long>(buffer.m.offset));
            if (buffers[i].start == MAP_FAILED) {
                return false;
            }
        }
        return true;
    }

    // The luminance of a filled buffer; YUYV keeps it in every other byte.
    std::optional<Picture> luminance(const Buffer& buffer, std::size_t used) const {
        const std::size_t step = pixelFormat == V4L2_PIX_FMT_YUYV ? 2 : 1;
        const std::size_t line = std::max<std::size_t>(bytesPerLine, width * step);
        if (used > buffer.length || used < line * (height - 1) + width * step) {
            return std::nullopt;
        }
        Picture picture(static_cast<int>(width), static_cast<int>(height));
        const auto* bytes = static_cast<const std::uint8_t*>(buffer.start);
        for (std::uint32_t y = 0; y < height; ++y) {
            for (std::uint32_t x = 0; x < width; ++x) {
                picture.at(static_cast<int>(x), static_cast<int>(y)) = bytes[y * line + x * step];
            }
        }
        return picture;
    }

    static Capture failure(const std::string& reason) { return Capture{std::nullopt, reason}; }

    // Waits briefly for the next picture. The driver answers POLLERR when it holds no buffer to fill
    // or has failed; dequeuing then only ever says EAGAIN, so waiting on is no use.
    Capture nextPicture() {
        short revents = 0;
        const int polled = calls->poll(fd, POLLIN, revents, kPollMilliseconds);
        if (polled < 0) {
            return errno == EINTR ? Capture{} : failure(std::strerror(errno));
        }
        if (polled == 0) {
            return Capture{};
        }
        if (revents & (POLLERR | POLLHUP | POLLNVAL)) {
            return failure("the device reports an error or has no buffer to fill");
        }
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        if (control(VIDIOC_DQBUF, &buffer) == -1) {
            if (errno != EAGAIN) {
                return failure(std::strerror(errno));
            }
            return ++emptyWakeUps > kMaxEmptyWakeUps ? failure("the device wakes up without pictures") : Capture{};
        }
        emptyWakeUps = 0;
        Capture capture;
        if (buffer.index < buffers.size()) {
            capture.picture = luminance(buffers[buffer.index], buffer.bytesused);
        }
        if (!queueBuffer(buffer.index)) {
            capture.failure = std::string("cannot hand a buffer back: ") + std::strerror(errno);
        }
        return capture;
    }
};

OpenedCameraSource V4l2CameraSource::open(const std::string& path, std::shared_ptr<MainQueue> queue,
                                          std::shared_ptr<V4l2DeviceCalls> calls) {
    auto device = std::make_unique<Device>(std::move(calls));
    device->fd = device->calls->open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (device->fd < 0) {
        return failure(CameraError::kCannotOpen, "cannot open the camera " + path + ": " + std::strerror(errno));
    }
    v4l2_capability capability{};
    if (device->control(VIDIOC_QUERYCAP, &capability) == -1) {
        return failure(CameraError::kNotACamera, path + " is not a video device");
    }
    const auto caps =
        (capability.capabilities & V4L2_CAP_DEVICE_CAPS) ? capability.device_caps : capability.capabilities;
    if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING)) {
        return failure(CameraError::kNotACamera, path + " cannot stream video pictures");
    }
    if (!device->chooseFormat()) {
        return failure(CameraError::kUnsupportedFormat, path + " offers neither YUYV nor 8-bit gray pictures");
    }
    if (!device->mapBuffers()) {
        return failure(CameraError::kCannotOpen, "cannot map the capture buffers of " + path);
    }
    return std::shared_ptr<CameraSource>(new V4l2CameraSource(std::move(device), std::move(queue)));
}

V4l2CameraSource::V4l2CameraSource(std::unique_ptr<Device> device, std::shared_ptr<MainQueue> queue)
    : _device(std::move(device)), _queue(std::move(queue)), _report(std::make_shared<Report>()) {}

V4l2CameraSource::~V4l2CameraSource() {
    stopRunning();
}

void V4l2CameraSource::setReportHandler(Report report) {
    _report = std::make_shared<Report>(std::move(report));
}

void V4l2CameraSource::startRunning() {
    if (_running) {
        return;
    }
    if (_thread.joinable()) { // a capture thread that ended on a device failure
        _thread.join();
    }
    if (!_device->startStreaming()) {
        LogManager::standard().log(std::string("camera: cannot start capturing: ") + std::strerror(errno));
        return;
    }
    _running = true;
    _thread = std::thread([this] { capture(); });
}

void V4l2CameraSource::stopRunning() {
    _running = false;
    if (_thread.joinable()) {
        _thread.join();
    }
    _device->setStreaming(false);
}

void V4l2CameraSource::capture() {
    while (_running) {
        auto next = _device->nextPicture();
        if (next.picture) {
            _queue->post([weakSelf = weak_from_this(), symbols = QrDetector::detect(*next.picture)] {
                auto self = weakSelf.lock();
                if (self && self->_running && *self->_report) {
                    (*self->_report)(symbols);
                }
            });
        }
        if (next.failure) {
            // Not running from now on; the next startRunning() starts the stream afresh.
            _running = false;
            _queue->post([reason = *next.failure] { LogManager::standard().log("camera: capture failed: " + reason); });
            return;
        }
    }
}

} // namespace vexaqr
