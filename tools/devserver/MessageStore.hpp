// MessageStore: the sealed payload records the backend keeps per installation, in the order they were
// stored. A message goes when its installation's registration goes.
//
// Callers hold the context's mutex around every call; a database failure answers nothing or false.
#pragma once

#include <vexaqr/Bytes.hpp>

#include "account/platform/SqliteDatabase.hpp"

#include <optional>
#include <string>
#include <vector>

namespace vexaqr::devserver {

struct StoredMessage {
    std::string messageId;
    Bytes vxaData;
    std::optional<std::string> vxaInfo;
    std::optional<std::string> vxaTemplate;
};

class MessageStore {
public:
    /// Creates the table when it is missing; needs the registrations table (AccountStore) to exist.
    explicit MessageStore(SqliteDatabase& database);

    bool isReady() const { return _ready; }

    /// Stores the record for the installation under a new id and answers the id.
    std::optional<std::string> add(const std::string& appUniqueId, const Bytes& vxaData,
                                   const std::optional<std::string>& vxaInfo,
                                   const std::optional<std::string>& vxaTemplate);

    /// The installation's message ids, oldest first.
    std::optional<std::vector<std::string>> ids(const std::string& appUniqueId);

    /// Nothing inside the optional when the installation has no message with that id.
    std::optional<std::optional<StoredMessage>> find(const std::string& appUniqueId, const std::string& messageId);

    /// The number of messages removed (0 when there was none with that id).
    std::optional<int> remove(const std::string& appUniqueId, const std::string& messageId);
    std::optional<int> removeAll(const std::string& appUniqueId);

private:
    SqliteDatabase& _database;
    bool _ready = false;
};

} // namespace vexaqr::devserver
