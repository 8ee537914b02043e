// The library's exports: each hands its code to the action runner, which
// catches everything, so no exception crosses into the caller.
#include "multact.h"

#include "actions_win.h"

extern "C" {

int __stdcall Multact(int code) {
    return kb::multact::runAction(kb::multact::Entry::Multact, code, nullptr, nullptr);
}

int __stdcall Multact2(int code, const wchar_t* text, const wchar_t* parameters) {
    return kb::multact::runAction(kb::multact::Entry::Multact2, code, text, parameters);
}

int __stdcall MultactForWin2000(int code) {
    return kb::multact::runAction(kb::multact::Entry::ForWin2000, code, nullptr, nullptr);
}

}  // extern "C"
