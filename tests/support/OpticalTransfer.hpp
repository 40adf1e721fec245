// OpticalTransfer: one transfer from a presenter's screen to a scanner through the simulated camera. Every
// picture goes through the real detector, then the real scanner and its frame reader; the run ends when the
// scanner hands over a record or the screen time runs out.
#pragma once

#include "support/CameraSimulation.hpp"
#include "support/PresenterScreen.hpp"

#include "account/sdk/AppDataService.hpp"
#include <vexaqr/Bytes.hpp>
#include <vexaqr/payload/VXAData.hpp>
#include <vexaqr/transport/Transport.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace vexaqr::test {

struct OpticalTransferSetup {
    /// The bytes presented: a sealed payload record, so that the scanner can open it.
    Bytes record;
    bool luby = true;
    LTDecoderKind decoder = LTDecoderKind::peeling;
    OpticalConditions conditions = OpticalConditions::mild();
    CameraTiming timing;
    /// Seeds the camera and the presenter's LT stream.
    std::uint32_t seed = 1;
    double screenSecondsLimit = 20.0;
    int canvasWidth = 600;
    int canvasHeight = 600;
    /// Starts the presentation; empty: presentVexaQr(record, luby, 0) with the LT stream seeded by `seed`.
    PresenterScreen::Start start;
    /// The keys the scanner opens the record with.
    std::shared_ptr<AppDataServiceProtocol> keys;
};

struct OpticalTransferResult {
    bool completed = false;
    /// The scanner's record of the completed transfer.
    std::optional<VXAData> record;
    /// From the start of the presentation to the end of the exposure that completed it (or the limit).
    double screenSeconds = 0.0;
    std::uint64_t pictures = 0;
    /// Pictures in which the detector found exactly one symbol.
    std::uint64_t picturesRead = 0;
    /// Symbols the detector found, all pictures together.
    std::uint64_t symbolsRead = 0;
    /// CPU time spent in the detector, all pictures together.
    double detectionCpuSeconds = 0.0;
    std::uint64_t framesShown = 0;
};

/// Runs the transfer described by `setup` to completion or to its screen-time limit.
OpticalTransferResult runOpticalTransfer(const OpticalTransferSetup& setup);

/// `length` bytes of a fixed pattern that does not repeat within 251 bytes.
Bytes patternedContent(std::size_t length);

/// CPU time of the calling thread, in seconds.
double threadCpuSeconds();

} // namespace vexaqr::test
