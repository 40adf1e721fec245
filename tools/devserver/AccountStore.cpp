#include "AccountStore.hpp"

#include "Sql.hpp"

#include <vexaqr/payload/KeyHandle.hpp>

namespace vexaqr::devserver {

namespace {

constexpr std::string_view kSchema = R"(
PRAGMA foreign_keys = ON;
CREATE TABLE IF NOT EXISTS partners(
    partner_id TEXT PRIMARY KEY, issuer_id TEXT NOT NULL, private_key_pem TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS users(
    vxa_user_id INTEGER PRIMARY KEY AUTOINCREMENT,
    partner_id TEXT NOT NULL REFERENCES partners(partner_id), email TEXT NOT NULL, UNIQUE(partner_id, email));
CREATE TABLE IF NOT EXISTS registrations(
    app_unique_id TEXT PRIMARY KEY, vxa_user_id INTEGER NOT NULL REFERENCES users(vxa_user_id),
    activated INTEGER NOT NULL DEFAULT 0, public_key_pem TEXT);
CREATE TABLE IF NOT EXISTS activation_codes(
    code TEXT PRIMARY KEY, partner_id TEXT NOT NULL, email TEXT NOT NULL, used_by TEXT);
CREATE TABLE IF NOT EXISTS notification_ids(
    partner_id TEXT NOT NULL, handle TEXT NOT NULL, notification_id TEXT NOT NULL UNIQUE,
    PRIMARY KEY(partner_id, handle));
CREATE TABLE IF NOT EXISTS push_registrations(
    app_unique_id TEXT PRIMARY KEY REFERENCES registrations(app_unique_id) ON DELETE CASCADE,
    notification_id TEXT NOT NULL, handle TEXT NOT NULL, platform TEXT NOT NULL);
)";

// Unambiguous when read aloud or typed: no 0/O, 1/I.
constexpr std::string_view kCodeAlphabet = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
constexpr std::size_t kCodeLength = 10;

std::string newActivationCode() {
    const Uuid randomness = Uuid::random();
    std::string code;
    for (std::size_t i = 0; i < kCodeLength; ++i)
        code += kCodeAlphabet[randomness.bytes[i] % kCodeAlphabet.size()];
    return code;
}

std::optional<Partner> partnerFrom(const sql::Row& row) {
    auto id = sql::text(row, 0);
    auto issuer = sql::text(row, 1);
    auto pem = sql::text(row, 2);
    const auto key = pem ? RsaKey::fromPem(*pem) : nullptr;
    const auto issuerId = issuer ? Uuid::fromString(*issuer) : std::nullopt;
    if (!id || !issuerId || !key || !key->isPrivate())
        return std::nullopt;
    return Partner{*id, *issuerId, *pem, key->publicKeyPem()};
}

} // namespace

std::optional<std::string> canonicalAppId(const std::string& text) {
    const auto uuid = Uuid::fromString(text);
    return uuid ? std::optional(uuid->uuidString()) : std::nullopt;
}

AccountStore::AccountStore(SqliteDatabase& database) : _database(database), _ready(database.execute(kSchema)) {}

std::optional<Partner> AccountStore::partner(const std::string& partnerId) {
    const auto rows = sql::select(
        _database, "SELECT partner_id, issuer_id, private_key_pem FROM partners WHERE partner_id = ?", 3, {partnerId});
    if (!rows || rows->empty())
        return std::nullopt;
    return partnerFrom(rows->front());
}

std::optional<Partner> AccountStore::ensurePartner(const std::string& partnerId, int bits) {
    if (auto existing = partner(partnerId))
        return existing;
    const auto pair = RsaKey::generatePair(bits);
    if (!pair)
        return std::nullopt;
    // A partner id that is a UUID doubles as the issuer of its records.
    const Uuid issuer = Uuid::fromString(partnerId).value_or(Uuid::random());
    if (!sql::run(_database, "INSERT INTO partners(partner_id, issuer_id, private_key_pem) VALUES(?, ?, ?)",
                  {partnerId, issuer.uuidString(), pair->privateKey->privateKeyPem()}))
        return std::nullopt;
    return partner(partnerId);
}

Outcome<std::string> AccountStore::createActivationCode(const std::string& partnerId, const std::string& email) {
    if (!partner(partnerId))
        return {ResultCode::partnerNotFound, std::nullopt};
    const std::string code = newActivationCode();
    if (!sql::run(_database, "INSERT INTO activation_codes(code, partner_id, email) VALUES(?, ?, ?)",
                  {code, partnerId, email}))
        return {};
    return {ResultCode::successfulOperation, code};
}

ResultCode AccountStore::checkActivationCode(const std::string& code, const std::string& partnerId,
                                             const std::string& email) {
    const auto rows =
        sql::select(_database, "SELECT partner_id, email, used_by FROM activation_codes WHERE code = ?", 3, {code});
    if (!rows)
        return ResultCode::serverTechnicalError;
    if (rows->empty())
        return ResultCode::activationCodeIsInvalid;
    const auto& row = rows->front();
    // A code is issued for one user of one partner and opens one installation only.
    if (sql::text(row, 0) != partnerId || sql::text(row, 1) != email || sql::text(row, 2))
        return ResultCode::activationCodeIsInvalid;
    return ResultCode::successfulOperation;
}

std::optional<std::int64_t> AccountStore::findOrCreateUser(const std::string& partnerId, const std::string& email) {
    if (!sql::run(_database, "INSERT OR IGNORE INTO users(partner_id, email) VALUES(?, ?)", {partnerId, email}))
        return std::nullopt;
    const auto rows = sql::select(_database, "SELECT vxa_user_id FROM users WHERE partner_id = ? AND email = ?", 1,
                                  {partnerId, email});
    if (!rows || rows->empty())
        return std::nullopt;
    return sql::integer(rows->front(), 0);
}

bool AccountStore::deleteRegistration(const std::string& appUniqueId) {
    return sql::run(_database, "DELETE FROM registrations WHERE app_unique_id = ?", {appUniqueId});
}

Outcome<std::int64_t> AccountStore::registerClient(const std::string& email, const std::string& partnerId,
                                                   bool deleteMyOtherRegistrations,
                                                   const std::optional<std::string>& activationCode,
                                                   const std::string& appUniqueId) {
    if (!partner(partnerId))
        return {ResultCode::partnerNotFound, std::nullopt};
    if (registration(appUniqueId).value)
        return {ResultCode::appAlreadyRegistered, std::nullopt};
    if (activationCode) {
        const auto checked = checkActivationCode(*activationCode, partnerId, email);
        if (checked != ResultCode::successfulOperation)
            return {checked, std::nullopt};
    }
    SqliteDatabase::Transaction transaction(_database);
    const auto userId = findOrCreateUser(partnerId, email);
    if (!transaction.isActive() || !userId)
        return {};
    const auto others = sql::select(
        _database, "SELECT app_unique_id, activated FROM registrations WHERE vxa_user_id = ?", 2, {*userId});
    if (!others)
        return {};
    for (const auto& other : *others) {
        if (deleteMyOtherRegistrations) {
            if (!deleteRegistration(sql::text(other, 0).value_or("")))
                return {};
        } else if (sql::integer(other, 1).value_or(0) != 0) {
            // The user is active on another installation and did not ask to replace it.
            return {ResultCode::appAlreadyRegistered, std::nullopt};
        }
    }
    const std::int64_t activated = activationCode ? 1 : 0;
    if (!sql::run(_database, "INSERT INTO registrations(app_unique_id, vxa_user_id, activated) VALUES(?, ?, ?)",
                  {appUniqueId, *userId, activated}))
        return {};
    if (activationCode &&
        !sql::run(_database, "UPDATE activation_codes SET used_by = ? WHERE code = ?", {appUniqueId, *activationCode}))
        return {};
    if (!transaction.commit())
        return {};
    return {ResultCode::successfulOperation, *userId};
}

Outcome<std::int64_t> AccountStore::activateClient(const std::string& activationCode, const std::string& appUniqueId) {
    const auto found = registration(appUniqueId);
    if (found.code == ResultCode::clientApplicationNotFound)
        return {ResultCode::registrationNotFoundToActivate, std::nullopt};
    if (!found.value)
        return {found.code, std::nullopt};
    if (found.value->activated)
        return {ResultCode::appAlreadyActivated, std::nullopt};
    const auto checked = checkActivationCode(activationCode, found.value->partnerId, found.value->email);
    if (checked != ResultCode::successfulOperation)
        return {checked, std::nullopt};
    SqliteDatabase::Transaction transaction(_database);
    if (!transaction.isActive() ||
        !sql::run(_database, "UPDATE registrations SET activated = 1 WHERE app_unique_id = ?", {appUniqueId}) ||
        !sql::run(_database, "UPDATE activation_codes SET used_by = ? WHERE code = ?", {appUniqueId, activationCode}) ||
        !transaction.commit())
        return {};
    return {ResultCode::successfulOperation, found.value->vxaUserId};
}

Outcome<Registration> AccountStore::registration(const std::string& appUniqueId) {
    const auto rows = sql::select(_database,
                                  "SELECT r.app_unique_id, r.vxa_user_id, u.partner_id, u.email, r.activated, "
                                  "r.public_key_pem FROM registrations r JOIN users u USING(vxa_user_id) "
                                  "WHERE r.app_unique_id = ?",
                                  6, {appUniqueId});
    if (!rows)
        return {};
    if (rows->empty())
        return {ResultCode::clientApplicationNotFound, std::nullopt};
    const auto& row = rows->front();
    return {ResultCode::successfulOperation,
            Registration{sql::text(row, 0).value_or(""), sql::integer(row, 1).value_or(0),
                         sql::text(row, 2).value_or(""), sql::text(row, 3).value_or(""),
                         sql::integer(row, 4).value_or(0) != 0, sql::text(row, 5)}};
}

ResultCode AccountStore::updateKeys(const std::string& appUniqueId, const std::string& pemPublicKey) {
    const auto found = registration(appUniqueId);
    if (!found.value)
        return found.code;
    const auto key = RsaKey::fromPem(pemPublicKey);
    if (!key)
        return ResultCode::serverTechnicalError; // the backend cannot use what it was sent
    if (!sql::run(_database, "UPDATE registrations SET public_key_pem = ? WHERE app_unique_id = ?",
                  {key->publicKeyPem(), appUniqueId}))
        return ResultCode::serverTechnicalError;
    return ResultCode::successfulOperation;
}

Outcome<std::string> AccountStore::notificationId(const std::string& partnerId, const std::string& handle) {
    if (!partner(partnerId))
        return {ResultCode::partnerNotFound, std::nullopt};
    if (!sql::run(_database,
                  "INSERT OR IGNORE INTO notification_ids(partner_id, handle, notification_id) VALUES(?, ?, ?)",
                  {partnerId, handle, Uuid::random().uuidString()}))
        return {};
    const auto rows =
        sql::select(_database, "SELECT notification_id FROM notification_ids WHERE partner_id = ? AND handle = ?", 1,
                    {partnerId, handle});
    if (!rows || rows->empty())
        return {};
    return {ResultCode::successfulOperation, sql::text(rows->front(), 0)};
}

ResultCode AccountStore::registerPush(const std::string& partnerId, const std::string& appUniqueId,
                                      const std::string& notificationId, const std::string& handle,
                                      const std::string& platform) {
    const auto found = registration(appUniqueId);
    if (!found.value)
        return found.code;
    if (found.value->partnerId != partnerId)
        return ResultCode::partnerOrIssuerNotFound;
    const auto issued = sql::select(
        _database, "SELECT 1 FROM notification_ids WHERE partner_id = ? AND handle = ? AND notification_id = ?", 1,
        {partnerId, handle, notificationId});
    if (!issued)
        return ResultCode::serverTechnicalError;
    if (issued->empty())
        return ResultCode::partnerOrIssuerNotFound; // the id was not issued for this partner and handle
    if (!sql::run(_database,
                  "INSERT OR REPLACE INTO push_registrations(app_unique_id, notification_id, handle, platform) "
                  "VALUES(?, ?, ?, ?)",
                  {appUniqueId, notificationId, handle, platform}))
        return ResultCode::serverTechnicalError;
    return ResultCode::successfulOperation;
}

} // namespace vexaqr::devserver
