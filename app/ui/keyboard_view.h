// The drawn keyboard of the main window: the key buttons and command controls
// with their faces, the key marks and tool tips, the Flip keys, the lock and
// bank lamps and the arrows. User-interface thread only.
#pragma once

#include <windows.h>

#include "indicators.h"
#include "key_buttons.h"
#include "profile_model.h"
#include "skin_button.h"
#include "skin_colours.h"
#include "skin_picture.h"

#include <map>
#include <memory>
#include <string>

namespace kb {
class ProfileList;
class ProfileModel;
}  // namespace kb

namespace kb::ui {

// Control ids of the main window other than the key buttons.
namespace ctl {
inline constexpr int kOk = 1, kCancel = 2;
inline constexpr int kProfiles = 1005, kApply = 1006, kMacroEditor = 1007, kTest = 1008, kProfileMenu = 1009;
inline constexpr int kLink = 1121, kHelp = 1122, kMinimize = 1123, kClose = 1124;
inline constexpr int kLockCaps = 1125, kLockNum = 1126, kLockScroll = 1127, kLockBank = 1128;
inline constexpr int kFlipLamp = 1129, kFlipSwitch1 = 1130, kFlipSwitch2 = 1131;
inline constexpr int kLeftArrow = 1132, kRightArrow = 1133, kVersion = 1134, kLayerSelector = 1135;
}  // namespace ctl

inline constexpr wchar_t kWebAddress[] = L"http://www.example.com/";

class KeyboardView {
public:
    // Both are kept by reference and outlive the view.
    KeyboardView(const std::wstring& mainSkinFile, const ProfileList& list);
    KeyboardView(const KeyboardView&) = delete;
    KeyboardView& operator=(const KeyboardView&) = delete;

    // The buttons exist before the profile marks them; faces come with dress().
    void attach(HWND window);
    // The lock lamps and the Flip arrows; they draw on the window, so they
    // stop before it goes.
    void startLamps();
    void stopLamps();
    void refreshLamps() { lockLamps_.Refresh(); }
    // Faces, captions and tool tips of every control. Any picture that does
    // not load ends the program here, before a window shows.
    void dress(int bank);

    // Marks the button that shows `slot` in `bank`; other slots are ignored.
    // Inherited wears the dimmed face: the base's function shows through.
    void markSlot(int slot, int bank, KeyMark mark, const std::wstring& toolTip);
    // The five macro keys of `bank` from the working profile (takes the profile lock).
    void markMacroKeys(ProfileModel& model, int bank);
    // The bank lamp and the macro keys' captions.
    void showBank(int bank);
    void applyFlipState();
    void enableApply(bool enabled);
    void showProfileName(const std::wstring& name, const std::wstring& toolTip);

    // The layer the map shows and edits (0 the base), as the selector picked it.
    [[nodiscard]] int shownLayer() const noexcept { return shownLayer_; }
    // Reads the selector after the user changed it; true when the layer changed.
    bool takeSelectedLayer();
    // The selector's colours: the answer to its WM_CTLCOLOR* messages.
    [[nodiscard]] bool paintsField(HWND control) const noexcept { return control == item(ctl::kLayerSelector); }
    [[nodiscard]] LRESULT paintField(HDC dc, bool enabled) const noexcept { return colours_.paintField(dc, enabled); }

    [[nodiscard]] kbskin::SkinButton* keyButton(int id) noexcept;
    void giveEditLook(int buttonId, bool editing);

private:
    void setMacroKeyCaptions(int bank);
    void dressLayerSelector();
    [[nodiscard]] FaceSet facesOf(const KeyButton& k, bool editing) const;
    void setBankLamp(int bank);
    void onButtonDrawn(int id, bool normalFace);
    void setSurfaces(kbskin::SkinButton& b, StatusImage normal, StatusImage hover, StatusImage pressed,
                     StatusImage disabled, StatusImage marked);
    [[nodiscard]] const kbskin::StatusSurface* surface(StatusImage s) const noexcept;
    [[nodiscard]] kbskin::SkinButton* button(int id) noexcept;
    [[nodiscard]] HWND item(int id) const noexcept { return GetDlgItem(window_, id); }

    const std::wstring& mainSkinFile_;
    const ProfileList& list_;
    HWND window_ = nullptr;
    kbskin::SurfaceSet surfaces_;  // Main_Status1..4, Main_Status1_2..4_2, Arrow, Main_Status5
    std::map<int, std::unique_ptr<kbskin::SkinButton>> buttons_;
    std::map<int, bool> inherited_;  // key buttons that wear the dimmed marked face
    kbskin::SkinColours colours_;
    int shownLayer_ = 0;
    kbskin::LockLamps lockLamps_;
    kbskin::ArrowAnimator arrows_;
};

}  // namespace kb::ui
