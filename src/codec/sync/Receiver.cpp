#include <vexaqr/sync/Receiver.hpp>

#include "codec/transport/LubyFrameHeader.hpp"

#include "codec/pictures/GifFrameReader.hpp"
#include "codec/pictures/PngFile.hpp"
#include "codec/pictures/QrDetector.hpp"
#include "codec/transport/Base45Converter.hpp"
#include "codec/transport/VexaQRDecoderDelegate.hpp"
#include "codec/transport/VexaQRDecoderImpl.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>

namespace vexaqr {

namespace {

// The packets the frame reader takes from a frame: LT packets of a luby frame, the block of a cyclic one.
std::uint64_t packetsIn(const Bytes& frame) {
    if (frame.empty())
        return 0;
    if (frame[0] == static_cast<std::uint8_t>(VxaAlgorithm::luby)) {
        const auto header = LubyFrameHeader::read(frame);
        return header ? header->packetsIn(frame.size()) : 0;
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
    if (record.verificationStatus() == VerificationStatus::noPrivateKey) {
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

// Why `transferred` cannot be a payload record whatever the keys, or nothing when it may be one: a header
// byte outside the record's tables, or fewer bytes than the layout of its type needs.
std::optional<std::string> notARecordBecause(const Bytes& transferred, const VXAData& record) {
    if (transferred.size() < 3)
        return "it is shorter than a record's header";
    if (!contentTypeFromRawValue(transferred[0]))
        return "its first byte is no content type";
    if (!vxaTypeFromRawValue(transferred[1]))
        return "its second byte is no record type";
    if (!cipherMethodFromRawValue(transferred[2]))
        return "its third byte is no cipher method";
    if (record.verificationStatus() == VerificationStatus::truncated)
        return "it ends before a record's layout does";
    return std::nullopt;
}

Failure notARecord(std::size_t size, const std::string& because) {
    return Failure{FailureReason::unreadableRecord,
                   "the " + std::to_string(size) + " transferred bytes are not a payload record (" + because +
                       "): they were sent as they are, so keep them as they are",
                   std::nullopt, std::nullopt};
}

// The failure for a record that did not verify, with what to do about it.
Failure recordFailure(VXAData record, const Keys& keys) {
    const auto reason = reasonFor(record.verificationStatus());
    std::string message(describe(record.verificationStatus()));
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

// Hands the pictures of files and folders to `take`; a file or GIF frame that does not decode is passed
// over and counted, a path that does not exist ends the walk.
class PictureWalk {
public:
    explicit PictureWalk(const Take& take) : _take(take) {}

    void walk(const std::filesystem::path& path) {
        std::error_code error;
        if (std::filesystem::is_directory(path, error))
            return walkFolder(path);
        if (!std::filesystem::exists(path, error)) {
            _report.failure = unreadablePicture(path.string() + " does not exist");
            return;
        }
        if (hasSuffix(path, ".gif"))
            return walkGif(path);
        const auto picture = PngFile::read(path.string());
        if (!picture)
            return skip(path.string() + " is not a readable PNG file");
        hand(*picture);
    }

    bool ended() const { return _done || _report.failure; }
    PictureFileReport report() const { return _report; }

private:
    void hand(const Picture& picture) {
        ++_report.pictures;
        _done = !_take(picture);
    }

    void skip(std::string why) {
        if (_report.skipped++ == 0)
            _report.firstSkipped = std::move(why);
    }

    // A damaged frame ends what the decoder can read of the file; the frames before it are kept.
    void walkGif(const std::filesystem::path& path) {
        std::string refusal;
        auto reader = GifFrameReader::open(path.string(), &refusal);
        if (!reader)
            return skip(path.string() + " is not a readable GIF file: " + refusal);
        std::size_t index = 0;
        while (!ended()) {
            auto frame = reader->next();
            if (!frame)
                break;
            hand(frame->picture);
            ++index;
        }
        if (!ended() && reader->failed())
            skip("frame " + std::to_string(index) + " of " + path.string() + " cannot be decoded");
    }

    void walkFolder(const std::filesystem::path& path) {
        std::vector<std::filesystem::path> entries;
        std::error_code error;
        for (auto it = std::filesystem::directory_iterator(path, error);
             !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
            if (hasSuffix(it->path(), ".png") || hasSuffix(it->path(), ".gif"))
                entries.push_back(it->path());
        }
        if (error) {
            _report.failure = unreadablePicture("the folder " + path.string() + " cannot be read: " + error.message());
            return;
        }
        std::sort(entries.begin(), entries.end());
        for (const auto& entry : entries) {
            if (ended())
                break;
            walk(entry);
        }
    }

    const Take& _take;
    bool _done = false;
    PictureFileReport _report;
};

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
    _lastTransfer = data;
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
        // The figures a progress bar showed: frames of this transfer against the frames it is expected to need.
        const auto percent = static_cast<int>(std::floor(_estimatedProgress * 100.0));
        const auto frames = _reader->framesFed();
        const auto expected =
            _estimatedProgress > 0.0 ? std::llround(static_cast<double>(frames) / _estimatedProgress) : 0;
        message = "the transfer stopped at about " + std::to_string(percent) + "%, " + std::to_string(frames) +
                  " of about " + std::to_string(std::max<long long>(expected, static_cast<long long>(frames) + 1)) +
                  " frames (" + (_mode == VxaAlgorithm::luby ? "luby" : "cyclic") +
                  " mode): capture more frames of the animation, or present it longer";
    }
    return Failure{FailureReason::incompleteTransfer, std::move(message), _estimatedProgress, std::nullopt};
}

ReceivedRecord verifyRecord(const Bytes& transferred, const Keys& keys) {
    VXAData record(transferred, keys.appPrivate, keys.partnerPublic, keys.partnerPrivate);
    if (record.isValid())
        return record;
    if (const auto because = notARecordBecause(transferred, record))
        return notARecord(transferred.size(), *because);
    return recordFailure(std::move(record), keys);
}

PictureFileReport readPictureFiles(const std::vector<std::string>& paths, const Take& take) {
    PictureWalk walk(take);
    for (const auto& path : paths) {
        if (walk.ended())
            break;
        walk.walk(std::filesystem::path(path));
    }
    return walk.report();
}

std::optional<Failure> PictureFileReport::unreadable() const {
    if (failure)
        return failure;
    if (pictures == 0 && skipped > 0)
        return unreadablePicture(
            firstSkipped +
            (skipped > 1 ? " (and " + std::to_string(skipped - 1) + " more unreadable picture(s))" : ""));
    return std::nullopt;
}

std::string PictureFileReport::skippedNote() const {
    if (skipped == 0)
        return "";
    return std::to_string(skipped) + " unreadable picture(s) passed over, the first: " + firstSkipped;
}

namespace {

// Feeds the pictures of `paths` to `receiver` until a transfer completes; its outcome, or why none did.
ReceivedRecord firstTransfer(const std::vector<std::string>& paths, Receiver& receiver) {
    std::optional<ReceivedRecord> result;
    const auto read = readPictureFiles(paths, [&](const Picture& picture) {
        result = receiver.feedPicture(picture);
        return !result;
    });
    if (result)
        return std::move(*result);
    if (auto failed = read.unreadable())
        return *failed;
    auto incomplete = receiver.incomplete();
    if (read.skipped > 0)
        incomplete.message += "; " + read.skippedNote();
    return incomplete;
}

} // namespace

ReceivedRecord scanPictures(const std::vector<std::string>& paths, const Keys& keys) {
    Receiver receiver(keys);
    return firstTransfer(paths, receiver);
}

Outcome<Bytes> scanPictureBytes(const std::vector<std::string>& paths, LTDecoderKind decoder) {
    Receiver receiver(Keys{}, decoder);
    const auto outcome = firstTransfer(paths, receiver);
    if (receiver.transfersCompleted() == 0)
        return outcome.failure();
    return receiver.lastTransfer();
}

} // namespace vexaqr
