// CameraSource: where a scanner's pictures come from. It reports, on the main queue, the texts of the QR
// symbols it recognised in each picture, one report per picture (also for pictures with no symbol).
//
// Sources are created and driven on the main queue's thread.
#pragma once

#include <vexaqr/Error.hpp>
#include <vexaqr/Outcome.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vexaqr {

class CameraSource {
public:
    /// The symbol texts seen in one picture, in no particular order.
    using Report = std::function<void(const std::vector<std::string>& symbols)>;

    virtual ~CameraSource() = default;

    /// Where reports go from now on; set it before startRunning().
    virtual void setReportHandler(Report report) = 0;

    virtual bool isRunning() const = 0;

    /// Starts (or resumes) delivering pictures; does nothing when running.
    virtual void startRunning() = 0;

    /// Pauses; no report is delivered after this returns until the next startRunning().
    virtual void stopRunning() = 0;

    /// True once no further picture can come (a finite sequence shown to its end); cameras never end.
    virtual bool isExhausted() const { return false; }
};

/// The outcome of opening a camera source: a source, or the error saying why there is none.
using OpenedCameraSource = Outcome<std::shared_ptr<CameraSource>, Error>;

/// Error domain and codes of the camera sources.
namespace CameraError {
inline constexpr const char* kDomain = "VXACamera";
inline constexpr std::int64_t kCannotOpen = 1;
inline constexpr std::int64_t kNotACamera = 2;
inline constexpr std::int64_t kUnsupportedFormat = 3;
inline constexpr std::int64_t kNoPictures = 4;
} // namespace CameraError

} // namespace vexaqr
