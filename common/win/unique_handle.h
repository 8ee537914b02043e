// Scoped owners for Win32 handles: one owner per resource, closed exactly once.
// Header-only so both libraries can use it without linking anything of ours.
#pragma once

#include <windows.h>

#include <utility>

namespace kbwin {

// Traits: T type; static bool valid(T); static void close(T).
template <class Traits>
class Unique {
public:
    using T = typename Traits::T;

    Unique() noexcept = default;
    explicit Unique(T value) noexcept : value_(value) {}
    ~Unique() { reset(); }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    Unique(Unique&& other) noexcept : value_(other.release()) {}
    Unique& operator=(Unique&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    [[nodiscard]] T get() const noexcept { return value_; }
    [[nodiscard]] explicit operator bool() const noexcept { return Traits::valid(value_); }
    [[nodiscard]] T release() noexcept { return std::exchange(value_, T{}); }
    void reset(T value = T{}) noexcept {
        T old = std::exchange(value_, value);
        if (Traits::valid(old)) Traits::close(old);
    }

private:
    T value_{};
};

struct HandleTraits {
    using T = HANDLE;
    // Null and INVALID_HANDLE_VALUE both mean "no handle": CreateFileW returns
    // the latter, most other calls the former.
    static bool valid(HANDLE h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) noexcept { ::CloseHandle(h); }
};
struct KeyTraits {
    using T = HKEY;
    static bool valid(HKEY h) noexcept { return h != nullptr; }
    static void close(HKEY h) noexcept { ::RegCloseKey(h); }
};
struct ModuleTraits {
    using T = HMODULE;
    static bool valid(HMODULE h) noexcept { return h != nullptr; }
    static void close(HMODULE h) noexcept { ::FreeLibrary(h); }
};

using UniqueHandle = Unique<HandleTraits>;
using UniqueKey = Unique<KeyTraits>;
using UniqueModule = Unique<ModuleTraits>;

}  // namespace kbwin
