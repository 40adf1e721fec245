// The three stores of one data directory (keys, objects, hub defaults) as real SQLite files, and a text
// snapshot of everything they hold, for tests that damage or interrupt them.
#pragma once

#include "account/hub/HubLocalStorage.hpp"
#include "account/hub/UserDefaults.hpp"
#include "account/keys/KeyStore.hpp"
#include "account/keys/KeychainWrapper.hpp"
#include "account/sdk/DatabaseWrapper.hpp"
#include "account/sdk/PersistencyManager.hpp"

#include "account/platform/SqliteDatabase.hpp"
#include "support/TestKeys.hpp"

#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace vexaqr::test {

inline constexpr const char* kKeyStoreFile = "keystore.sqlite3";
inline constexpr const char* kObjectStoreFile = "VexaQrSDKModel.sqlite";
inline constexpr const char* kDefaultsFile = "userdefaults.sqlite";
inline constexpr const char* kHubPath = "hub";

inline std::string clientTag(Activation::KeyType type) {
    return KeychainWrapper::keyTag(Activation::KeyOwner::clientKey, type);
}

inline std::string partnerTag(Activation::KeyType type) {
    return KeychainWrapper::keyTag(Activation::KeyOwner::partnerKey, type);
}

/// A client key pair as the workflow stores it.
inline std::vector<KeychainWrapper::TaggedKey> clientPair(const std::string& who, int bits) {
    return {{clientTag(Activation::KeyType::privateKey), privateKey(who, bits)},
            {clientTag(Activation::KeyType::publicKey), publicKey(who, bits)}};
}

inline std::vector<KeychainWrapper::TaggedKey> partnerPair() {
    return {{partnerTag(Activation::KeyType::privateKey), privateKey("partner", 1024)},
            {partnerTag(Activation::KeyType::publicKey), publicKey("partner", 1024)}};
}

/// A cached message whose every field names `id`.
inline CachedVxaMessage cachedMessage(const std::string& id) {
    return {toBytes("data " + id), "info " + id, "template " + id, id};
}

/// Store objects over the files of `directory`; each object opens its own connection.
class Stores {
public:
    explicit Stores(std::filesystem::path directory)
        : _directory(std::move(directory)), keyStore(KeyStore::makeSqlite(_directory)), keychain(keyStore),
          manager([d = _directory] { return d; }), database(manager),
          defaults(std::make_shared<UserDefaults>([d = _directory] { return d; })) {}

    /// Every key, setting, cached message and hub entry, one per line.
    std::string snapshot() {
        std::ostringstream out;
        for (const auto& tag :
             {clientTag(Activation::KeyType::privateKey), clientTag(Activation::KeyType::publicKey),
              partnerTag(Activation::KeyType::privateKey), partnerTag(Activation::KeyType::publicKey)}) {
            auto lookup = keyStore->copyMatching(toBytes(tag));
            out << tag << " " << static_cast<int>(lookup.status) << " "
                << (lookup.key ? lookup.key->externalRepresentation().size() : 0) << " "
                << (lookup.key ? std::hash<std::string>{}(toString(lookup.key->externalRepresentation())) : 0) << "\n";
        }
        auto userId = database.settings().vexaQrUserId;
        out << "userId " << (userId ? std::to_string(*userId) : "(none)") << "\n";
        auto messages = database.getCachedVxaMessages();
        out << "messages " << (messages ? std::to_string(messages->size()) : "(unreadable)") << "\n";
        for (const auto& message : messages.value_or(std::vector<CachedVxaMessage>{}))
            out << "  " << message.messageId.value_or("-") << " " << message.vxaInfo.value_or("-") << " "
                << message.vxaTemplate.value_or("-") << " " << toString(message.vxaData.value_or(Bytes{})) << "\n";
        for (const auto& key :
             {std::string(kHubPath) + "-version", std::string(kHubPath) + "-deviceToken", std::string("text")})
            out << key << " " << defaults->stringForKey(key).value_or("(none)") << "\n";
        for (const auto& entry :
             defaults->stringArrayForKey(std::string(kHubPath) + "-registrations").value_or(std::vector<std::string>{}))
            out << "  registration " << entry << "\n";
        return out.str();
    }

private:
    std::filesystem::path _directory;

public:
    std::shared_ptr<KeyStore> keyStore;
    KeychainWrapper keychain;
    PersistencyManager manager;
    DatabaseWrapper database;
    std::shared_ptr<UserDefaults> defaults;
};

/// "ok" when SQLite finds nothing wrong with the file.
inline std::string integrityCheck(const std::filesystem::path& file) {
    std::string error;
    auto database = SqliteDatabase::open(file, error);
    if (!database)
        return error;
    auto check = database->prepare("PRAGMA integrity_check");
    if (!check || check->step() != SqliteDatabase::Statement::Step::row)
        return database->lastError();
    auto verdict = check->column(0);
    auto* text = std::get_if<std::string>(&verdict);
    return text ? *text : "no verdict";
}

} // namespace vexaqr::test
