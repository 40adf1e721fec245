// FreedMemoryWatch: tells a test whether a secret was still in a block of memory when the program
// freed it. This test program replaces the global operator new and delete (malloc and free beneath);
// while a watch is armed, every block handed to operator delete is searched for the secret first.
// One watch at a time, armed and disarmed on the test's thread; blocks OpenSSL frees itself are not
// seen.
#pragma once

#include <vexaqr/Bytes.hpp>

namespace vexaqr::test {

class FreedMemoryWatch {
public:
    /// Arms the watch for `secret` (not empty).
    explicit FreedMemoryWatch(Bytes secret);
    /// Disarms it.
    ~FreedMemoryWatch();
    FreedMemoryWatch(const FreedMemoryWatch&) = delete;
    FreedMemoryWatch& operator=(const FreedMemoryWatch&) = delete;

    /// Blocks freed since arming that still held the secret.
    int sightings() const;

private:
    Bytes _secret;
};

} // namespace vexaqr::test
