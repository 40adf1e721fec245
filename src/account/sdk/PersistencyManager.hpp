// PersistencyManager: the SDK's small object store, an SQLite file in the data directory.
//
// Two fixed tables, each in insertion order: "SDKData" (the settings record; only the first one is read
// or written) and "CachedVxaMessage" (the message cache), read and written as typed records. Every
// operation saves at once. Failures are logged (when logging is on) and reported only as nil or false; a
// store that cannot be opened makes every operation fail and is tried again on the next one. Calls are
// serialised by a lock, but the SDK makes them on the main thread.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/Error.hpp>
#include <vexaqr/Outcome.hpp>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vexaqr {

class SqliteDatabase;

/// The settings record as read. A field is empty when unset or when the file holds a value of another kind
/// there; a stored real counts as its whole part when a 64-bit integer holds that.
struct StoredSettings {
    std::optional<std::string> appUniqueId;
    std::optional<std::int64_t> vexaQrUserId;
    std::optional<std::string> userEmailAddress;
    std::optional<std::int64_t> registrationState; // as stored, not checked against the enumeration
};

/// One cached server message: its payload bytes exactly as the backend sent them. A field is empty when
/// unset or when the file holds a value of another kind there.
struct CachedVxaMessage {
    std::optional<Bytes> vxaData;
    std::optional<std::string> vxaInfo;
    std::optional<std::string> vxaTemplate;
    std::optional<std::string> messageId;
};

class PersistencyManager final {
public:
    /// A manager whose file "VexaQrSDKModel.sqlite" lives in the directory `directory` names at
    /// each operation (a change of directory reopens the store).
    explicit PersistencyManager(std::function<std::filesystem::path()> directory);
    ~PersistencyManager();

    /// Opens the store if needed; whether it is usable. A failure is logged as "Unresolved error ...".
    bool persistentContainer();

    /// Opens the store if needed: success when it is usable, else why not, naming the file. A file that
    /// is not a database, is damaged or holds other tables is refused and left as it is.
    Outcome<void, Error> opened();

    /// The first settings record; creates an empty record (and answers it) when there is none. All fields
    /// empty on a failure (logged).
    StoredSettings settings();

    /// Write one field (nil clears) of the first settings record, creating it if needed; each waits for
    /// another program's write up to the busy timeout. False when nothing was stored (logged).
    bool setAppUniqueId(const std::optional<std::string>& appUniqueId);
    bool setVexaQrUserId(const std::optional<std::int64_t>& vexaQrUserId);
    bool setUserEmailAddress(const std::optional<std::string>& userEmailAddress);
    bool setRegistrationState(const std::optional<std::int64_t>& registrationState);

    /// Deletes the settings record; a failure is logged.
    void deleteSettings();

    /// Appends one message (absent fields stay empty); the message as stored, nil on a failed save (logged
    /// "Unresolved error ...").
    std::optional<CachedVxaMessage> saveNewMessage(const CachedVxaMessage& message);

    /// Every cached message in insertion order; nil when the fetch fails (logged).
    std::optional<std::vector<CachedVxaMessage>> getAllMessages();

    /// Deletes every cached message; a failure is logged.
    void deleteAllMessages();

    /// Replaces every cached message with `messages`, in order, in one transaction: on any failure
    /// (logged) nothing changes and the answer is false.
    bool replaceAllMessages(const std::vector<CachedVxaMessage>& messages);

    /// Messages gathered outside the store's file (in a temporary table of this connection) so that a long
    /// download holds neither them in memory nor the write lock; `stagingId` keeps gatherings apart.
    /// beginStaging answers a new id; nil (logged) when the table cannot be made.
    std::optional<std::int64_t> beginStaging();
    /// Adds one message to a gathering; false (logged) on a failed write.
    bool stageMessage(std::int64_t stagingId, const CachedVxaMessage& message);
    /// Replaces every cached message with the gathered ones, in the order gathered, in one transaction, and
    /// ends the gathering. On a failure (logged), or when the gathering does not hold `stagedMessages` (the
    /// store was reopened meanwhile), nothing changes and the gathering stays for discardStaged.
    bool replaceAllMessagesWithStaged(std::int64_t stagingId, std::size_t stagedMessages);
    /// Ends a gathering without using it.
    void discardStaged(std::int64_t stagingId);

    /// The cached messages' row ids in insertion order, and one message by row id: for reading large
    /// caches one message at a time. Nil when the fetch fails (logged) or, for message(), when the row is
    /// gone.
    std::optional<std::vector<std::int64_t>> messageIds();
    std::optional<CachedVxaMessage> message(std::int64_t rowId);

private:
    struct Store;
    struct SettingValue; // a value as the file holds it
    bool setSetting(std::size_t column, const SettingValue& value);
    /// The first settings record's id, made when there is none; inside the caller's transaction.
    std::optional<std::int64_t> settingsObjectId(SqliteDatabase& db);

    std::mutex _mutex;
    std::unique_ptr<Store> _store;
    std::int64_t _lastStagingId = 0;
};

} // namespace vexaqr
