// The message workflow end to end: 1,000 SECURED messages of 1 KiB (2048-bit keys) listed, downloaded
// one by one from the devserver over loopback HTTP, verified, decrypted and cached through the facade;
// beside it, on records of the same kind sealed here, the decoding alone, the RSA work alone (key block
// opened, signature checked) and the cache replacement alone, so that the share of everything that is
// not cryptography can be read off.
#include "account/keys/KeyStore.hpp"
#include "account/keys/KeychainWrapper.hpp"
#include "account/platform/CurlHttpClient.hpp"
#include "account/sdk/AppDataService.hpp"
#include "account/sdk/DatabaseWrapper.hpp"
#include "account/service/UrlProvider.hpp"
#include <vexaqr/payload/VXADataWriter.hpp>
#include <vexaqr/platform/RunLoop.hpp>
#include <vexaqr/sdk/Installation.hpp>
#include <vexaqr/sdk/VexaQrSDK.hpp>

#include "codec/payload/RsaOperations.hpp"
#include "support/DevServer.hpp"
#include "support/TempDirectory.hpp"

#include <benchmark/benchmark.h>

#include <fstream>
#include <random>

namespace {

using namespace vexaqr;

constexpr int kMessages = 1000;
constexpr std::size_t kContentSize = 1024;
constexpr const char* kPartnerId = "BENCH-PARTNER";

// One activated installation with kMessages waiting on a devserver, made once for all benchmarks.
class ActivatedInstallation {
public:
    ActivatedInstallation() {
        _urlProvider->setApiBaseUrl(*Url::fromString(_server.apiBaseUrl()));
        _sdk = std::make_unique<VexaQrSDK>(
            VexaQrSDK::Environment{_urlProvider, std::make_shared<CurlHttpClient>(), _loop, _installation, nullptr});
        _server.admin("partner", "--partner-id", kPartnerId);
        activate();
        postMessages();
    }

    VexaQrSDK& sdk() { return *_sdk; }
    RunLoop& loop() { return *_loop; }
    bool ready() const { return _ready; }

private:
    void activate() {
        const auto code = _server.admin("activation-code", "--partner-id", kPartnerId, "--email", "b@example.org");
        const auto hub = _server.admin("hub-connection-string");
        Activation::ViewModel activation{code.line(),       Activation::RsaKeySize::rsa2048,
                                         Bytes{1, 2, 3, 4}, "hub",
                                         hub.line(),        kPartnerId,
                                         std::nullopt,      std::nullopt};
        bool done = false;
        std::optional<std::int64_t> result;
        _sdk->registerAccount({"b@example.org", kPartnerId, false, activation}, [&](auto code, auto) {
            result = code;
            done = true;
        });
        _loop->runUntil([&] { return done; }, std::chrono::seconds(60));
        _ready = result == 0;
    }

    void postMessages() {
        const auto appUniqueId = _sdk->appDataService()->getAppUniqueId();
        if (!_ready || !appUniqueId)
            return;
        std::mt19937 random(7);
        const auto file = _directory.path() / "content";
        for (int i = 0; i < kMessages && _ready; ++i) {
            std::string content(kContentSize, '\0');
            for (auto& c : content)
                c = static_cast<char>('a' + random() % 26);
            std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
            _ready = _server
                         .admin("message", "--app-id", appUniqueId->uuidString(), "--type", "secured", "--content",
                                file.string())
                         .exitCode == 0;
        }
    }

