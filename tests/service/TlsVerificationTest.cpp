// The HTTP client's TLS checks against real TLS servers whose certificates the `openssl` command makes at
// test time under a test authority: a good certificate for 127.0.0.1 is accepted; a self-signed one, one
// for another host name and an expired one are each refused.
#include "ServiceTestSupport.hpp"
#include "support/TempDirectory.hpp"

#include <future>

namespace vexaqr::test {
namespace {

class CertifiedTlsServer : public LoopbackServer {
public:
    CertifiedTlsServer(const std::filesystem::path& certificate, const std::filesystem::path& key)
        : LoopbackServer(std::make_unique<httplib::SSLServer>(certificate.c_str(), key.c_str()),
                         reply(200, R"({"result":0})")) {}
    std::string httpsOrigin() const { return "https" + origin().substr(4); }
};

class TlsVerificationTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        _pki = new TempDirectory;
        const std::string command = "bash '" + std::string(VEXAQR_TEST_DATA_DIR) + "/tls/make_test_pki.sh' '" +
                                    _pki->path().string() + "' >/dev/null 2>&1";
        _pkiMade = std::system(command.c_str()) == 0;
    }
    static void TearDownTestSuite() {
        delete _pki;
        _pki = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(_pkiMade) << "openssl could not make the test certificates"; }

    // The outcome of one GET to a server presenting certificate `name`, by a client trusting the test authority.
    HttpResult fetchFrom(const std::string& name) {
        CertifiedTlsServer server(_pki->path() / (name + ".pem"), _pki->path() / (name + ".key"));
        CurlHttpClient client(
            CurlHttpClient::Options{CurlHttpClient::kDefaultMaxResponseBytes, (_pki->path() / "ca.pem").string()});
        auto promise = std::make_shared<std::promise<HttpResult>>();
        auto future = promise->get_future();
        client.send(HttpRequest{"GET", server.httpsOrigin() + "/tls", {}, std::nullopt, std::chrono::seconds(10)},
                    [promise](HttpResult result) { promise->set_value(std::move(result)); });
        EXPECT_EQ(future.wait_for(std::chrono::seconds(20)), std::future_status::ready);
        return future.get();
    }

    void expectRefused(const std::string& name) {
        const HttpResult result = fetchFrom(name);
        EXPECT_FALSE(result.response) << name << " was accepted";
        ASSERT_TRUE(result.error) << name;
        EXPECT_EQ(result.error->domain, kHttpClientErrorDomain);
        EXPECT_EQ(result.error->code, static_cast<std::int64_t>(HttpClientErrorCode::tlsFailure))
            << name << ": " << result.error->message;
    }

    static inline TempDirectory* _pki = nullptr;
    static inline bool _pkiMade = false;
};

TEST_F(TlsVerificationTest, AGoodCertificateFor127001IsAccepted) {
    const HttpResult result = fetchFrom("good");
    ASSERT_FALSE(result.error) << result.error->message;
    ASSERT_TRUE(result.response);
    EXPECT_EQ(result.response->statusCode, 200);
    EXPECT_EQ(result.body, toBytes(R"({"result":0})"));
}

TEST_F(TlsVerificationTest, ASelfSignedCertificateIsRefused) {
    expectRefused("selfsigned");
}

TEST_F(TlsVerificationTest, ACertificateForAnotherHostIsRefused) {
    expectRefused("otherhost");
}

TEST_F(TlsVerificationTest, AnExpiredCertificateIsRefused) {
    expectRefused("expired");
}

} // namespace
} // namespace vexaqr::test
