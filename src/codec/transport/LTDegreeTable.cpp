#include "codec/transport/LTDegreeTable.hpp"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>

namespace vexaqr::LT {

namespace {

constexpr double kFailureParameter = 0.5;
constexpr std::size_t kCachedTables = 4; // a reader, an encoder and a spare K at a time

} // namespace

DegreeTable DegreeTable::build(std::uint32_t packetCount) {
    const std::uint32_t k = packetCount;
    const std::uint32_t spike = k / 8 + 1;
    const double ratio = static_cast<double>(k) / static_cast<double>(spike);

    DegreeTable table;
    auto& entries = table.distribution;
    entries.assign(static_cast<std::size_t>(k) + 1, 0.0);
    entries[1] = 1.0 / static_cast<double>(k);
    for (std::uint64_t d = 2; d <= k; ++d) {
        entries[d] = 1.0 / static_cast<double>(d * (d - 1));
    }
    for (std::uint64_t i = 1; i < spike; ++i) {
        entries[i] = entries[i] + 1.0 / static_cast<double>(i * spike);
    }
    entries[spike] = entries[spike] + std::log(ratio / kFailureParameter) / static_cast<double>(spike);

    double sum = 0.0;
    for (double entry : entries) {
        sum = sum + entry;
    }
    const double inverse = 1.0 / sum;
    double running = 0.0;
    table.runningSums.reserve(entries.size());
    for (double& entry : entries) {
        entry = entry * inverse;
        running = running + entry;
        table.runningSums.push_back(running);
    }
    return table;
}

std::shared_ptr<const DegreeTable> DegreeTable::shared(std::uint32_t packetCount) {
    static std::mutex mutex;
    static std::vector<std::pair<std::uint32_t, std::shared_ptr<const DegreeTable>>> recent; // newest last
    std::lock_guard lock(mutex);
    auto found =
        std::find_if(recent.begin(), recent.end(), [&](const auto& entry) { return entry.first == packetCount; });
    if (found == recent.end()) {
        if (recent.size() == kCachedTables) {
            recent.erase(recent.begin());
        }
        recent.emplace_back(packetCount, std::make_shared<const DegreeTable>(build(packetCount)));
        return recent.back().second;
    }
    std::rotate(found, found + 1, recent.end());
    return recent.back().second;
}

} // namespace vexaqr::LT
