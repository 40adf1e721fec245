// LT::InactivationSolver: solves a sparse system of XOR equations over GF(2) whose right-hand sides are
// equally long byte strings, by inactivation decoding. Equations of one unknown resolve it and are
// substituted into the rest (as peeling does); when none is left, the most frequent open unknown is set
// aside ("inactivated") and peeling goes on. Only the set-aside unknowns form a dense system, solved by
// Gaussian elimination with bit-packed rows; payloads are XORed 8 bytes at a time.
//
// A solve that falls short keeps its elimination: equations added later are reduced into it one at a
// time, at a cost bounded by the set-aside unknowns (never by the equations seen so far), until the rank
// is complete. Memory is O(equation sizes + unknowns × set-aside unknowns / 64 words), never unknowns
// squared; the equations themselves are let go once solve() has run.
// Not thread-safe; one solver per system.
#pragma once

#include "codec/platform/LargeArrays.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vexaqr::LT {

class InactivationSolver {
public:
    /// A system over `unknownCount` unknowns whose values are `payloadLength` bytes long.
    InactivationSolver(std::uint32_t unknownCount, std::size_t payloadLength);

    /// Makes room for `equations` more equations of `symbols` unknowns together, so that adding them copies nothing.
    void reserve(std::size_t equations, std::size_t symbols);
    /// Adds "XOR of the named unknowns = payload". `unknowns` are distinct and below unknownCount;
    /// `payload` points at payloadLength bytes, copied here.
    void addEquation(const std::vector<std::uint32_t>& unknowns, const std::uint8_t* payload);

    /// Solves the system; true when the equations determine every unknown (rank = unknownCount).
    /// Call once.
    bool solve();
    /// After a solve() that fell short: reduces one more equation (as for addEquation) into the kept
    /// elimination; true when it raised the rank. The values are ready once isSolved().
    bool addLaterEquation(const std::vector<std::uint32_t>& unknowns, const std::uint8_t* payload);
    bool isSolved() const { return _rank == _unknownCount; }
    /// Bytes the solver's arrays take (capacities).
    std::size_t memoryFootprint() const;
    /// The rank of the equations, known after solve().
    std::uint32_t rank() const { return _rank; }
    /// How many unknowns were set aside into the dense system by solve().
    std::uint32_t inactivatedCount() const { return static_cast<std::uint32_t>(_inactiveSymbols.size()); }
    /// Writes the value of `unknown` (payloadLength bytes) to `out`; only after solve() returned true.
    void copyValue(std::uint32_t unknown, std::uint8_t* out) const;

private:
    enum class State : std::uint8_t { open, pivoted, inactive };

    void peelAndInactivate();
    std::vector<std::uint32_t> listEquations();
    void watch(std::uint32_t equation, std::uint32_t symbol);
    std::optional<std::uint32_t> nextSingle();
    void prefetchSettling() const;
    void settle(std::uint32_t symbol);
    void moveWatch(std::uint32_t equation, std::uint32_t symbol);
    void expressPivots();
    void prefetchExpressions(std::uint32_t equation);
    void prefetchExpression(std::uint32_t symbol);
    void accumulate(std::uint32_t equation, std::uint32_t skipped, std::uint64_t* expression);
    bool solveDenseSystem();
    void keepDenseRow(const std::uint64_t* row, std::uint32_t column);
    void adoptDenseValues();
    void releaseEquations();
    void backSubstitute();

    // Every XOR of the inactive symbols' values within each group of a few columns (columns in a group share a
    // coefficient word, as 64 is a multiple of the group's width).
    class InactiveCombinations {
    public:
        explicit InactiveCombinations(InactivationSolver& solver);
        /// XORs into `value` the values of the inactive symbols whose bits are set in `coefficients`.
        void xorInto(std::uint64_t* value, const std::uint64_t* coefficients) const;

    private:
        std::uint64_t* combination(std::size_t group, std::size_t bits) {
            return _table.data() + ((group << _bits) + bits) * _words;
        }
        const std::uint64_t* combination(std::size_t group, std::size_t bits) const {
            return _table.data() + ((group << _bits) + bits) * _words;
        }

        std::size_t _words;
        std::size_t _bits;
        std::size_t _groups;
        std::vector<std::uint64_t> _table;
    };

    std::uint64_t* payloadOf(std::size_t equation) { return _payloads.data() + equation * _words; }
    std::size_t expressionWords() const { return _columnWords + _words; }
    std::uint64_t* coefficientsOf(std::uint32_t symbol) { return _expressions.data() + symbol * expressionWords(); }
    std::uint64_t* valueOf(std::uint32_t symbol) { return coefficientsOf(symbol) + _columnWords; }

    std::uint32_t _unknownCount;
    std::size_t _payloadLength;
    std::size_t _words; // payload words of 8 bytes
    std::vector<std::size_t> _equationStart{0};
    LargeVector<std::uint32_t> _equationSymbols;
    LargeVector<std::uint64_t> _payloads;

    // Working state of solve().
    std::vector<std::size_t> _occurrenceStart;
    LargeVector<std::uint32_t> _occurrences; // small equations of each symbol
    // Per equation: its open symbols left (kUsed once it resolved its pivot symbol) and their XOR, which names
    // the last one. A large equation only tells two or more (its degree at listing) from one (named by symbolXor)
    // and none; it watches its first two symbols, and those from the third up to its cursor have settled.
    struct Open {
        std::uint32_t degree = 0;
        std::uint32_t symbolXor = 0;
        std::uint32_t cursor = 0;
    };
    // The large equations watching each open symbol, in a list through _watches.
    struct Watch {
        std::uint32_t equation;
        std::uint32_t next;
    };
    std::vector<std::uint32_t> _watchHead;
    LargeVector<Watch> _watches;
    LargeVector<Open> _open;
    std::vector<std::uint32_t> _singles; // equations that may have one open symbol left, in the order found
    std::size_t _nextSingle = 0;         // the first one not taken yet
    std::vector<State> _state;
    std::vector<std::uint32_t> _column; // per inactive symbol: its dense column
    // A symbol resolved by an equation whose other symbols are earlier pivots or inactive.
    struct Pivot {
        std::uint32_t symbol;
        std::uint32_t equation;
    };
    std::vector<Pivot> _pivots; // in the order they were resolved
    std::vector<std::uint32_t> _inactiveSymbols;
    std::size_t _columnWords = 0;
    // Per symbol, side by side so that one miss fetches both: its dependence on the inactive symbols (coefficient
    // bits), then its value (partial until back-substitution).
    LargeVector<std::uint64_t> _expressions;
    // The dense system in reduced row echelon form: each kept row has one pivot column, clear in every other
    // row; rows that reduced to nothing are not kept.
    std::vector<std::uint64_t> _denseRows;
    std::vector<std::uint32_t> _rowOfColumn;  // kNoRow while the column has no pivot row
    std::vector<std::uint64_t> _pivotColumns; // bitmap of the columns that have one
    std::vector<std::uint64_t> _laterRow;     // reused by addLaterEquation
    std::uint32_t _rank = 0;
};

} // namespace vexaqr::LT
