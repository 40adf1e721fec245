// Canvas: the surface a presenter draws its QR symbols on (a file sequence, an animation, a terminal).
//
// Canvases are driven from the main queue only.
#pragma once

#include <vexaqr/views/Picture.hpp>

#include <chrono>

namespace vexaqr {

class Canvas {
public:
    virtual ~Canvas() = default;

    /// The surface in pixels; each symbol is stretched over all of it.
    virtual int width() const = 0;
    virtual int height() const = 0;

    /// Shows `picture` (width() × height()) until the next call; `shownFor` is the time the presenter
    /// waits before its next drawing pass. False when the picture could not be shown.
    virtual bool draw(const Picture& picture, std::chrono::milliseconds shownFor) = 0;
};

} // namespace vexaqr
