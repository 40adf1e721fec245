// The detector on the large symbols that carry bigger frames (versions 25 to 40 at 1920x1080, 25 to 27 at
// 1280x720, where the modules of larger versions get too small), in pictures of the sizes cameras deliver, the symbol
// filling most of the picture's height, softened and grained like a camera's.
#include "codec/pictures/QrDetector.hpp"
#include "codec/pictures/QrRenderer.hpp"
#include "codec/pictures/QrSymbolCapacity.hpp"

#include "views/SyntheticCameraPicture.hpp"
#include "views/ViewsTestSupport.hpp"

#include <gtest/gtest.h>

namespace vexaqr {
namespace {

struct CameraSize {
    int width;
    int height;
    int largestVersion; // read reliably: at 1280x720 versions 28, 35 and 37 are missed (under 4.8 pixels a module)
};

// Names the case in test listings instead of its bytes.
void PrintTo(const CameraSize& size, std::ostream* out) {
    *out << size.width << 'x' << size.height;
}

// `symbol` centred, its quiet zone spanning `fill` of the picture's height, dark 35 on light 215.
Picture cameraView(const QrSymbol& symbol, CameraSize camera, double fill, unsigned seed) {
    Picture scene(camera.width, camera.height, 150);
    const int side = static_cast<int>(camera.height * fill);
    Picture drawn(side, side);
    QrRenderer::draw(symbol, drawn);
    const int left = (camera.width - side) / 2;
    const int top = (camera.height - side) / 2;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            scene.at(left + x, top + y) = drawn.at(x, y) ? 215 : 35;
        }
    }
    Picture picture = test::blurred(scene);
    test::addNoise(picture, 8.0, seed);
    return picture;
}

class LargeSymbolDetectionTest : public ::testing::TestWithParam<CameraSize> {};

TEST_P(LargeSymbolDetectionTest, FindsLargeVersionsFillingThePicture) {
    const CameraSize camera = GetParam();
    for (int version = 25; version <= camera.largestVersion; ++version) {
        const auto text = test::alphanumericText(QrSymbolCapacity::alphanumericCharacters(version), version);
        const auto symbol = QrRenderer::render(text, version);
        ASSERT_TRUE(symbol) << version;
        const Picture picture = cameraView(*symbol, camera, 0.9, static_cast<unsigned>(version));
        EXPECT_EQ(QrDetector::detect(picture), std::vector<std::string>{text})
            << "version " << version << " at " << camera.width << "x" << camera.height << ", "
            << camera.height * 0.9 / (symbol->size + 8) << " pixels per module";
    }
}

INSTANTIATE_TEST_SUITE_P(Cameras, LargeSymbolDetectionTest,
                         ::testing::Values(CameraSize{1280, 720, 27}, CameraSize{1920, 1080, 40}),
                         [](const auto& info) {
                             return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
                         });

} // namespace
} // namespace vexaqr
