// vexaqr frames encode|decode: the frame format on the command line, one base-45 frame per line, so
// that any other implementation of the format can be checked against this one in both directions.
#include "CommandRegistry.hpp"

#include "codec/transport/Base45Converter.hpp"
#include "codec/transport/VexaQRDecoderImpl.hpp"
#include "codec/transport/VexaQRGenerator.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace vexaqr;

struct EncodeOptions {
    std::string mode;
    std::uint32_t seed = 0;
    CLI::Option* seedOption = nullptr;
    std::size_t count = 0;
    CLI::Option* countOption = nullptr;
    std::string file;
};

struct DecodeOptions {
    std::string out;
    std::string decoder = "ml";
    bool stats = false;
};

void fail(const std::string& message) {
    std::cerr << "vexaqr frames: " << message << '\n';
}

std::optional<Bytes> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Counts the frames a receiver needs when it loses none, by feeding a second generator's frames to
// a reader until it completes.
class CompletionCounter final : public VexaQRDecoderDelegate {
public:
    void vexaQRDecoder(VexaQRDecoder&, const Bytes&) override { completed = true; }
    void vexaQRDecoder(VexaQRDecoder&, double, VxaAlgorithm) override {}
    bool completed = false;
};

std::size_t framesForLosslessReceiver(VexaQRGenerator& generator) {
    CompletionCounter counter;
    VexaQRDecoderImpl reader(counter);
    std::size_t frames = 0;
    while (!counter.completed) {
        reader.scannedQR(generator.nextQRContent());
        ++frames;
    }
    return frames;
}

int encodeFrames(const EncodeOptions& options) {
    const auto data = readFile(options.file);
    if (!data) {
        fail("cannot read " + options.file);
        return 1;
    }
    const auto algorithm = options.mode == "luby" ? VxaAlgorithm::luby : VxaAlgorithm::cyclic;
    // Without --seed the clock gives one; it is fixed here so that the count below fits the output.
    const std::uint32_t seed =
        options.seedOption->count() > 0 ? options.seed : static_cast<std::uint32_t>(std::time(nullptr));
    auto made = VexaQRGenerator::make(*data, algorithm, seed);
    if (!made) {
        fail(made.failure().message);
        return 1;
    }
    std::size_t count = options.count;
    if (options.countOption->count() == 0) {
        const std::size_t needed = framesForLosslessReceiver(*VexaQRGenerator::make(*data, algorithm, seed).value());
        count = needed + std::max<std::size_t>(2, needed / 4);
    }
    for (std::size_t frame = 0; frame < count; ++frame) {
        std::cout << Base45Converter::base45EncodedString(made.value()->nextQRContent()) << '\n';
    }
    std::cout.flush();
    return std::cout ? 0 : 1;
}

// Draws the reader's estimated progress on standard error: a bar on a terminal, a line per tenth otherwise.
class ProgressReporter final : public VexaQRDecoderDelegate {
public:
    ProgressReporter() : _terminal(isatty(STDERR_FILENO) == 1) {}

    /// The reader whose estimate is shown; it must outlive its reports.
    void watch(const VexaQRDecoderImpl& reader) { _reader = &reader; }

    void vexaQRDecoder(VexaQRDecoder&, const Bytes& decodedData) override { data = decodedData; }

    void vexaQRDecoder(VexaQRDecoder&, double known, VxaAlgorithm algorithm) override {
        const double percent = _reader ? _reader->estimatedProgress() : known;
        lastProgress[algorithm] = known; // what was decoded: the estimate only says how long to keep going
        const int step = static_cast<int>(std::floor(percent * (_terminal ? 1000 : 10)));
        if (step == _shownStep && algorithm == _shownAlgorithm) {
            return;
        }
        _shownStep = step;
        _shownAlgorithm = algorithm;
        if (_terminal) {
            constexpr int width = 40;
            const int filled = static_cast<int>(percent * width);
            std::fprintf(stderr, "\r[%s%s] %5.1f%% %s", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                         std::string(static_cast<std::size_t>(width - filled), '.').c_str(), percent * 100.0,
                         std::string(nameOf(algorithm)).c_str());
        } else {
            std::fprintf(stderr, "%s %d%%\n", std::string(nameOf(algorithm)).c_str(), step * 10);
        }
    }

    void endLine() const {
        if (_terminal && _shownStep >= 0) {
            std::fputc('\n', stderr);
        }
    }

