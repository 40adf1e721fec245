// Receiving without a camera loop: pictures, symbol texts or frame texts fed one at a time, each call
// returning at once with the finished record when that input completed a transfer.
//
// A receiver reads frames as a scanner view does (one frame reader, luby and cyclic transfers side by
// side, every symbol of a picture fed, consecutive sightings of one symbol dropped) and verifies each completed
// transfer with the keys it was given. After a completion it starts the next transfer, so pictures of several transfers
// may follow each other. Not thread-safe; like every frame reader of a process, drive all receivers
// from one thread.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/sync/Failure.hpp>
#include <vexaqr/sync/Keys.hpp>
#include <vexaqr/transport/Transport.hpp>
#include <vexaqr/views/Picture.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexaqr {

class VexaQRDecoderImpl;

/// What happened to one completed transfer: the verified record, or why it is not one.
using ReceivedRecord = Outcome<VXAData>;

class Receiver {
public:
    /// `decoder` chooses how luby transfers are completed; maximum likelihood, the default, completes with the
    /// first frame whose packets determine the data (peeling often needs a frame or more beyond it).
    explicit Receiver(Keys keys, LTDecoderKind decoder = LTDecoderKind::maximumLikelihood);
    ~Receiver();
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

    /// One picture: its QR symbols are found and read as by feedSymbols.
    std::optional<ReceivedRecord> feedPicture(const Picture& picture);

    /// The symbol texts seen in one picture (a presenter may show several frames at once), each fed in turn
    /// except those the previous picture already showed. A value when a symbol completed a transfer; the
    /// symbols after it are left for the next picture.
    std::optional<ReceivedRecord> feedSymbols(const std::vector<std::string>& symbols);

    /// One frame's base-45 text (one QR symbol's content).
    std::optional<ReceivedRecord> feedFrameText(std::string_view text);

    /// One frame's bytes.
    std::optional<ReceivedRecord> feedFrame(const Bytes& frame);

    /// The last progress the frame reader reported (0.0 to 1.0); 1.0 right after a completion.
    double progress() const { return _progress; }
    /// The frame reader's estimate of the share of the transfer's frames seen (never decreasing within a
    /// transfer, 1.0 only at a completion): what to show a person holding a camera.
    double estimatedProgress() const { return _estimatedProgress; }
    /// The mode of the last progress report; empty before the first.
    std::optional<VxaAlgorithm> mode() const { return _mode; }

    /// Inputs since construction: pictures (feedPicture and feedSymbols calls), frames given to the
    /// frame reader, and the packets they held (LT packets of luby frames, one block per cyclic frame).
    std::uint64_t picturesFed() const { return _picturesFed; }
    std::uint64_t framesFed() const { return _framesFed; }
    std::uint64_t packetsFed() const { return _packetsFed; }

    /// Completed transfers since construction.
    std::uint64_t transfersCompleted() const { return _transfersCompleted; }

    /// The bytes of the last completed transfer exactly as they were sent, record or not (a file sent as
    /// pictures comes back here); empty before the first completion.
    const Bytes& lastTransfer() const { return _lastTransfer; }

    /// The failure for "the input ended here": incompleteTransfer with the progress reached.
    Failure incomplete() const;

private:
    class Delegate;

    void received(const Bytes& data);
    void reported(double percent, VxaAlgorithm algorithm);

    Keys _keys;
    std::unique_ptr<Delegate> _delegate;
    std::unique_ptr<VexaQRDecoderImpl> _reader;
    std::optional<ReceivedRecord> _completed;
    Bytes _lastTransfer;
    double _progress = 0.0;
    double _estimatedProgress = 0.0;
    std::optional<VxaAlgorithm> _mode;
    std::uint64_t _picturesFed = 0;
    std::uint64_t _framesFed = 0;
    std::uint64_t _packetsFed = 0;
    std::uint64_t _transfersCompleted = 0;
    std::vector<std::string> _previousSymbols; // fed from the previous picture
};

/// The outcome of a verified record built from transferred bytes: the record when it verified,
/// otherwise the failure saying why (the record attached). Bytes that cannot be a record whatever the
/// keys (a header byte outside the record's tables, or too short) fail with unreadableRecord, no record
/// attached and a message that says "not a payload record".
ReceivedRecord verifyRecord(const Bytes& transferred, const Keys& keys);

/// What reading picture files met besides the pictures it handed over.
struct PictureFileReport {
    /// A path that does not exist or a folder that cannot be listed: the reading stopped there.
    std::optional<Failure> failure;
    /// Pictures handed over.
    std::size_t pictures = 0;
    /// Files and GIF frames that did not decode and were passed over (a damaged GIF keeps the frames
    /// before the damage), and why the first one did not.
    std::size_t skipped = 0;
    std::string firstSkipped;

    /// The failure, or unreadablePicture when files were given but none of them held a readable picture.
    std::optional<Failure> unreadable() const;
    /// "N unreadable picture(s) passed over, the first: ...", or empty when none was.
    std::string skippedNote() const;
};

/// Hands `take` the pictures of `paths` in order (a PNG file, every frame of a GIF file, or a folder's
/// PNG and GIF files in name order) until `take` returns false or a path does not exist.
PictureFileReport readPictureFiles(const std::vector<std::string>& paths,
                                   const std::function<bool(const Picture&)>& take);

/// Reads PNG files, the frames of GIF files and folders of both (in name order) until the first
/// transfer completes; pictures that do not decode are passed over. Fails with unreadablePicture naming
/// the first input that is missing, or the first unreadable one when none could be read, with
/// incompleteTransfer when the pictures run out first (counting those passed over), or with the
/// record's failure.
ReceivedRecord scanPictures(const std::vector<std::string>& paths, const Keys& keys);

/// The same for bytes sent as they are (any file): the bytes of the first transfer that completes,
/// neither parsed nor verified. Fails with unreadablePicture or incompleteTransfer as scanPictures does.
Outcome<Bytes> scanPictureBytes(const std::vector<std::string>& paths, LTDecoderKind decoder = LTDecoderKind::peeling);

} // namespace vexaqr
