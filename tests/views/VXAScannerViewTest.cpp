#include <vexaqr/views/VXAScannerView.hpp>

#include "views/ScannerTestSupport.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace vexaqr {
namespace {

using namespace vexaqr::testing;

struct Progress {
    double percent;
    VxaAlgorithm algorithm;
};

struct ScannerFixture : ::testing::Test {
    std::shared_ptr<ScriptedCamera> camera = std::make_shared<ScriptedCamera>();
    std::shared_ptr<VXAScannerView> view = std::make_shared<VXAScannerView>([this] { return camera; });
    std::shared_ptr<KeysOnlyAppDataService> keys = testKeys();
    std::vector<std::optional<VXAData>> results;
    std::vector<Progress> progress;

    ScannerFixture() { view->setAppDataService(keys); }

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
    EXPECT_TRUE(results[0]->isValid);
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
    ASSERT_TRUE(results[0] && results[0]->isValid);
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

TEST_F(ScannerFixture, PictureWithTwoSymbolsFeedsNothing) {
    const auto texts = frameTexts(sealedRecord(jsonContent(1400)), VxaAlgorithm::cyclic, 3);
    start();
    camera->show({texts[0], texts[1]});
    camera->show({});
    EXPECT_TRUE(progress.empty());
    camera->show({texts[0]});
    EXPECT_EQ(progress.size(), 1u);
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
    EXPECT_TRUE(results[0] && results[0]->isValid);
}

TEST_F(ScannerFixture, BadlySignedBytesStillGiveARecordThatIsNotValid) {
    Bytes record = sealedRecord(jsonContent(600));
    record.back() ^= 0x01;
    start();
    showEach(frameTexts(record, VxaAlgorithm::cyclic, 2));
    ASSERT_EQ(results.size(), 1u);
    ASSERT_TRUE(results[0]);
    EXPECT_FALSE(results[0]->isValid);
}

TEST_F(ScannerFixture, WithoutAPartnerPublicKeyTheCompletionGetsNoRecord) {
    keys->partnerPublicKey = nullptr;
    start();
    showEach(frameTexts(sealedRecord(jsonContent(600)), VxaAlgorithm::cyclic, 2));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results[0]);
}

TEST_F(ScannerFixture, ScanningGoesOnAfterAResultAndMayRestartFromTheCompletion) {
    const Bytes record = sealedRecord(jsonContent(1000));
    const auto texts = frameTexts(record, VxaAlgorithm::luby, 40, 4242);
    int restarts = 0;
    view->startScanning(
        [&](std::optional<VXAData> result) {
            results.push_back(std::move(result));
            ++restarts;
            // Replaces the frame reader that is still inside its scannedQR call.
            view->startScanning([&](std::optional<VXAData> again) { results.push_back(std::move(again)); }, nullptr);
        },
        nullptr);
    std::size_t shown = 0;
    while (results.size() < 2 && shown < texts.size()) {
        camera->show({texts[shown++]});
    }
    EXPECT_EQ(restarts, 1);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[1]->rawData(), record);
}

TEST_F(ScannerFixture, TextsThatAreNotFramesAreIgnored) {
    start();
    showEach({"https://example.com/x", "", "ZZZZZZZZ", std::string(300, '%')});
    EXPECT_TRUE(progress.empty());
    EXPECT_TRUE(results.empty());
}

TEST(ScannerWithoutCameraTest, StartsAndStopsWithoutReporting) {
    auto view = std::make_shared<VXAScannerView>([] { return std::shared_ptr<CameraSource>(); });
    view->startScanning([](std::optional<VXAData>) { FAIL(); }, nullptr);
    view->stopScanning();
    view->startScanning();
    EXPECT_EQ(view->captureSession(), nullptr);
}

} // namespace
} // namespace vexaqr
