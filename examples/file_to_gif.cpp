// file-to-gif FILE OUT.gif: shows FILE as an animated QR code, with frames enough for a receiver.
#include <vexaqr/vexaqr.hpp>

#include <fstream>
#include <iostream>
#include <iterator>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: file-to-gif FILE OUT.gif\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const vexaqr::Bytes data{std::istreambuf_iterator<char>(in), {}};
    const auto written = vexaqr::writeAnimatedGif(data, argv[2]);
    std::cerr << (written ? std::to_string(written->frames) + " frames written to " + argv[2]
                          : written.failure().message)
              << '\n';
    return written ? 0 : 1;
}
