// One RAII alias per C handle type: the handle is freed by its library's own function when the owner dies.
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
