// The main window: the drawn keyboard, its commands, the profile menu, the
// tray icon and the lamps. It owns the heart (libraries, driver link, worker
// threads) from start-up to exit. Worker threads reach it only by posting.
#pragma once

#include <windows.h>

#include "about_box.h"
#include "app_rules.h"
#include "foreground_watch.h"
#include "heart.h"
#include "key_buttons.h"
#include "profile_follow.h"
#include "registry_settings_store.h"
#include "indicators.h"
#include "skin_button.h"
#include "skin_dialog.h"
#include "skin_picture.h"
#include "tray_icon.h"

#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kb::ui {

// Control ids of the main window other than the key buttons.
namespace ctl {
inline constexpr int kOk = 1, kCancel = 2;
inline constexpr int kProfiles = 1005, kApply = 1006, kMacroEditor = 1007, kTest = 1008, kProfileMenu = 1009;
inline constexpr int kLink = 1121, kHelp = 1122, kMinimize = 1123, kClose = 1124;
inline constexpr int kLockCaps = 1125, kLockNum = 1126, kLockScroll = 1127, kLockBank = 1128;
inline constexpr int kFlipLamp = 1129, kFlipSwitch1 = 1130, kFlipSwitch2 = 1131;
inline constexpr int kLeftArrow = 1132, kRightArrow = 1133, kVersion = 1134;
}  // namespace ctl

inline constexpr int kTrayCallbackMessage = 1725;
inline constexpr int kProfileMenuFirst = 9000, kProfileMenuLast = 9200;
inline constexpr wchar_t kWindowTitle[] = L"Vortek键盘设定";
inline constexpr wchar_t kTrayTip[] = L"Vortek键盘";
inline constexpr wchar_t kWebAddress[] = L"http://www.example.com/";

// The skin's window base keeps pointers to these: they are built before it.
struct MainWindowFiles {
    std::wstring mainSkinFile;
    std::wstring skinDirectory;
};

class MainWindow final : private MainWindowFiles, public kbskin::SkinDialog, public WindowSink {
public:
    MainWindow(const AppPaths& paths, HICON programIcon);
    ~MainWindow() override;

    // The one main window of the process, for the dialogs and callbacks.
    [[nodiscard]] static MainWindow* instance() noexcept { return instance_.load(); }

    // --- operations the editing dialogs use (user-interface thread) ---------
    [[nodiscard]] Heart& heart() noexcept { return heart_; }
    [[nodiscard]] const AppPaths& paths() const noexcept { return paths_; }
    [[nodiscard]] RegistrySettingsStore& settings() noexcept { return settings_; }
    // Marks every key button from the working profile (the caller holds the
    // profile lock), then applies the Flip state again.
    void markKeyButtons();
    // Shows the button of `slot` unmarked; other slots are ignored.
    void unmarkKeyButton(int slot);
    void enableApply(bool enabled);
    // The profile menu's switch: list entry i, -1 the default profile.
    bool switchProfile(int index);
    // Applies the working profile (asks first while a macro plays); false when
    // the user said no.
    bool apply();
    // The key button that stands for `id`, for the key function dialog.
    [[nodiscard]] kbskin::SkinButton* keyButton(int id) noexcept;
    void giveEditLook(int buttonId, bool editing);
    [[nodiscard]] int macroBank() const { return macroKeys_->bank(); }
    [[nodiscard]] bool ready() const noexcept { return ready_.load(); }

protected:
    bool onInitDialog() override;
    void onOK() override;
    void onCancel() override;

private:
    // WindowSink. From worker threads: posted on.
    void attachState(int state) override;
    bool editingMacroKey() override;
    void refuseBankSwitch() override;
    void bankChanged(int bank) override;
    void playbackIndication(bool playing) override;
    // Called under the profile lock, posted on from other threads.
    void setKeyButtonAssigned(int slot, bool assigned) override;
    void setApplyButtonEnabled(bool enabled) override;
    void showProfileMenu(const ProfileMenu& menu) override;
    // User-interface thread only.
    void showMessage(std::u16string_view text) override;
    [[nodiscard]] bool askYesNo(std::u16string_view text, bool defaultNo) override;
    int messageBox(const std::wstring& text, UINT flags);

    void buildTable();
    void startUp();
    void skinControls();
    void finishStartUp();
    void show();
    void exitProgram();
    bool shutdownSequence();
    void onKeyClick(int id);
    void showProfileMenuAtMouse();
    void openHelp();
    void openAboutBox();
    void onSessionChange(int code);
    // Profiles that follow the program in front: the switch and the bindings
    // are read again whenever the list or the active profile changes.
    void refreshFollowing();
    void refreshFollowingOrThrow();
    void onForeground(HWND window);
    void setTrayPicture(std::optional<int> id);
    void applyFlipState();
    void toggleFlip();
    void setBankLamp(int bank);
    void setMacroKeyCaptions(int bank);
    void refreshMacroKeyMarks();
    void onButtonDrawn(int id, bool normalFace);
    void setButtonFaces(int id, kbskin::SkinButton& b, const FaceSet& faces);
    void setSurfaces(kbskin::SkinButton& b, StatusImage normal, StatusImage hover, StatusImage pressed,
                     StatusImage disabled, StatusImage marked);
    [[nodiscard]] const kbskin::StatusSurface* surface(StatusImage s) const noexcept;
    [[nodiscard]] bool onUiThread() const noexcept { return GetCurrentThreadId() == uiThread_; }
    void post(UINT message, WPARAM wp = 0, LPARAM lp = 0) noexcept;

    static std::atomic<MainWindow*> instance_;

    AppPaths paths_;
    HICON icon_;
    RegistrySettingsStore settings_;
    Heart heart_;
    const MacroKeys* macroKeys_;  // the heart's, read from const members
    DWORD uiThread_ = 0;
    std::atomic<bool> ready_{false};
    bool keepHidden_ = true;  // until the user or a second start opens the window
    int ncPaintCounter_ = 2;
    bool shutDown_ = false;

    kbskin::SurfaceSet surfaces_;  // Main_Status1..4, Main_Status1_2..4_2, Arrow
    std::map<int, std::unique_ptr<kbskin::SkinButton>> buttons_;
    kbskin::CTrayIcon tray_;
    TrayPicture trayPicture_;
    kbskin::LockLamps lockLamps_;
    kbskin::ArrowAnimator arrows_;
    SessionSuspension session_;
    kbwin::UniqueModule user32_;
    std::unique_ptr<std::remove_pointer_t<HMENU>, decltype(&DestroyMenu)> profileMenu_{nullptr, &DestroyMenu};
    std::unique_ptr<AboutBox> aboutBox_;
    ForegroundWatch foreground_;
    ForegroundFollower follower_;
    std::vector<std::u16string> followedPaths_;
    HWND lastForeground_ = nullptr;
    int followLooks_ = 0;  // looks after an input so far
    bool followOn_ = false;
};

}  // namespace kb::ui
