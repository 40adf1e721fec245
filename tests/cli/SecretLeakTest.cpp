// The whole flow through the command-line program with logging on (keygen, seal, present, scan, register,
// activate with the hub registration, messages, logout against the devserver), then a search of everything
// it wrote to standard output, standard error, the log and its temporary folder for every secret the flow
// made: private keys in PEM and DER, AES content keys, the hub key, access tokens and their signatures.
// None may appear. The stores, private key files and decrypted contents must be mode 0600, the stores in a 0700
// folder, and with --json the log stays out of standard output.
#include "support/DevServer.hpp"
#include "support/TempDirectory.hpp"

#include "cli/CliSupport.hpp"

#include "account/keys/KeyStore.hpp"
#include "account/keys/KeychainWrapper.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <openssl/evp.h>

#include <fstream>

#include <sys/stat.h>

namespace vexaqr {
namespace {

using test::lastJson;
using test::runShell;

std::string readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::string hex(const std::string& bytes, bool upper) {
    static const char* digits[] = {"0123456789abcdef", "0123456789ABCDEF"};
    std::string text;
    for (unsigned char byte : bytes) {
        text += digits[upper][byte >> 4];
        text += digits[upper][byte & 15];
    }
    return text;
}

std::string base64(const std::string& bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int length =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

std::string fromHex(const std::string& text) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        bytes += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
    return bytes;
}

// A secret and the forms in which it could leak.
struct Secret {
    std::string name;
    std::vector<std::string> forms;
};

// Raw bytes, hexadecimal both ways and base-64; a long secret also by its first and last 24 bytes, so that
// a part of it is found too.
Secret bytesSecret(const std::string& name, const std::string& bytes) {
    Secret secret{name, {bytes, hex(bytes, false), hex(bytes, true), base64(bytes)}};
    if (bytes.size() > 48)
        for (const std::string& part : {bytes.substr(0, 24), bytes.substr(bytes.size() - 24)})
            for (const std::string& form : {part, hex(part, false), hex(part, true)})
                secret.forms.push_back(form);
    return secret;
}

// A PEM private key: every full base-64 line of its body, and its DER.
Secret pemSecret(const std::string& name, const std::string& pem) {
    Secret secret{name, {}};
    std::istringstream lines(pem);
    std::string body;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("-----"))
            continue;
        body += line;
        if (line.size() >= 40)
            secret.forms.push_back(line);
    }
    std::string der(body.size(), '\0');
    const int length =
        EVP_DecodeBlock(reinterpret_cast<unsigned char*>(der.data()),
                        reinterpret_cast<const unsigned char*>(body.data()), static_cast<int>(body.size()));
    const auto padding = static_cast<int>(body.size() - body.find_last_not_of('=') - 1);
    der.resize(length > padding ? static_cast<std::size_t>(length - padding) : 0);
    for (auto& form : bytesSecret(name + " (DER)", der).forms)
        secret.forms.push_back(form);
    return secret;
}

// A run of the program with its standard error kept apart.
struct CapturedRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class SecretLeakTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(_server.isRunning());
        for (const char* folder : {"tmp", "keys", "out"})
            std::filesystem::create_directories(_directory.path() / folder);
    }

    std::filesystem::path path(const std::string& relative) const { return _directory.path() / relative; }

    // Runs the program with TMPDIR pointing into the test's folder; `searched` runs count as output.
    CapturedRun cli(const std::string& arguments, bool searched = true) {
        const std::string command = "TMPDIR='" + path("tmp").string() + "' " + VEXAQR_CLI_PATH + " " + arguments +
                                    " 2>'" + path("stderr.txt").string() + "'";
        auto shell = runShell(command);
        CapturedRun run{shell.exitCode, std::move(shell.out), readFile(path("stderr.txt"))};
        std::filesystem::remove(path("stderr.txt"));
        if (searched)
            _written += "\n=== next run\n" + run.out + run.err; // not the arguments: they hold the hub key
        return run;
    }

    CapturedRun account(const std::string& arguments, bool searched = true) {
        return cli("account " + arguments + " --verbose --base-url " + _server.apiBaseUrl() + " --data-dir " +
                       path("data").string(),
                   searched);
    }

    // Everything the runs wrote where secrets must not be: outputs, the log, and the temporary folder.
    std::string everythingWritten() const {
        std::string all = _written;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path("tmp")))
            if (entry.is_regular_file())
                all += "\n=== " + entry.path().string() + "\n" + readFile(entry.path());
        return all;
    }

    test::TempDirectory _directory;
    test::DevServer _server;
    std::string _written;
};

