// QrDetector: the QR symbols in a picture, as their texts.
//
// Stateless and thread-safe; cameras call it once per picture, so it is tuned for speed on camera-sized
// pictures and looks for QR codes only.
#pragma once

#include <vexaqr/views/Picture.hpp>

#include <string>
#include <vector>

namespace vexaqr {

class QrDetector final {
public:
    /// The text of every QR symbol found in `picture`, in no particular order; empty when there is
    /// none or the picture is empty. Symbols that fail their error correction are left out.
    static std::vector<std::string> detect(const Picture& picture);
};

} // namespace vexaqr
