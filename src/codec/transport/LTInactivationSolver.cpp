#include "codec/transport/LTInactivationSolver.hpp"

#include "codec/transport/LTWords.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <numeric>
#include <optional>
#include <utility>

namespace vexaqr::LT {

namespace {

constexpr std::uint32_t kNoRow = 0xffffffffu;
constexpr std::uint32_t kUsed = 0xffffffffu; // an equation's open degree once it resolved its pivot symbol
constexpr std::uint32_t kNoWatch = 0xffffffffu;
// Equations of more symbols are watched rather than counted (see peelAndInactivate).
constexpr std::size_t kLargestCountedEquation = 16;
// How many equations or symbols ahead their scattered records are fetched: enough misses to overlap.
constexpr std::size_t kAhead = 8;

bool testBit(const std::uint64_t* row, std::uint32_t bit) {
    return (row[bit / 64] >> (bit % 64) & 1u) != 0;
}

// The symbols by falling count, equal counts in symbol order (a stable sort, done as a counting sort in O(n)).
std::vector<std::uint32_t> mostFrequentFirst(const std::vector<std::uint32_t>& counts) {
    const std::uint32_t highest = counts.empty() ? 0 : *std::max_element(counts.begin(), counts.end());
    std::vector<std::uint32_t> starts(std::size_t{highest} + 2, 0); // by count, highest first
    for (std::uint32_t count : counts) {
        ++starts[highest - count + 1];
    }
    std::partial_sum(starts.begin(), starts.end(), starts.begin());
    std::vector<std::uint32_t> ordered(counts.size());
    for (std::uint32_t symbol = 0; symbol < counts.size(); ++symbol) {
        ordered[starts[highest - counts[symbol]]++] = symbol;
    }
    return ordered;
}

} // namespace

InactivationSolver::InactivationSolver(std::uint32_t unknownCount, std::size_t payloadLength)
    : _unknownCount(unknownCount), _payloadLength(payloadLength), _words((payloadLength + 7) / 8) {}

void InactivationSolver::reserve(std::size_t equations, std::size_t symbols) {
    _equationStart.reserve(_equationStart.size() + equations);
    _equationSymbols.reserve(_equationSymbols.size() + symbols);
    _payloads.reserve(_payloads.size() + equations * _words);
}

void InactivationSolver::addEquation(const std::vector<std::uint32_t>& unknowns, const std::uint8_t* payload) {
    _equationSymbols.insert(_equationSymbols.end(), unknowns.begin(), unknowns.end());
    _equationStart.push_back(_equationSymbols.size());
    const std::size_t offset = _payloads.size();
    _payloads.resize(offset + _words, 0);
    std::memcpy(_payloads.data() + offset, payload, _payloadLength);
}

bool InactivationSolver::solve() {
    peelAndInactivate();
    expressPivots();
    const bool solved = solveDenseSystem();
    releaseEquations();
    if (solved) {
        backSubstitute();
    }
    return solved;
}

// Orders the unknowns as pivots (each resolved by an equation whose other unknowns come earlier or are
// inactive) and inactive symbols, working on the structure only; payloads are touched later.
//
// A small equation is listed under each of its symbols and counts its open ones down as they settle. A larger one
// only watches two open symbols and, when one settles, looks along its own symbols for another; with none left it
// has one open symbol, the other watched one. Either way an equation is single exactly when all its symbols but
// one have settled, so the pivots and the set-aside symbols come out alike, at two list entries per large equation
// instead of one per symbol.
void InactivationSolver::peelAndInactivate() {
    const std::vector<std::uint32_t> counts = listEquations();
    _state.assign(_unknownCount, State::open);
    _column.assign(_unknownCount, 0);

    // Set aside the most frequent unknowns first: each one removed opens the most equations.
    const std::vector<std::uint32_t> byFrequency = mostFrequentFirst(counts);
    auto nextCandidate = byFrequency.begin();

    for (std::uint32_t settled = 0; settled < _unknownCount; ++settled) {
        std::uint32_t symbol = 0;
        if (const auto equation = nextSingle()) {
            symbol = _open[*equation].symbolXor; // its one open symbol
            _open[*equation].degree = kUsed;
            _state[symbol] = State::pivoted;
            _pivots.push_back(Pivot{symbol, *equation});
        } else {
            while (_state[*nextCandidate] != State::open) {
                ++nextCandidate;
            }
            symbol = *nextCandidate;
            _state[symbol] = State::inactive;
            _column[symbol] = static_cast<std::uint32_t>(_inactiveSymbols.size());
            _inactiveSymbols.push_back(symbol);
        }
        settle(symbol);
    }
}

// Lists each small equation under its symbols and lets each large one watch its first two; returns how many
// equations hold each symbol.
std::vector<std::uint32_t> InactivationSolver::listEquations() {
    const std::size_t equations = _equationStart.size() - 1;
    std::vector<std::uint32_t> counts(_unknownCount, 0);
    _occurrenceStart.assign(_unknownCount + 1, 0);
    for (std::uint32_t equation = 0; equation < equations; ++equation) {
        const bool listed = _equationStart[equation + 1] - _equationStart[equation] <= kLargestCountedEquation;
        for (std::size_t at = _equationStart[equation]; at < _equationStart[equation + 1]; ++at) {
            ++counts[_equationSymbols[at]];
            _occurrenceStart[_equationSymbols[at] + 1] += listed ? 1 : 0;
        }
    }
    std::partial_sum(_occurrenceStart.begin(), _occurrenceStart.end(), _occurrenceStart.begin());
    _occurrences.resize(_occurrenceStart.back());
    std::vector<std::size_t> fill(_occurrenceStart.begin(), _occurrenceStart.end() - 1);
    _open.assign(equations, Open{});
    _watchHead.assign(_unknownCount, kNoWatch);
    for (std::uint32_t equation = 0; equation < equations; ++equation) {
        Open& open = _open[equation];
        const std::size_t first = _equationStart[equation];
        open.degree = static_cast<std::uint32_t>(_equationStart[equation + 1] - first);
        if (open.degree > kLargestCountedEquation) {
            open.cursor = 2;
            watch(equation, _equationSymbols[first]);
            watch(equation, _equationSymbols[first + 1]);
            continue;
        }
        for (std::size_t at = first; at < _equationStart[equation + 1]; ++at) {
            _occurrences[fill[_equationSymbols[at]]++] = equation;
            open.symbolXor ^= _equationSymbols[at];
        }
        if (open.degree == 1) {
            _singles.push_back(equation);
        }
    }
    return counts;
}

void InactivationSolver::watch(std::uint32_t equation, std::uint32_t symbol) {
    _watches.push_back(Watch{equation, _watchHead[symbol]});
    _watchHead[symbol] = static_cast<std::uint32_t>(_watches.size() - 1);
}

// The singles are taken in the order they were found, so that the next few are known: their equations, then their
// symbols' lists, then the lists' first equations are fetched while earlier ones settle.
std::optional<std::uint32_t> InactivationSolver::nextSingle() {
    while (_nextSingle < _singles.size()) {
        prefetchSettling();
        const std::uint32_t equation = _singles[_nextSingle++];
        if (_open[equation].degree == 1) {
            return equation;
        }
    }
    return std::nullopt;
}

void InactivationSolver::prefetchSettling() const {
    const std::size_t queued = _singles.size();
    if (_nextSingle + 2 * kAhead < queued) {
        __builtin_prefetch(&_open[_singles[_nextSingle + 2 * kAhead]]);
    }
    if (_nextSingle + kAhead < queued) {
        const std::uint32_t symbol = _open[_singles[_nextSingle + kAhead]].symbolXor;
        if (symbol < _unknownCount) {
            __builtin_prefetch(&_occurrenceStart[symbol]);
            __builtin_prefetch(&_watchHead[symbol]);
        }
    }
    if (_nextSingle + kAhead / 2 < queued) {
        const std::uint32_t symbol = _open[_singles[_nextSingle + kAhead / 2]].symbolXor;
        if (symbol < _unknownCount) {
            __builtin_prefetch(_occurrences.data() + _occurrenceStart[symbol]);
        }
    }
}

// A symbol stops being open: every unused equation holding it has one open symbol fewer.
void InactivationSolver::settle(std::uint32_t symbol) {
    const std::size_t end = _occurrenceStart[symbol + 1];
    for (std::size_t at = _occurrenceStart[symbol]; at < end; ++at) {
        if (at + kAhead / 2 < end) {
            __builtin_prefetch(&_open[_occurrences[at + kAhead / 2]]);
        }
        const std::uint32_t equation = _occurrences[at];
        Open& open = _open[equation];
        if (open.degree == kUsed) {
            continue;
        }
        open.symbolXor ^= symbol;
        if (--open.degree == 1) {
            _singles.push_back(equation);
        }
    }
    for (std::uint32_t watch = std::exchange(_watchHead[symbol], kNoWatch); watch != kNoWatch;
         watch = _watches[watch].next) {
        moveWatch(_watches[watch].equation, symbol);
    }
}

// The settled `symbol` was one of the two that large `equation` watches: it watches its next open symbol instead,
// or, with none left, has one open symbol, the other watched one (and none once that one settles too).
void InactivationSolver::moveWatch(std::uint32_t equation, std::uint32_t symbol) {
    Open& open = _open[equation];
    if (open.degree == kUsed || open.degree == 0) {
        return;
    }
    std::uint32_t* const symbols = _equationSymbols.data() + _equationStart[equation];
    if (open.degree == 1) {
        open.degree = 0;
        return;
    }
    const auto size = static_cast<std::uint32_t>(_equationStart[equation + 1] - _equationStart[equation]);
    const std::uint32_t slot = symbols[0] == symbol ? 0 : 1;
    while (open.cursor < size && _state[symbols[open.cursor]] != State::open) {
        ++open.cursor;
    }
    if (open.cursor == size) {
        open.degree = 1;
        open.symbolXor = symbols[1 - slot];
        _singles.push_back(equation);
        return;
    }
    std::swap(symbols[slot], symbols[open.cursor++]);
    watch(equation, symbols[slot]);
}

// Each pivot's value is its equation's payload XOR the other symbols of that equation; those are earlier
// pivots (already expressed) or inactive symbols (kept as coefficient bits until the dense solve).
// The pivots' equations lie scattered in memory: a few pivots ahead, where an equation starts is fetched, then its
// symbols, then their expressions, so that the misses overlap instead of coming one after another.
void InactivationSolver::expressPivots() {
    _columnWords = (_inactiveSymbols.size() + 63) / 64;
    _expressions.assign(static_cast<std::size_t>(_unknownCount) * expressionWords(), 0);
    const std::size_t count = _pivots.size();
    for (std::size_t at = 0; at < count; ++at) {
        if (at + 3 * kAhead < count) {
            __builtin_prefetch(&_equationStart[_pivots[at + 3 * kAhead].equation]);
        }
        if (at + 2 * kAhead < count) {
            const Pivot ahead = _pivots[at + 2 * kAhead];
            __builtin_prefetch(_equationSymbols.data() + _equationStart[ahead.equation]);
            __builtin_prefetch(payloadOf(ahead.equation));
            __builtin_prefetch(coefficientsOf(ahead.symbol), 1);
        }
        if (at + kAhead < count) {
            prefetchExpressions(_pivots[at + kAhead].equation);
        }
        const Pivot pivot = _pivots[at];
        std::memcpy(valueOf(pivot.symbol), payloadOf(pivot.equation), _words * 8);
        accumulate(pivot.equation, pivot.symbol, coefficientsOf(pivot.symbol));
    }
}

// Fetches the expressions of the first few symbols of `equation`.
void InactivationSolver::prefetchExpressions(std::uint32_t equation) {
    const std::size_t start = _equationStart[equation];
    const std::size_t end = std::min(_equationStart[equation + 1], start + kAhead);
    for (std::size_t at = start; at < end; ++at) {
        prefetchExpression(_equationSymbols[at]);
    }
}

// An expression may straddle two cache lines: both are fetched.
void InactivationSolver::prefetchExpression(std::uint32_t symbol) {
    const std::uint64_t* expression = coefficientsOf(symbol);
    __builtin_prefetch(expression);
    __builtin_prefetch(expression + expressionWords() - 1);
}

// XORs into `expression` (coefficient bits, then value) the expressions of every symbol of `equation` except
// `skipped`. The expressions of the first few symbols have been fetched; those of the rest are fetched as many ahead.
void InactivationSolver::accumulate(std::uint32_t equation, std::uint32_t skipped, std::uint64_t* expression) {
    const std::size_t end = _equationStart[equation + 1];
    for (std::size_t at = _equationStart[equation]; at < end; ++at) {
        if (at + kAhead < end) {
            prefetchExpression(_equationSymbols[at + kAhead]);
        }
        const std::uint32_t other = _equationSymbols[at];
        if (other == skipped) {
            continue;
        }
        if (_state[other] == State::inactive) {
            expression[_column[other] / 64] ^= std::uint64_t{1} << (_column[other] % 64);
        } else {
            xorWords(expression, coefficientsOf(other), expressionWords());
        }
    }
}

// The equations that resolved no pivot, rewritten over the inactive symbols alone, solved by Gauss-Jordan
// elimination. Their rank plus the pivots is the rank of the whole system.
bool InactivationSolver::solveDenseSystem() {
    const std::uint32_t columns = static_cast<std::uint32_t>(_inactiveSymbols.size());
    const std::size_t stride = _columnWords + _words; // coefficient bits, then the payload
    std::vector<std::uint64_t> rows;
    std::size_t rowCount = 0;
    for (std::uint32_t equation = 0; equation + 1 < _equationStart.size(); ++equation) {
        if (_open[equation].degree == kUsed) {
            continue;
        }
        rows.resize(rows.size() + stride, 0);
        std::uint64_t* row = rows.data() + rowCount * stride;
        std::memcpy(row + _columnWords, payloadOf(equation), _words * 8);
        accumulate(equation, _unknownCount, row);
        ++rowCount;
    }
    auto rowAt = [&](std::size_t index) { return rows.data() + index * stride; };

    _rowOfColumn.assign(columns, kNoRow);
    _pivotColumns.assign(_columnWords, 0);
    std::uint32_t denseRank = 0;
    for (std::uint32_t column = 0; column < columns; ++column) {
        std::size_t found = denseRank;
        while (found < rowCount && !testBit(rowAt(found), column)) {
            ++found;
        }
        if (found == rowCount) {
            continue; // no equation left for this symbol: the system is short of rank
        }
        std::swap_ranges(rowAt(found), rowAt(found) + stride, rowAt(denseRank));
        const std::uint64_t* pivot = rowAt(denseRank);
        for (std::size_t other = 0; other < rowCount; ++other) {
            if (other != denseRank && testBit(rowAt(other), column)) {
                xorWords(rowAt(other), pivot, stride);
            }
        }
        _rowOfColumn[column] = denseRank;
        _pivotColumns[column / 64] |= std::uint64_t{1} << (column % 64);
        ++denseRank;
    }
    _rank = static_cast<std::uint32_t>(_pivots.size()) + denseRank;
    // The rows past the rank reduced to nothing; the others are the elimination kept for later equations.
    rows.resize(static_cast<std::size_t>(denseRank) * stride);
    _denseRows = std::move(rows);
    if (denseRank < columns) {
        return false;
    }
    adoptDenseValues();
    return true;
}

bool InactivationSolver::addLaterEquation(const std::vector<std::uint32_t>& unknowns, const std::uint8_t* payload) {
    if (isSolved()) {
        return false;
    }
    const std::size_t stride = _columnWords + _words;
    _laterRow.assign(stride, 0);
    std::uint64_t* coefficients = _laterRow.data();
    std::uint64_t* value = coefficients + _columnWords;
    std::memcpy(value, payload, _payloadLength);
    for (std::uint32_t symbol : unknowns) {
        if (_state[symbol] == State::inactive) {
            coefficients[_column[symbol] / 64] ^= std::uint64_t{1} << (_column[symbol] % 64);
        } else {
            xorWords(coefficients, coefficientsOf(symbol), _columnWords);
            xorWords(value, valueOf(symbol), _words);
        }
    }
    // Clearing a pivot column never sets another one (pivot rows are clear there), so one pass suffices.
    for (std::size_t word = 0; word < _columnWords; ++word) {
        for (std::uint64_t bits = coefficients[word] & _pivotColumns[word]; bits != 0; bits &= bits - 1) {
            const auto column = word * 64 + static_cast<std::size_t>(std::countr_zero(bits));
            xorWords(coefficients, _denseRows.data() + std::size_t{_rowOfColumn[column]} * stride, stride);
        }
    }
    const auto nonZero = std::find_if(coefficients, coefficients + _columnWords, [](std::uint64_t w) { return w; });
    if (nonZero == coefficients + _columnWords) {
        return false; // implied by the equations already taken
    }
    const auto word = static_cast<std::size_t>(nonZero - coefficients);
    keepDenseRow(coefficients, static_cast<std::uint32_t>(word * 64 + std::countr_zero(*nonZero)));
    ++_rank;
    if (isSolved()) {
        adoptDenseValues();
        backSubstitute();
    }
    return true;
}

// Adds a reduced row with its pivot `column`, clearing that column from every other kept row.
void InactivationSolver::keepDenseRow(const std::uint64_t* row, std::uint32_t column) {
    const std::size_t stride = _columnWords + _words;
    const std::size_t rows = _denseRows.size() / stride;
    for (std::size_t other = 0; other < rows; ++other) {
        std::uint64_t* kept = _denseRows.data() + other * stride;
        if (testBit(kept, column)) {
            xorWords(kept, row, stride);
        }
    }
    _denseRows.insert(_denseRows.end(), row, row + stride);
    _rowOfColumn[column] = static_cast<std::uint32_t>(rows);
    _pivotColumns[column / 64] |= std::uint64_t{1} << (column % 64);
}

// Full rank: the row of each column now reads "inactive symbol = payload".
void InactivationSolver::adoptDenseValues() {
    const std::size_t stride = _columnWords + _words;
    for (std::uint32_t column = 0; column < _inactiveSymbols.size(); ++column) {
        const std::uint64_t* row = _denseRows.data() + std::size_t{_rowOfColumn[column]} * stride;
        std::memcpy(valueOf(_inactiveSymbols[column]), row + _columnWords, _words * 8);
    }
    _denseRows = {};
}

// What only solve() needs; a solver kept for later equations holds the elimination alone.
void InactivationSolver::releaseEquations() {
    _equationStart = {0};
    _equationSymbols = {};
    _payloads = {};
    _occurrenceStart = {};
    _occurrences = {};
    _open = {};
    _singles = {};
    _nextSingle = 0;
    _watchHead = {};
    _watches = {};
}

// Each pivot's value is its partial value XOR the values of the inactive symbols its coefficient bits name. Those are
// combined a few columns at a time beforehand, every XOR of each few, so that a pivot takes one combination per few
// columns instead of one value per bit set (about half of them).
void InactivationSolver::backSubstitute() {
    const InactiveCombinations combinations(*this);
    // In the order of the symbols, not of the pivots, so that the expressions are read one after another.
    for (std::uint32_t symbol = 0; symbol < _unknownCount; ++symbol) {
        if (_state[symbol] == State::pivoted) {
            combinations.xorInto(valueOf(symbol), coefficientsOf(symbol));
        }
    }
}

InactivationSolver::InactiveCombinations::InactiveCombinations(InactivationSolver& solver)
    : _words(solver._words), _bits(solver._words <= 2 ? 8 : 4), // 256 combinations each only for short values
      _groups((solver._inactiveSymbols.size() + _bits - 1) / _bits) {
    _table.assign(_groups * (std::size_t{1} << _bits) * _words, 0);
    for (std::size_t column = 0; column < solver._inactiveSymbols.size(); ++column) {
        const std::uint64_t* value = solver.valueOf(solver._inactiveSymbols[column]);
        std::uint64_t* const group = combination(column / _bits, 0);
        // The combinations with this column's bit are those without it, XOR its value.
        const std::size_t bit = std::size_t{1} << (column % _bits);
        for (std::size_t without = 0; without < bit; ++without) {
            for (std::size_t word = 0; word < _words; ++word) {
                group[(bit + without) * _words + word] = group[without * _words + word] ^ value[word];
            }
        }
    }
}

void InactivationSolver::InactiveCombinations::xorInto(std::uint64_t* value, const std::uint64_t* coefficients) const {
    if (_words == 1) { // values of one word, the usual packet: the loop below, spelled out for the compiler
        const std::uint64_t* group = _table.data();
        std::uint64_t sum = *value; // in a register: the table might alias the value as far as the compiler knows
        for (std::size_t column = 0; column < _groups * 8; column += 64, ++coefficients) {
            std::uint64_t bits = *coefficients;
            const std::size_t groups = std::min<std::size_t>(8, _groups - column / 8);
            for (std::size_t inWord = 0; inWord < groups; ++inWord, bits >>= 8, group += 256) {
                sum ^= group[bits & 0xff];
            }
        }
        *value = sum;
        return;
    }
    const std::uint64_t mask = (std::uint64_t{1} << _bits) - 1;
    const std::size_t groupsPerWord = 64 / _bits;
    // A group without a bit set takes combination 0, all zero: XORing it costs less than a branch on random bits.
    for (std::size_t group = 0; group < _groups; ++coefficients) {
        std::uint64_t bits = *coefficients;
        for (std::size_t inWord = 0; inWord < groupsPerWord && group < _groups; ++inWord, ++group, bits >>= _bits) {
            xorWords(value, combination(group, bits & mask), _words);
        }
    }
}

std::size_t InactivationSolver::memoryFootprint() const {
    auto bytes = [](const auto& vector) { return vector.capacity() * sizeof(vector[0]); };
    return bytes(_equationStart) + bytes(_equationSymbols) + bytes(_payloads) + bytes(_occurrenceStart) +
           bytes(_occurrences) + bytes(_open) + bytes(_singles) + bytes(_watchHead) + bytes(_watches) + bytes(_state) +
           bytes(_column) + bytes(_pivots) + bytes(_inactiveSymbols) + bytes(_expressions) + bytes(_denseRows) +
           bytes(_rowOfColumn) + bytes(_pivotColumns) + bytes(_laterRow);
}

void InactivationSolver::copyValue(std::uint32_t unknown, std::uint8_t* out) const {
    std::memcpy(out, _expressions.data() + static_cast<std::size_t>(unknown) * expressionWords() + _columnWords,
                _payloadLength);
}

} // namespace vexaqr::LT
