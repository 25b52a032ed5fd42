#pragma once
// Owner of one COM reference. Move-only, releases exactly once, and clears
// itself after releasing, so that a second reset is harmless.
//
// put() hands out the address of the raw pointer for an out-parameter; it
// releases whatever was held first, so a reference can never be leaked by
// writing over it.
//
// Threads: an instance is used by one thread at a time; the reference itself
// may move between threads of the multithreaded apartment.

#include <unknwn.h>

#include <utility>

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    // Adopts a reference that the caller owns.
    explicit ComPtr(T* adopted) : ptr(adopted) {}
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : ptr(std::exchange(other.ptr, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            ptr = std::exchange(other.ptr, nullptr);
        }
        return *this;
    }
    ~ComPtr() { reset(); }

    T* get() const { return ptr; }
    T* operator->() const { return ptr; }
    explicit operator bool() const { return ptr != nullptr; }

    T** put() {
        reset();
        return &ptr;
    }
    // put() for calls that write through a void** (QueryInterface, GetService).
    void** putVoid() { return reinterpret_cast<void**>(put()); }

    void reset() {
        if (ptr) {
            std::exchange(ptr, nullptr)->Release();
        }
    }
    // Gives the reference to the caller, who then owns it.
    [[nodiscard]] T* detach() { return std::exchange(ptr, nullptr); }

private:
    T* ptr = nullptr;
};
