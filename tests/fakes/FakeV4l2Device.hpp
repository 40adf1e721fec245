// A V4L2 capture device in memory that keeps the kernel's rules for memory-mapped buffers, so that a
// camera source can be tried without a camera:
// - a buffer is with the application, queued (waiting to be filled) or done (filled, waiting to be
//   dequeued); QBUF of a buffer that is not with the application is EINVAL;
// - DQBUF takes the oldest done buffer; with none it is EAGAIN (the device is opened non-blocking);
// - STREAMOFF hands every buffer back to the application, queued and done alike;
// - poll reports POLLERR while the device is not streaming or holds no buffer at all, POLLIN while a
//   buffer is done, and otherwise waits for one.
// The test shows the device pictures with capture(); thread-safe.
#pragma once

#include "codec/pictures/V4l2DeviceCalls.hpp"
#include <vexaqr/views/Picture.hpp>

#include <linux/videodev2.h>

#include <poll.h>
#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace vexaqr::test {

class FakeV4l2Device final : public V4l2DeviceCalls {
public:
    static constexpr int kFd = 42;

    FakeV4l2Device(std::string path, int width, int height) : _path(std::move(path)), _width(width), _height(height) {}

    int open(const char* path, int) override {
        std::lock_guard lock(_mutex);
        if (path != _path) {
            return failWith(ENOENT);
        }
        _open = true;
        return kFd;
    }

    int close(int fd) override {
        std::lock_guard lock(_mutex);
        if (fd != kFd || !_open) {
            return failWith(EBADF);
        }
        _open = false;
        return 0;
    }

    int ioctl(int fd, unsigned long request, void* argument) override {
        std::lock_guard lock(_mutex);
        if (fd != kFd || !_open) {
            return failWith(EBADF);
        }
        switch (request) {
        case VIDIOC_QUERYCAP:
            static_cast<v4l2_capability*>(argument)->capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
            return 0;
        case VIDIOC_S_FMT: {
            auto& format = static_cast<v4l2_format*>(argument)->fmt.pix;
            if (format.pixelformat != V4L2_PIX_FMT_YUYV) {
                format.pixelformat = V4L2_PIX_FMT_YUYV; // the driver's nearest
                return 0;
            }
            format.width = static_cast<std::uint32_t>(_width);
            format.height = static_cast<std::uint32_t>(_height);
            format.bytesperline = static_cast<std::uint32_t>(2 * _width);
            return 0;
        }
        case VIDIOC_REQBUFS:
            return requestBuffers(*static_cast<v4l2_requestbuffers*>(argument));
        case VIDIOC_QUERYBUF:
            return queryBuffer(*static_cast<v4l2_buffer*>(argument));
        case VIDIOC_QBUF:
            return queueBuffer(static_cast<v4l2_buffer*>(argument)->index);
        case VIDIOC_DQBUF:
            return dequeueBuffer(*static_cast<v4l2_buffer*>(argument));
        case VIDIOC_STREAMON:
            if (_refuseStreamOn) {
                _refuseStreamOn = false;
                return failWith(EIO);
            }
            _streaming = true;
            return 0;
        case VIDIOC_STREAMOFF:
            _streaming = false;
            for (auto& buffer : _buffers) {
                buffer.state = State::withApplication;
            }
            _done.clear();
            return 0;
        default:
            return failWith(ENOTTY);
        }
    }

    int poll(int fd, short events, short& revents, int timeoutMilliseconds) override {
        std::unique_lock lock(_mutex);
        ++_polls;
        revents = 0;
        if (fd != kFd || !_open) {
            revents = POLLNVAL;
            return 1;
        }
        const auto ready = [&] { return pollError() || !_done.empty(); };
        _changed.wait_for(lock, std::chrono::milliseconds(timeoutMilliseconds), ready);
        if (pollError()) {
            revents = POLLERR;
        } else if (!_done.empty()) {
            revents = static_cast<short>(events & POLLIN);
        }
        return revents ? 1 : 0;
    }

    void* mmap(std::size_t length, int fd, long offset) override {
        std::lock_guard lock(_mutex);
        const auto index = static_cast<std::size_t>(offset) / kOffsetStep;
        if (fd != kFd || index >= _buffers.size() || length != _buffers[index].memory.size()) {
            errno = EINVAL;
            return MAP_FAILED;
        }
        ++_mapped;
        return _buffers[index].memory.data();
    }

