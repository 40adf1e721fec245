// One RAII owner for every C library handle: the free function is part of the type, so a handle can
// never be released with the wrong function or twice.
#pragma once

#include <memory>

namespace vexaqr {

template <auto FreeFn> struct CFree {
    template <class T> void operator()(T* p) const noexcept {
        if (p)
            FreeFn(p);
    }
};

template <class T, auto FreeFn> using CHandle = std::unique_ptr<T, CFree<FreeFn>>;

} // namespace vexaqr
