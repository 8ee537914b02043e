// The main window's small rules that need no window: the program's paths,
// the command line, the session suspension and the tray icon's picture.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kb::ui {

// Marker values exchanged with a running instance; their bytes spell the name.
inline constexpr unsigned kMarkerMain = 0x4D41494E;
inline constexpr unsigned kMarkerOpen = 0x4F50454E;
inline constexpr unsigned kMarkerKill = 0x4C4C494B;
inline constexpr unsigned kMarkerInit = 0x494E4954;
inline constexpr unsigned kMessageOpen = 0x5350;
inline constexpr unsigned kMessageKill = 0x4D4B;
inline constexpr unsigned kMessageInit = 0x4D4E;
inline constexpr unsigned kMessageMacroKeyRefresh = 0x5045;
inline constexpr unsigned kMarkerMacroKeyRefresh = 0x004C4544;  // "DEL"

inline constexpr std::size_t kMaxPath = 260;

struct AppPaths {
    std::u16string programFileName;  // "KbPanel.exe"
    std::u16string programFolder;    // ends in a backslash
    std::u16string helpFolder;
    std::u16string mainSkinFile, profileSkinFile, keySkinFile, macroSkinFile;
    std::u16string skinFolder;       // the folder part of each skin file
};
// From the module's full path; none when it has no folder or the result
// would not fit the program's 260-unit path buffers.
[[nodiscard]] std::optional<AppPaths> buildAppPaths(std::u16string_view modulePath);

// Whether any argument after the program name is "/Kill" in any letter case.
[[nodiscard]] bool asksToKill(const std::vector<std::u16string>& argsAfterProgram);
[[nodiscard]] bool equalsIgnoringCase(std::u16string_view a, std::u16string_view b) noexcept;

// Locking or switching away the user's session withdraws the key tables;
// only the event that matches the one that suspended restores them.
class SessionSuspension {
public:
    enum class Action { None, Withdraw, Restore };
    static constexpr int kConsoleConnect = 1, kConsoleDisconnect = 2, kSessionLock = 7, kSessionUnlock = 8;

    [[nodiscard]] Action onSessionChange(int eventCode) noexcept;
    [[nodiscard]] bool suspended() const noexcept { return suspended_; }

private:
    bool suspended_ = false;
    int awaited_ = kSessionUnlock;
};

// The tray icon's picture: 128 no keyboard, 141 keyboard attached, 142 a
// macro plays. Runs on the user-interface thread; the threads post to it.
class TrayPicture {
public:
    static constexpr int kDetached = 128, kAttached = 141, kPlaying = 142;

    // The picture to show now, or none when it is already shown.
    [[nodiscard]] std::optional<int> set(int id) noexcept;
    [[nodiscard]] std::optional<int> playbackIndication(bool playing, int id) noexcept;
    [[nodiscard]] std::optional<int> attachState(int state) noexcept;
    void added(int id) noexcept { current_ = id; }
    void removed() noexcept { current_ = 0; }
    [[nodiscard]] int current() const noexcept { return current_; }

private:
    int current_ = 0;
    int remembered_ = kDetached;
};

}  // namespace kb::ui