TEST_F(SecretLeakTest, TheWholeFlowWithLoggingOnWritesNoSecretAnywhere) {
    std::vector<Secret> secrets;

    // Keys made by keygen, a record sealed with them, presented and scanned back.
    for (const char* who : {"partner", "app"}) {
        ASSERT_EQ(cli("keygen --bits 1024 --out " + path(std::string("keys/") + who).string()).exitCode, 0);
        secrets.push_back(
            pemSecret(std::string(who) + " private key", readFile(path(std::string("keys/") + who + ".key.pem"))));
    }
    std::ofstream(path("out/content.json")) << R"({"greeting":"hello from the leak test"})";
    ASSERT_EQ(cli("record seal --type secured --content " + path("out/content.json").string() + " --partner-key " +
                  path("keys/partner.key.pem").string() + " --app-pub " + path("keys/app.pub.pem").string() +
                  " --out " + path("out/record.bin").string())
                  .exitCode,
              0);
    const std::string keyArguments =
        " --partner-pub " + path("keys/partner.pub.pem").string() + " --app-key " + path("keys/app.key.pem").string();
    const CapturedRun inspected = cli("record inspect " + path("out/record.bin").string() + keyArguments, true);
    ASSERT_EQ(inspected.exitCode, 0) << inspected.err;
    const auto shown = nlohmann::json::parse(
        cli("record inspect --json --show-secrets " + path("out/record.bin").string() + keyArguments, false).out,
        nullptr, false);
    ASSERT_TRUE(shown.is_object() && shown["aesKey"].is_string());
    secrets.push_back(bytesSecret("sealed record's AES key", fromHex(shown["aesKey"].get<std::string>())));
    ASSERT_EQ(
        cli("present " + path("out/record.bin").string() + " --gif " + path("out/record.gif").string() + " --frames 60")
            .exitCode,
        0);
    const CapturedRun scanned = cli("scan " + path("out/record.gif").string() + keyArguments);
    ASSERT_EQ(scanned.exitCode, 0) << scanned.err;
    ASSERT_NE(scanned.out.find("isValid: true"), std::string::npos) << scanned.out;

    // The account, activated with a hub registration signed with the hub key, and a message.
    ASSERT_EQ(_server.admin("partner", "--partner-id", "LEAK-PARTNER").exitCode, 0);
    const auto code = _server.admin("activation-code", "--partner-id", "LEAK-PARTNER", "--email", "leak@example.org");
    const std::string connection = _server.hubConnectionString();
    const auto keyAt = connection.find("SharedAccessKey=");
    ASSERT_NE(keyAt, std::string::npos) << connection;
    secrets.push_back({"hub key", {connection.substr(keyAt + 16, connection.find(';', keyAt) - keyAt - 16)}});
    const CapturedRun registered =
        account("register --email leak@example.org --partner-id LEAK-PARTNER --activation-code " + code.line() +
                " --device-token 0aff --hub-name leak-hub --hub-connection-string '" + connection + "'");
    ASSERT_EQ(registered.exitCode, 0) << registered.out << registered.err;
    const auto status = lastJson(account("status --json").out);
    ASSERT_TRUE(status.is_object() && status["appUniqueId"].is_string());
    std::ofstream(path("out/message.txt")) << "a message for the leak test";
    ASSERT_EQ(_server
                  .admin("message", "--app-id", status["appUniqueId"].get<std::string>(), "--type", "secured",
                         "--content", path("out/message.txt").string())
                  .exitCode,
              0);
    const CapturedRun messages = account("messages --content-dir " + path("out/contents").string());
    ASSERT_EQ(messages.exitCode, 0) << messages.out << messages.err;
    const CapturedRun listedRun = account("messages --json --show-secrets", false);
    EXPECT_NE(listedRun.err.find("[DEBUG] POST REQUEST - "), std::string::npos) << "with --json the log goes here";
    const auto listed = nlohmann::json::parse(listedRun.out, nullptr, false);
    ASSERT_TRUE(listed.is_object() && listed["messages"].size() == 1u) << listedRun.out;
    secrets.push_back(bytesSecret("message's AES key",
                                  fromHex(listed["messages"][0]["processedVxaData"]["aesKey"].get<std::string>())));

    // The keys the activation left in the store: the client's generated pair and the partner's.
    auto store = KeyStore::makeSqlite(path("data"));
    for (auto owner : {Activation::KeyOwner::clientKey, Activation::KeyOwner::partnerKey}) {
        auto lookup = store->copyMatching(toBytes(KeychainWrapper::keyTag(owner, Activation::KeyType::privateKey)));
        if (owner == Activation::KeyOwner::clientKey) {
            ASSERT_TRUE(lookup.key);
        }
        if (lookup.key)
            secrets.push_back(bytesSecret("stored private key (" + std::string(Activation::rawValue(owner)) + ")",
                                          toString(lookup.key->externalRepresentation())));
    }
    store.reset();

    // Modes before logout empties the stores.
    struct stat info {};
    ASSERT_EQ(::stat(path("data").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    for (const auto& entry : std::filesystem::directory_iterator(path("data"))) {
        ASSERT_EQ(::stat(entry.path().c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u) << entry.path();
    }
    for (const char* who : {"partner", "app"}) {
        ASSERT_EQ(::stat(path(std::string("keys/") + who + ".key.pem").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u) << who;
    }
    int contents = 0;
    for (const auto& entry : std::filesystem::directory_iterator(path("out/contents"))) {
        ASSERT_EQ(::stat(entry.path().c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u) << "decrypted content " << entry.path();
        ++contents;
    }
    EXPECT_EQ(contents, 1);

    ASSERT_EQ(account("logout").exitCode, 0);

    // Access tokens and signatures are never known to the test in advance: look for their markers instead.
    secrets.push_back({"shared access signature", {"SharedAccessSignature ", "sig="}});
    secrets.push_back({"token service token", {"wrap_access_token", "WRAP access_token"}});

    const std::string written = everythingWritten();
    ASSERT_NE(written.find("[DEBUG] POST REQUEST - "), std::string::npos) << "logging was not on";
    int searched = 0;
    int found = 0;
    for (const auto& secret : secrets) {
        for (const auto& form : secret.forms) {
            ASSERT_GE(form.size(), 4u) << secret.name;
            ++searched;
            const auto at = written.find(form);
            if (at != std::string::npos) {
                ++found;
                ADD_FAILURE() << secret.name << " appears in what the flow wrote, near: "
                              << written.substr(at > 200 ? at - 200 : 0, 300);
            }
        }
    }
    RecordProperty("secrets", static_cast<int>(secrets.size()));
    RecordProperty("formsSearched", searched);
    RecordProperty("found", found);
}

} // namespace
} // namespace vexaqr
