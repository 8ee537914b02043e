// The libraries the program loads by name, each with every entry point it
// needs. Entry-point types come from the exporting module's own prototypes,
// so a calling-convention or argument mismatch fails the build, not the call.
#pragma once

#include <windows.h>

#include "KinsetDll.h"
#include "common/win/unique_handle.h"
#include "contracts/hidport_abi.h"
#include "multact.h"

#include <string>

namespace kb {

// Loading and lookup shared by the bindings; the entry points live in the
// derived classes. A binding is not copied: its pointers belong to its module.
class LibraryBinding {
public:
    LibraryBinding(const LibraryBinding&) = delete;
    LibraryBinding& operator=(const LibraryBinding&) = delete;

    [[nodiscard]] bool isBound() const noexcept { return module_.valid(); }
    // Why the last bind() failed, for a log line or a message; empty after success.
    [[nodiscard]] const std::string& failure() const noexcept { return failure_; }
    [[nodiscard]] const std::wstring& fileName() const noexcept { return fileName_; }
    [[nodiscard]] HMODULE module() const noexcept { return module_.get(); }

protected:
    // fromSystemFolder: a library of another party, which may also be installed
    // in the system folder (looked at when the program's folder has none).
    explicit LibraryBinding(std::wstring fileName, bool fromSystemFolder = false)
        : fileName_(std::move(fileName)), fromSystemFolder_(fromSystemFolder) {}
    ~LibraryBinding() = default;

    // Loads the file and runs `lookUpAll(binder)`, which calls binder.find()
    // for every entry point. All or nothing: on any miss the module is freed
    // and every pointer cleared.
    template <class Self>
    [[nodiscard]] bool bindAll(Self& self) {
        unbindAll(self);
        failure_.clear();
        if (!load()) return false;
        Finder finder{module_.get(), {}};
        self.lookUpAll(finder);
        if (!finder.missing.empty()) {
            const bool several = finder.missing.find(',') != std::string::npos;
            failure_ = narrow(fileName_) + (several ? " lacks the entry points " : " lacks the entry point ") +
                       finder.missing;
            unbindAll(self);
            return false;
        }
        return true;
    }

    template <class Self>
    void unbindAll(Self& self) noexcept {
        Clearer clearer;
        self.lookUpAll(clearer);
        module_.reset();
    }

    struct Finder {
        HMODULE module;
        std::string missing;  // names, comma-separated
        template <class F>
        void find(F& slot, const char* name) {
            FARPROC proc = GetProcAddress(module, name);
            // Through the generic function-pointer type: the real type is F.
            slot = reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
            if (proc == nullptr) {
                if (!missing.empty()) missing += ", ";
                missing += name;
            }
        }
    };
    struct Clearer {
        template <class F>
        void find(F& slot, const char*) noexcept {
            slot = nullptr;
        }
    };

private:
    bool load();
    static std::string narrow(const std::wstring& text);

    std::wstring fileName_;
    bool fromSystemFolder_;
    kbwin::UniqueModule module_;
    std::string failure_;
};

// "KinsetDll.dll": the 25 entry points the program looks up. Init is called
// when the control device opens, not here.
class KinsetBinding final : public LibraryBinding {
public:
    explicit KinsetBinding(std::wstring fileName = L"KinsetDll.dll") : LibraryBinding(std::move(fileName)) {}
    ~KinsetBinding() { unbindAll(*this); }
    [[nodiscard]] bool bind() { return bindAll(*this); }
    void unbind() noexcept { unbindAll(*this); }

    decltype(&::Init) Init = nullptr;
    decltype(&::End) End = nullptr;
    decltype(&::KeyPress) KeyPress = nullptr;
    decltype(&::KeyDown) KeyDown = nullptr;
    decltype(&::KeyUp) KeyUp = nullptr;
    decltype(&::LeftClick) LeftClick = nullptr;
    decltype(&::RightClick) RightClick = nullptr;
    decltype(&::MiddleClick) MiddleClick = nullptr;
    decltype(&::LeftDoubleClick) LeftDoubleClick = nullptr;
    decltype(&::MoveTo) MoveTo = nullptr;
    decltype(&::MoveR) MoveR = nullptr;
    decltype(&::MouseWheel) MouseWheel = nullptr;
    decltype(&::KinsetKbGetHandle) KinsetKbGetHandle = nullptr;
    decltype(&::KinsetMuGetHandle) KinsetMuGetHandle = nullptr;
    decltype(&::VKSendKeyEx_KB) VKSendKeyEx_KB = nullptr;
    decltype(&::VKSendAkeysSeq_KB) VKSendAkeysSeq_KB = nullptr;
    decltype(&::VKSendAkeysAsync_KB) VKSendAkeysAsync_KB = nullptr;
    decltype(&::VKSendAkeysSync_KB) VKSendAkeysSync_KB = nullptr;
    decltype(&::VKSendWinMakeCodeAsync_KB) VKSendWinMakeCodeAsync_KB = nullptr;
    decltype(&::VKSendWinMakeCodeSync_KB) VKSendWinMakeCodeSync_KB = nullptr;
    decltype(&::VKSendWinMakeCodeSingle_KB) VKSendWinMakeCodeSingle_KB = nullptr;
    decltype(&::VKSendMsVirtualKeyAsync_KB) VKSendMsVirtualKeyAsync_KB = nullptr;
    decltype(&::VKSendMsVirtualKeySync_KB) VKSendMsVirtualKeySync_KB = nullptr;
    decltype(&::VKSendKeyEx_MU) VKSendKeyEx_MU = nullptr;
    decltype(&::VKSendKeyAction_MU) VKSendKeyAction_MU = nullptr;

