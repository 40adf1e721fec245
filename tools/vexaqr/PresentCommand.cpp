// vexaqr present: a file shown as an animated QR code, written as an animated GIF or a PNG sequence, or
// shown live on the terminal.
//
// Files are written by the synchronous encoding calls, as fast as the frames can be drawn; each GIF frame
// keeps the presenter's delay. The terminal is a screen: the presenter view shows it in real time.
#include "CommandRegistry.hpp"
#include "PayloadFiles.hpp"
#include "ProgressBar.hpp"

#include "codec/pictures/QrRenderer.hpp"
#include "codec/pictures/QrSymbolCapacity.hpp"
#include "codec/pictures/TerminalCanvas.hpp"
#include <vexaqr/platform/RunLoop.hpp>
#include <vexaqr/sync/Encoding.hpp>
#include <vexaqr/views/VXAPresenterView.hpp>

#include <cmath>
#include <iostream>
#include <memory>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

using namespace vexaqr;

struct PresentOptions {
    std::string file;
    bool cyclic = false;
    double slowdown = 0.0;
    std::string gif;
    std::string pngDirectory;
    bool terminal = false;
    std::uint64_t frames = 0;
    double seconds = 0.0;
    int size = 0;
    int symbolVersion = 0; // 0: the smallest symbol that holds each frame
    std::uint32_t packets = 0;
    std::size_t blockSize = 0;
    int symbols = 1; // frames side by side in each picture
};

// The table's largest frames for --symbol-version, then --packets and --block-size on top.
VexaQRFrameSize frameSizeFor(const PresentOptions& options) {
    VexaQRFrameSize size;
    if (options.symbolVersion > 0) {
        size = QrSymbolCapacity::largestFrames(options.symbolVersion)->frameSize();
    }
    if (options.packets > 0) {
        size.ltPacketsPerFrame = options.packets;
    }
    if (options.blockSize > 0) {
        size.cyclicBlockLength = options.blockSize;
    }
    return size;
}

// Modules across the symbols with their quiet zone: the version asked for, else that of a full frame.
int symbolCells(const PresentOptions& options) {
    const auto size = frameSizeFor(options);
    const auto frameLength = options.cyclic ? size.cyclicFrameLength() : size.lubyFrameLength();
    const int version = options.symbolVersion > 0
                            ? options.symbolVersion
                            : QrSymbolCapacity::smallestVersionHolding(QrSymbolCapacity::base45Length(frameLength))
                                  .value_or(QrSymbolCapacity::kLargestVersion);
    return 17 + 4 * version + 2 * QrRenderer::kQuietZone;
}

void fail(const std::string& message) {
    std::cerr << "vexaqr present: " << message << '\n';
}

bool finished(const PresentOptions& options, const VXAPresenterView& view, std::chrono::milliseconds elapsed) {
    if (options.seconds > 0.0) {
        return elapsed.count() >= std::llround(options.seconds * 1000.0);
    }
    return view.framesDrawn() * static_cast<std::uint64_t>(options.symbols) >= options.frames;
}

// A symbol wider than the terminal wraps and cannot be read; say so rather than draw garbage silently.
void warnIfTooNarrow(int side) {
    winsize window{};
    if (isatty(STDOUT_FILENO) == 1 && ioctl(STDOUT_FILENO, TIOCGWINSZ, &window) == 0 && window.ws_col > 0 &&
        window.ws_col < side) {
        std::cerr << "vexaqr present: the symbols need " << side << " columns, the terminal has " << window.ws_col
                  << "; widen it or give a smaller --size\n";
    }
}

int presentOnTerminal(const PresentOptions& options, const Bytes& data) {
    auto loop = std::make_shared<RunLoop>();
    const int across = options.symbols == 1 ? 1 : options.symbols == 6 ? 3 : 2; // the grid in a square
    const int side = options.size > 0 ? options.size : symbolCells(options) * across;
    warnIfTooNarrow(side);
    auto view = std::make_shared<VXAPresenterView>(std::make_shared<TerminalCanvas>(std::cout, side), loop);
    view->setFrameSize(frameSizeFor(options));
    view->setSymbolsPerPicture(options.symbols);
    if (options.symbolVersion > 0) {
        view->setSymbolVersion(options.symbolVersion);
    }
    if (auto presented = view->presentVexaQr(data, !options.cyclic, options.slowdown); !presented) {
        fail(presented.failure().message);
        return 1;
    }
    const auto started = RunLoop::Clock::now();
    const bool bounded = options.seconds > 0.0 || options.frames > 0;
    loop->runUntil(
        [&] {
            const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(RunLoop::Clock::now() - started);
            return !view->hasGenerator() || (bounded && finished(options, *view, elapsed));
        },
        std::chrono::hours(24 * 365));
    if (view->stopReason()) {
        fail(view->stopReason()->message);
        return 1;
    }
    return 0;
}