    test::TempDirectory _directory;
    test::DevServer _server;
    std::shared_ptr<RunLoop> _loop = std::make_shared<RunLoop>();
    std::shared_ptr<UrlProvider> _urlProvider = std::make_shared<UrlProvider>();
    std::shared_ptr<Installation> _installation =
        Installation::inDirectory(_directory.path() / "data", KeyStore::makeSqlite(_directory.path() / "keys"));
    std::unique_ptr<VexaQrSDK> _sdk;
    bool _ready = false;
};

ActivatedInstallation& installation() {
    static ActivatedInstallation instance;
    return instance;
}

// The same kind of records sealed here, for the parts that need no backend.
struct LocalRecords {
    LocalRecords() {
        std::mt19937 random(11);
        for (int i = 0; i < kMessages; ++i) {
            VXADataWriter::Input input;
            input.content.resize(kContentSize);
            for (auto& byte : input.content)
                byte = static_cast<std::uint8_t>('a' + random() % 26);
            input.vxaType = VxaType::SECURED;
            input.cipherMethod = CipherMethod::RSA2048_AES128_SHA256;
            input.issuerId = Uuid::random().value();
            input.timestamp = 1'700'000'000;
            input.partnerPrivateKey = partner.privateKey;
            input.keyBlockPublicKey = client.publicKey;
            records.push_back(VXADataWriter::write(input).value());
        }
    }
    RsaKeyPair client = RsaKey::generatePair(2048).value();
    RsaKeyPair partner = RsaKey::generatePair(2048).value();
    std::vector<Bytes> records;
};

const LocalRecords& localRecords() {
    static const LocalRecords instance;
    return instance;
}

std::vector<VxaMessage> fetchAll(ActivatedInstallation& setup) {
    bool done = false;
    std::vector<VxaMessage> messages;
    setup.sdk().getVexaQrMessages({}, [&](std::int64_t, std::optional<std::vector<VxaMessage>> list, auto) {
        messages = list.value_or(std::vector<VxaMessage>{});
        done = true;
    });
    setup.loop().runUntil([&] { return done; }, std::chrono::minutes(5));
    return messages;
}

// The whole workflow: list, 1,000 sequential downloads, decoding, cache replacement.
void BM_GetVexaQrMessages(benchmark::State& state) {
    auto& setup = installation();
    if (!setup.ready())
        return state.SkipWithError("the devserver installation could not be set up");
    for (auto _ : state) {
        const auto messages = fetchAll(setup);
        if (messages.size() != kMessages)
            return state.SkipWithError("not every message arrived valid");
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
}
BENCHMARK(BM_GetVexaQrMessages)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Decoding alone: what VXAData does per message (RSA, AES, SHA-256, parsing) with keys at hand.
void BM_DecodeOnly(benchmark::State& state) {
    const auto& local = localRecords();
    for (auto _ : state)
        for (const auto& record : local.records)
            if (!VXAData(record, local.client.privateKey, local.partner.publicKey, nullptr).isValid())
                return state.SkipWithError("a record did not verify");
    state.SetItemsProcessed(state.iterations() * kMessages);
}
BENCHMARK(BM_DecodeOnly)->Unit(benchmark::kMillisecond);

// The RSA work alone: one private-key decryption of the key block and one signature check per message.
void BM_RsaWorkOnly(benchmark::State& state) {
    const auto& local = localRecords();
    const std::size_t block = 256;
    for (auto _ : state) {
        for (const auto& record : local.records) {
            const Bytes signature(record.begin() + 19, record.begin() + 19 + block);
            benchmark::DoNotOptimize(rsa::decryptPkcs1(*local.client.privateKey, record.data() + 19 + block, block));
            benchmark::DoNotOptimize(rsa::verifySha256(*local.partner.publicKey, record.data() + 19 + 2 * block,
                                                       record.size() - 19 - 2 * block, signature));
        }
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
}
BENCHMARK(BM_RsaWorkOnly)->Unit(benchmark::kMillisecond);

// The cache replacement alone: 1,000 rows of the records' size in one transaction, on a real file.
void BM_CacheReplacement(benchmark::State& state) {
    test::TempDirectory directory;
    PersistencyManager manager([&] { return directory.path(); });
    DatabaseWrapper database(manager);
    std::vector<CachedVxaMessage> rows;
    for (std::size_t i = 0; i < localRecords().records.size(); ++i)
        rows.push_back(
            {localRecords().records[i], std::string("info"), std::string("template"), "message-" + std::to_string(i)});
    for (auto _ : state)
        if (!database.replaceVxaMessageCache(rows))
            return state.SkipWithError("the replacement failed");
    state.SetItemsProcessed(state.iterations() * kMessages);
}
BENCHMARK(BM_CacheReplacement)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
