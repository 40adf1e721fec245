// One hexadecimal digit read for the parsers that decode escapes and identifiers.
#pragma once

namespace vexaqr {

/// The value 0 to 15 of a hexadecimal digit in either case; -1 for any other character.
constexpr int hexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace vexaqr
