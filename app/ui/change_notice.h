// The small notice that names the layer or profile now in force. It stands
// above every window, lets clicks through and never takes the focus, so a
// game in front keeps its keys; it fades after about a second.
// User-interface thread only.
#pragma once

#include <windows.h>

#include "common/win/ui_owners.h"

#include <string>

namespace kb::ui {

inline constexpr wchar_t kNoticeClass[] = L"KbPanelNotice";

class ChangeNotice {
public:
    ChangeNotice() = default;
    ChangeNotice(const ChangeNotice&) = delete;
    ChangeNotice& operator=(const ChangeNotice&) = delete;
    ~ChangeNotice();

    // Shows `text` afresh (a notice still fading is replaced).
    void show(const std::wstring& text);
    void hide();

private:
    static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wp, LPARAM lp);
    bool create();
    void paint(HDC dc);
    void tick();

    HWND window_ = nullptr;
    kbwin::UniqueFont font_;
    std::wstring text_;
    int elapsedMs_ = 0;
};

}  // namespace kb::ui
