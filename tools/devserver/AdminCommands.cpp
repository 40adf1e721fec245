// `admin partner`, `admin activation-code` and `admin message`: what a person types to set up a partner,
// hand out a code and send a message to an installation.
#include "AdminClient.hpp"
#include "DevServerRegistry.hpp"

#include "codec/payload/Base64.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>

namespace vexaqr::devserver {

namespace {

std::optional<Bytes> readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Private keys are written readable by the owner only.
bool writeFile(const std::string& path, const std::string& text, mode_t mode) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return ::close(fd) == 0 && written;
}

bool writeKeyFile(const std::string& path, const nlohmann::json& reply, const char* member, mode_t mode) {
    if (path.empty())
        return true;
    const auto key = reply.find(member);
    if (key != reply.end() && key->is_string() && writeFile(path, key->get<std::string>() + "\n", mode))
        return true;
    std::cerr << "vexaqr-devserver: cannot write " << path << '\n';
    return false;
}

std::string textOf(const nlohmann::json& reply, const char* member) {
    const auto value = reply.find(member);
    return value != reply.end() && value->is_string() ? value->get<std::string>() : std::string();
}

struct PartnerOptions {
    std::string partnerId;
    int bits = 2048;
    std::string privateKeyOut;
    std::string publicKeyOut;
};

void installPartner(CLI::App& admin, AdminClient& client, int& exitCode) {
    auto options = std::make_shared<PartnerOptions>();
    auto* command = admin.add_subcommand(
        "partner", "Create a partner with its RSA pair (or find the existing one); prints its public key PEM");
    command->add_option("--partner-id", options->partnerId, "The partner's id")->required();
    command->add_option("--bits", options->bits, "Key size of a new partner")
        ->check(CLI::IsMember({1024, 2048}))
        ->capture_default_str();
    command->add_option("--private-key-out", options->privateKeyOut, "Also write the private key PEM here (0600)");
    command->add_option("--public-key-out", options->publicKeyOut, "Also write the public key PEM here");
    command->callback([options, &client, &exitCode] {
        const auto reply = postOrReport(client, "/admin/partner",
                                        {{"partnerId", options->partnerId}, {"bits", options->bits}}, exitCode);
        if (!reply)
            return;
        if (!writeKeyFile(options->privateKeyOut, *reply, "privateKey", 0600) ||
            !writeKeyFile(options->publicKeyOut, *reply, "publicKey", 0644)) {
            exitCode = 1;
            return;
        }
        std::cout << textOf(*reply, "publicKey") << '\n';
    });
}

struct CodeOptions {
    std::string partnerId;
    std::string email;
};

void installActivationCode(CLI::App& admin, AdminClient& client, int& exitCode) {
    auto options = std::make_shared<CodeOptions>();
    auto* command = admin.add_subcommand("activation-code", "Issue a single-use activation code; prints it");
    command->add_option("--partner-id", options->partnerId, "The partner the user belongs to")->required();
    command->add_option("--email", options->email, "The user's e-mail address")->required();
    command->callback([options, &client, &exitCode] {
        const auto reply = postOrReport(client, "/admin/activation-code",
                                        {{"partnerId", options->partnerId}, {"email", options->email}}, exitCode);
        if (reply)
            std::cout << textOf(*reply, "activationCode") << '\n';
    });
}

struct MessageOptions {
    std::string appId;
    std::string type;
    bool colored = false;
    std::string contentFile;
    std::string contentType = "json";
    std::optional<std::string> info;
    std::optional<std::string> templateText;
};

nlohmann::json messageRequest(const MessageOptions& options, const Bytes& content) {
    nlohmann::json request{{"appUniqueId", options.appId},
                           {"type", options.type},
                           {"colored", options.colored},
                           {"contentType", options.contentType},
                           {"content", base64::encode(content)}};
    if (options.info)
        request["info"] = *options.info;
    if (options.templateText)
        request["template"] = *options.templateText;
    return request;
}

void installMessage(CLI::App& admin, AdminClient& client, int& exitCode) {
    auto options = std::make_shared<MessageOptions>();
    auto* command = admin.add_subcommand(
        "message", "Seal a record for one installation with its partner's key and keep it; prints the message id");
    command->add_option("--app-id", options->appId, "The installation's app unique id")->required();
    command
        ->add_option("--type", options->type,
                     "secured wraps the AES key for the installation's uploaded key, "
                     "encrypted for the partner's")
        ->required()
        ->check(CLI::IsMember({"signed", "secured", "encrypted", "masked"}));
    command->add_flag("--colored", options->colored, "The _COLORED variant of the type");
    command->add_option("--content", options->contentFile, "File whose bytes are the content")->required();
    command->add_option("--content-type", options->contentType, "Content type byte of the record")
        ->check(CLI::IsMember({"json", "json-zip", "image"}))
        ->capture_default_str();
    command->add_option("--info", options->info, "The message's vxaInfo text");
    command->add_option("--template", options->templateText, "The message's vxaTemplate text");
    command->callback([options, &client, &exitCode] {
        const auto content = readFile(options->contentFile);
        if (!content) {
            std::cerr << "vexaqr-devserver: cannot read " << options->contentFile << '\n';
            exitCode = 1;
            return;
        }
        const auto reply = postOrReport(client, "/admin/message", messageRequest(*options, *content), exitCode);
        if (reply)
            std::cout << textOf(*reply, "messageId") << '\n';
    });
}

const bool registered = registerAdminCommand(&installPartner) && registerAdminCommand(&installActivationCode) &&
                        registerAdminCommand(&installMessage);

} // namespace

} // namespace vexaqr::devserver
