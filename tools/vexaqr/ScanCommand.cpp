// vexaqr scan: pictures of an animated QR code (PNG files, folders of them, animated GIFs, or a camera)
// read by the scanner view into verified payload records.
#include "CommandRegistry.hpp"
#include "DirectoryStores.hpp"
#include "PayloadFiles.hpp"
#include "PemKeysAppDataService.hpp"
#include "ProgressBar.hpp"
#include "RecordPrinter.hpp"

#include <vexaqr/platform/RunLoop.hpp>
#include <vexaqr/views/PictureSequenceSource.hpp>
#include <vexaqr/views/V4l2CameraSource.hpp>
#include <vexaqr/views/VXAScannerView.hpp>

#include <nlohmann/json.hpp>

#include <iostream>
#include <memory>

namespace {

using namespace vexaqr;

struct ScanOptions {
    std::vector<std::string> inputs;
    std::string camera;
    std::string partnerPublicKey;
    std::string appKey;
    std::string partnerKey;
    std::string dataDirectory;
    bool json = false;
    std::string contentOut;
    bool keepScanning = false;
    double seconds = 0.0;
    std::string decoder = "peeling";
    bool stats = false;
};

void fail(const std::string& message) {
    std::cerr << "vexaqr scan: " << message << '\n';
}

// A key named on the command line must be readable; no name means the stored key.
bool loadKey(const std::string& path, KeyHandle& key) {
    if (path.empty()) {
        return true;
    }
    key = cli::readPemKey(path); // says why when there is none
    return key != nullptr;
}

// Keys named on the command line, else those stored in `stored`; null when a named key is unreadable.
std::shared_ptr<AppDataServiceProtocol> keysFor(const ScanOptions& options,
                                                std::shared_ptr<AppDataServiceProtocol> stored) {
    KeyHandle appKey, partnerPublicKey, partnerKey;
    if (!loadKey(options.appKey, appKey) || !loadKey(options.partnerPublicKey, partnerPublicKey) ||
        !loadKey(options.partnerKey, partnerKey)) {
        return nullptr;
    }
    return std::make_shared<cli::PemKeysAppDataService>(std::move(stored), appKey, partnerPublicKey, partnerKey);
}

// What the scan saw, for the exit status.
struct Outcome {
    int records = 0;
    int failures = 0;
};

void report(const std::optional<VXAData>& record, const ScanOptions& options, Outcome& outcome) {
    ++outcome.records;
    if (!record) {
        fail("a transfer completed, but there is no partner public key to verify it (--partner-pub)");
        ++outcome.failures;
        return;
    }
    if (options.json) {
        std::cout << cli::recordJson(*record).dump() << std::endl;
    } else {
        cli::printRecordText(*record, std::cout);
        std::cout.flush();
    }
    outcome.failures += record->isValid ? 0 : 1;
    if (!options.contentOut.empty() && record->actualVxaData &&
        !cli::writeWholeFile(options.contentOut, *record->actualVxaData)) {
        ++outcome.failures; // the reason is already on standard error
    }
}

// One JSON object on standard error: what the scanner was fed until a completion (or the end).
void writeStats(const ScanOptions& options, std::uint64_t pictures, std::uint64_t frames, bool completed) {
    const nlohmann::json stats = {
        {"decoder", options.decoder}, {"pictures", pictures}, {"frames", frames}, {"completed", completed}};
    std::cerr << stats.dump() << std::endl;
}

int scan(const ScanOptions& options) {
    std::optional<cli::DirectoryStores> named;
    if (!options.dataDirectory.empty()) {
        named.emplace(options.dataDirectory);
    }
    const auto keys = keysFor(options, named ? named->appData() : AppDataService::standard());
    if (!keys) {
        return 1;
    }
    auto loop = std::make_shared<RunLoop>();
    const auto opened = options.camera.empty() ? PictureSequenceSource::open(options.inputs, loop)
                                               : V4l2CameraSource::open(options.camera, loop);
    if (!opened.source) {
        fail(opened.error->message);
        return 1;
    }
    auto view = std::make_shared<VXAScannerView>([source = opened.source] { return source; }, keys);
    view->setLTDecoder(ltDecoderKindFromName(options.decoder).value_or(LTDecoderKind::peeling));
    cli::ProgressBar bar;
    Outcome outcome;
    bool done = false;
    std::uint64_t picturesBefore = 0; // pictures up to the previous completion
    view->startScanning(
        [&](std::optional<VXAData> record) {
            bar.finish();
            if (options.stats) {
                // Counted until this completion: the pictures since the previous one, the frames of this transfer.
                writeStats(options, view->picturesSeen() - picturesBefore, view->framesFed(), true);
                picturesBefore = view->picturesSeen();
            }
            report(record, options, outcome);
            if (!options.keepScanning) {
                done = true;
                view->stopScanning();
            }
        },
        [&bar, &view](double, VxaAlgorithm algorithm) { bar.show(view->estimatedProgress(), algorithm); });
    const auto limit =
        options.seconds > 0.0
            ? std::chrono::duration_cast<RunLoop::Clock::duration>(std::chrono::duration<double>(options.seconds))
            : RunLoop::Clock::duration(std::chrono::hours(24 * 365));
    loop->runUntil([&] { return done || opened.source->isExhausted(); }, limit);
    view->stopScanning();
    bar.finish();
    if (outcome.records == 0) {
        if (options.stats) {
            writeStats(options, view->picturesSeen(), view->framesFed(), false);
        }
        fail("no transfer completed");
        return 1;
    }
    return outcome.failures == 0 ? 0 : 1;
}

const bool kRegistered = vexaqr::cli::registerCommand([](CLI::App& root, int& exitCode) {
    auto options = std::make_shared<ScanOptions>();
    auto* command = root.add_subcommand("scan", "Read an animated QR code from pictures or a camera into a record");
    auto* inputs = command->add_option("INPUT", options->inputs, "PNG files, GIF files, or folders of them");
    auto* camera = command->add_option("--camera", options->camera, "A video device such as /dev/video0");
    inputs->excludes(camera);
    command->add_option("--partner-pub", options->partnerPublicKey, "Partner public key (PEM); default: stored");
    command->add_option("--app-key", options->appKey, "App private key (PEM) for secured records; default: stored");
    command->add_option("--partner-key", options->partnerKey, "Partner private key (PEM); default: stored");
    command->add_option("--data-dir", options->dataDirectory, "Where the stored keys are; default: SDK data folder");
    command->add_flag("--json", options->json, "Each record as one JSON object named after its properties");
    command->add_option("--content-out", options->contentOut, "Write the plain content of the last record here");
    command->add_flag("--keep-scanning", options->keepScanning, "Report every completed transfer, not the first");
    command->add_option("--seconds", options->seconds, "Stop after this time (a camera never ends by itself)")
        ->check(CLI::PositiveNumber);
    command->add_option("--decoder", options->decoder, "LT decoder (ml completes with fewer frames)")
        ->check(CLI::IsMember({"peeling", "ml"}))
        ->capture_default_str();
    command->add_flag("--stats", options->stats,
                      "On each completion (or at the end), one JSON object on stderr: pictures and frames fed");
    command->callback([options, command, &exitCode] {
        if (options->inputs.empty() && options->camera.empty()) {
            std::cerr << command->help() << '\n';
            exitCode = 2;
            return;
        }
        exitCode = scan(*options);
    });
});

} // namespace
