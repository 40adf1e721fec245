#include "codec/pictures/PngSequenceCanvas.hpp"

#include "codec/pictures/PngFile.hpp"

#include <cstdio>

namespace vexaqr {

PngSequenceCanvas::PngSequenceCanvas(std::string folder, int side) : _folder(std::move(folder)), _side(side) {}

bool PngSequenceCanvas::draw(const Picture& picture, std::chrono::milliseconds) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%06d.png", _next);
    if (!PngFile::write(_folder + "/" + name, picture)) {
        return false;
    }
    ++_next;
    return true;
}

} // namespace vexaqr
