#include "codec/pictures/TerminalCanvas.hpp"

#include <string>

namespace vexaqr {

namespace {

constexpr const char* kBlackOnWhite = "\x1b[30;47m";
constexpr const char* kResetColors = "\x1b[0m";

bool isDark(const Picture& picture, int x, int y) {
    return y < picture.height && picture.at(x, y) < 128;
}

const char* halfBlock(bool upperDark, bool lowerDark) {
    if (upperDark && lowerDark) {
        return "\u2588";
    }
    if (upperDark) {
        return "\u2580";
    }
    return lowerDark ? "\u2584" : " ";
}

} // namespace

TerminalCanvas::TerminalCanvas(std::ostream& out, int side) : _out(out), _side(side) {}

bool TerminalCanvas::draw(const Picture& picture, std::chrono::milliseconds) {
    std::string text;
    if (_rowsDrawn > 0) {
        text += "\x1b[" + std::to_string(_rowsDrawn) + "A\r"; // back to the first row of the last picture
    }
    int rows = 0;
    for (int y = 0; y < picture.height; y += 2, ++rows) {
        text += kBlackOnWhite;
        for (int x = 0; x < picture.width; ++x) {
            text += halfBlock(isDark(picture, x, y), isDark(picture, x, y + 1));
        }
        text += kResetColors;
        text += '\n';
    }
    _rowsDrawn = rows;
    _out << text << std::flush;
    return static_cast<bool>(_out);
}

} // namespace vexaqr
