// QrDetector: the QR symbols in a picture, as their texts.
//
// Thread-safe; cameras call it once per picture, so it is tuned for speed on camera-sized pictures and looks for QR
// codes only. A cheap locator first finds the busy regions where symbols may be, and each region is read on its own,
// which costs a fraction of a search of the whole picture and keeps the finder patterns of a grid's neighbours out of
// each other's pairing; a region that fails is read again enlarged 1.5 to 2 times, which reads the small modules that
// one transform for the whole symbol samples off their centres. Only when the locator saw fewer symbols than expected
// is the whole picture searched, and once more at the end when no form read anything and a region's modules were wider
// than the locator's blocks (such a region can hold only part of its symbol). This is done with the picture as it is
// and, when that finds too few symbols, after a cheap sharpening, which reads the soft pictures of a blurred or shaken
// camera. A thread whose previous picture read only once sharpened starts with the sharpened form. "Too few" is fewer
// than the most symbols read from either of the thread's last two pictures (at least one), so a presenter's grid of
// symbols is read whole without a search per symbol (at most two passes over a grid's picture). The sharpening and the
// painting over of symbols already read keep scratch buffers of about two bytes per pixel, the enlargement at most 8
// MB, on each calling thread for the thread's life.
#pragma once

#include <vexaqr/views/Picture.hpp>

#include <string>
#include <vector>

namespace vexaqr {

class QrDetector final {
public:
    /// The text of every QR symbol found in `picture`, each once, in no particular order; empty when there
    /// is none or the picture is empty. Symbols that fail their error correction are left out. The forms of
    /// the picture are read in turn until enough symbols are found (see above): as it is or sharpened, in
    /// the order described above, then sharpened more strongly, then as it is with one threshold for the
    /// whole picture; only the first two forms' regions are also read enlarged. The result holds what all the
    /// forms read found.
    static std::vector<std::string> detect(const Picture& picture);
};

} // namespace vexaqr
