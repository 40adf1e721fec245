// Base45Converter: the text form of frames for QR alphanumeric mode.
//
// Alphabet (digit value = position): "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ*+-./: $%".
// Bytes are cut into chunks of 81 (the last may be shorter). Each chunk is read as one unsigned
// little-endian number and written in base 45, most significant digit first, left-padded with "0"
// to the chunk's character count: 118 for 81 bytes, else ceil(n * 8 / log2 45). The character count
// carries the byte count back (floor(log2 45 * c / 8)), so leading and trailing zero bytes survive.
// Texts are the chunks' texts concatenated. (Not the pairwise base-45 of RFC 9285.)
//
// Stateless; safe from any thread.
#pragma once

#include <vexaqr/Bytes.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vexaqr::Base45Converter {

/// The text of a byte string of any length; empty for empty bytes, and when memory for the big-number
/// arithmetic runs out (never a partial text).
std::string base45EncodedString(const Bytes& data);

/// The bytes of a text, decoded in pieces of 118 characters. A piece holding a character outside
/// the alphabet is left out (the other pieces still count), so the result may be short or empty.
Bytes dataFromBase45String(std::string_view text);

/// The characters (as bytes) of one chunk of at most 81 bytes; empty when memory runs out.
Bytes base45EncodedData(const Bytes& chunk);

/// The bytes of one chunk's characters, or nothing when a character is outside the alphabet. A
/// number wider than the chunk's byte count (never written by an encoder) keeps its low-order bytes.
std::optional<Bytes> base45DecodedData(const Bytes& characters);

/// Characters for a chunk of `byteCount` bytes.
std::size_t getByteNumberFromLenfgth(std::size_t byteCount);

/// Characters for a chunk as long as `data`.
std::size_t b45EncodedByteNumberFromDecodedData(const Bytes& data);

/// Bytes for a chunk of as many characters as `characters` holds.
std::size_t decodedByteNumberFromB45EncodedData(const Bytes& characters);

} // namespace vexaqr::Base45Converter
