// V4l2DeviceCalls: the system calls a V4L2 camera is driven through. The system's own calls are the
// default; tests stand in a fake device that keeps the kernel's buffer rules.
//
// Calls report failure as the system calls do: -1 (MAP_FAILED for mmap) with errno set. A camera calls
// from one thread at a time: its capture thread while that runs, otherwise the main queue's thread.
#pragma once

#include <cstddef>
#include <memory>

namespace vexaqr {

class V4l2DeviceCalls {
public:
    virtual ~V4l2DeviceCalls() = default;

    /// open(2) of a device node; a descriptor or -1.
    virtual int open(const char* path, int flags) = 0;
    /// close(2).
    virtual int close(int fd) = 0;
    /// ioctl(2) with a V4L2 request, retried by the caller when a signal interrupts it.
    virtual int ioctl(int fd, unsigned long request, void* argument) = 0;
    /// poll(2) of one descriptor for `events`, waiting at most `timeoutMilliseconds`; the number of
    /// ready descriptors (0 or 1) with what happened in `revents`, or -1.
    virtual int poll(int fd, short events, short& revents, int timeoutMilliseconds) = 0;
    /// mmap(2) of a capture buffer, shared and readable and writable; MAP_FAILED on failure.
    virtual void* mmap(std::size_t length, int fd, long offset) = 0;
    /// munmap(2).
    virtual int munmap(void* address, std::size_t length) = 0;

    /// The operating system's calls.
    static std::shared_ptr<V4l2DeviceCalls> system();
};

} // namespace vexaqr
