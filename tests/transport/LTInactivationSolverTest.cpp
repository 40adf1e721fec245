#include "TransportTestSupport.hpp"

#include "codec/transport/LTInactivationSolver.hpp"

#include <gtest/gtest.h>

#include <random>
#include <set>

using namespace vexaqr;
using namespace vexaqr::test;

namespace {

// A random system over `unknowns` values of `length` bytes: equations of 1 to `maximumDegree` distinct
// unknowns, right-hand sides computed from the known values.
struct RandomSystem {
    RandomSystem(std::uint32_t unknowns, std::size_t length, std::size_t equations, std::uint32_t maximumDegree,
                 std::uint32_t seed)
        : values(randomBytes(unknowns * length, seed)), solver(unknowns, length), reference(unknowns) {
        std::mt19937 engine(seed);
        std::uniform_int_distribution<std::uint32_t> degree(1, std::min(maximumDegree, unknowns));
        std::uniform_int_distribution<std::uint32_t> unknown(0, unknowns - 1);
        for (std::size_t e = 0; e < equations; ++e) {
            std::set<std::uint32_t> drawn;
            const std::uint32_t wanted = degree(engine);
            while (drawn.size() < wanted) {
                drawn.insert(unknown(engine));
            }
            const std::vector<std::uint32_t> indices(drawn.begin(), drawn.end());
            Bytes payload(length, 0);
            for (std::uint32_t index : indices) {
                for (std::size_t i = 0; i < length; ++i) {
                    payload[i] ^= values[index * length + i];
                }
            }
            solver.addEquation(indices, payload.data());
            reference.add(indices);
        }
    }
    Bytes values;
    LT::InactivationSolver solver;
    ReferenceRank reference;
};

} // namespace

TEST(LTInactivationSolverTest, RankAndValuesAgreeWithDenseEliminationOnRandomSystems) {
    int solved = 0;
    int shortOfRank = 0;
    for (std::uint32_t seed = 1; seed <= 400; ++seed) {
        const std::uint32_t unknowns = 1 + seed % 40;
        // Odd lengths exercise the partial last word of a payload.
        const std::size_t length = 1 + seed % 13;
        // Every other system has equations of up to 40 unknowns: those above 16 are solved another way.
        const std::uint32_t maximumDegree = seed % 2 == 0 ? 1 + seed % 9 : 1 + seed % 40;
        RandomSystem system(unknowns, length, unknowns + seed % 7, maximumDegree, seed);
        const bool full = system.solver.solve();
        ASSERT_EQ(system.solver.rank(), system.reference.rank()) << "seed " << seed;
        ASSERT_EQ(full, system.reference.rank() == unknowns) << "seed " << seed;
        if (!full) {
            ++shortOfRank;
            continue;
        }
        ++solved;
        Bytes value(length);
        for (std::uint32_t unknown = 0; unknown < unknowns; ++unknown) {
            system.solver.copyValue(unknown, value.data());
            ASSERT_EQ(value,
                      Bytes(system.values.begin() + unknown * length, system.values.begin() + (unknown + 1) * length))
                << "seed " << seed << ", unknown " << unknown;
        }
    }
    // Both outcomes must have been exercised for the comparison to mean anything.
    EXPECT_GT(solved, 50);
    EXPECT_GT(shortOfRank, 50);
}

TEST(LTInactivationSolverTest, SystemWithoutAnyEquationOfOneUnknownIsSolvedThroughTheDensePart) {
    // x0 ^ x1, x1 ^ x2, x0 ^ x1 ^ x2: peeling alone never starts, yet the rank is 3.
    const Bytes values = randomBytes(3 * 8, 5);
    LT::InactivationSolver solver(3, 8);
    for (const std::vector<std::uint32_t>& indices :
         {std::vector<std::uint32_t>{0, 1}, std::vector<std::uint32_t>{1, 2}, std::vector<std::uint32_t>{0, 1, 2}}) {
        Bytes payload(8, 0);
        for (std::uint32_t index : indices) {
            for (std::size_t i = 0; i < 8; ++i) {
                payload[i] ^= values[index * 8 + i];
            }
        }
        solver.addEquation(indices, payload.data());
    }
    ASSERT_TRUE(solver.solve());
    EXPECT_GE(solver.inactivatedCount(), 1u);
    Bytes value(8);
    for (std::uint32_t unknown = 0; unknown < 3; ++unknown) {
        solver.copyValue(unknown, value.data());
        EXPECT_EQ(value, Bytes(values.begin() + unknown * 8, values.begin() + (unknown + 1) * 8));
    }
}

TEST(LTInactivationSolverTest, UnknownInNoEquationLeavesTheSystemShortOfRank) {
    LT::InactivationSolver solver(3, 8);
    const Bytes payload(8, 0x5a);
    solver.addEquation({0}, payload.data());
    solver.addEquation({0, 1}, payload.data());
    solver.addEquation({0, 1}, payload.data()); // a repeat adds nothing
    EXPECT_FALSE(solver.solve());
    EXPECT_EQ(solver.rank(), 2u);
}
