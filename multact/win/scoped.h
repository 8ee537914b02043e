// Scoped owners for the few system resources the action library holds.
#pragma once

#include <windows.h>

#include "common/win/unique_handle.h"

#include <utility>

namespace kb::multact {

using UniqueHandle = kbwin::UniqueHandle;

// Joins the calling thread's input to another thread's for the life of the
// object, so that focus queries see that thread's state; always undone.
class InputAttachment {
public:
    explicit InputAttachment(DWORD otherThread) noexcept
        : self_(GetCurrentThreadId()), other_(otherThread),
          attached_(otherThread != 0 && otherThread != self_ && AttachThreadInput(self_, otherThread, TRUE) != FALSE) {}
    InputAttachment(const InputAttachment&) = delete;
    InputAttachment& operator=(const InputAttachment&) = delete;
    ~InputAttachment() {
        if (attached_) {
            AttachThreadInput(self_, other_, FALSE);
        }
    }

private:
    DWORD self_;
    DWORD other_;
    bool attached_;
};

// A reference on the module that holds this code, for a thread that may
// outlive the caller's use of the library: the thread ends with
// FreeLibraryAndExitThread, so the code it runs stays mapped until then.
class ModuleReference {
public:
    ModuleReference() noexcept {
        HMODULE module = nullptr;
        if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&anchor), &module))
            module_.reset(module);
    }
    [[nodiscard]] explicit operator bool() const noexcept { return module_.valid(); }
    [[nodiscard]] HMODULE get() const noexcept { return module_.get(); }
    [[nodiscard]] HMODULE release() noexcept { return module_.release(); }

private:
    static void anchor() {}
    kbwin::UniqueModule module_;
};

}  // namespace kb::multact
