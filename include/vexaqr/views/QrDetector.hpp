// QrDetector: the QR symbols in a picture, as their texts.
//
// Thread-safe; cameras call it once per picture, so it is tuned for speed on camera-sized pictures and
// looks for QR codes only. A picture the first reading misses gets a second look after a cheap sharpening,
// which reads the soft pictures of a blurred or shaken camera; that look keeps a scratch buffer of about
// five bytes per pixel on each calling thread for the thread's life.
#pragma once

#include <vexaqr/views/Picture.hpp>

#include <string>
#include <vector>

namespace vexaqr {

class QrDetector final {
public:
    /// The text of every QR symbol found in `picture`, in no particular order; empty when there is
    /// none or the picture is empty. Symbols that fail their error correction are left out. When the
    /// picture as it is yields nothing, the result is that of its sharpened form.
    static std::vector<std::string> detect(const Picture& picture);
};

} // namespace vexaqr
