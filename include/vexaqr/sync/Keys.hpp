// Keys: the three RSA keys a receiver verifies and opens records with, passed explicitly to each call
// (nothing is read from or written to a key store).
//
// A plain value of shared, immutable key handles; safe to copy and share between threads.
#pragma once

#include <vexaqr/payload/KeyHandle.hpp>
#include <vexaqr/sync/Failure.hpp>

#include <string>

namespace vexaqr {

/// Where keys come from: PEM texts or PEM file paths, by role. An empty entry means "not given".
struct KeySources {
    std::string partnerPublic{};  // checks every record's signature (required to verify anything)
    std::string appPrivate{};     // opens SECURED records
    std::string partnerPrivate{}; // opens ENCRYPTED records
};

struct Keys {
    KeyHandle partnerPublic;
    KeyHandle appPrivate;
    KeyHandle partnerPrivate;

    /// Keys from PEM texts ("PUBLIC KEY", "RSA PUBLIC KEY", "PRIVATE KEY", "RSA PRIVATE KEY"). A
    /// private key text serves as partner public key too (its public half). Fails with unreadableKey,
    /// naming the role, when a given text holds no RSA key or a public key stands where a private one
    /// is needed.
    static Outcome<Keys> fromPemTexts(const KeySources& texts);

    /// The same from PEM files; a file that cannot be read fails with unreadableKey naming the path.
    static Outcome<Keys> fromPemFiles(const KeySources& paths);
};

} // namespace vexaqr
