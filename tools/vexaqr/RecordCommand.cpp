// vexaqr record seal | inspect: write payload records and show what a parsed record holds.
#include "CommandRegistry.hpp"
#include "PayloadFiles.hpp"
#include "RecordPrinter.hpp"

#include <vexaqr/payload/VXAData.hpp>
#include <vexaqr/payload/VXADataWriter.hpp>

#include <chrono>
#include <iostream>
#include <map>
#include <memory>

namespace {

using namespace vexaqr;

struct SealOptions {
    std::string type;
    bool colored = false;
    std::string contentFile;
    std::string contentType = "json";
    std::string cipher;
    std::string issuer;
    std::optional<std::uint32_t> time;
    std::string partnerKey;
    std::string appPublicKey;
    std::string partnerPublicKey;
    std::string out;
};

struct InspectOptions {
    std::string file;
    std::string partnerPublicKey;
    std::string appKey;
    std::string partnerKey;
    bool json = false;
    bool showSecrets = false;
    std::string contentOut;
};

const std::map<std::string, VxaType> kBaseTypes{{"signed", VxaType::SIGNED},
                                                {"secured", VxaType::SECURED},
                                                {"encrypted", VxaType::ENCRYPTED},
                                                {"masked", VxaType::MASKED}};
const std::map<std::string, ContentType> kContentTypes{
    {"json", ContentType::JSON}, {"json-zip", ContentType::JSON_ZIP}, {"image", ContentType::IMAGE}};

VxaType recordType(const SealOptions& options) {
    const VxaType base = kBaseTypes.at(options.type);
    return options.colored ? static_cast<VxaType>(rawValue(base) + 4) : base;
}

CipherMethod cipherMethod(const SealOptions& options, const RsaKey& partnerKey) {
    if (options.cipher == "rsa1024")
        return CipherMethod::RSA1024_AES128_SHA256;
    if (options.cipher == "rsa2048")
        return CipherMethod::RSA2048_AES128_SHA256;
    return partnerKey.sizeInBits() <= 1024 ? CipherMethod::RSA1024_AES128_SHA256 : CipherMethod::RSA2048_AES128_SHA256;
}

std::uint32_t now() {
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(seconds.count());
}

// Which public key wraps the AES key: the app's for SECURED, the partner's for ENCRYPTED.
std::optional<KeyHandle> keyBlockKey(const SealOptions& options, VxaType type) {
    if (!hasKeyBlock(type))
        return KeyHandle();
    const bool secured = type == VxaType::SECURED || type == VxaType::SECURED_COLORED;
    const std::string& path = secured ? options.appPublicKey : options.partnerPublicKey;
    if (path.empty()) {
        std::cerr << (secured ? "--app-pub" : "--partner-pub") << " is needed for " << options.type << " records\n";
        return std::nullopt;
    }
    KeyHandle key = cli::readPemKey(path);
    if (!key)
        return std::nullopt;
    return key;
}

int seal(const SealOptions& options) {
    const VxaType type = recordType(options);
    auto content = cli::readWholeFile(options.contentFile);
    KeyHandle partnerKey = cli::readPemKey(options.partnerKey);
    auto wrapKey = keyBlockKey(options, type);
    if (!content || !partnerKey || !wrapKey)
        return 1;
    const bool randomIssuer = options.issuer.empty();
    std::optional<Uuid> issuer = randomIssuer ? Uuid::random() : Uuid::fromString(options.issuer);
    if (!issuer) {
        std::cerr << (randomIssuer ? "no random issuer: the random generator failed\n" : "--issuer is not a UUID\n");
        return randomIssuer ? 1 : 2;
    }
    VXADataWriter::Input input;
    input.content = std::move(*content);
    input.contentType = kContentTypes.at(options.contentType);
    input.vxaType = type;
    input.cipherMethod = cipherMethod(options, *partnerKey);
    input.issuerId = *issuer;
    input.timestamp = options.time.value_or(now());
    input.partnerPrivateKey = partnerKey;
    input.keyBlockPublicKey = *wrapKey;
    auto record = VXADataWriter::write(input);
    if (!record) {
        std::cerr << "cannot seal: the keys must be private/public as asked and match the cipher's size\n";
        return 1;
    }
    if (!cli::writeWholeFile(options.out, *record))
        return 1;
    std::cerr << "vexaqr record seal: " << record->size() << " bytes, a " << name(type) << " record of "
              << input.content.size() << " content bytes, written to " << options.out << '\n';
    return 0;
}

int inspect(const InspectOptions& options) {
    auto record = cli::readWholeFile(options.file);
    KeyHandle partnerPublic = cli::readPemKey(options.partnerPublicKey);
    KeyHandle appKey = options.appKey.empty() ? nullptr : cli::readPemKey(options.appKey);
    KeyHandle partnerKey = options.partnerKey.empty() ? nullptr : cli::readPemKey(options.partnerKey);
    if (!record || !partnerPublic || (!options.appKey.empty() && !appKey) ||
        (!options.partnerKey.empty() && !partnerKey))
        return 1;
    const VXAData data(*record, appKey, partnerPublic, partnerKey);
    if (options.json)
        std::cout << cli::recordJson(data, cli::secretsFor(options.showSecrets)).dump() << "\n";
    else
        cli::printRecordText(data, std::cout, cli::secretsFor(options.showSecrets));
    if (!options.contentOut.empty() && data.actualVxaData &&
        !cli::writeWholeFile(options.contentOut, *data.actualVxaData, true))
        return 1;
    return data.isValid() ? 0 : 1;
}

void addSeal(CLI::App& record, int& exitCode) {
    auto options = std::make_shared<SealOptions>();
    auto* seal = record.add_subcommand("seal", "Write a signed (and for secured/encrypted, encrypted) record");
    seal->add_option("--type", options->type, "Record type")
        ->required()
        ->check(CLI::IsMember({"signed", "secured", "encrypted", "masked"}));
    seal->add_flag("--colored", options->colored, "The COLORED form of the type");
    seal->add_option("--content", options->contentFile, "File with the content")->required();
    seal->add_option("--content-type", options->contentType, "Content type")
        ->check(CLI::IsMember({"json", "json-zip", "image"}));
    seal->add_option("--cipher", options->cipher, "Cipher method (default: from the partner key's size)")
        ->check(CLI::IsMember({"rsa1024", "rsa2048"}));
    seal->add_option("--issuer", options->issuer, "Issuer UUID (default: a random one)");
    seal->add_option("--time", options->time, "Time stamp, seconds since 1970 (default: now)");
    seal->add_option("--partner-key", options->partnerKey, "Partner private key (PEM) that signs")->required();
    auto* appPub = seal->add_option("--app-pub", options->appPublicKey, "App public key (PEM) for secured records");
    auto* partnerPub =
        seal->add_option("--partner-pub", options->partnerPublicKey, "Partner public key (PEM) for encrypted records");
    appPub->excludes(partnerPub);
    seal->add_option("--out", options->out, "Record file to write")->required();
    seal->callback([options, &exitCode] { exitCode = ::seal(*options); });
}

void addInspect(CLI::App& record, int& exitCode) {
    auto options = std::make_shared<InspectOptions>();
    auto* inspect = record.add_subcommand("inspect", "Parse a record and print its fields (exit 1 unless it verifies)");
    inspect->add_option("file", options->file, "Record file")->required();
    inspect->add_option("--partner-pub", options->partnerPublicKey, "Partner public key (PEM)")->required();
    inspect->add_option("--app-key", options->appKey, "App private key (PEM) for secured records");
    inspect->add_option("--partner-key", options->partnerKey, "Partner private key (PEM) for encrypted records");
    inspect->add_flag("--json", options->json, "One JSON object named after the record's properties");
    inspect->add_flag("--show-secrets", options->showSecrets, "Also print the record's AES content key");
    inspect->add_option("--content-out", options->contentOut, "Write the plain content to this file");
    inspect->callback([options, &exitCode] { exitCode = ::inspect(*options); });
}

const bool kRegistered = vexaqr::cli::registerCommand([](CLI::App& root, int& exitCode) {
    auto* record = root.add_subcommand("record", "Payload records: seal, inspect");
    record->require_subcommand(1);
    addSeal(*record, exitCode);
    addInspect(*record, exitCode);
});

} // namespace
