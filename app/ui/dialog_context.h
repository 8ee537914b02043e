// What the editing dialogs need from the program around them: the profile,
// the main window's operations and where the skin lives. The main window
// fills it; the dialogs never reach further.
#pragma once

#include <windows.h>

#include "common/win/ui_owners.h"
#include "control_ids.h"
#include "profile_list.h"
#include "profile_model.h"
#include "profile_activation.h"
#include "ui_ports.h"

#include <functional>
#include <string>
#include <string_view>

namespace kb::ui {

struct DialogContext {
    ProfileModel& model;
    const ProfileList& list;
    MainWindowSink& window;
    Prompt& prompt;
    ProfileActivation& activation;
    HWND owner = nullptr;
    std::wstring programFolder;    // ends in a backslash; skins under "Skins\"
    std::wstring documentsFolder;  // the profile folder goes below it
    std::function<void()> openHelp;
    // The key button's screen rectangle; false when the button is unknown.
    std::function<bool(int buttonId, RECT& out)> keyButtonRect;
    std::function<void(int buttonId, bool editing)> giveEditLook;
};

// The skin file and folder of one dialog; a base ahead of the skinned
// window, so they exist before it reads them.
struct DialogPaths {
    DialogPaths(const std::wstring& programFolder, const wchar_t* iniName)
        : skinFile(programFolder + L"Skins\\" + iniName), skinDirectory(programFolder + L"Skins\\") {}
    std::wstring skinFile;
    std::wstring skinDirectory;
};

inline std::wstring wide(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }
inline std::u16string u16(std::wstring_view s) { return std::u16string(s.begin(), s.end()); }

// A window's whole text, however long.
std::wstring windowText(HWND window);

// Paints a check box or radio button over the skin: the part of the
// dialog's background picture that lies under the control, and the text in
// the colour given. The brush is made once per dialog picture.
class SkinBackdrop {
public:
    // The answer to WM_CTLCOLORBTN / WM_CTLCOLORSTATIC for `control`.
    [[nodiscard]] LRESULT paint(HWND dialog, HBITMAP background, HWND control, HDC dc, COLORREF text);

private:
    HBITMAP picture_ = nullptr;
    kbwin::UniqueBrush brush_;
};

// Message boxes owned by a dialog while it is open.
class MessageBoxPrompt final : public Prompt {
public:
    explicit MessageBoxPrompt(HWND owner) noexcept : owner_(owner) {}
    void setOwner(HWND owner) noexcept { owner_ = owner; }
    void showMessage(std::u16string_view text) override;
    [[nodiscard]] bool askYesNo(std::u16string_view text, bool defaultNo) override;

private:
    HWND owner_;
};

}  // namespace kb::ui
