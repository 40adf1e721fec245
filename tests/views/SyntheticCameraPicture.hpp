// A camera-like picture of a QR symbol for tests and benchmarks: a 1280 × 720 frame, the symbol at
// reduced contrast off centre, softened by a blur and grained with sensor noise.
#pragma once

#include "codec/pictures/QrRenderer.hpp"
#include <vexaqr/views/Picture.hpp>

#include <algorithm>
#include <random>

namespace vexaqr::test {

inline constexpr int kCameraWidth = 1280;
inline constexpr int kCameraHeight = 720;

/// 3 × 3 box blur, edges clamped.
inline Picture blurred(const Picture& source) {
    Picture result(source.width, source.height);
    for (int y = 0; y < source.height; ++y) {
        for (int x = 0; x < source.width; ++x) {
            int sum = 0;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    sum += source.at(std::clamp(x + dx, 0, source.width - 1), std::clamp(y + dy, 0, source.height - 1));
                }
            }
            result.at(x, y) = static_cast<std::uint8_t>(sum / 9);
        }
    }
    return result;
}

/// Adds zero-mean Gaussian noise of the given standard deviation.
inline void addNoise(Picture& picture, double deviation, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, deviation);
    for (auto& pixel : picture.pixels) {
        pixel = static_cast<std::uint8_t>(std::clamp(pixel + noise(random), 0.0, 255.0));
    }
}

/// The camera's view: `symbols` side by side (each `modulePixels` per module), or none, on a grey scene.
inline Picture cameraPicture(const std::vector<QrSymbol>& symbols, int modulePixels = 5, unsigned seed = 7) {
    Picture scene(kCameraWidth, kCameraHeight, 150);
    int left = 160;
    for (const auto& symbol : symbols) {
        const int side = (symbol.size + 2 * QrRenderer::kQuietZone) * modulePixels;
        Picture drawn(side, side);
        QrRenderer::draw(symbol, drawn);
        const int top = (kCameraHeight - side) / 2;
        for (int y = 0; y < side && top + y < kCameraHeight; ++y) {
            for (int x = 0; x < side && left + x < kCameraWidth; ++x) {
                scene.at(left + x, top + y) = drawn.at(x, y) ? 215 : 35; // paper is never white, ink never black
            }
        }
        left += side + 20;
    }
    Picture picture = blurred(scene);
    addNoise(picture, 8.0, seed);
    return picture;
}

} // namespace vexaqr::test
