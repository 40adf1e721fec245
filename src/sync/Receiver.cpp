#include <vexaqr/sync/Receiver.hpp>

#include <vexaqr/transport/Base45Converter.hpp>
#include <vexaqr/transport/VexaQRDecoderDelegate.hpp>
#include <vexaqr/transport/VexaQRDecoderImpl.hpp>
#include <vexaqr/views/GifFrameReader.hpp>
#include <vexaqr/views/PngFile.hpp>
#include <vexaqr/views/QrDetector.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>

namespace vexaqr {

namespace {

constexpr std::size_t kLubyFrameHeader = 13;

std::uint32_t bigEndian32(const Bytes& frame, std::size_t at) {
    return (std::uint32_t{frame[at]} << 24) | (std::uint32_t{frame[at + 1]} << 16) |
           (std::uint32_t{frame[at + 2]} << 8) | frame[at + 3];
}

// The packets the frame reader takes from a frame: LT packets of a luby frame, the block of a cyclic one.
std::uint64_t packetsIn(const Bytes& frame) {
    if (frame.empty())
        return 0;
    if (frame[0] == static_cast<std::uint8_t>(VxaAlgorithm::luby)) {
        if (frame.size() < kLubyFrameHeader)
            return 0;
        const std::uint32_t packetLength = bigEndian32(frame, 9);
        return packetLength == 0 ? 0 : (frame.size() - kLubyFrameHeader) / packetLength;
    }
    return frame[0] == static_cast<std::uint8_t>(VxaAlgorithm::cyclic) && frame.size() >= 3 ? 1 : 0;
}

std::string typeName(const VXAData& record) {
    return record.vxaType ? std::string(name(*record.vxaType)) : std::string("the");
}

// The keys a record needs that were not given, e.g. "no partner public key and no application private key".
std::string missingKeys(const VXAData& record, const Keys& keys) {
    std::string missing;
    if (!keys.partnerPublic)
        missing = "no partner public key";
    if (record.verificationStatus == VerificationStatus::noPrivateKey) {
        const bool secured = record.vxaType && isSecured(*record.vxaType);
        missing +=
            std::string(missing.empty() ? "no " : " and no ") + (secured ? "application" : "partner") + " private key";
    }
    return missing;
}

FailureReason reasonFor(VerificationStatus status) {
    switch (status) {
    case VerificationStatus::noPublicKey:
    case VerificationStatus::noPrivateKey:
        return FailureReason::noKey;
    case VerificationStatus::wrongPublicKey:
    case VerificationStatus::wrongPrivateKey:
        return FailureReason::wrongKey;
    case VerificationStatus::keyBlockUnopened:
        return FailureReason::unreadableKeyBlock;
    case VerificationStatus::signatureMismatch:
        return FailureReason::signatureMismatch;
    case VerificationStatus::notSigned:
        return FailureReason::notSigned;
    case VerificationStatus::verified:
    case VerificationStatus::notParsed:
    case VerificationStatus::truncated:
    case VerificationStatus::contentUnreadable:
        break;
    }
    return FailureReason::unreadableRecord;
}

// The failure for a record that did not verify, with what to do about it.
Failure recordFailure(VXAData record, const Keys& keys) {
    const auto reason = reasonFor(record.verificationStatus);
    std::string message(describe(record.verificationStatus));
    if (reason == FailureReason::noKey)
        message = "the " + typeName(record) + " record cannot be verified: " + missingKeys(record, keys) +
                  " was given; pass the missing key(s)";
    return Failure{reason, std::move(message), std::nullopt, std::move(record)};
}

Failure unreadablePicture(const std::string& message) {
    return Failure{FailureReason::unreadablePicture, message, std::nullopt, std::nullopt};
}

bool hasSuffix(const std::filesystem::path& path, const char* suffix) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == suffix;
}

using Take = std::function<bool(const Picture&)>;

// Every picture of `path` goes to `take`; `done` once `take` returned false.
std::optional<Failure> readPictures(const std::filesystem::path& path, const Take& take, bool& done);

std::optional<Failure> readGif(const std::filesystem::path& path, const Take& take, bool& done) {
    auto reader = GifFrameReader::open(path.string());
    if (!reader)
        return unreadablePicture(path.string() + " is not a readable GIF file");
    std::size_t index = 0;
    while (!done) {
        auto frame = reader->next();
        if (!frame)
            break;
        done = !take(frame->picture);
        ++index;
    }
    if (!done && reader->failed())
        return unreadablePicture("frame " + std::to_string(index) + " of " + path.string() + " cannot be decoded");
    return std::nullopt;
}

std::optional<Failure> readFolder(const std::filesystem::path& path, const Take& take, bool& done) {
    std::vector<std::filesystem::path> entries;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator(path, error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        if (hasSuffix(it->path(), ".png") || hasSuffix(it->path(), ".gif"))
            entries.push_back(it->path());
    }
    if (error)
        return unreadablePicture("the folder " + path.string() + " cannot be read: " + error.message());
    std::sort(entries.begin(), entries.end());
    for (const auto& entry : entries) {
        if (done)
            break;
        if (auto failed = readPictures(entry, take, done))
            return failed;
    }
    return std::nullopt;
}

std::optional<Failure> readPictures(const std::filesystem::path& path, const Take& take, bool& done) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        return readFolder(path, take, done);
    if (!std::filesystem::exists(path, error))
        return unreadablePicture(path.string() + " does not exist");
    if (hasSuffix(path, ".gif"))
        return readGif(path, take, done);
    const auto picture = PngFile::read(path.string());
    if (!picture)
        return unreadablePicture(path.string() + " is not a readable PNG file");
    done = !take(*picture);
    return std::nullopt;
}

} // namespace

