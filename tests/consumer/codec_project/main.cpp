// A host that only moves bytes: links the installed codec library alone, writes bytes as an animated GIF
// and reads them back from it.
#include <vexaqr/codec.hpp>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::puts("usage: codec-consumer GIF-PATH");
        return 2;
    }
    const vexaqr::Bytes sent = vexaqr::toBytes(std::string(3000, 'x') + "the end");
    if (const auto written = vexaqr::writeAnimatedGif(sent, argv[1]); !written) {
        std::puts(written.failure().message.c_str());
        return 1;
    }
    const auto received = vexaqr::scanPictureBytes({argv[1]});
    if (!received) {
        std::puts(received.failure().message.c_str());
        return 1;
    }
    std::puts(*received == sent ? "codec consumer ok" : "the bytes came back changed");
    return *received == sent ? 0 : 1;
}
