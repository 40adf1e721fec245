// The application data service as the scan commands see it: keys given as PEM files on the command
// line take the place of the stored ones; everything else is the stored data.
#pragma once

#include <vexaqr/payload/KeyHandle.hpp>
#include <vexaqr/sdk/AppDataService.hpp>

#include <memory>

namespace vexaqr::cli {

class PemKeysAppDataService final : public AppDataServiceProtocol {
public:
    /// Null keys fall back to the keys of `stored`, which answers everything else.
    PemKeysAppDataService(std::shared_ptr<AppDataServiceProtocol> stored, KeyHandle appPrivateKey,
                          KeyHandle partnerPublicKey, KeyHandle partnerPrivateKey)
        : _stored(std::move(stored)), _appPrivateKey(std::move(appPrivateKey)),
          _partnerPublicKey(std::move(partnerPublicKey)), _partnerPrivateKey(std::move(partnerPrivateKey)) {}

    KeyHandle getClientPrivateKey() override {
        return _appPrivateKey ? _appPrivateKey : _stored->getClientPrivateKey();
    }
    KeyHandle getPartnerPublicKey() override {
        return _partnerPublicKey ? _partnerPublicKey : _stored->getPartnerPublicKey();
    }
    KeyHandle getPartnerPrivateKey() override {
        return _partnerPrivateKey ? _partnerPrivateKey : _stored->getPartnerPrivateKey();
    }
    KeyHandle getClientPublicKey() override { return _stored->getClientPublicKey(); }

    std::optional<Uuid> createNewAppUniqueId() override { return _stored->createNewAppUniqueId(); }
    std::optional<Uuid> getAppUniqueId() override { return _stored->getAppUniqueId(); }
    std::optional<std::int64_t> getVexaQrUserId() override { return _stored->getVexaQrUserId(); }
    void save(std::int64_t vexaQrUserId) override { _stored->save(vexaQrUserId); }
    std::optional<std::string> getUserEmail() override { return _stored->getUserEmail(); }
    void save(const std::string& userEmail) override { _stored->save(userEmail); }
    VexaQrSDKRegistrationState getRegistrationState() override { return _stored->getRegistrationState(); }
    void save(VexaQrSDKRegistrationState state) override { _stored->save(state); }
    void resetRegistration() override { _stored->resetRegistration(); }

private:
    std::shared_ptr<AppDataServiceProtocol> _stored;
    KeyHandle _appPrivateKey;
    KeyHandle _partnerPublicKey;
    KeyHandle _partnerPrivateKey;
};

} // namespace vexaqr::cli
