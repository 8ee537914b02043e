#include "library_bindings.h"

#include "common/text/text_convert.h"
#include "common/win/dll_search.h"

namespace kb {

bool LibraryBinding::load() {
    module_.reset(fromSystemFolder_ ? kbwin::loadBesideProgramOrFromSystem(fileName_)
                                    : kbwin::loadBesideProgram(fileName_));
    if (module_) return true;
    const DWORD error = GetLastError();
    failure_ = "cannot load " + narrow(fileName_) + " (error " + std::to_string(error) + ")";
    return false;
}

std::string LibraryBinding::narrow(const std::wstring& text) { return kbtext::toUtf8(std::wstring_view(text)); }

}  // namespace kb
