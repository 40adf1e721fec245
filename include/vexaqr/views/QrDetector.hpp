// QrDetector: the QR symbols in a picture, as their texts.
//
// Thread-safe; cameras call it once per picture, so it is tuned for speed on camera-sized pictures and
// looks for QR codes only. A picture is read as it is and, when that finds nothing, after a cheap
// sharpening, which reads the soft pictures of a blurred or shaken camera. A thread whose previous picture
// read only once sharpened starts with the sharpened form. The sharpening keeps a scratch buffer of about
// one byte per pixel on each calling thread for the thread's life.
#pragma once

#include <vexaqr/views/Picture.hpp>

#include <string>
#include <vector>

namespace vexaqr {

class QrDetector final {
public:
    /// The text of every QR symbol found in `picture`, in no particular order; empty when there is
    /// none or the picture is empty. Symbols that fail their error correction are left out. The result
    /// is that of the first form of the picture that yields any symbol: as it is or sharpened, in the
    /// order described above, then sharpened more strongly, then as it is with one threshold for the
    /// whole picture.
    static std::vector<std::string> detect(const Picture& picture);
};

} // namespace vexaqr
