// vexaqr demo: the SDK's main job from end to end, on real QR symbols. In a fresh data directory a
// partner and an application key pair are made and stored, a SECURED record is sealed, presented as an
// animated GIF in each transport mode, watched by a lossy "camera" (frames missed, frames seen twice,
// pictures with no symbol) and scanned with the real detector into the verified record.
#include "CommandRegistry.hpp"
#include "ProgressBar.hpp"
#include "RecordPrinter.hpp"

#include "account/keys/KeychainWrapper.hpp"
#include "account/sdk/AppDataService.hpp"
#include "codec/pictures/GifCanvas.hpp"
#include "codec/pictures/GifFile.hpp"
#include "codec/pictures/PictureSequenceSource.hpp"
#include "codec/pictures/QrRenderer.hpp"
#include "codec/platform/VirtualTimeQueue.hpp"
#include <vexaqr/payload/VXADataWriter.hpp>
#include <vexaqr/platform/RunLoop.hpp>
#include <vexaqr/sdk/Installation.hpp>
#include <vexaqr/views/VXAPresenterView.hpp>
#include <vexaqr/views/VXAScannerView.hpp>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <random>
#include <set>
#include <sstream>

namespace {

using namespace vexaqr;
using Clock = std::chrono::steady_clock;

constexpr int kKeyBits = 2048;
constexpr std::size_t kContentBytes = 4096;
constexpr int kSide = (85 + 2 * QrRenderer::kQuietZone) * 4; // 4 pixels per module of an LT frame's symbol
constexpr double kMissed = 0.2;
constexpr double kSeenTwice = 0.1;
constexpr double kBlankPicture = 0.1;
constexpr int kMaximumLoops = 10; // the GIF plays in a loop until the receiver completes, at most this often
constexpr double kFramesPerSecond = 20.0;

void say(const std::string& line) {
    std::cout << "demo: " << line << std::endl;
}

std::string figure(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// A fresh data directory, removed with everything in it when the demo ends.
class ScratchDirectory {
public:
    ScratchDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vexaqr-demo-XXXXXX").string();
        if (mkdtemp(pattern.data())) {
            _path = pattern;
        }
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        if (!_path.empty()) {
            std::filesystem::remove_all(_path, ignored);
        }
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& path() const { return _path; }

private:
    std::filesystem::path _path;
};

struct Keys {
    RsaKeyPair partner;
    RsaKeyPair application;
};

std::optional<Keys> makeAndStoreKeys(const KeychainWrapper& keychain) {
    auto partner = RsaKey::generatePair(kKeyBits);
    auto application = RsaKey::generatePair(kKeyBits);
    if (!partner || !application) {
        return std::nullopt;
    }
    using Activation::KeyOwner;
    using Activation::KeyType;
    const bool stored =
        keychain.addRsaKey(KeychainWrapper::keyTag(KeyOwner::partnerKey, KeyType::publicKey), partner->publicKey) &&
        keychain.addRsaKey(KeychainWrapper::keyTag(KeyOwner::clientKey, KeyType::privateKey),
                           application->privateKey) &&
        keychain.addRsaKey(KeychainWrapper::keyTag(KeyOwner::clientKey, KeyType::publicKey), application->publicKey);
    return stored ? std::optional<Keys>(Keys{*partner, *application}) : std::nullopt;
}

// A JSON document of `length` bytes: a list of orders.
Bytes sampleContent(std::size_t length) {
    std::string text = "{\"orders\":[";
    for (int i = 1; text.size() + 80 < length; ++i) {
        text += "{\"id\":" + std::to_string(1000 + i) + ",\"item\":\"part-" + std::to_string(i * 37 % 997) +
                "\",\"quantity\":" + std::to_string(i % 9 + 1) + ",\"status\":\"shipped\"},";
    }
    text.back() = ']';
    text += ",\"note\":\"";
    text.append(length - text.size() - 2, '.');
    text += "\"}";
    return toBytes(text);
}

std::optional<Bytes> sealRecord(const Keys& keys, const Bytes& content) {
    const auto issuer = Uuid::random();
    if (!issuer) {
        return std::nullopt;
    }
    VXADataWriter::Input input;
    input.content = content;
    input.contentType = ContentType::JSON;
    input.vxaType = VxaType::SECURED;
    input.cipherMethod = CipherMethod::RSA2048_AES128_SHA256;
    input.issuerId = *issuer;
    input.timestamp = static_cast<std::uint32_t>(std::time(nullptr));
    input.partnerPrivateKey = keys.partner.privateKey;
    input.keyBlockPublicKey = keys.application.publicKey;
    return VXADataWriter::write(input);
}

// Frames for one and a half passes over the data: a receiver that misses some needs more than one.
std::uint64_t framesToPresent(std::size_t bytes) {
    const auto blocks = static_cast<std::uint64_t>((bytes + 583) / 584);
    return blocks + (blocks + 1) / 2 + 2;
}

bool presentAsGif(const Bytes& record, bool doLuby, const std::string& path, std::uint64_t frames) {
    std::shared_ptr<GifCanvas> canvas = GifCanvas::create(path, kSide);
    if (!canvas) {
        return false;
    }
    auto queue = std::make_shared<VirtualTimeQueue>();
    auto view = std::make_shared<VXAPresenterView>(canvas, queue);
    const bool presented = view->presentVexaQr(record, doLuby, 0.0).ok();
    queue->runUntil([&] { return view->framesDrawn() >= frames; });
    return canvas->finish() && presented && view->framesDrawn() == frames;
}

// What the camera saw, and which screen frame it was looking at last.
struct CameraView {
    std::vector<PictureSequenceSource::Loader> pictures;
    std::shared_ptr<std::uint64_t> screenFrame = std::make_shared<std::uint64_t>(0);
    std::shared_ptr<std::uint64_t> symbolPictures = std::make_shared<std::uint64_t>(0);
    std::shared_ptr<std::set<std::uint64_t>> framesRead = std::make_shared<std::set<std::uint64_t>>();
};

// The GIF playing in a loop in front of a camera that misses some frames, sees some twice, and now and
// then takes a picture between two frames that shows no symbol.
CameraView lossyCamera(const std::shared_ptr<std::vector<GifFrame>>& frames) {
    std::mt19937 random(std::random_device{}());
    std::bernoulli_distribution missed(kMissed), seenTwice(kSeenTwice), blank(kBlankPicture);
    CameraView camera;
    auto blankPicture = std::make_shared<Picture>(kSide, kSide);
    std::uint64_t shown = 0;
    for (int loop = 0; loop < kMaximumLoops; ++loop) {
        for (std::size_t i = 0; i < frames->size(); ++i) {
            ++shown;
            if (blank(random)) {
                camera.pictures.push_back([blankPicture] { return std::optional<Picture>(*blankPicture); });
            }
            if (missed(random)) {
                continue;
            }
            const int copies = seenTwice(random) ? 2 : 1;
            for (int copy = 0; copy < copies; ++copy) {
                camera.pictures.push_back([frames, i, shown, screen = camera.screenFrame,
                                           symbolPictures = camera.symbolPictures, read = camera.framesRead] {
                    *screen = shown;
                    ++*symbolPictures;
                    read->insert(shown);
                    return std::optional<Picture>((*frames)[i].picture);
                });
            }
        }
    }
    return camera;
}

struct ScanResult {
    std::optional<VXAData> record;
    std::size_t pictures = 0;
    std::uint64_t screenFrames = 0;
    std::uint64_t symbolPictures = 0;
    std::size_t framesRead = 0;
    Clock::duration detection{};
    Clock::duration total{};
};

ScanResult scanUntilFirstRecord(CameraView camera, const std::shared_ptr<AppDataServiceProtocol>& storedKeys) {
    auto loop = std::make_shared<RunLoop>();
    auto source = std::make_shared<PictureSequenceSource>(std::move(camera.pictures), loop);
    auto view = std::make_shared<VXAScannerView>([source] { return source; }, storedKeys);
    view->setLTDecoder(LTDecoderKind::maximumLikelihood);
    ScanResult result;
    bool done = false;
    cli::ProgressBar bar; // the reader's estimate: how long to keep the camera on the screen
    view->startScanning(
        [&](std::optional<VXAData> record) {
            bar.finish();
            result.record = std::move(record);
            done = true;
            view->stopScanning();
        },
        [&bar, &view](double, VxaAlgorithm algorithm) { bar.show(view->estimatedProgress(), algorithm); });
    const auto started = Clock::now();
    loop->runUntil([&] { return done || source->isExhausted(); }, std::chrono::minutes(1));
    result.total = Clock::now() - started;
    result.pictures = source->picturesShown();
    result.detection = source->detectionTime();
    result.screenFrames = *camera.screenFrame;
    result.symbolPictures = *camera.symbolPictures;
    result.framesRead = camera.framesRead->size();
    return result;
}

double milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

void printRecord(const VXAData& record, cli::Secrets secrets) {
    std::ostringstream text;
    cli::printRecordText(record, text, secrets);
    std::istringstream lines(text.str());
    for (std::string line; std::getline(lines, line);) {
        std::cout << "    " << line << '\n';
    }
}

bool runMode(bool doLuby, const Bytes& record, const Bytes& content, const std::filesystem::path& folder,
             const std::shared_ptr<AppDataServiceProtocol>& storedKeys, cli::Secrets secrets) {
    const std::string mode = doLuby ? "luby" : "cyclic";
    const auto gifPath = (folder / (mode + ".gif")).string();
    const auto frameCount = framesToPresent(record.size());
    if (!presentAsGif(record, doLuby, gifPath, frameCount)) {
        say(mode + ": FAILED to write the animated GIF");
        return false;
    }
    auto frames = GifFile::readFrames(gifPath);
    if (!frames) {
        say(mode + ": FAILED to read the animated GIF back");
        return false;
    }
    say(mode + ": presented as a " + std::to_string(frames->size()) + "-frame animated GIF (" + std::to_string(kSide) +
        " x " + std::to_string(kSide) + " pixels, " + std::to_string(frames->front().delay.count()) + " ms a frame, " +
        std::to_string(std::filesystem::file_size(gifPath)) + " bytes), shown in a loop");
    say(mode + ": the camera misses " + figure(kMissed * 100, 0) + "% of the frames, sees " +
        figure(kSeenTwice * 100, 0) + "% twice and takes a picture with no symbol before " +
        figure(kBlankPicture * 100, 0) + "% of them");
    const auto scanned =
        scanUntilFirstRecord(lossyCamera(std::make_shared<std::vector<GifFrame>>(std::move(*frames))), storedKeys);
    if (!scanned.record) {
        say(mode + ": FAILED: no transfer completed in " + std::to_string(scanned.pictures) + " pictures");
        return false;
    }
    say(mode + ": record received:");
    printRecord(*scanned.record, secrets);
    const bool identical = scanned.record->actualVxaData == content && scanned.record->rawData() == record;
    const double pictures = static_cast<double>(std::max<std::size_t>(scanned.pictures, 1));
    say(mode + ": " + std::to_string(record.size()) + " bytes; " + std::to_string(scanned.screenFrames) +
        " frames shown until the transfer completed, " + std::to_string(scanned.framesRead) +
        " of them read by the receiver (in " + std::to_string(scanned.symbolPictures) + " pictures); " +
        figure(static_cast<double>(scanned.screenFrames) / kFramesPerSecond, 2) + " s of screen time at " +
        figure(kFramesPerSecond, 0) + " frames per second");
    say(mode + ": per picture (" + std::to_string(scanned.pictures) +
        " pictures): " + figure(milliseconds(scanned.detection) / pictures, 2) + " ms detection, " +
        figure(milliseconds(scanned.total - scanned.detection) / pictures, 2) + " ms decoding and verifying");
    const bool verified = scanned.record->isValid() && identical;
    say(mode + ": " +
        (verified ? "verified, content identical to what was sealed"
                  : "FAILED: the record did not verify or differs from what was sealed"));
    return verified;
}

int demo(cli::Secrets secrets) {
    ScratchDirectory directory;
    if (directory.path().empty()) {
        say("FAILED: cannot make a temporary data directory");
        return 1;
    }
    const auto installation = Installation::inDirectory(directory.path());
    const auto keys = makeAndStoreKeys(installation->keychain());
    if (!keys) {
        say("FAILED: cannot make or store the key pairs");
        return 1;
    }
    say("data directory " + directory.path().string() + ": partner and application RSA-" + std::to_string(kKeyBits) +
        " key pairs made, the application's pair and the partner's public key stored");
    const Bytes content = sampleContent(kContentBytes);
    const auto record = sealRecord(*keys, content);
    if (!record) {
        say("FAILED: cannot seal the record");
        return 1;
    }
    say("sealed a SECURED record: " + std::to_string(content.size()) + " bytes of JSON content, " +
        std::to_string(record->size()) + " bytes in all");
    bool allVerified = true;
    for (const bool doLuby : {true, false}) {
        allVerified =
            runMode(doLuby, *record, content, directory.path(), installation->appData(), secrets) && allVerified;
    }
    say(allVerified ? "everything verified" : "FAILED");
    return allVerified ? 0 : 1;
}

const bool kRegistered = vexaqr::cli::registerCommand([](CLI::App& root, int& exitCode) {
    auto* command = root.add_subcommand("demo", "Seal a record, present it as animated QR codes and scan it back");
    auto showSecrets = std::make_shared<bool>(false);
    command->add_flag("--show-secrets", *showSecrets, "Also print the record's AES content key");
    command->callback([&exitCode, showSecrets] { exitCode = demo(cli::secretsFor(*showSecrets)); });
});

} // namespace
