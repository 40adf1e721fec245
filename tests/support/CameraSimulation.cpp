#include "support/CameraSimulation.hpp"

#include "codec/platform/CHandle.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace vexaqr::test {

namespace {

constexpr double kPi = 3.14159265358979323846;
// What the camera makes of the screen and the room: a lit screen never reaches white, its black glows.
constexpr float kScreenBlack = 30.0f;
constexpr float kScreenWhite = 215.0f;
constexpr float kBezel = 18.0f;
constexpr float kRoomDark = 80.0f;
constexpr float kRoomLight = 130.0f;
constexpr double kBezelWidth = 0.06; // share of the screen side
constexpr std::size_t kNoiseTableSize = 1 << 16;

double radians(double degrees) {
    return degrees * kPi / 180.0;
}

using Matrix3 = std::array<std::array<double, 3>, 3>;

Matrix3 multiply(const Matrix3& a, const Matrix3& b) {
    Matrix3 product{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            for (int k = 0; k < 3; ++k) {
                product[i][j] += a[i][k] * b[k][j];
            }
        }
    }
    return product;
}

Matrix3 inverse(const Matrix3& m) {
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    Matrix3 result{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            // The cofactor of (j, i), by cyclic indices.
            const int r1 = (j + 1) % 3, r2 = (j + 2) % 3, c1 = (i + 1) % 3, c2 = (i + 2) % 3;
            result[i][j] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
        }
    }
    return result;
}

// Rotation by `angle` about the unit axis (ax, ay, 0).
Matrix3 rotationAboutPlaneAxis(double ax, double ay, double angle) {
    const double c = std::cos(angle), s = std::sin(angle), t = 1.0 - c;
    return {{{t * ax * ax + c, t * ax * ay, s * ay}, {t * ax * ay, t * ay * ay + c, -s * ax}, {-s * ay, s * ax, c}}};
}

Matrix3 rotationInPlane(double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    return {{{c, -s, 0.0}, {s, c, 0.0}, {0.0, 0.0, 1.0}}};
}

// The screen's extent in its own coordinates: half its width and half its height, the longer side 1.
struct ScreenShape {
    double halfWidth = 0.5;
    double halfHeight = 0.5;
};

ScreenShape shapeOf(const std::vector<ExposedFrame>& frames) {
    if (frames.empty() || frames.front().picture->empty()) {
        return {};
    }
    const double width = frames.front().picture->width, height = frames.front().picture->height;
    const double longer = std::max(width, height);
    return {0.5 * width / longer, 0.5 * height / longer};
}

// Maps camera pixels to screen coordinates: (u, v) within ±shape is the presenter's canvas.
Matrix3 pixelToScreen(const OpticalConditions& conditions, const ScreenPose& pose, const ScreenShape& shape) {
    const double focal = conditions.width; // a field of view of about 53° across
    const double shorter = std::min(conditions.width, conditions.height);
    // The screen at its largest within symbolShare of the picture's shorter side (and of its width).
    const double side = conditions.symbolShare *
                        std::min(shorter / (2.0 * shape.halfHeight), conditions.width / (2.0 * shape.halfWidth));
    const double distance = focal / side; // the screen's longer side appears `side` pixels long when square-on
    const double offsetX = pose.offsetX * (conditions.width - 2.0 * shape.halfWidth * side) / 2.0 * distance / focal;
    const double offsetY = pose.offsetY * (shorter - 2.0 * shape.halfHeight * side) / 2.0 * distance / focal;
    const Matrix3 rotation = multiply(
        rotationAboutPlaneAxis(std::cos(radians(pose.tiltAxis)), std::sin(radians(pose.tiltAxis)), radians(pose.tilt)),
        rotationInPlane(radians(pose.roll)));
    // Columns: the screen's u axis, its v axis and its centre, in camera space.
    const Matrix3 placement{{{rotation[0][0], rotation[0][1], offsetX},
                             {rotation[1][0], rotation[1][1], offsetY},
                             {rotation[2][0], rotation[2][1], distance}}};
    const Matrix3 intrinsics{{{focal, 0.0, conditions.width / 2.0}, {0.0, focal, conditions.height / 2.0}, {0, 0, 1}}};
    return inverse(multiply(intrinsics, placement));
}

float bilinear(const Picture& picture, double x, double y) {
    x = std::clamp(x, 0.0, picture.width - 1.0);
    y = std::clamp(y, 0.0, picture.height - 1.0);
    const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
    const int x1 = std::min(x0 + 1, picture.width - 1), y1 = std::min(y0 + 1, picture.height - 1);
    const double fx = x - x0, fy = y - y0;
    const double top = picture.at(x0, y0) * (1 - fx) + picture.at(x1, y0) * fx;
    const double bottom = picture.at(x0, y1) * (1 - fx) + picture.at(x1, y1) * fx;
    return static_cast<float>(top * (1 - fy) + bottom * fy);
}

