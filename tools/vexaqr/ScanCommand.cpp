// vexaqr scan: pictures of an animated QR code (PNG files, folders of them, animated GIFs, or a camera)
// read by a synchronous receiver into verified payload records.
#include "CommandRegistry.hpp"
#include "PayloadFiles.hpp"
#include "ProgressBar.hpp"
#include "RecordPrinter.hpp"

#include "account/keys/KeyStore.hpp"
#include "account/sdk/AppDataService.hpp"
#include "codec/pictures/V4l2CameraSource.hpp"
#include <vexaqr/platform/RunLoop.hpp>
#include <vexaqr/sdk/Installation.hpp>
#include <vexaqr/sync/Receiver.hpp>

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
    bool showSecrets = false;
    std::string contentOut;
    std::string out;
    bool keepScanning = false;
    double seconds = 0.0;
    std::string decoder = "ml";
    bool stats = false;
};

void fail(const std::string& message) {
    std::cerr << "vexaqr scan: " << message << '\n';
}

// Keys named on the command line; the roles not named come from the stored keys.
std::optional<Keys> keysFor(const ScanOptions& options) {
    auto named = Keys::fromPemFiles({.partnerPublic = options.partnerPublicKey,
                                     .appPrivate = options.appKey,
                                     .partnerPrivate = options.partnerKey});
    if (!named) {
        fail(named.failure().message);
        return std::nullopt;
    }
    Keys keys = *named;
    if (keys.partnerPublic && keys.appPrivate && keys.partnerPrivate) {
        return keys;
    }
    const auto installation =
        options.dataDirectory.empty() ? Installation::standard() : Installation::inDirectory(options.dataDirectory);
    // A record cannot be verified without the partner's key: an unusable store is named now, not blamed
    // later on a missing key.
    if (auto opened = installation->keyStore()->opened(); !opened && !keys.partnerPublic) {
        fail("cannot use the stored keys: " + opened.failure().message);
        return std::nullopt;
    }
    const auto stored = installation->appData();
    keys.partnerPublic = keys.partnerPublic ? keys.partnerPublic : stored->getPartnerPublicKey();
    keys.appPrivate = keys.appPrivate ? keys.appPrivate : stored->getClientPrivateKey();
    keys.partnerPrivate = keys.partnerPrivate ? keys.partnerPrivate : stored->getPartnerPrivateKey();
    return keys;
}

// What the scan saw, for the exit status.
struct Outcome {
    int records = 0;
    int failures = 0;
};

void printRecord(const VXAData& record, const ScanOptions& options) {
    if (options.json) {
        std::cout << cli::recordJson(record, cli::secretsFor(options.showSecrets)).dump() << std::endl;
    } else {
        cli::printRecordText(record, std::cout, cli::secretsFor(options.showSecrets));
        std::cout.flush();
    }
}

// With --out: the transferred bytes as they are, whatever they hold.
void saveTransfer(const Bytes& transferred, const ScanOptions& options, Outcome& outcome) {
    ++outcome.records;
    if (!cli::writeWholeFile(options.out, transferred)) {
        ++outcome.failures; // the reason is already on standard error
        return;
    }
    if (options.json) {
        std::cout << nlohmann::ordered_json{{"out", options.out}, {"bytes", transferred.size()}}.dump() << std::endl;
    } else {
        std::cerr << "vexaqr scan: " << transferred.size() << " bytes written to " << options.out << '\n';
    }
}

void report(const ReceivedRecord& received, const ScanOptions& options, Outcome& outcome) {
    ++outcome.records;
    const VXAData* record = received ? &*received : (received.failure().record ? &*received.failure().record : nullptr);
    if (record) {
        printRecord(*record, options);
    }
    if (!received) {
        // Bytes that are no record at all were most likely a file sent with `present`.
        const bool plainBytes = received.failure().reason == FailureReason::unreadableRecord && !record;
        fail(received.failure().message + (plainBytes ? "; `vexaqr scan --out FILE` saves them" : ""));
        ++outcome.failures;
    }
    if (!options.contentOut.empty() && record && record->actualVxaData &&
        !cli::writeWholeFile(options.contentOut, *record->actualVxaData, true)) {
        ++outcome.failures; // the reason is already on standard error
    }
}

// Feeds `receiver` one picture's symbols at a time; true while scanning goes on.
class ScanSession {
public:
    ScanSession(const ScanOptions& options, Receiver& receiver) : _options(options), _receiver(receiver) {}

