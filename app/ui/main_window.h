// The main window: start-up and exit, the message table and the commands. It
// owns the heart (libraries, driver link, worker threads) from start-up to
// exit and is the heart's WindowSink; worker threads reach it only by posting.
// What it shows lives in its parts: the drawn keyboard (keyboard_view.h), the
// tray and the profile menu (main_window_tray.h), following
// (follow_controller.h).
#pragma once

#include <windows.h>

#include "about_box.h"
#include "app_rules.h"
#include "change_notice.h"
#include "follow_controller.h"
#include "heart.h"
#include "keyboard_view.h"
#include "main_window_tray.h"
#include "registry_settings_store.h"
#include "skin_dialog.h"

#include <atomic>
#include <memory>
#include <string>

namespace kb::ui {

inline constexpr int kProfileMenuFirst = 9000, kProfileMenuLast = 9200;
inline constexpr wchar_t kWindowTitle[] = L"Vortek键盘设定";

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
    void enableApply(bool enabled) { view_.enableApply(enabled); }
    // The profile menu's switch: list entry i, -1 the default profile.
    bool switchProfile(int index);
    // Applies the working profile (asks first while a macro plays); false when
    // the user said no.
    bool apply();
    // The key button that stands for `id`, for the key function dialog.
    [[nodiscard]] kbskin::SkinButton* keyButton(int id) noexcept { return view_.keyButton(id); }
    void giveEditLook(int buttonId, bool editing) { view_.giveEditLook(buttonId, editing); }
    [[nodiscard]] int macroBank() const { return macroKeys_->bank(); }
    [[nodiscard]] bool ready() const noexcept { return ready_.load(); }

protected:
    bool onInitDialog() override;
    void onOK() override;
    void onCancel() override;

private:
    // WindowSink. From worker threads: posted on.
    void attachState(int state) override;
    void tablesDue() override;
    bool editingMacroKey() override;
    void refuseBankSwitch() override;
    void bankChanged(int bank) override;
    void layerChanged(int layer) override;
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
    // The messages that worker threads post, and following's.
    void buildBridgeTable();
    void startUp();
    void registerSessionNotification();
    void skinControls();
    void onScaleChanged() override;
    void finishStartUp();
    void show();
    void exitProgram();
    bool shutdownSequence();
    void onKeyClick(int id);
    void openHelp();
    void openAboutBox();
    void onSessionChange(int code);
    void toggleFlip();
    // Names what came into force, unless the user turned the notice off.
    void notice(std::u16string_view what);
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
    int layerInForce_ = 0;  // as the heart last reported it
    std::u16string profileInForce_;  // the profile menu's active name last shown

    KeyboardView view_;
    MainWindowTray tray_;
    SessionSuspension session_;
    kbwin::UniqueModule user32_;
    std::unique_ptr<AboutBox> aboutBox_;
    FollowController follow_;
    ChangeNotice notice_;
};

}  // namespace kb::ui