// The light of the screen at (u, v): the exposed frames mixed by time, a blank screen for the rest.
float screenLight(const std::vector<ExposedFrame>& frames, const ScreenShape& shape, double u, double v) {
    float shown = 0.0f;
    for (const auto& frame : frames) {
        const double x = (u / (2.0 * shape.halfWidth) + 0.5) * frame.picture->width - 0.5;
        const double y = (v / (2.0 * shape.halfHeight) + 0.5) * frame.picture->height - 0.5;
        shown += static_cast<float>(frame.weight) * bilinear(*frame.picture, x, y);
    }
    return kScreenBlack + (kScreenWhite - kScreenBlack) * shown / 255.0f;
}

std::vector<float> gaussianKernel(double sigma) {
    const int radius = static_cast<int>(std::ceil(3.0 * sigma));
    std::vector<float> kernel(static_cast<std::size_t>(2 * radius + 1));
    double sum = 0.0;
    for (int i = -radius; i <= radius; ++i) {
        const double weight = std::exp(-(i * i) / (2.0 * sigma * sigma));
        kernel[static_cast<std::size_t>(i + radius)] = static_cast<float>(weight);
        sum += weight;
    }
    for (auto& weight : kernel) {
        weight = static_cast<float>(weight / sum);
    }
    return kernel;
}

void blurRows(const std::vector<float>& source, std::vector<float>& target, int width, int height,
              const std::vector<float>& kernel) {
    const int radius = static_cast<int>(kernel.size() / 2);
    for (int y = 0; y < height; ++y) {
        const float* row = &source[static_cast<std::size_t>(y) * width];
        float* out = &target[static_cast<std::size_t>(y) * width];
        for (int x = 0; x < width; ++x) {
            float sum = 0.0f;
            for (int k = -radius; k <= radius; ++k) {
                sum += kernel[static_cast<std::size_t>(k + radius)] * row[std::clamp(x + k, 0, width - 1)];
            }
            out[x] = sum;
        }
    }
}

// Row by row, so that the inner loop runs along memory.
void blurColumns(const std::vector<float>& source, std::vector<float>& target, int width, int height,
                 const std::vector<float>& kernel) {
    const int radius = static_cast<int>(kernel.size() / 2);
    for (int y = 0; y < height; ++y) {
        float* out = &target[static_cast<std::size_t>(y) * width];
        std::fill(out, out + width, 0.0f);
        for (int k = -radius; k <= radius; ++k) {
            const float weight = kernel[static_cast<std::size_t>(k + radius)];
            const float* row = &source[static_cast<std::size_t>(std::clamp(y + k, 0, height - 1)) * width];
            for (int x = 0; x < width; ++x) {
                out[x] += weight * row[x];
            }
        }
    }
}

// libjpeg reports fatal errors through a callback that must not return; it jumps back to the caller.
struct JpegErrorJump {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void jumpOnJpegError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrorJump*>(info->err)->jump, 1);
}

// Compresses into a buffer libjpeg allocates (freed by the caller); false on a libjpeg error. Only plain
// data lives in this frame, so the jump out of libjpeg skips no destructor.
bool compressGrey(const Picture& picture, int quality, unsigned char** output, unsigned long* size) {
    jpeg_compress_struct info;
    JpegErrorJump error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jumpOnJpegError;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, output, size);
    info.image_width = static_cast<JDIMENSION>(picture.width);
    info.image_height = static_cast<JDIMENSION>(picture.height);
    info.input_components = 1;
    info.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row =
            const_cast<JSAMPROW>(&picture.pixels[static_cast<std::size_t>(info.next_scanline) * picture.width]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

// Decompresses into `picture`, which has the expected size; false on a libjpeg error.
bool decompressGrey(const unsigned char* data, unsigned long size, Picture& picture) {
    jpeg_decompress_struct info;
    JpegErrorJump error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jumpOnJpegError;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, size);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_GRAYSCALE;
    jpeg_start_decompress(&info);
    if (static_cast<int>(info.output_width) != picture.width ||
        static_cast<int>(info.output_height) != picture.height) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = &picture.pixels[static_cast<std::size_t>(info.output_scanline) * picture.width];
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

} // namespace

OpticalConditions OpticalConditions::clean() {
    OpticalConditions conditions;
    conditions.name = "clean";
    return conditions;
}

OpticalConditions OpticalConditions::mild() {
    OpticalConditions conditions;
    conditions.name = "mild";
    conditions.maxTilt = 10.0;
    conditions.maxRoll = 10.0;
    conditions.blurSigma = 1.0;
    conditions.noiseSigma = 6.0;
    conditions.jpegQuality = 80;
    return conditions;
}

