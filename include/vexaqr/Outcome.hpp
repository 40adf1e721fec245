// Outcome: what every synchronous call returns, a value or the failure that stands in its place.
//
// `F` is the failure: the synchronous API's Failure (vexaqr/sync/Failure.hpp, reason and message) by default;
// the layers below it, which cannot know that type, return Outcome<T, Error>, whose domain and code are the
// reason. Outcome<void, F> is success or a failure, for calls with nothing to return. Plain values; safe to
// copy between threads when T and F are.
#pragma once

#include <cassert>
#include <optional>
#include <utility>
#include <variant>

namespace vexaqr {

struct Failure;

template <class T, class F = Failure> class [[nodiscard]] Outcome {
public:
    Outcome(T value) : _state(std::in_place_index<0>, std::move(value)) {}
    Outcome(F failure) : _state(std::in_place_index<1>, std::move(failure)) {}

    bool ok() const { return _state.index() == 0; }
    explicit operator bool() const { return ok(); }

    /// The value; only when ok(). An Outcome about to go away gives it up (a move-only value leaves a call's
    /// result this way).
    T& value() & {
        assert(ok());
        return *std::get_if<0>(&_state);
    }
    const T& value() const& {
        assert(ok());
        return *std::get_if<0>(&_state);
    }
    T&& value() && { return std::move(value()); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() { return value(); }
    const T& operator*() const { return value(); }

    /// Why there is no value; only when !ok().
    const F& failure() const {
        assert(!ok());
        return *std::get_if<1>(&_state);
    }

private:
    std::variant<T, F> _state;
};

template <class F> class [[nodiscard]] Outcome<void, F> {
public:
    /// Success.
    Outcome() = default;
    Outcome(F failure) : _failure(std::move(failure)) {}

    bool ok() const { return !_failure.has_value(); }
    explicit operator bool() const { return ok(); }

    /// Why the call failed; only when !ok().
    const F& failure() const {
        assert(!ok());
        return *_failure;
    }

private:
    std::optional<F> _failure;
};

} // namespace vexaqr