    template <class Binder>
    void lookUpAll(Binder& b) {
        b.find(Init, "Init");
        b.find(End, "End");
        b.find(KeyPress, "KeyPress");
        b.find(KeyDown, "KeyDown");
        b.find(KeyUp, "KeyUp");
        b.find(LeftClick, "LeftClick");
        b.find(RightClick, "RightClick");
        b.find(MiddleClick, "MiddleClick");
        b.find(LeftDoubleClick, "LeftDoubleClick");
        b.find(MoveTo, "MoveTo");
        b.find(MoveR, "MoveR");
        b.find(MouseWheel, "MouseWheel");
        b.find(KinsetKbGetHandle, "KinsetKbGetHandle");
        b.find(KinsetMuGetHandle, "KinsetMuGetHandle");
        b.find(VKSendKeyEx_KB, "VKSendKeyEx_KB");
        b.find(VKSendAkeysSeq_KB, "VKSendAkeysSeq_KB");
        b.find(VKSendAkeysAsync_KB, "VKSendAkeysAsync_KB");
        b.find(VKSendAkeysSync_KB, "VKSendAkeysSync_KB");
        b.find(VKSendWinMakeCodeAsync_KB, "VKSendWinMakeCodeAsync_KB");
        b.find(VKSendWinMakeCodeSync_KB, "VKSendWinMakeCodeSync_KB");
        b.find(VKSendWinMakeCodeSingle_KB, "VKSendWinMakeCodeSingle_KB");
        b.find(VKSendMsVirtualKeyAsync_KB, "VKSendMsVirtualKeyAsync_KB");
        b.find(VKSendMsVirtualKeySync_KB, "VKSendMsVirtualKeySync_KB");
        b.find(VKSendKeyEx_MU, "VKSendKeyEx_MU");
        b.find(VKSendKeyAction_MU, "VKSendKeyAction_MU");
    }
};

// "Multact.dll": the two entry points the program calls.
class MultactBinding final : public LibraryBinding {
public:
    explicit MultactBinding(std::wstring fileName = L"Multact.dll") : LibraryBinding(std::move(fileName)) {}
    ~MultactBinding() { unbindAll(*this); }
    [[nodiscard]] bool bind() { return bindAll(*this); }
    void unbind() noexcept { unbindAll(*this); }

    decltype(&::Multact) Multact = nullptr;
    decltype(&::Multact2) Multact2 = nullptr;

    template <class Binder>
    void lookUpAll(Binder& b) {
        b.find(Multact, "Multact");
        b.find(Multact2, "Multact2");
    }
};

// "Hidport.dll": all ten entry points are required, also the four that are
// never called. Init(0) is the start-up code's to call.
class HidportBinding final : public LibraryBinding {
public:
    // The keyboard's maker may install it into the system folder.
    explicit HidportBinding(std::wstring fileName = L"Hidport.dll") : LibraryBinding(std::move(fileName), true) {}
    ~HidportBinding() { unbindAll(*this); }
    [[nodiscard]] bool bind() { return bindAll(*this); }
    void unbind() noexcept { unbindAll(*this); }

    decltype(&::HidportDebug) Debug = nullptr;
    decltype(&::HidportInit) Init = nullptr;
    decltype(&::HidportEnd) End = nullptr;
    decltype(&::HidportRequestGetDeviceCount) RequestGetDeviceCount = nullptr;
    decltype(&::HidportDeleteRequestFromUnitId) DeleteRequestFromUnitId = nullptr;
    decltype(&::HidportDeleteRequestFromHandle) DeleteRequestFromHandle = nullptr;
    decltype(&::HidportRequestWrite) RequestWrite = nullptr;
    decltype(&::HidportRequestStatusWrite) RequestStatusWrite = nullptr;
    decltype(&::HidportRequestStatusGet) RequestStatusGet = nullptr;
    decltype(&::HidportRequestAsyncRead) RequestAsyncRead = nullptr;

    template <class Binder>
    void lookUpAll(Binder& b) {
        b.find(Debug, kHidportDebugName);
        b.find(Init, kHidportInitName);
        b.find(End, kHidportEndName);
        b.find(RequestGetDeviceCount, kHidportRequestGetDeviceCountName);
        b.find(DeleteRequestFromUnitId, kHidportDeleteRequestFromUnitIdName);
        b.find(DeleteRequestFromHandle, kHidportDeleteRequestFromHandleName);
        b.find(RequestWrite, kHidportRequestWriteName);
        b.find(RequestStatusWrite, kHidportRequestStatusWriteName);
        b.find(RequestStatusGet, kHidportRequestStatusGetName);
        b.find(RequestAsyncRead, kHidportRequestAsyncReadName);
    }
};

}  // namespace kb
