// A read position over borrowed bytes that never moves past their end.
#pragma once

#include <vexaqr/Bytes.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vexaqr {

class ByteCursor {
public:
    ByteCursor(const std::uint8_t* data, std::size_t size) : _data(data), _size(size) {}
    explicit ByteCursor(const Bytes& bytes) : ByteCursor(bytes.data(), bytes.size()) {}

    std::size_t remaining() const { return _size - _offset; }
    const std::uint8_t* position() const { return _data + _offset; }

    /// The next byte, or `fallback` when none is left (the position then stays at the end).
    std::uint8_t takeByteOr(std::uint8_t fallback) { return remaining() == 0 ? fallback : _data[_offset++]; }

    /// The next `count` bytes as their own cursor, consumed; nothing when fewer are left.
    std::optional<ByteCursor> take(std::size_t count) {
        if (count > remaining())
            return std::nullopt;
        ByteCursor slice(position(), count);
        _offset += count;
        return slice;
    }

    /// The next `count` bytes, not consumed; nothing when fewer are left.
    std::optional<Bytes> peek(std::size_t count) const {
        if (count > remaining())
            return std::nullopt;
        return Bytes(position(), position() + count);
    }

    /// Everything that is left, copied.
    Bytes rest() const { return Bytes(position(), position() + remaining()); }

private:
    const std::uint8_t* _data;
    std::size_t _size;
    std::size_t _offset = 0;
};

} // namespace vexaqr
