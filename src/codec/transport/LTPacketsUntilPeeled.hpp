// LT::packetsUntilPeeled: when a lossless peeling receiver of a stream finishes, from the index sets
// alone. Safe from any thread (each thread keeps its own working arrays between calls, up to 64 MiB).
#pragma once

#include <cstdint>

namespace vexaqr::LT {

/// How many packets of the stream an Encoder with `seed` sends a lossless peeling Decoder of `packetCount`
/// source packets needs before it knows every one; `limit` when it does not finish within `limit` packets.
/// Only the index sets are followed (what peeling reveals does not depend on the bytes), so this costs a
/// fraction of decoding the stream.
std::uint64_t packetsUntilPeeled(std::uint32_t packetCount, std::uint32_t seed, std::uint64_t limit);

} // namespace vexaqr::LT
