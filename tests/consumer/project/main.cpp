// Links against the installed library and uses its public headers only.
#include <vexaqr/platform/RunLoop.hpp>

#include <cstdio>

int main() {
    vexaqr::RunLoop loop;
    int ran = 0;
    loop.post([&] { ++ran; });
    loop.runUntilIdle();
    if (ran != 1) {
        std::puts("the installed library did not run a posted task");
        return 1;
    }
    std::puts("consumer ok");
    return 0;
}
