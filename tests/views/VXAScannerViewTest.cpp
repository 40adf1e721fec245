#include <vexaqr/views/VXAScannerView.hpp>

#include "account/sdk/AppDataService.hpp"

#include "views/ScannerTestSupport.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace vexaqr {
namespace {

using namespace vexaqr::test;

struct Progress {
    double percent;
    VxaAlgorithm algorithm;
};

struct ScannerFixture : ::testing::Test {
    std::shared_ptr<ScriptedCamera> camera = std::make_shared<ScriptedCamera>();
    std::shared_ptr<KeysOnlyAppDataService> keys = testKeys();
    std::shared_ptr<VXAScannerView> view = std::make_shared<VXAScannerView>([this] { return camera; }, keys);
    std::vector<std::optional<VXAData>> results;
    std::vector<Progress> progress;

    void start() {
        view->startScanning([this](std::optional<VXAData> record) { results.push_back(std::move(record)); },
                            [this](double percent, VxaAlgorithm algorithm) {
                                progress.push_back(Progress{percent, algorithm});
                            });
    }
    void showEach(const std::vector<std::string>& texts) {
        for (const auto& text : texts) {
            camera->show({text});
        }
    }
};

TEST_F(ScannerFixture, CyclicTransferReportsBlockFractionsThenTheVerifiedRecord) {
    const Bytes content = jsonContent(1400);
    const Bytes record = sealedRecord(content);
    const auto texts = frameTexts(record, VxaAlgorithm::cyclic, 3); // blocks 1, 2, 0
    ASSERT_EQ(texts.size(), 3u);
    start();
    showEach(texts);
    ASSERT_EQ(progress.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_DOUBLE_EQ(progress[i].percent, (i + 1) / 3.0);
        EXPECT_EQ(progress[i].algorithm, VxaAlgorithm::cyclic);
    }
    ASSERT_EQ(results.size(), 1u);
    ASSERT_TRUE(results[0]);
    EXPECT_TRUE(results[0]->isValid());
    EXPECT_EQ(results[0]->rawData(), record);
    EXPECT_EQ(results[0]->actualVxaData, content);
}

TEST_F(ScannerFixture, LubyProgressComesPerPacketInStepsOfOneOverK) {
    const Bytes record = sealedRecord(jsonContent(1000));
    const double packets = std::ceil(record.size() / 8.0);
    const auto texts = frameTexts(record, VxaAlgorithm::luby, 40, 777);
    start();
    camera->show({texts[0]});
    EXPECT_EQ(progress.size(), 73u);
    for (std::size_t i = 1; i < texts.size() && results.empty(); ++i) {
        camera->show({texts[i]});
    }
    ASSERT_EQ(results.size(), 1u);
    ASSERT_TRUE(results[0] && results[0]->isValid());
    EXPECT_EQ(results[0]->rawData(), record);
    double previous = 0.0;
    for (const auto& step : progress) {
        EXPECT_EQ(step.algorithm, VxaAlgorithm::luby);
        EXPECT_GE(step.percent, previous);
        EXPECT_NEAR(step.percent * packets, std::round(step.percent * packets), 1e-9);
        previous = step.percent;
    }
    EXPECT_DOUBLE_EQ(progress.back().percent, 1.0);
}

TEST_F(ScannerFixture, EverySymbolOfAPictureIsFedUnlessThePreviousPictureShowedIt) {
    const auto texts = frameTexts(sealedRecord(jsonContent(1400)), VxaAlgorithm::cyclic, 3);
    start();
    camera->show({texts[0], texts[1]});
    EXPECT_EQ(progress.size(), 2u);
    camera->show({texts[1], texts[0]});
    EXPECT_EQ(progress.size(), 2u);
    EXPECT_EQ(view->framesFed(), 2u);
    camera->show({texts[1], texts[2]});
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0] && results[0]->isValid());
}

TEST_F(ScannerFixture, PauseAndResumeKeepThePartialTransferButANewStartDropsIt) {
    const auto texts = frameTexts(sealedRecord(jsonContent(1400)), VxaAlgorithm::cyclic, 3);
    start();
    camera->show({texts[0]});
    view->stopScanning();
    EXPECT_FALSE(camera->isRunning());
    camera->show({texts[1]}); // not seen: the camera is paused
    view->startScanning();
    showEach({texts[1], texts[2]});
    EXPECT_EQ(results.size(), 1u);

    camera->show({texts[0]});
    start(); // a new frame reader: block 1 is forgotten
    showEach({texts[1], texts[2]});
    EXPECT_EQ(results.size(), 1u);
    EXPECT_DOUBLE_EQ(progress.back().percent, 2.0 / 3.0);
}

TEST_F(ScannerFixture, ResultArrivesWithoutAProgressCallback) {
    const auto texts = frameTexts(sealedRecord(jsonContent(600)), VxaAlgorithm::cyclic, 2);
    view->startScanning([this](std::optional<VXAData> record) { results.push_back(std::move(record)); }, nullptr);
    showEach(texts);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0] && results[0]->isValid());
}

TEST_F(ScannerFixture, BadlySignedBytesStillGiveARecordThatIsNotValid) {
    Bytes record = sealedRecord(jsonContent(600));
    record.back() ^= 0x01;
    start();
    showEach(frameTexts(record, VxaAlgorithm::cyclic, 2));
    ASSERT_EQ(results.size(), 1u);
    ASSERT_TRUE(results[0]);
    EXPECT_FALSE(results[0]->isValid());
}

