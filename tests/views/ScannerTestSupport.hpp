// Scanner test content: JSON-like records sealed with the fixed test keys, and their frames; the doubles
// come from the shared support.
#pragma once

#include "codec/transport/Base45Converter.hpp"
#include "codec/transport/VexaQRGenerator.hpp"

#include "support/ScannerDoubles.hpp"

#include <gtest/gtest.h>

namespace vexaqr::test {

/// JSON-like content of `length` bytes.
inline Bytes jsonContent(std::size_t length) {
    std::string text = "{\"items\":[";
    for (int i = 0; text.size() < length; ++i) {
        text += "{\"id\":" + std::to_string(i) + ",\"name\":\"item " + std::to_string(i * 7919 % 1000) + "\"},";
    }
    text.resize(length - 2);
    text += "]}";
    return toBytes(text);
}

/// A SECURED record sealed with the test keys.
inline Bytes sealedRecord(const Bytes& content) {
    auto record = sealedWithTestKeys(content);
    EXPECT_FALSE(record.empty());
    return record;
}

/// The base-45 texts of the first `count` frames for `data`.
inline std::vector<std::string> frameTexts(const Bytes& data, VxaAlgorithm algorithm, std::size_t count,
                                           std::uint32_t seed = 12345) {
    auto made = VexaQRGenerator::make(data, algorithm, seed);
    EXPECT_TRUE(made);
    std::vector<std::string> texts;
    for (std::size_t i = 0; made && i < count; ++i) {
        texts.push_back(Base45Converter::base45EncodedString(made.value()->nextQRContent()));
    }
    return texts;
}

} // namespace vexaqr::test
