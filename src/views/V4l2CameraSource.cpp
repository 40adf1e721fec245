#include <vexaqr/views/V4l2CameraSource.hpp>

#include <vexaqr/platform/LogManager.hpp>
#include <vexaqr/views/Picture.hpp>
#include <vexaqr/views/QrDetector.hpp>

#include <linux/videodev2.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace vexaqr {

namespace {

constexpr unsigned kWantedWidth = 1280;
constexpr unsigned kWantedHeight = 720;
constexpr unsigned kBufferCount = 4;
constexpr int kPollMilliseconds = 100; // how quickly the capture thread notices stopRunning()

// ioctl, retried when a signal interrupts it.
int control(int fd, unsigned long request, void* argument) {
    int result;
    do {
        result = ioctl(fd, request, argument);
    } while (result == -1 && errno == EINTR);
    return result;
}

OpenedCameraSource failure(std::int64_t code, const std::string& message) {
    return OpenedCameraSource{nullptr, Error{CameraError::kDomain, code, message}};
}

} // namespace

struct V4l2CameraSource::Device {
    struct Buffer {
        void* start = MAP_FAILED;
        std::size_t length = 0;
    };

    int fd = -1;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t bytesPerLine = 0;
    std::uint32_t pixelFormat = 0;
    std::vector<Buffer> buffers;
    bool streaming = false;

    ~Device() {
        setStreaming(false);
        for (auto& buffer : buffers) {
            if (buffer.start != MAP_FAILED) {
                munmap(buffer.start, buffer.length);
            }
        }
        if (fd >= 0) {
            close(fd);
        }
    }

    bool setStreaming(bool on) {
        if (on == streaming || fd < 0) {
            return true;
        }
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (control(fd, on ? VIDIOC_STREAMON : VIDIOC_STREAMOFF, &type) == -1) {
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
        return control(fd, VIDIOC_QBUF, &buffer) != -1;
    }

    bool chooseFormat() {
        for (std::uint32_t format : {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_GREY}) {
            v4l2_format wanted{};
            wanted.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            wanted.fmt.pix.width = kWantedWidth;
            wanted.fmt.pix.height = kWantedHeight;
            wanted.fmt.pix.pixelformat = format;
            wanted.fmt.pix.field = V4L2_FIELD_NONE;
            if (control(fd, VIDIOC_S_FMT, &wanted) != -1 && wanted.fmt.pix.pixelformat == format) {
                width = wanted.fmt.pix.width;
                height = wanted.fmt.pix.height;
                bytesPerLine = wanted.fmt.pix.bytesperline;
                pixelFormat = format;
                return width > 0 && height > 0;
            }
        }
        return false;
    }

    bool mapBuffers() {
        v4l2_requestbuffers request{};
        request.count = kBufferCount;
        request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        request.memory = V4L2_MEMORY_MMAP;
        if (control(fd, VIDIOC_REQBUFS, &request) == -1 || request.count == 0) {
            return false;
        }
        buffers.resize(request.count);
        for (std::uint32_t i = 0; i < request.count; ++i) {
            v4l2_buffer buffer{};
            buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            buffer.memory = V4L2_MEMORY_MMAP;
            buffer.index = i;
            if (control(fd, VIDIOC_QUERYBUF, &buffer) == -1) {
                return false;
            }
            buffers[i].length = buffer.length;
            buffers[i].start = mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, buffer.m.offset);
            if (buffers[i].start == MAP_FAILED || !queueBuffer(i)) {
                return false;
            }
        }
        return true;
    }

    // The luminance of a filled buffer; YUYV keeps it in every other byte.
    std::optional<Picture> luminance(const Buffer& buffer, std::size_t used) const {
        const std::size_t step = pixelFormat == V4L2_PIX_FMT_YUYV ? 2 : 1;
        const std::size_t line = std::max<std::size_t>(bytesPerLine, width * step);
        if (used < line * (height - 1) + width * step) {
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

    // Waits briefly for the next picture; nothing when none came or the device failed (see `failed`).
    std::optional<Picture> nextPicture(bool& failed) {
        pollfd ready{fd, POLLIN, 0};
        const int polled = poll(&ready, 1, kPollMilliseconds);
        if (polled <= 0) {
            failed = polled < 0 && errno != EINTR;
            return std::nullopt;
        }
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        if (control(fd, VIDIOC_DQBUF, &buffer) == -1) {
            failed = errno != EAGAIN;
            return std::nullopt;
        }
        std::optional<Picture> picture;
        if (buffer.index < buffers.size()) {
            picture = luminance(buffers[buffer.index], buffer.bytesused);
        }
        failed = !queueBuffer(buffer.index);
        return picture;
    }
};

OpenedCameraSource V4l2CameraSource::open(const std::string& path, std::shared_ptr<MainQueue> queue) {
    auto device = std::make_unique<Device>();
    device->fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (device->fd < 0) {
        return failure(CameraError::kCannotOpen, "cannot open the camera " + path + ": " + std::strerror(errno));
    }
    v4l2_capability capability{};
    if (control(device->fd, VIDIOC_QUERYCAP, &capability) == -1) {
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
    std::shared_ptr<V4l2CameraSource> source(new V4l2CameraSource(std::move(device), std::move(queue)));
    return OpenedCameraSource{source, std::nullopt};
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
    if (!_device->setStreaming(true)) {
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
        bool failed = false;
        auto picture = _device->nextPicture(failed);
        if (failed) {
            LogManager::standard().log(std::string("camera: capture failed: ") + std::strerror(errno));
            _running = false;
            return;
        }
        if (!picture) {
            continue;
        }
        _queue->post([weakSelf = weak_from_this(), symbols = QrDetector::detect(*picture)] {
            auto self = weakSelf.lock();
            if (self && self->_running && *self->_report) {
                (*self->_report)(symbols);
            }
        });
    }
}

} // namespace vexaqr
