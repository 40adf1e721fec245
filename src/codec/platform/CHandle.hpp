// RAII for C library handles: one alias per C type, wrapped at the line that creates it.
#pragma once

#include <memory>

namespace vexaqr {

template <auto FreeFn> struct CFree {
    template <class T> void operator()(T* p) const noexcept {
        if (p) {
            FreeFn(p);
        }
    }
};

template <class T, auto FreeFn> using CHandle = std::unique_ptr<T, CFree<FreeFn>>;

} // namespace vexaqr
