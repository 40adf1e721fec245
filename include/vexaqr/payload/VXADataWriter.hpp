// VXADataWriter: the issuing side of payload records, producing exactly what VXAData reads.
//
// Stateless; safe on any thread. Every record is signed with the partner's private key over the bytes
// the parser verifies. SECURED and ENCRYPTED records get a fresh random AES-128 key, wrapped with RSA
// PKCS#1 v1.5 under `keyBlockPublicKey`: the application's public key for SECURED (so only the app can
// open it), the partner's public key for ENCRYPTED.
#pragma once

#include <vexaqr/Bytes.hpp>
#include <vexaqr/Uuid.hpp>
#include <vexaqr/payload/KeyHandle.hpp>
#include <vexaqr/payload/VXADataTypes.hpp>

#include <cstdint>
#include <optional>

namespace vexaqr {

class VXADataWriter final {
public:
    struct Input {
        Bytes content;
        ContentType contentType = ContentType::JSON;
        VxaType vxaType = VxaType::SIGNED;
        CipherMethod cipherMethod = CipherMethod::RSA2048_AES128_SHA256;
        Uuid issuerId;
        /// Seconds since 1970-01-01 00:00:00 UTC.
        std::uint32_t timestamp = 0;
        /// Signs the record; its size must match the cipher method (1024 or 2048 bits).
        KeyHandle partnerPrivateKey;
        /// Wraps the AES key of SECURED and ENCRYPTED records (unused otherwise); same size rule.
        KeyHandle keyBlockPublicKey;
    };

    /// The record bytes; nothing when a needed key is absent, not private where it must be, or of
    /// the wrong size for the cipher method, or when a cryptographic step fails (logged).
    static std::optional<Bytes> write(const Input& input);
};

} // namespace vexaqr