    std::optional<Bytes> data;
    std::map<VxaAlgorithm, double> lastProgress;

private:
    const VexaQRDecoderImpl* _reader = nullptr;
    bool _terminal;
    int _shownStep = -1;
    VxaAlgorithm _shownAlgorithm = VxaAlgorithm::luby;
};

std::string howFar(const ProgressReporter& reporter, std::size_t lines, std::size_t unreadable) {
    std::string text = "input ended after " + std::to_string(lines) + " lines (" + std::to_string(unreadable) +
                       " not base-45) before a transfer completed";
    if (reporter.lastProgress.empty()) {
        return text + "; no frame carried any progress";
    }
    for (const auto& [algorithm, percent] : reporter.lastProgress) {
        char figure[32];
        std::snprintf(figure, sizeof figure, "%.1f%%", percent * 100.0);
        text += "; " + std::string(nameOf(algorithm)) + " reached " + figure;
    }
    return text;
}

bool writeOutput(const std::string& path, const Bytes& data) {
    if (path.empty()) {
        std::cout.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        std::cout.flush();
        return static_cast<bool>(std::cout);
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out);
}

// One JSON object on standard error: what the reader was fed until completion (or the input's end).
void writeStats(const VexaQRDecoderImpl& reader, bool completed) {
    const nlohmann::ordered_json stats = {{"decoder", ltDecoderKindName(reader.decoderKind())},
                                          {"frames", reader.framesFed()},
                                          {"packets", reader.packetsFed()},
                                          {"symbols", reader.symbolCount()},
                                          {"completed", completed}};
    std::cerr << stats.dump() << std::endl;
}

int decodeFrames(const DecodeOptions& options) {
    ProgressReporter reporter;
    VexaQRDecoderImpl reader(reporter,
                             ltDecoderKindFromName(options.decoder).value_or(LTDecoderKind::maximumLikelihood));
    reporter.watch(reader);
    std::string line;
    std::size_t lines = 0;
    std::size_t unreadable = 0;
    while (!reporter.data && std::getline(std::cin, line)) {
        ++lines;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const Bytes frame = Base45Converter::dataFromBase45String(line);
        unreadable += frame.empty() ? 1 : 0;
        reader.scannedQR(frame);
    }
    reporter.endLine();
    if (options.stats) {
        writeStats(reader, reporter.data.has_value());
    }
    if (!reporter.data) {
        fail(howFar(reporter, lines, unreadable));
        return 1;
    }
    if (!writeOutput(options.out, *reporter.data)) {
        fail("cannot write " + (options.out.empty() ? std::string("standard output") : options.out));
        return 1;
    }
    return 0;
}

const bool kRegistered = vexaqr::cli::registerCommand([](CLI::App& root, int& exitCode) {
    auto* frames = root.add_subcommand("frames", "Turn a file into animated-QR frames (base-45 lines) and back");
    frames->require_subcommand(1);

    auto encode = std::make_shared<EncodeOptions>();
    auto* encodeCommand = frames->add_subcommand("encode", "Write FILE as base-45 frames, one per line, to stdout");
    encodeCommand->add_option("--mode", encode->mode, "Transport mode")
        ->required()
        ->check(CLI::IsMember({"luby", "cyclic"}));
    encode->seedOption = encodeCommand->add_option("--seed", encode->seed, "First LT seed (default: the clock)");
    encode->countOption = encodeCommand->add_option(
        "--count", encode->count, "Frames to write (default: what a receiver without losses needs, plus a margin)");
    encodeCommand->add_option("FILE", encode->file, "The file to send")->required();
    encodeCommand->callback([encode, &exitCode] { exitCode = encodeFrames(*encode); });

    auto decode = std::make_shared<DecodeOptions>();
    auto* decodeCommand =
        frames->add_subcommand("decode", "Read base-45 frames from stdin and write the first completed transfer");
    decodeCommand->add_option("--out", decode->out, "Write the data here instead of stdout");
    decodeCommand->add_option("--decoder", decode->decoder, "LT decoder (peeling needs more frames)")
        ->check(CLI::IsMember({"peeling", "ml"}))
        ->capture_default_str();
    decodeCommand->add_flag("--stats", decode->stats,
                            "At the end, one JSON object on stderr: decoder, frames, packets, symbols, completed");
    decodeCommand->callback([decode, &exitCode] { exitCode = decodeFrames(*decode); });
});

} // namespace
