// The hub client's per-request work that does not wait on the network: signing a request, reading a listing of
// registrations (and refusing replies that cannot be one), remembering a listing, and decoding Base64.
#include "account/hub/HubRegistrationParser.hpp"

#include "account/hub/HubLocalStorage.hpp"
#include "account/hub/HubTokenProvider.hpp"
#include "account/hub/NotificationHubHelper.hpp"
#include "account/hub/UserDefaults.hpp"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

namespace {

using namespace vexaqr;

std::string feedOf(int registrations) {
    std::string xml = "<feed xmlns=\"http://www.w3.org/2005/Atom\">";
    for (int i = 0; i < registrations; ++i)
        xml += "<entry><content type=\"application/xml\"><AppleTemplateRegistrationDescription><ETag>3</ETag>"
               "<ExpirationTime>2026-03-04T05:06:07.089Z</ExpirationTime><RegistrationId>id-" +
               std::to_string(i) +
               "</RegistrationId><Tags>news,sport</Tags><DeviceToken>0AFF0AFF0AFF0AFF</DeviceToken><BodyTemplate>"
               "<![CDATA[{\"aps\":{\"alert\":\"$(message)\"}}]]></BodyTemplate><TemplateName>t" +
               std::to_string(i) + "</TemplateName></AppleTemplateRegistrationDescription></content></entry>";
    return xml + "</feed>";
}

void SharedAccessSignature(benchmark::State& state) {
    const auto provider = HubTokenProvider::initWithConnectionDictinary(
        NotificationHubHelper::parseConnectionString(
            "Endpoint=sb://ns.example.net/;SharedAccessKeyName=DefaultFullSharedAccessSignature;SharedAccessKey=key"),
        nullptr, {});
    const std::string url =
        "https://ns.example.net/hub/Registrations/?$filter=deviceToken+eq+'0AFF'&api-version=2013-04";
    for (auto _ : state)
        benchmark::DoNotOptimize(provider->PrepareSharedAccessTokenWithUrl(url));
}
BENCHMARK(SharedAccessSignature);

void ParseRegistrations(benchmark::State& state) {
    const Bytes body = toBytes(feedOf(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        benchmark::DoNotOptimize(HubRegistrationParser::parseRegistrations(body));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
}
BENCHMARK(ParseRegistrations)->Arg(1)->Arg(100);

// The costliest reply the shape check lets through: elements with the most attributes allowed (16 each), up to the
// 4 MiB cap. Time per byte must stay flat as the reply grows; replies with more attributes per element, or with a
// document type declaration, are refused in one pass before the XML parser.
std::string elementsWithMostAttributes(int elements) {
    std::string xml = "<feed>";
    for (int e = 0; e < elements; ++e) {
        xml += "<AppleRegistrationDescription";
        for (int i = 0; i < 16; ++i)
            xml += " a" + std::to_string(i) + "='1'";
        xml += "/>";
    }
    return xml + "</feed>";
}

void ParseElementsWithMostAttributes(benchmark::State& state) {
    const Bytes body = toBytes(elementsWithMostAttributes(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        benchmark::DoNotOptimize(HubRegistrationParser::parseRegistrations(body));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
    state.counters["bodyBytes"] = static_cast<double>(body.size());
}
BENCHMARK(ParseElementsWithMostAttributes)->Arg(2500)->Arg(25000)->Unit(benchmark::kMillisecond);

// What a listing of N registrations costs the local store: one write of the whole list, into a real SQLite file.
void RememberListedRegistrations(benchmark::State& state) {
    const auto registrations =
        HubRegistrationParser::parseRegistrations(toBytes(feedOf(static_cast<int>(state.range(0)))));
    const auto directory = std::filesystem::temp_directory_path() / ("bench-hub-" + std::to_string(::getpid()));
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(directory);
        auto defaults = std::make_shared<UserDefaults>([directory] { return directory; });
        HubLocalStorage storage(defaults, "h");
        state.ResumeTiming();
        if (!storage.updateWithListedRegistrations(*registrations))
            state.SkipWithError("the store was not written");
    }
    std::filesystem::remove_all(directory);
}
BENCHMARK(RememberListedRegistrations)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond);

void DecodeBase64(benchmark::State& state) {
    const Bytes raw(static_cast<std::size_t>(state.range(0)), 0x5A);
    const std::string text = NotificationHubHelper::toBase64(raw.data(), raw.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(NotificationHubHelper::fromBase64(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(DecodeBase64)->Arg(32)->Arg(64 * 1024);

} // namespace