    bool feed(const std::optional<ReceivedRecord>& received) {
        if (_receiver.mode()) {
            _bar.show(_receiver.estimatedProgress(), *_receiver.mode());
        }
        if (!received) {
            return true;
        }
        _bar.finish();
        writeStats(true);
        if (_options.out.empty()) {
            report(*received, _options, outcome);
        } else {
            saveTransfer(_receiver.lastTransfer(), _options, outcome);
        }
        return _options.keepScanning;
    }

    /// The exit status; `note` says what was passed over on the way.
    int finish(const std::string& note = {}) {
        _bar.finish();
        if (outcome.records == 0) {
            writeStats(false);
            fail("no transfer completed: " + _receiver.incomplete().message + (note.empty() ? "" : "; " + note));
            return 1;
        }
        if (!note.empty()) {
            std::cerr << "vexaqr scan: " << note << '\n';
        }
        return outcome.failures == 0 ? 0 : 1;
    }

    Outcome outcome;

private:
    // With --stats, one JSON object on standard error: the pictures and frames fed since the previous
    // completion (or the start) until this one (or the end).
    void writeStats(bool completed) {
        if (!_options.stats) {
            return;
        }
        const nlohmann::ordered_json stats = {{"decoder", _options.decoder},
                                              {"pictures", _receiver.picturesFed() - _picturesBefore},
                                              {"frames", _receiver.framesFed() - _framesBefore},
                                              {"completed", completed}};
        std::cerr << stats.dump() << std::endl;
        _picturesBefore = _receiver.picturesFed();
        _framesBefore = _receiver.framesFed();
    }

    const ScanOptions& _options;
    Receiver& _receiver;
    cli::ProgressBar _bar;
    std::uint64_t _picturesBefore = 0;
    std::uint64_t _framesBefore = 0;
};

int scanCamera(const ScanOptions& options, ScanSession& session, Receiver& receiver) {
    auto loop = std::make_shared<RunLoop>();
    const auto opened = V4l2CameraSource::open(options.camera, loop);
    if (!opened) {
        fail(opened.failure().message);
        return 1;
    }
    bool done = false;
    opened.value()->setReportHandler([&](const std::vector<std::string>& symbols) {
        if (!done && !session.feed(receiver.feedSymbols(symbols))) {
            done = true;
        }
    });
    opened.value()->startRunning();
    const auto limit =
        options.seconds > 0.0
            ? std::chrono::duration_cast<RunLoop::Clock::duration>(std::chrono::duration<double>(options.seconds))
            : RunLoop::Clock::duration(std::chrono::hours(24 * 365));
    loop->runUntil([&] { return done; }, limit);
    opened.value()->stopRunning();
    return session.finish();
}

int scanFiles(const ScanOptions& options, ScanSession& session, Receiver& receiver) {
    const auto read = readPictureFiles(
        options.inputs, [&](const Picture& picture) { return session.feed(receiver.feedPicture(picture)); });
    if (const auto failed = read.unreadable()) {
        fail(failed->message);
        return 1;
    }
    return session.finish(read.skippedNote());
}

int scan(const ScanOptions& options) {
    // The bytes alone need no keys: a file sent as pictures is no record.
    const auto keys = options.out.empty() ? keysFor(options) : std::optional<Keys>(Keys{});
    if (!keys) {
        return 1;
    }
    Receiver receiver(*keys, ltDecoderKindFromName(options.decoder).value_or(LTDecoderKind::maximumLikelihood));
    ScanSession session(options, receiver);
    return options.camera.empty() ? scanFiles(options, session, receiver) : scanCamera(options, session, receiver);
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
    command->add_flag("--show-secrets", options->showSecrets, "Also print each record's AES content key");
    auto* contentOut =
        command->add_option("--content-out", options->contentOut, "Write the plain content of the last record here");
    auto* out = command->add_option("--out", options->out,
                                    "Write the transferred bytes as they are (any file sent with present); no keys");
    out->excludes(contentOut);
    command->add_flag("--keep-scanning", options->keepScanning, "Report every completed transfer, not the first")
        ->excludes(out);
    command->add_option("--seconds", options->seconds, "Stop after this time (a camera never ends by itself)")
        ->check(CLI::PositiveNumber);
    command->add_option("--decoder", options->decoder, "LT decoder (peeling needs more frames)")
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
