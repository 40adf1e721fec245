// pictures-to-record PARTNER.pub.pem APP.key.pem PICTURE...: reads PNG pictures, GIFs or folders of them
// into a verified record and writes its content to standard output.
#include <vexaqr/vexaqr.hpp>

#include <iostream>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::cerr << "usage: pictures-to-record PARTNER.pub.pem APP.key.pem PICTURE...\n";
        return 2;
    }
    const auto keys = vexaqr::Keys::fromPemFiles({.partnerPublic = argv[1], .appPrivate = argv[2]});
    const auto record = keys ? vexaqr::scanPictures({argv + 3, argv + argc}, *keys) : keys.failure();
    if (!record) {
        std::cerr << record.failure().message << '\n';
        return 1;
    }
    const auto content = record->actualVxaData.value_or(vexaqr::Bytes{});
    std::cout.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
}
