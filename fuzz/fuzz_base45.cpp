// Base-45 text from outside: decoding never fails loudly, and every byte string round-trips.
#include "codec/transport/Base45Converter.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace vexaqr;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Bytes decoded = Base45Converter::dataFromBase45String(text);
    if (decoded.size() > (size / 118 + 1) * 81) {
        __builtin_trap(); // never more bytes than the pieces can carry
    }

    const Bytes bytes(data, data + size);
    if (Base45Converter::dataFromBase45String(Base45Converter::base45EncodedString(bytes)) != bytes) {
        __builtin_trap();
    }
    return 0;
}