int presentToFiles(const PresentOptions& options, const Bytes& data) {
    EncodeOptions encoding;
    encoding.mode = options.cyclic ? VxaAlgorithm::cyclic : VxaAlgorithm::luby;
    if (options.frames > 0)
        encoding.frames = options.frames;
    if (options.seconds > 0.0)
        encoding.seconds = options.seconds;
    encoding.size = options.size;
    encoding.frameSize = frameSizeFor(options);
    encoding.symbolVersion = options.symbolVersion;
    encoding.slowDownRate = options.slowdown;
    encoding.symbolsPerPicture = options.symbols;
    cli::ProgressBar bar; // on a terminal only
    encoding.progress = [&bar, &encoding](std::uint64_t done, std::uint64_t total) {
        bar.show(static_cast<double>(done) / static_cast<double>(total), encoding.mode);
    };
    const bool toGif = !options.gif.empty();
    const auto written =
        toGif ? writeAnimatedGif(data, options.gif, encoding) : writePngSequence(data, options.pngDirectory, encoding);
    bar.finish();
    if (!written) {
        fail(written.failure().message);
        return 1;
    }
    std::cerr << "vexaqr present: " << written->frames << " frames (" << (options.cyclic ? "cyclic" : "luby") << ", "
              << written->delay.count() << " ms apart, " << written->side << " x " << written->side
              << " pixels) written to " << (toGif ? options.gif : options.pngDirectory) << '\n';
    return 0;
}

int present(const PresentOptions& options) {
    const auto data = cli::readWholeFile(options.file); // says why when it cannot
    if (!data) {
        return 1;
    }
    return options.terminal ? presentOnTerminal(options, *data) : presentToFiles(options, *data);
}

const bool kRegistered = vexaqr::cli::registerCommand([](CLI::App& root, int& exitCode) {
    auto options = std::make_shared<PresentOptions>();
    auto* command = root.add_subcommand("present", "Show FILE as an animated QR code (GIF, PNG files or terminal)");
    command->add_option("FILE", options->file, "The bytes to present")->required();
    auto* cyclic =
        command->add_flag("--cyclic", options->cyclic, "Numbered blocks in a loop instead of LT (luby) frames");
    command
        ->add_option("--symbol-version", options->symbolVersion,
                     "Every symbol of this QR version, its frames the largest that fit (see README)")
        ->check(CLI::Range(QrSymbolCapacity::kSmallestFrameVersion, QrSymbolCapacity::kLargestVersion));
    command->add_option("--packets", options->packets, "LT packets per luby frame (default 73)")
        ->check(CLI::Range(std::uint32_t{1}, VexaQRFrameSize::kMaximumLtPacketsPerFrame))
        ->excludes(cyclic);
    command->add_option("--block-size", options->blockSize, "Bytes per cyclic block (default 584)")
        ->check(CLI::Range(std::size_t{1}, VexaQRFrameSize::kMaximumCyclicBlockLength))
        ->needs(cyclic);
    command->add_option("--symbols", options->symbols, "Frames side by side in each picture: 1, 2, 4 or 6")
        ->check(CLI::IsMember({1, 2, 4, 6}));
    command->add_option("--slowdown", options->slowdown, "Slow-down rate: frames are R x 150 + 50 ms apart");
    auto* outputs = command->add_option_group("output", "Where the frames go (exactly one)");
    outputs->add_option("--gif", options->gif, "Write an animated GIF");
    outputs->add_option("--png-dir", options->pngDirectory, "Write frame-NNNNNN.png files into DIR");
    outputs->add_flag("--terminal", options->terminal, "Show the symbols live on this terminal");
    outputs->require_option(1);
    auto* frames = command
                       ->add_option("--frames", options->frames,
                                    "Frames to draw (files: default twice what a receiver without losses "
                                    "needs; terminal: until interrupted)")
                       ->check(CLI::PositiveNumber);
    command->add_option("--seconds", options->seconds, "Presentation time instead of a frame count")
        ->excludes(frames)
        ->check(CLI::PositiveNumber);
    command->add_option("--size", options->size, "Side of the picture in pixels (terminal: in columns)")
        ->check(CLI::Range(21, 4096));
    command->callback([options, &exitCode] {
        // Less than a pixel (or column) per module draws nothing a camera could read.
        if (options->size > 0 && options->size < symbolCells(*options)) {
            fail("--size " + std::to_string(options->size) + " is smaller than the symbol, which needs at least " +
                 std::to_string(symbolCells(*options)) + " (its modules and quiet zone)");
            exitCode = 2;
            return;
        }
        exitCode = present(*options);
    });
});

} // namespace
