#include "codec/pictures/PictureSequenceSource.hpp"

#include "codec/pictures/GifFrameReader.hpp"
#include "codec/pictures/PngFile.hpp"
#include "codec/pictures/QrDetector.hpp"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace vexaqr {

namespace {

namespace fs = std::filesystem;

std::string lowerCaseExtension(const fs::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

Error openError(std::int64_t code, std::string message) {
    return Error{CameraError::kDomain, code, std::move(message)};
}

// The frames of one GIF file, decoded in order as they are shown. The file is open only while its
// frames are being shown, so however many GIFs a folder holds, one screen is decoded at a time.
class GifFrameFeed {
public:
    GifFrameFeed(std::string path, std::size_t count) : _path(std::move(path)), _count(count) {}

    std::optional<Picture> frame(std::size_t index) {
        if (!_reader || index < _taken) { // first use, or shown out of order: start over
            _reader = GifFrameReader::open(_path);
            _taken = 0;
        }
        std::optional<GifFrame> frame;
        while (_reader && _taken <= index) {
            frame = _reader->next();
            ++_taken;
        }
        if (_taken >= _count) {
            _reader.reset(); // the last frame: let the decoder go
        }
        return frame ? std::optional<Picture>(std::move(frame->picture)) : std::nullopt;
    }

private:
    std::string _path;
    std::size_t _count;
    std::unique_ptr<GifFrameReader> _reader;
    std::size_t _taken = 0;
};

// Appends a loader per frame of the GIF. Every record is read now, without decoding a pixel, so that a
// broken file or one beyond the limits fails early.
Outcome<void, Error> addGifFrames(const std::string& path, std::vector<PictureSequenceSource::Loader>& loaders) {
    std::string refusal;
    const auto count = GifFrameReader::countFrames(path, &refusal);
    if (!count) {
        return openError(CameraError::kCannotOpen, "cannot read the GIF file " + path + ": " + refusal);
    }
    auto feed = std::make_shared<GifFrameFeed>(path, *count);
    for (std::size_t i = 0; i < *count; ++i) {
        loaders.push_back([feed, i] { return feed->frame(i); });
    }
    return {};
}

Outcome<void, Error> addFile(const fs::path& path, std::vector<PictureSequenceSource::Loader>& loaders) {
    if (lowerCaseExtension(path) == ".gif") {
        return addGifFrames(path.string(), loaders);
    }
    loaders.push_back([file = path.string()] { return PngFile::read(file); });
    return {};
}

Outcome<void, Error> addFolder(const fs::path& folder, std::vector<PictureSequenceSource::Loader>& loaders) {
    std::error_code error;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const auto extension = lowerCaseExtension(entry.path());
        if (entry.is_regular_file() && (extension == ".png" || extension == ".gif")) {
            files.push_back(entry.path());
        }
    }
    if (error) {
        return openError(CameraError::kCannotOpen, "cannot list the folder " + folder.string());
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        if (auto added = addFile(file, loaders); !added) {
            return added;
        }
    }
    return {};
}

// Appends the loaders of one file or of the pictures of one folder.
Outcome<void, Error> addInput(const std::string& input, std::vector<PictureSequenceSource::Loader>& loaders) {
    std::error_code error;
    const auto status = fs::status(input, error);
    if (error || !fs::exists(status)) {
        return openError(CameraError::kCannotOpen, "no such file or folder: " + input);
    }
    return fs::is_directory(status) ? addFolder(input, loaders) : addFile(input, loaders);
}

} // namespace

std::shared_ptr<PictureSequenceSource> PictureSequenceSource::fromPictures(std::vector<Picture> pictures,
                                                                           std::shared_ptr<MainQueue> queue) {
    auto shared = std::make_shared<std::vector<Picture>>(std::move(pictures));
    std::vector<Loader> loaders;
    for (std::size_t i = 0; i < shared->size(); ++i) {
        loaders.push_back([shared, i]() -> std::optional<Picture> { return (*shared)[i]; });
    }
    return std::make_shared<PictureSequenceSource>(std::move(loaders), std::move(queue));
}

OpenedCameraSource PictureSequenceSource::open(const std::vector<std::string>& inputs,
                                               std::shared_ptr<MainQueue> queue) {
    std::vector<Loader> loaders;
    for (const auto& input : inputs) {
        if (auto added = addInput(input, loaders); !added) {
            return added.failure();
        }
    }
    if (loaders.empty()) {
        return openError(CameraError::kNoPictures, "no PNG or GIF pictures to scan");
    }
    return std::shared_ptr<CameraSource>(std::make_shared<PictureSequenceSource>(std::move(loaders), std::move(queue)));
}

PictureSequenceSource::PictureSequenceSource(std::vector<Loader> loaders, std::shared_ptr<MainQueue> queue)
    : _loaders(std::move(loaders)), _queue(std::move(queue)) {}

void PictureSequenceSource::startRunning() {
    if (_running) {
        return;
    }
    _running = true;
    scheduleNext();
}

void PictureSequenceSource::scheduleNext() {
    if (_scheduled || !_running || isExhausted()) {
        return;
    }
    _scheduled = true;
    _queue->post([weakSelf = weak_from_this()] {
        if (auto self = weakSelf.lock()) {
            self->_scheduled = false;
            self->showNext();
        }
    });
}

void PictureSequenceSource::showNext() {
    if (!_running || isExhausted()) {
        return;
    }
    const auto picture = _loaders[_next]();
    _loaders[_next] = nullptr; // each picture is shown once; free what the loader held
    ++_next;
    std::vector<std::string> symbols;
    if (picture) {
        const auto started = std::chrono::steady_clock::now();
        symbols = QrDetector::detect(*picture);
        _detectionTime += std::chrono::steady_clock::now() - started;
    }
    if (_report) {
        _report(symbols);
    }
    scheduleNext();
}

} // namespace vexaqr
