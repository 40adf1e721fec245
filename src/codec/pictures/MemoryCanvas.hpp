// MemoryCanvas: keeps every picture drawn on it, with its delay; for tests and in-process round trips.
#pragma once

#include <vexaqr/views/Canvas.hpp>

#include <vector>

namespace vexaqr {

class MemoryCanvas final : public Canvas {
public:
    struct Frame {
        Picture picture;
        std::chrono::milliseconds shownFor;
    };

    MemoryCanvas(int width, int height) : _width(width), _height(height) {}

    int width() const override { return _width; }
    int height() const override { return _height; }
    bool draw(const Picture& picture, std::chrono::milliseconds shownFor) override {
        _frames.push_back(Frame{picture, shownFor});
        return true;
    }

    const std::vector<Frame>& frames() const { return _frames; }

private:
    int _width;
    int _height;
    std::vector<Frame> _frames;
};

} // namespace vexaqr
