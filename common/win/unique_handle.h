// Scoped owners for Windows handles: one owner per handle, freed exactly once.
#pragma once

#include <windows.h>

#include <utility>

namespace kbwin {

// Traits: `pointer`, `none()`, `valid(p)` and `close(p)` (true when freed).
template <class Traits>
class UniqueResource {
public:
    using pointer = typename Traits::pointer;

    UniqueResource() noexcept = default;
    explicit UniqueResource(pointer value) noexcept : value_(value) {}
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { reset(); }

    [[nodiscard]] pointer get() const noexcept { return value_; }
    [[nodiscard]] bool valid() const noexcept { return Traits::valid(value_); }
    explicit operator bool() const noexcept { return valid(); }

    // Takes `value` over; the one held before is freed.
    void reset(pointer value = Traits::none()) noexcept {
        pointer old = std::exchange(value_, value);
        if (Traits::valid(old)) (void)Traits::close(old);
    }
    // Frees the one held and says whether the system accepted that; false
    // when nothing was held.
    [[nodiscard]] bool close() noexcept {
        pointer old = std::exchange(value_, Traits::none());
        return Traits::valid(old) && Traits::close(old);
    }
    // Gives the value up without freeing it.
    [[nodiscard]] pointer release() noexcept { return std::exchange(value_, Traits::none()); }

private:
    pointer value_ = Traits::none();
};

struct HandleTraits {
    using pointer = HANDLE;
    static pointer none() noexcept { return nullptr; }
    // Some calls report failure with null, others with INVALID_HANDLE_VALUE.
    static bool valid(pointer h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static bool close(pointer h) noexcept { return CloseHandle(h) != FALSE; }
};

struct ModuleTraits {
    using pointer = HMODULE;
    static pointer none() noexcept { return nullptr; }
    static bool valid(pointer m) noexcept { return m != nullptr; }
    static bool close(pointer m) noexcept { return FreeLibrary(m) != FALSE; }
};

struct KeyTraits {
    using pointer = HKEY;
    static pointer none() noexcept { return nullptr; }
    static bool valid(pointer k) noexcept { return k != nullptr; }
    static bool close(pointer k) noexcept { return RegCloseKey(k) == ERROR_SUCCESS; }
};

struct ServiceTraits {
    using pointer = SC_HANDLE;
    static pointer none() noexcept { return nullptr; }
    static bool valid(pointer h) noexcept { return h != nullptr; }
    static bool close(pointer h) noexcept { return CloseServiceHandle(h) != FALSE; }
};

struct FindTraits {
    using pointer = HANDLE;
    static pointer none() noexcept { return INVALID_HANDLE_VALUE; }
    static bool valid(pointer h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static bool close(pointer h) noexcept { return FindClose(h) != FALSE; }
};

using UniqueHandle = UniqueResource<HandleTraits>;
using UniqueModule = UniqueResource<ModuleTraits>;
using UniqueKey = UniqueResource<KeyTraits>;          // users link advapi32
using UniqueService = UniqueResource<ServiceTraits>;  // users link advapi32
using UniqueFindHandle = UniqueResource<FindTraits>;   // FindFirstFileW

}  // namespace kbwin
