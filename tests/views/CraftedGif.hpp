// Hand-made GIF files for the tests of the GIF limits: a screen and frames of any declared size. A frame
// is either one colour throughout, coded as compactly as the format allows (runs of 1, 2, 3 ... pixels
// between clear codes, so a few hundred kilobytes declare hundreds of millions of pixels), or given
// pixel by pixel. Colours: 0 black, 1 white, 2 and 3 greys.
#pragma once

#include <vexaqr/Bytes.hpp>

#include <cstdint>
#include <vector>

namespace vexaqr::test {

struct CraftedFrame {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::uint8_t colour = 0;          // the colour of every pixel when `pixels` is empty
    std::vector<std::uint8_t> pixels; // row by row in display order, else
    bool interlaced = false;
};

// The LZW code stream of one frame, with the code widths a GIF decoder expects (2-bit colours).
class LzwWriter {
public:
    static constexpr int kClear = 4;
    static constexpr int kEnd = 5;

    void clear() {
        put(kClear);
        _width = 3;
        _running = 6;
        _widthLimit = 8;
    }
    // A code; the decoder widens its codes as its table grows, one entry per code read.
    void put(int code) {
        _bits |= static_cast<std::uint64_t>(code) << _used;
        _used += _width;
        while (_used >= 8) {
            _bytes.push_back(static_cast<std::uint8_t>(_bits));
            _bits >>= 8;
            _used -= 8;
        }
        if (_running < 4097 && ++_running > _widthLimit && _width < 12) {
            _widthLimit <<= 1;
            ++_width;
        }
    }
    // `count` pixels of `colour`: after each clear, code n stands for n pixels (1: the colour itself,
    // n >= 2: the table entry being defined, 4 + n).
    void uniform(std::uint8_t colour, std::uint64_t count) {
        while (count > 0) {
            clear();
            for (std::uint64_t run = 1; run <= 4000 && count > 0; ++run) {
                const std::uint64_t taken = std::min(run, count);
                put(taken == 1 ? colour : static_cast<int>(4 + taken));
                count -= taken;
            }
        }
    }
    // Every pixel as its own code, with a clear before the table fills.
    void literal(const std::vector<std::uint8_t>& pixels) {
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            if (i % 4000 == 0) {
                clear();
            }
            put(pixels[i]);
        }
    }
    // The data sub-blocks after the minimum code size, ending with the empty block.
    Bytes finish() {
        put(kEnd);
        if (_used > 0) {
            _bytes.push_back(static_cast<std::uint8_t>(_bits));
        }
        Bytes blocks{2};
        for (std::size_t i = 0; i < _bytes.size(); i += 255) {
            const std::size_t length = std::min<std::size_t>(255, _bytes.size() - i);
            blocks.push_back(static_cast<std::uint8_t>(length));
            blocks.insert(blocks.end(), _bytes.begin() + i, _bytes.begin() + i + length);
        }
        blocks.push_back(0);
        return blocks;
    }

private:
    Bytes _bytes;
    std::uint64_t _bits = 0;
    int _used = 0;
    int _width = 3;
    int _running = 6;
    int _widthLimit = 8;
};

inline void putShort(Bytes& out, int value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xff));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xff));
}

// Rows of an interlaced frame in the order the file stores them.
inline std::vector<std::uint8_t> interlacedOrder(const CraftedFrame& frame) {
    std::vector<std::uint8_t> stored;
    for (const auto& pass : {std::pair{0, 8}, std::pair{4, 8}, std::pair{2, 4}, std::pair{1, 2}}) {
        for (int y = pass.first; y < frame.height; y += pass.second) {
            const auto row = frame.pixels.begin() + static_cast<std::ptrdiff_t>(y) * frame.width;
            stored.insert(stored.end(), row, row + frame.width);
        }
    }
    return stored;
}

inline Bytes craftedGif(int screenWidth, int screenHeight, const std::vector<CraftedFrame>& frames) {
    Bytes gif{'G', 'I', 'F', '8', '9', 'a'};
    putShort(gif, screenWidth);
    putShort(gif, screenHeight);
    gif.insert(gif.end(), {0x91, 0, 0}); // a global table of 4 colours; background 0
    gif.insert(gif.end(), {0, 0, 0, 255, 255, 255, 128, 128, 128, 64, 64, 64});
    for (const auto& frame : frames) {
        gif.push_back(0x2c);
        putShort(gif, frame.left);
        putShort(gif, frame.top);
        putShort(gif, frame.width);
        putShort(gif, frame.height);
        gif.push_back(frame.interlaced ? 0x40 : 0x00);
        LzwWriter lzw;
        if (frame.pixels.empty()) {
            lzw.uniform(frame.colour,
                        static_cast<std::uint64_t>(frame.width) * static_cast<std::uint64_t>(frame.height));
        } else {
            lzw.literal(frame.interlaced ? interlacedOrder(frame) : frame.pixels);
        }
        const Bytes data = lzw.finish();
        gif.insert(gif.end(), data.begin(), data.end());
    }
    gif.push_back(0x3b);
    return gif;
}

} // namespace vexaqr::test
