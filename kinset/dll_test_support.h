// For the Wine tests of KinsetDll: the DLL loaded by name, and its exports
// typed from their own prototypes.
#pragma once

#include "KinsetDll.h"

namespace kinset_test {

inline HMODULE dll() {
    static HMODULE module = LoadLibraryW(L"KinsetDll.dll");
    return module;
}

template <class F>
F entry(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll(), name)));
}

}  // namespace kinset_test

#define KINSET(name) ::kinset_test::entry<decltype(&name)>(#name)
