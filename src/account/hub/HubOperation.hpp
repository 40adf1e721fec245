// HubOperation: the steps of one hub operation (list, new identifier, upsert, delete, and the flows built from
// them). Asynchronous operations send through the token provider's and the connection's callbacks; synchronous
// ones block at each request and run every step on the caller's thread, so both follow the same code and differ
// only in how a request is sent and how its failure reads.
//
// A value type; each copy keeps its hub alive. Steps call the hub's local store without a lock (one operation at
// a time per hub).
#pragma once

#include <vexaqr/hub/NotificationHub.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vexaqr {

struct HubOperation {
    using Done = NotificationHub::Completion;
    using Reply = std::function<void(Bytes body, std::optional<HttpResponse> response, std::optional<Error> error)>;
    using Listed = Outcome<NotificationHub::Registrations, Error>;
    using Listing = std::function<void(Listed)>;

    std::shared_ptr<NotificationHub> hub;
    bool synchronous = false;

    /// The request every hub call starts from: method, time-out, content type, entity tag, body and user agent.
    static HttpRequest PrepareUrlRequest(const std::string& url, const std::string& httpMethod, const std::string& eTag,
                                         const std::string& payload);

    /// Creates or updates the registration `name`, first learning the hub's registrations when the store asks.
    void registerWithDeviceToken(const Bytes& deviceToken, const std::string& name, const std::string& payload,
                                 Done done) const;
    /// Every registration of a token, recorded in the store; 404 is an empty list.
    void retrieveAllRegistrationsWithDeviceToken(const std::string& deviceToken, Listing done) const;
    /// Deletes the stored registration `name`; success without a request when none is stored.
    void deleteRegistrationWithName(const std::string& name, Done done) const;
    /// Deletes every listed registration of the token; the store is emptied only when all went.
    void unregisterAllWithDeviceToken(const std::string& deviceToken, Done done) const;

private:
    HubLocalStorage& store() const;
    std::string registrationsUri() const;
    std::string allRegistrationsUri(const std::string& deviceToken) const;
    std::string registrationUri(const std::string& registrationId) const;
    std::string newRegistrationIdUri() const;

    void send(HttpRequest request, Reply reply) const;
    void sendSynchronously(HttpRequest request, const Reply& reply) const;
    void createOrUpdateWith(const std::string& name, const std::string& payload, const std::string& deviceToken,
                            Done done) const;
    void createRegistrationIdAndUpsert(const std::string& name, const std::string& payload,
                                       const std::string& deviceToken, Done done) const;
    void createRegistrationId(const std::string& name, const std::string& deviceToken,
                              std::function<void(std::optional<std::string>, std::optional<Error>)> done) const;
    /// `whenGone`, when given, runs instead of `done` if the hub answers 410.
    void upsertRegistrationWithName(const std::string& name, const std::string& registrationId,
                                    const std::string& payload, const std::string& deviceToken, Done done,
                                    std::function<void()> whenGone = {}) const;
    bool rememberUpsertedRegistration(const std::string& name, const Bytes& body) const;
    Outcome<void, Error> usableStore() const;
    void deleteRegistrations(std::shared_ptr<NotificationHub::Registrations> registrations, std::size_t next,
                             Done done) const;
};

} // namespace vexaqr
