// vexaqr keygen: a new RSA key pair as PEM files that the openssl command reads.
#include "CommandRegistry.hpp"
#include "PayloadFiles.hpp"

#include <nlohmann/json.hpp>

#include <iostream>
#include <memory>

namespace {

struct KeygenOptions {
    int bits = 2048;
    std::string prefix;
    bool json = false;
};

int generate(const KeygenOptions& options) {
    auto pair = vexaqr::RsaKey::generatePair(options.bits);
    if (!pair) {
        std::cerr << "key generation failed\n";
        return 1;
    }
    std::string privatePem = pair->privateKey->privateKeyPem();
    vexaqr::Bytes privateBytes = vexaqr::toBytes(privatePem);
    const bool written =
        vexaqr::cli::writeWholeFile(options.prefix + ".key.pem", privateBytes, true) &&
        vexaqr::cli::writeWholeFile(options.prefix + ".pub.pem", vexaqr::toBytes(pair->publicKey->publicKeyPem()));
    vexaqr::cleanse(privateBytes);
    if (!written)
        return 1;
    if (options.json)
        std::cout << nlohmann::ordered_json{{"publicKey", options.prefix + ".pub.pem"},
                                            {"privateKey", options.prefix + ".key.pem"},
                                            {"bits", options.bits}}
                         .dump()
                  << '\n';
    else
        std::cout << options.prefix << ".pub.pem\n" << options.prefix << ".key.pem\n";
    return 0;
}

const bool kRegistered = vexaqr::cli::registerCommand([](CLI::App& root, int& exitCode) {
    auto options = std::make_shared<KeygenOptions>();
    auto* command = root.add_subcommand("keygen", "Generate an RSA key pair: PREFIX.pub.pem and PREFIX.key.pem");
    command->add_option("--bits", options->bits, "Key size")->check(CLI::IsMember({1024, 2048}));
    command->add_option("--out", options->prefix, "Path prefix of the two files")->required();
    command->add_flag("--json", options->json, "The two paths as one JSON object");
    command->callback([options, &exitCode] { exitCode = generate(*options); });
});

} // namespace
