// Shared pieces of the devserver's tests: a running devserver, the SDK's own backend client aimed at it,
// and set-up steps that bring an installation to a known state through the real endpoints.
#pragma once

#include "support/DevServer.hpp"

#include "account/platform/CurlHttpClient.hpp"
#include "account/service/Activation.hpp"
#include "account/service/Registration.hpp"
#include "account/service/UpdateKeys.hpp"
#include "account/service/WebService.hpp"
#include <vexaqr/Uuid.hpp>
#include <vexaqr/payload/KeyHandle.hpp>
#include <vexaqr/platform/RunLoop.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <string>

namespace vexaqr::test {

using namespace std::chrono_literals;

/// What one service call delivered.
template <class Model> struct Reply {
    std::optional<Model> record;
    std::optional<Error> error;

    /// The backend's result code; a sentinel no backend sends when the exchange failed.
    std::int64_t code() const { return record ? record->resultCode : kNoRecord; }
    static constexpr std::int64_t kNoRecord = -123456;
};

/// An installation registered (and possibly activated) on the devserver.
struct Installation {
    std::string appUniqueId;
    std::string partnerId;
    std::string email;
    RsaKeyPair appKeys;
};

/// A partner as the admin interface made it.
struct PartnerKeys {
    std::string partnerId;
    KeyHandle publicKey;
    KeyHandle privateKey;
    std::string publicKeyPem;
};

class BackendTest : public testing::Test {
protected:
    BackendTest() {
        if (server.isRunning())
            urlProvider->setApiBaseUrl(*Url::fromString(server.apiBaseUrl()));
    }

    void SetUp() override { ASSERT_TRUE(server.isRunning()) << "the devserver did not start"; }

    WebServiceEnvironment environment() const {
        return WebServiceEnvironment{.httpClient = httpClient, .mainQueue = mainQueue, .urlProvider = urlProvider};
    }

    /// Calls one operation through its service and runs the main queue until the completion ran.
    template <class Service, class Request, class Model>
    Reply<Model> call(void (Service::*method)(const Request&, ServiceCompletion<Model>), const Request& request) {
        auto service = std::make_shared<Service>(environment());
        Reply<Model> reply;
        bool done = false;
        ((*service).*method)(request, [&](std::optional<Model> record, std::optional<Error> error) {
            reply.record = std::move(record);
            reply.error = std::move(error);
            done = true;
        });
        EXPECT_TRUE(mainQueue->runUntil([&] { return done; }, 30s)) << "no completion";
        return reply;
    }

    /// Runs an admin command that must succeed and answers its printed line.
    template <class... Args> std::string admin(const Args&... args) {
        const auto result = server.admin(args...);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return result.line();
    }

    PartnerKeys makePartner(const std::string& partnerId, int bits = 1024) {
        const auto keyFile = directory.path() / (partnerId + ".key.pem");
        PartnerKeys partner;
        partner.partnerId = partnerId;
        partner.publicKeyPem = admin("partner", "--partner-id", partnerId, "--bits", std::to_string(bits),
                                     "--private-key-out", keyFile.string());
        partner.publicKey = RsaKey::fromPem(partner.publicKeyPem);
        std::ifstream file(keyFile);
        partner.privateKey = RsaKey::fromPem(std::string(std::istreambuf_iterator<char>(file), {}));
        return partner;
    }

    Reply<Registration::ResponseModel> registerClient(const Installation& installation, bool force = false,
                                                      std::optional<std::string> activationCode = std::nullopt) {
        return call(&RegistrationService::registerAccount,
                    Registration::RequestModel{.emailAddress = installation.email,
                                               .partnerId = installation.partnerId,
                                               .isForceRegistration = force,
                                               .activationCode = std::move(activationCode),
                                               .appUniqueId = installation.appUniqueId});
    }

    Reply<Activation::ResponseModel> activate(const Installation& installation, const std::string& code) {
        return call(&ActivationService::activateAccount,
                    Activation::RequestModel{.activationCode = code, .appUniqueId = installation.appUniqueId});
    }

    Reply<UpdateKeys::ResponseModel> uploadKey(const Installation& installation) {
        return call(&UpdateKeysService::updateKeys,
                    UpdateKeys::RequestModel{.appUniqueId = installation.appUniqueId,
                                             .pemPublicKeyString = installation.appKeys.publicKey->publicKeyPem()});
    }

    /// A new installation of `partnerId` (which must exist): registered, activated and with its key uploaded.
    Installation activeInstallation(const std::string& partnerId, const std::string& email, int bits = 1024) {
        Installation installation{Uuid::random().value().uuidString(), partnerId, email, *RsaKey::generatePair(bits)};
        const auto code = admin("activation-code", "--partner-id", partnerId, "--email", email);
        EXPECT_EQ(registerClient(installation).code(), 0);
        EXPECT_EQ(activate(installation, code).code(), 0);
        EXPECT_EQ(uploadKey(installation).code(), 0);
        return installation;
    }

    /// Writes `text` to a file in the test's directory and answers its path.
    std::string writeFile(const std::string& name, const std::string& text) {
        const auto path = directory.path() / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    TempDirectory directory;
    DevServer server;
    std::shared_ptr<RunLoop> mainQueue = std::make_shared<RunLoop>();
    std::shared_ptr<CurlHttpClient> httpClient = std::make_shared<CurlHttpClient>();
    std::shared_ptr<UrlProvider> urlProvider = std::make_shared<UrlProvider>();
};

} // namespace vexaqr::test
