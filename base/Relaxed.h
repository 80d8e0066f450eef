#pragma once
// A value shared between the window thread and the render worker.
//
// The program's threads share flags and settings without locks: each value is
// written whole by one side and polled by the other. Relaxed atomics give
// exactly that (plain moves on x86) while keeping the C++ defined.
#include <atomic>

template <typename T>
struct Relaxed {
    std::atomic<T> value;

    constexpr Relaxed() : value(T()) {}
    constexpr Relaxed(T initial) : value(initial) {}
    Relaxed(const Relaxed&) = delete;
    Relaxed& operator=(const Relaxed&) = delete;

    operator T() const { return value.load(std::memory_order_relaxed); }
    Relaxed& operator=(T v)
    {
        value.store(v, std::memory_order_relaxed);
        return *this;
    }
};
