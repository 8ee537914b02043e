#include "library_bindings.h"

#include "common/win/dll_search.h"

namespace kb {

bool LibraryBinding::load() {
    module_.reset(kbwin::loadBesideProgram(fileName_));
    if (module_) return true;
    const DWORD error = GetLastError();
    failure_ = "cannot load " + narrow(fileName_) + " (error " + std::to_string(error) + ")";
    return false;
}

std::string LibraryBinding::narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    if (size <= 0) return "?";
    std::string out(static_cast<std::size_t>(size), '\0');
    (void)WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                              nullptr);
    return out;
}

}  // namespace kb
