// PngSequenceCanvas: every picture drawn becomes the next numbered PNG file in a folder.
#pragma once

#include <vexaqr/views/Canvas.hpp>

#include <string>

namespace vexaqr {

class PngSequenceCanvas final : public Canvas {
public:
    /// Writes "frame-000000.png", "frame-000001.png", … into `folder`, which must exist. The names
    /// sort in drawing order.
    PngSequenceCanvas(std::string folder, int side);

    int width() const override { return _side; }
    int height() const override { return _side; }
    bool draw(const Picture& picture, std::chrono::milliseconds shownFor) override;

    int framesWritten() const { return _next; }

private:
    std::string _folder;
    int _side;
    int _next = 0;
};

} // namespace vexaqr
