// Scoped owners for the kernel and service handles of the simulator's Windows code.
#pragma once

#include <windows.h>

#include <utility>

namespace kb::sim {

class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE h) : h_(h) {}
    UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, INVALID_HANDLE_VALUE)) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) {
            reset();
            h_ = std::exchange(o.h_, INVALID_HANDLE_VALUE);
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    void reset() {
        if (valid()) CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }
    [[nodiscard]] bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    [[nodiscard]] HANDLE get() const { return h_; }

private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

class ServiceHandle {
public:
    ServiceHandle() = default;
    explicit ServiceHandle(SC_HANDLE h) : h_(h) {}
    ServiceHandle(ServiceHandle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
    ServiceHandle& operator=(ServiceHandle&& o) noexcept {
        if (this != &o) {
            if (h_) CloseServiceHandle(h_);
            h_ = std::exchange(o.h_, nullptr);
        }
        return *this;
    }
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    ~ServiceHandle() {
        if (h_) CloseServiceHandle(h_);
    }
    [[nodiscard]] SC_HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    SC_HANDLE h_ = nullptr;
};

}  // namespace kb::sim
