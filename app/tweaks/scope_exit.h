#pragma once
// Runs a function when the scope ends, also when an exception leaves it.

namespace vexlo {

template <class F>
struct Finally {
    F f;
    ~Finally() { f(); }
};
template <class F>
Finally(F) -> Finally<F>;

}  // namespace vexlo