class Receiver::Delegate final : public VexaQRDecoderDelegate {
public:
    explicit Delegate(Receiver& receiver) : _receiver(receiver) {}
    void vexaQRDecoder(VexaQRDecoder&, const Bytes& decodedData) override { _receiver.received(decodedData); }
    void vexaQRDecoder(VexaQRDecoder&, double percent, VxaAlgorithm algorithm) override {
        _receiver.reported(percent, algorithm);
    }

private:
    Receiver& _receiver;
};

Receiver::Receiver(Keys keys, LTDecoderKind decoder)
    : _keys(std::move(keys)), _delegate(std::make_unique<Delegate>(*this)),
      _reader(std::make_unique<VexaQRDecoderImpl>(*_delegate, decoder)) {}

Receiver::~Receiver() = default;

std::optional<ReceivedRecord> Receiver::feedPicture(const Picture& picture) {
    return feedSymbols(QrDetector::detect(picture));
}

std::optional<ReceivedRecord> Receiver::feedSymbols(const std::vector<std::string>& symbols) {
    ++_picturesFed;
    std::vector<std::string> fed;
    std::optional<ReceivedRecord> completed;
    for (const auto& symbol : symbols) {
        if (completed)
            break; // the rest waits for the next picture, which shows it again
        if (symbol.empty() || std::find(fed.begin(), fed.end(), symbol) != fed.end())
            continue;
        fed.push_back(symbol);
        if (std::find(_previousSymbols.begin(), _previousSymbols.end(), symbol) == _previousSymbols.end())
            completed = feedFrameText(symbol);
    }
    _previousSymbols = std::move(fed);
    return completed;
}

std::optional<ReceivedRecord> Receiver::feedFrameText(std::string_view text) {
    return feedFrame(Base45Converter::dataFromBase45String(text));
}

std::optional<ReceivedRecord> Receiver::feedFrame(const Bytes& frame) {
    ++_framesFed;
    _packetsFed += packetsIn(frame);
    _completed.reset();
    _reader->scannedQR(frame);
    auto completed = std::move(_completed);
    _completed.reset();
    return completed;
}

void Receiver::received(const Bytes& data) {
    ++_transfersCompleted;
    _completed = verifyRecord(data, _keys);
}

void Receiver::reported(double percent, VxaAlgorithm algorithm) {
    _progress = percent;
    _estimatedProgress = percent >= 1.0 ? 1.0 : _reader->estimatedProgress();
    _mode = algorithm;
}

Failure Receiver::incomplete() const {
    std::string message;
    if (!_mode) {
        message = "no frame of an animated QR code was read from " + std::to_string(_picturesFed) +
                  " picture(s): each picture must show whole, sharp QR symbols of the animation";
    } else {
        const auto percent = static_cast<int>(std::floor(_progress * 100.0));
        message = "the transfer stopped at " + std::to_string(percent) + "% (" +
                  (_mode == VxaAlgorithm::luby ? "luby" : "cyclic") + " mode, " + std::to_string(_framesFed) +
                  " frames read): capture more frames of the animation, or present it longer";
    }
    return Failure{FailureReason::incompleteTransfer, std::move(message), _progress, std::nullopt};
}

ReceivedRecord verifyRecord(const Bytes& transferred, const Keys& keys) {
    VXAData record(transferred, keys.appPrivate, keys.partnerPublic, keys.partnerPrivate);
    if (record.isValid)
        return record;
    return recordFailure(std::move(record), keys);
}

std::optional<Failure> readPictureFiles(const std::vector<std::string>& paths, const Take& take) {
    bool done = false;
    for (const auto& path : paths) {
        if (done)
            break;
        if (auto failed = readPictures(std::filesystem::path(path), take, done))
            return failed;
    }
    return std::nullopt;
}

ReceivedRecord scanPictures(const std::vector<std::string>& paths, const Keys& keys) {
    Receiver receiver(keys);
    std::optional<ReceivedRecord> result;
    auto failed = readPictureFiles(paths, [&](const Picture& picture) {
        result = receiver.feedPicture(picture);
        return !result;
    });
    if (result)
        return std::move(*result);
    if (failed)
        return *failed;
    return receiver.incomplete();
}

} // namespace vexaqr
