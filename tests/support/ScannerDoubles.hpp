// What a scanner needs around it in tests and benchmarks: a camera that reports whatever symbols it is
// handed, an application data service that holds only the fixed test keys, and records sealed with them.
#pragma once

#include "account/sdk/AppDataService.hpp"
#include <vexaqr/payload/VXADataWriter.hpp>
#include <vexaqr/views/CameraSource.hpp>

#include "support/TestKeys.hpp"

#include <memory>

namespace vexaqr::test {

/// A camera whose pictures are whatever the test shows it; a paused camera sees nothing.
class ScriptedCamera final : public CameraSource {
public:
    void setReportHandler(Report report) override { _report = std::move(report); }
    bool isRunning() const override { return _running; }
    void startRunning() override { _running = true; }
    void stopRunning() override { _running = false; }

    void show(const std::vector<std::string>& symbols) {
        if (_running && _report) {
            _report(symbols);
        }
    }

private:
    Report _report;
    bool _running = false;
};

/// Only the keys are kept; everything else answers as an empty store would.
class KeysOnlyAppDataService final : public AppDataServiceProtocol {
public:
    KeyHandle clientPrivateKey;
    KeyHandle clientPublicKey;
    KeyHandle partnerPublicKey;
    KeyHandle partnerPrivateKey;

    std::optional<Uuid> createNewAppUniqueId() override { return Uuid::random(); }
    std::optional<Uuid> getAppUniqueId() override { return std::nullopt; }
    std::optional<std::int64_t> getVexaQrUserId() override { return std::nullopt; }
    void save(std::int64_t) override {}
    std::optional<std::string> getUserEmail() override { return std::nullopt; }
    void save(const std::string&) override {}
    VexaQrSDKRegistrationState getRegistrationState() override { return VexaQrSDKRegistrationState::initial; }
    void save(VexaQrSDKRegistrationState) override {}
    KeyHandle getPartnerPublicKey() override { return partnerPublicKey; }
    KeyHandle getPartnerPrivateKey() override { return partnerPrivateKey; }
    KeyHandle getClientPublicKey() override { return clientPublicKey; }
    KeyHandle getClientPrivateKey() override { return clientPrivateKey; }
    void resetRegistration() override {}
    bool trySave(std::int64_t) override { return false; } // keeps nothing, and says so
    bool trySave(const std::string&) override { return false; }
    bool trySave(VexaQrSDKRegistrationState) override { return false; }
};

/// The 1024-bit test keys of the application and the partner.
inline std::shared_ptr<KeysOnlyAppDataService> testKeys() {
    auto service = std::make_shared<KeysOnlyAppDataService>();
    service->clientPrivateKey = test::privateKey("app", 1024);
    service->clientPublicKey = test::publicKey("app", 1024);
    service->partnerPrivateKey = test::privateKey("partner", 1024);
    service->partnerPublicKey = test::publicKey("partner", 1024);
    return service;
}

/// A SECURED record of `content` sealed with the test keys (partner and app, 1,024 bits); empty if sealing fails.
inline Bytes sealedWithTestKeys(const Bytes& content) {
    VXADataWriter::Input input;
    input.content = content;
    input.contentType = ContentType::JSON;
    input.vxaType = VxaType::SECURED;
    input.cipherMethod = CipherMethod::RSA1024_AES128_SHA256;
    input.issuerId = *Uuid::fromString("0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0");
    input.timestamp = 1700000000;
    input.partnerPrivateKey = test::privateKey("partner", 1024);
    input.keyBlockPublicKey = test::publicKey("app", 1024);
    return VXADataWriter::write(input).value_or(Bytes());
}

} // namespace vexaqr::test