TEST_F(ScannerFixture, WithoutAPartnerPublicKeyTheCompletionGetsNoRecord) {
    keys->partnerPublicKey = nullptr;
    start();
    showEach(frameTexts(sealedRecord(jsonContent(600)), VxaAlgorithm::cyclic, 2));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results[0]);
}

// The callbacks capture by value and use their captures after restarting: the restart replaces the
// very callback that is running, so the view must keep it alive until it returns.
TEST_F(ScannerFixture, ScanningGoesOnAfterAResultAndMayRestartFromTheCompletion) {
    const Bytes record = sealedRecord(jsonContent(1000));
    const auto texts = frameTexts(record, VxaAlgorithm::luby, 40, 4242);
    auto seen = std::make_shared<std::vector<std::optional<VXAData>>>();
    auto restarts = std::make_shared<int>(0);
    VXAScannerView* scanner = view.get();
    view->startScanning(
        [scanner, seen, restarts](std::optional<VXAData> result) {
            // Also replaces the frame reader that is still inside its scannedQR call.
            scanner->startScanning([seen](std::optional<VXAData> again) { seen->push_back(std::move(again)); },
                                   nullptr);
            ++*restarts;
            seen->push_back(std::move(result));
        },
        nullptr);
    std::size_t shown = 0;
    while (seen->size() < 2 && shown < texts.size()) {
        camera->show({texts[shown++]});
    }
    EXPECT_EQ(*restarts, 1);
    ASSERT_EQ(seen->size(), 2u);
    ASSERT_TRUE((*seen)[0] && (*seen)[1]);
    EXPECT_EQ((*seen)[0]->rawData(), record);
    EXPECT_EQ((*seen)[1]->rawData(), record);
}

TEST_F(ScannerFixture, ProgressCallbackMayRestartTheScan) {
    const auto texts = frameTexts(sealedRecord(jsonContent(1400)), VxaAlgorithm::cyclic, 3);
    auto calls = std::make_shared<std::vector<double>>();
    VXAScannerView* scanner = view.get();
    view->startScanning(nullptr, [scanner, calls](double percent, VxaAlgorithm) {
        if (calls->empty()) {
            scanner->startScanning(nullptr, [calls](double again, VxaAlgorithm) { calls->push_back(-again); });
        }
        calls->push_back(percent);
    });
    showEach(texts);
    // The first block went to the old reader; the new one counts from its own first block.
    EXPECT_EQ(*calls, (std::vector<double>{1.0 / 3.0, -1.0 / 3.0, -2.0 / 3.0}));
}

TEST_F(ScannerFixture, TextsThatAreNotFramesAreIgnored) {
    start();
    showEach({"https://example.com/x", "", "ZZZZZZZZ", std::string(300, '%')});
    EXPECT_TRUE(progress.empty());
    EXPECT_TRUE(results.empty());
}

// A restart whose provider has no camera any more: the old camera is stopped and released, so what it
// still sees reaches nobody, and pausing or resuming the camera-less view does nothing.
TEST(ScannerWithoutCameraTest, StartsAndStopsWithoutReporting) {
    auto camera = std::make_shared<ScriptedCamera>();
    std::shared_ptr<CameraSource> provided = camera;
    auto view = std::make_shared<VXAScannerView>([&provided] { return provided; }, testKeys());
    int reports = 0;
    const auto texts = frameTexts(sealedRecord(jsonContent(600)), VxaAlgorithm::cyclic, 2);
    const auto start = [&] {
        view->startScanning([&](std::optional<VXAData>) { ++reports; }, [&](double, VxaAlgorithm) { ++reports; });
    };
    start();
    camera->show({texts[0]});
    ASSERT_EQ(reports, 1);

    provided = nullptr;
    start();
    EXPECT_EQ(view->captureSession(), nullptr);
    EXPECT_FALSE(camera->isRunning());
    view->stopScanning();
    view->startScanning();
    EXPECT_FALSE(camera->isRunning());
    camera->startRunning(); // even if the old camera is woken again, the view no longer listens to it
    camera->show({texts[0]});
    camera->show({texts[1]});
    EXPECT_EQ(reports, 1);
}

TEST_F(ScannerFixture, ChosenLTDecoderTakesEffectAtTheNextStartAndTheFramesAreCounted) {
    const Bytes record = sealedRecord(jsonContent(6000));
    const auto texts = frameTexts(record, VxaAlgorithm::luby, 40, 4242);
    // Shows the frames until a result arrives (with a picture without a symbol before each); returns how many.
    auto framesUntilResult = [&] {
        results.clear();
        std::size_t shown = 0;
        while (results.empty() && shown < texts.size()) {
            camera->show({});
            camera->show({texts[shown++]});
            if (results.empty()) {
                EXPECT_LT(view->estimatedProgress(), 1.0);
            }
        }
        EXPECT_EQ(results.size(), 1u);
        EXPECT_EQ(view->framesFed(), shown);
        EXPECT_EQ(view->picturesSeen(), 2 * shown);
        EXPECT_EQ(view->estimatedProgress(), 1.0);
        return shown;
    };
    start();
    view->setLTDecoder(LTDecoderKind::maximumLikelihood); // not yet: the running reader keeps peeling
    const std::size_t peeling = framesUntilResult();
    start();
    const std::size_t maximumLikelihood = framesUntilResult();
    view->setLTDecoder(LTDecoderKind::peeling);
    start();
    EXPECT_EQ(framesUntilResult(), peeling);
    // These frames carry rank K a frame before peeling can finish.
    EXPECT_LT(maximumLikelihood, peeling);
    ASSERT_TRUE(results[0]);
    EXPECT_EQ(results[0]->rawData(), record);
}

} // namespace
} // namespace vexaqr