    int munmap(void*, std::size_t) override {
        std::lock_guard lock(_mutex);
        --_mapped;
        return 0;
    }

    /// The camera takes a picture into the first queued buffer; false when no buffer was queued (the
    /// picture is lost, as with a real camera).
    bool capture(const Picture& picture) {
        std::lock_guard lock(_mutex);
        for (std::size_t i = 0; i < _buffers.size(); ++i) {
            auto& buffer = _buffers[i];
            if (buffer.state == State::queued && _streaming) {
                fill(buffer, picture);
                buffer.state = State::done;
                _done.push_back(static_cast<std::uint32_t>(i));
                _changed.notify_all();
                return true;
            }
        }
        return false;
    }

    /// The driver takes every buffer off its queue by itself, as after an internal error.
    void loseBuffers() {
        std::lock_guard lock(_mutex);
        for (auto& buffer : _buffers) {
            buffer.state = State::withApplication;
        }
        _done.clear();
        _changed.notify_all();
    }

    /// The next VIDIOC_STREAMON fails with EIO, leaving the buffers queued so far queued.
    void refuseNextStreamOn() {
        std::lock_guard lock(_mutex);
        _refuseStreamOn = true;
    }

    bool streaming() const {
        std::lock_guard lock(_mutex);
        return _streaming;
    }
    bool released() const {
        std::lock_guard lock(_mutex);
        return !_open && _mapped == 0;
    }
    int polls() const {
        std::lock_guard lock(_mutex);
        return _polls;
    }

private:
    static constexpr std::size_t kOffsetStep = 1 << 20;
    enum class State { withApplication, queued, done };
    struct Buffer {
        std::vector<std::uint8_t> memory;
        State state = State::withApplication;
    };

    static int failWith(int error) {
        errno = error;
        return -1;
    }

    bool pollError() const {
        const bool holdsBuffer = std::any_of(_buffers.begin(), _buffers.end(), [](const Buffer& buffer) {
            return buffer.state != State::withApplication;
        });
        return !_streaming || !holdsBuffer;
    }

    int requestBuffers(v4l2_requestbuffers& request) {
        if (_streaming) {
            return failWith(EBUSY);
        }
        request.count = std::min<std::uint32_t>(request.count, 4);
        _buffers.assign(request.count, Buffer{});
        for (auto& buffer : _buffers) {
            buffer.memory.assign(static_cast<std::size_t>(2 * _width * _height), 0);
        }
        return 0;
    }

    int queryBuffer(v4l2_buffer& buffer) const {
        if (buffer.index >= _buffers.size()) {
            return failWith(EINVAL);
        }
        buffer.length = static_cast<std::uint32_t>(_buffers[buffer.index].memory.size());
        buffer.m.offset = static_cast<std::uint32_t>(buffer.index * kOffsetStep);
        return 0;
    }

    int queueBuffer(std::uint32_t index) {
        if (index >= _buffers.size() || _buffers[index].state != State::withApplication) {
            return failWith(EINVAL);
        }
        _buffers[index].state = State::queued;
        _changed.notify_all();
        return 0;
    }

    int dequeueBuffer(v4l2_buffer& buffer) {
        if (!_streaming) {
            return failWith(EINVAL);
        }
        if (_done.empty()) {
            return failWith(EAGAIN);
        }
        buffer.index = _done.front();
        _done.pop_front();
        _buffers[buffer.index].state = State::withApplication;
        buffer.bytesused = static_cast<std::uint32_t>(_buffers[buffer.index].memory.size());
        return 0;
    }

    // YUYV: the luminance in every other byte, neutral colour between.
    void fill(Buffer& buffer, const Picture& picture) const {
        for (int y = 0; y < _height; ++y) {
            for (int x = 0; x < _width; ++x) {
                const auto at = static_cast<std::size_t>(2 * (y * _width + x));
                buffer.memory[at] = x < picture.width && y < picture.height ? picture.at(x, y) : 255;
                buffer.memory[at + 1] = 128;
            }
        }
    }

    const std::string _path;
    const int _width;
    const int _height;
    mutable std::mutex _mutex;
    std::condition_variable _changed;
    std::vector<Buffer> _buffers;
    std::deque<std::uint32_t> _done;
    bool _open = false;
    bool _streaming = false;
    bool _refuseStreamOn = false;
    int _mapped = 0;
    int _polls = 0;
};

} // namespace vexaqr::test
