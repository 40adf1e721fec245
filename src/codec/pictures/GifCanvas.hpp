// GifCanvas: the pictures drawn become the frames of an endlessly looping animated GIF, each shown for
// the delay the presenter scheduled after it (rounded to the format's hundredths of a second).
#pragma once

#include <vexaqr/views/Canvas.hpp>

#include <memory>
#include <string>

struct GifFileType;

namespace vexaqr {

class GifCanvas final : public Canvas {
public:
    /// A canvas writing to `path`; nothing when the file cannot be created.
    static std::unique_ptr<GifCanvas> create(const std::string& path, int side);

    /// Finishes the file if finish() was not called.
    ~GifCanvas() override;
    GifCanvas(const GifCanvas&) = delete;
    GifCanvas& operator=(const GifCanvas&) = delete;

    int width() const override { return _side; }
    int height() const override { return _side; }
    bool draw(const Picture& picture, std::chrono::milliseconds shownFor) override;

    /// Writes the end of the file and closes it; false when any write failed. Drawing afterwards fails.
    bool finish();

private:
    GifCanvas(GifFileType* gif, int side);

    GifFileType* _gif;
    int _side;
    bool _failed = false;
};

} // namespace vexaqr
