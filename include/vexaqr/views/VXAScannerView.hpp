// VXAScannerView: the receiving end. Reads the QR symbols a camera reports, feeds their frames to a frame
// reader and turns every completed transfer into a payload record with the keys stored on the device.
//
// The camera comes from a provider called each time a capture pipeline is built; with no camera the
// view never reports anything. There is no picture preview: the camera source is the whole pipeline.
// The keys come from the application data service the owner passes in.
//
// Lives in a std::shared_ptr; every call, every camera report and both host callbacks on the main
// queue's thread. Host callbacks run synchronously inside the camera report that completed a transfer.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/payload/VXAData.hpp>
#include <vexaqr/transport/Transport.hpp>
#include <vexaqr/views/CameraSource.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vexaqr {

class AppDataServiceProtocol;

class VXAScannerView final : public std::enable_shared_from_this<VXAScannerView> {
public:
    /// Receives the record of each completed transfer; nothing when no partner public key is stored
    /// (the signature cannot be checked, so no record is built; the log says why). A record that did not
    /// verify arrives with `isValid` false.
    using Completion = std::function<void(std::optional<VXAData> record)>;
    /// Receives the progress fraction (0.0 to 1.0) and the transport mode, as the frame reader reports it.
    using Process = std::function<void(double percent, VxaAlgorithm algorithm)>;
    /// The camera for a new capture pipeline; nullptr when there is none.
    using CameraProvider = std::function<std::shared_ptr<CameraSource>()>;

    /// `camera` makes the camera of each new pipeline; `appDataService` holds the keys a completed
    /// transfer is verified and opened with (null: no keys, so no record is built).
    VXAScannerView(CameraProvider camera, std::shared_ptr<AppDataServiceProtocol> appDataService);
    ~VXAScannerView();
    VXAScannerView(const VXAScannerView&) = delete;
    VXAScannerView& operator=(const VXAScannerView&) = delete;

    /// Stores both callbacks (either may be empty), makes a new frame reader (a partial transfer is
    /// dropped), builds a new capture pipeline (the previous camera is stopped, released and no longer
    /// heard), then starts it. Safe to call from inside a callback.
    void startScanning(Completion completion, Process process);

    /// Resumes the camera if there is one and it is paused; the frame reader keeps its partial transfer.
    void startScanning();

    /// Pauses the camera if there is one and it runs; the frame reader keeps its partial transfer.
    void stopScanning();

    /// The LT decoder of the frame readers made from the next startScanning(completion, process) on;
    /// peeling until set.
    void setLTDecoder(LTDecoderKind decoder) { _ltDecoder = decoder; }

    /// The reader's estimated progress of the transfer under way or just completed (0 before scanning):
    /// never falls within a transfer and reaches 1 only at completion. Meant for a host's progress bar,
    /// read from inside `process`.
    double estimatedProgress() const;
    /// Frames the reader accepted for the transfer under way or just completed.
    std::uint64_t framesFed() const;
    /// Camera pictures reported since the last startScanning(completion, process), with or without a symbol.
    std::uint64_t picturesSeen() const { return _picturesSeen; }

    /// One camera report: the texts of the symbols seen in one picture (a presenter may show several frames
    /// at once). Each is fed to the frame reader in turn, except those the previous picture already showed.
    /// After a symbol that completes a transfer the rest of the picture is left for the next one.
    void captureOutput(const std::vector<std::string>& symbols);

    /// The camera of the current pipeline; nullptr before startScanning or when there is no camera.
    const std::shared_ptr<CameraSource>& captureSession() const { return _captureSession; }

private:
    class Reader; // the frame reader, which reports back to transferCompleted and transferProgressed

    void initDecoder();
    void initCapture();
    void transferCompleted(const Bytes& decodedData);
    void transferProgressed(double percent, VxaAlgorithm algorithm);

    CameraProvider _camera;
    std::shared_ptr<AppDataServiceProtocol> _appDataService;
    std::shared_ptr<CameraSource> _captureSession;
    std::shared_ptr<Reader> _reader;
    LTDecoderKind _ltDecoder = LTDecoderKind::peeling;
    std::uint64_t _picturesSeen = 0;
    std::vector<std::string> _previousSymbols; // fed from the previous picture
    bool _completedInPicture = false;
    Completion _completion;
    Process _process;
};

} // namespace vexaqr
