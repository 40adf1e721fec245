// CameraSimulation: a phone camera pointed at a screen. Each picture is an exposure of the screen at the
// camera's own rhythm (a frame change during the exposure blends both symbols by time), seen in
// perspective with a tilt and an in-plane roll, then softened by a Gaussian blur, grained with sensor noise
// and passed through JPEG compression.
//
// Deterministic: the same seed, conditions and screen give the same pictures. Single-threaded.
#pragma once

#include "support/PresenterScreen.hpp"

#include <vexaqr/views/Picture.hpp>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace vexaqr::test {

/// How the camera sees the screen. Angles in degrees, lengths in pixels of the camera picture.
struct OpticalConditions {
    std::string name;
    int width = 1280;
    int height = 720;
    /// Side of the symbol with its quiet zone as a share of the picture's shorter side. A screen that is not
    /// square is as large as fits this share of the picture's height and width.
    double symbolShare = 0.6;
    /// Each picture draws its tilt (out of the picture plane, about a random axis) from [0, maxTilt] and
    /// its roll (in the plane) from [-maxRoll, maxRoll].
    double maxTilt = 0.0;
    double maxRoll = 0.0;
    double blurSigma = 0.0;
    double noiseSigma = 0.0;
    /// 1 to 100; 0 leaves the picture uncompressed.
    int jpegQuality = 0;

    /// A sharp, noiseless, square-on view.
    static OpticalConditions clean();
    /// A decent phone held still: tilt up to 10°, blur σ 1, noise σ 6, JPEG 80.
    static OpticalConditions mild();
    /// A poor camera held at an angle: tilt 20°, blur σ 2, noise σ 12, JPEG 80.
    static OpticalConditions harsh();
};

/// When the camera takes its pictures.
struct CameraTiming {
    double picturesPerSecond = 30.0;
    double exposureSeconds = 1.0 / 60.0;
    /// The start of the first exposure after the presentation began.
    double firstPictureMs = 0.0;
};

/// The pose of the screen in one picture.
struct ScreenPose {
    double tilt = 0.0;
    double tiltAxis = 0.0; // direction of the tilt axis in the screen plane
    double roll = 0.0;
    double offsetX = 0.0; // centre offset as a share of the free room beside the symbol
    double offsetY = 0.0;
};

class CameraSimulation final {
public:
    CameraSimulation(OpticalConditions conditions, CameraTiming timing, std::uint32_t seed);

    /// Picture `index` of the camera (from 0), taken of `screen` at its time; the pose is drawn from the
    /// conditions. Pictures must be taken in increasing order of index.
    Picture takePicture(PresenterScreen& screen, std::uint64_t index);

    /// The start of picture `index`'s exposure, in milliseconds since the presentation began.
    double exposureStartMs(std::uint64_t index) const;

    /// One picture of the given frames in the given pose, with this camera's blur, noise and compression.
    Picture photograph(const std::vector<ExposedFrame>& frames, const ScreenPose& pose);

    /// A pose drawn from the conditions.
    ScreenPose randomPose();

    const OpticalConditions& conditions() const { return _conditions; }

private:
    void addNoise(std::vector<float>& light);

    OpticalConditions _conditions;
    CameraTiming _timing;
    std::mt19937 _random;
    std::vector<float> _noiseTable;
    std::uint64_t _noiseState;
};

/// Gaussian blur of standard deviation `sigma` (separable, edges clamped); `sigma` 0 changes nothing.
void gaussianBlur(std::vector<float>& light, int width, int height, double sigma);

/// The picture after a JPEG round trip at `quality`; the picture itself when it cannot be compressed.
Picture jpegRoundTrip(const Picture& picture, int quality);

} // namespace vexaqr::test
