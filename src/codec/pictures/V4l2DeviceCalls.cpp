#include "codec/pictures/V4l2DeviceCalls.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace vexaqr {

namespace {

class SystemCalls final : public V4l2DeviceCalls {
public:
    int open(const char* path, int flags) override { return ::open(path, flags); }
    int close(int fd) override { return ::close(fd); }
    int ioctl(int fd, unsigned long request, void* argument) override { return ::ioctl(fd, request, argument); }
    int poll(int fd, short events, short& revents, int timeoutMilliseconds) override {
        pollfd ready{fd, events, 0};
        const int result = ::poll(&ready, 1, timeoutMilliseconds);
        revents = ready.revents;
        return result;
    }
    void* mmap(std::size_t length, int fd, long offset) override {
        return ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, offset);
    }
    int munmap(void* address, std::size_t length) override { return ::munmap(address, length); }
};

} // namespace

std::shared_ptr<V4l2DeviceCalls> V4l2DeviceCalls::system() {
    static auto* calls = new std::shared_ptr<V4l2DeviceCalls>(std::make_shared<SystemCalls>()); // never destroyed
    return *calls;
}

} // namespace vexaqr