OpticalConditions OpticalConditions::harsh() {
    OpticalConditions conditions;
    conditions.name = "harsh";
    conditions.maxTilt = 20.0;
    conditions.maxRoll = 20.0;
    conditions.blurSigma = 2.0;
    conditions.noiseSigma = 12.0;
    conditions.jpegQuality = 80;
    return conditions;
}

void gaussianBlur(std::vector<float>& light, int width, int height, double sigma) {
    if (!(sigma > 0.0)) {
        return;
    }
    const auto kernel = gaussianKernel(sigma);
    std::vector<float> rows(light.size());
    blurRows(light, rows, width, height, kernel);
    blurColumns(rows, light, width, height, kernel);
}

Picture jpegRoundTrip(const Picture& picture, int quality) {
    if (picture.empty() || quality < 1 || quality > 100) {
        return picture;
    }
    unsigned char* compressed = nullptr;
    unsigned long size = 0;
    const bool done = compressGrey(picture, quality, &compressed, &size);
    const CHandle<unsigned char, std::free> owned(compressed);
    Picture result(picture.width, picture.height);
    if (!done || !decompressGrey(owned.get(), size, result)) {
        return picture;
    }
    return result;
}

CameraSimulation::CameraSimulation(OpticalConditions conditions, CameraTiming timing, std::uint32_t seed)
    : _conditions(std::move(conditions)), _timing(timing), _random(seed), _noiseTable(kNoiseTableSize),
      _noiseState(0x9E3779B97F4A7C15ull ^ seed) {
    std::normal_distribution<float> normal(0.0f, 1.0f);
    for (auto& value : _noiseTable) {
        value = normal(_random);
    }
}

double CameraSimulation::exposureStartMs(std::uint64_t index) const {
    return _timing.firstPictureMs + static_cast<double>(index) * 1000.0 / _timing.picturesPerSecond;
}

ScreenPose CameraSimulation::randomPose() {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_real_distribution<double> signedUnit(-1.0, 1.0);
    ScreenPose pose;
    pose.tilt = _conditions.maxTilt * unit(_random);
    pose.tiltAxis = 360.0 * unit(_random);
    pose.roll = _conditions.maxRoll * signedUnit(_random);
    pose.offsetX = 0.5 * signedUnit(_random);
    pose.offsetY = 0.5 * signedUnit(_random);
    return pose;
}

Picture CameraSimulation::takePicture(PresenterScreen& screen, std::uint64_t index) {
    const double start = exposureStartMs(index);
    const auto frames = screen.exposure(start, start + _timing.exposureSeconds * 1000.0);
    return photograph(frames, randomPose());
}

Picture CameraSimulation::photograph(const std::vector<ExposedFrame>& frames, const ScreenPose& pose) {
    const int width = _conditions.width, height = _conditions.height;
    const ScreenShape shape = shapeOf(frames);
    const Matrix3 toScreen = pixelToScreen(_conditions, pose, shape);
    std::vector<float> light(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            const double w = toScreen[2][0] * px + toScreen[2][1] * py + toScreen[2][2];
            const double u = (toScreen[0][0] * px + toScreen[0][1] * py + toScreen[0][2]) / w;
            const double v = (toScreen[1][0] * px + toScreen[1][1] * py + toScreen[1][2]) / w;
            const double beyond = std::max(std::abs(u) - shape.halfWidth, std::abs(v) - shape.halfHeight);
            float value;
            if (beyond <= 0.0) {
                value = screenLight(frames, shape, u, v);
            } else if (beyond <= kBezelWidth) {
                value = kBezel;
            } else {
                value = kRoomDark + (kRoomLight - kRoomDark) * static_cast<float>(x) / static_cast<float>(width);
            }
            light[static_cast<std::size_t>(y) * width + x] = value;
        }
    }
    gaussianBlur(light, width, height, _conditions.blurSigma);
    addNoise(light);
    Picture picture(width, height);
    for (std::size_t i = 0; i < light.size(); ++i) {
        picture.pixels[i] = static_cast<std::uint8_t>(std::clamp(std::lround(light[i]), 0L, 255L));
    }
    return jpegRoundTrip(picture, _conditions.jpegQuality);
}

// Draws from a table of normal deviates with a cheap generator: a full normal draw per pixel would cost
// more than everything else in the picture.
void CameraSimulation::addNoise(std::vector<float>& light) {
    if (!(_conditions.noiseSigma > 0.0)) {
        return;
    }
    const auto sigma = static_cast<float>(_conditions.noiseSigma);
    for (auto& value : light) {
        _noiseState ^= _noiseState >> 12; // xorshift64*
        _noiseState ^= _noiseState << 25;
        _noiseState ^= _noiseState >> 27;
        const std::uint64_t draw = _noiseState * 0x2545F4914F6CDD1Dull;
        value += sigma * _noiseTable[(draw >> 40) & (kNoiseTableSize - 1)];
    }
}

} // namespace vexaqr::test
