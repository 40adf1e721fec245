// Failure: how the synchronous API says what went wrong, in words a person can act on.
//
// Every call of the synchronous API returns an Outcome (vexaqr/Outcome.hpp): the value, or a Failure with a
// reason (for programs) and a message (for people). Failure lives here, not beside Outcome, because it can
// carry the parsed record. Plain values; safe to copy between threads.
#pragma once

#include <vexaqr/Outcome.hpp>
#include <vexaqr/payload/VXAData.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexaqr {

enum class FailureReason {
    noKey,              // a key the record needs was not given
    wrongKey,           // a key was given but does not belong to this record
    signatureMismatch,  // the record was altered, or signed by another partner
    unreadableKey,      // a PEM text or file holds no usable RSA key
    unreadableKeyBlock, // the record's key block does not open (another key, or damage)
    unreadableRecord,   // the transferred bytes are not a record, or its content does not decrypt
    notSigned,          // a MASKED record: nothing can be verified
    incompleteTransfer, // the pictures ran out before a transfer completed
    unreadablePicture,  // a picture file is missing or not a PNG or GIF
    unsendableData,     // empty, or more than a transfer of the mode carries
    cannotWrite,        // an output file or folder cannot be written
    invalidOptions,     // options that contradict each other or are out of range
    notRegistered,      // the account call needs a registered installation, and there is none
    backendRefused,     // the backend answered with a result code other than success (see resultCode)
    backendUnreachable, // no usable answer: no connection, an HTTP error status, or an unreadable reply
    timedOut,           // no answer within the account's timeout
};

/// The reason's name as written in the enumeration, e.g. "incompleteTransfer".
std::string_view name(FailureReason reason);

struct Failure {
    FailureReason reason;
    /// One or two sentences: what happened and what to do about it.
    std::string message;
    /// How far an incomplete transfer got (0.0 to 1.0): the share of the frames it is expected to need that
    /// were read, as a progress bar shows it; empty for other reasons.
    std::optional<double> progress;
    /// The record as parsed, for the record reasons (noKey, wrongKey, signatureMismatch, ...).
    std::optional<VXAData> record;
    /// The backend's or the SDK's result code, for backendRefused.
    std::optional<std::int64_t> resultCode{};
};

} // namespace vexaqr
