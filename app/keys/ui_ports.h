// Small interfaces through which the model reaches the user interface. The
// window and dialogs implement them later; tests use recording fakes.
// Implementations are called with the profile lock (and sometimes the engine
// lock) held: they must only record or post, never wait on another thread.
#pragma once

#include "playback_control.h"
#include "profile_menu.h"

#include <string>
#include <string_view>

namespace kb {

class MainWindowSink {
public:
    virtual ~MainWindowSink() = default;
    // Draws the button that carries this slot as assigned or not. Macro-key
    // slots are passed only for the current bank.
    virtual void setKeyButtonAssigned(int slot, bool assigned) = 0;
    // 0 or 1: the macro bank whose macro-key slots the buttons show.
    [[nodiscard]] virtual int currentMacroBank() const = 0;
    // Enabled while there are changes not yet applied to the driver.
    virtual void setApplyButtonEnabled(bool enabled) = 0;
    virtual void showProfileMenu(const ProfileMenu& menu) = 0;
};

class Prompt {
public:
    virtual ~Prompt() = default;
    virtual void showMessage(std::u16string_view text) = 0;
    // True on Yes.
    [[nodiscard]] virtual bool askYesNo(std::u16string_view text, bool defaultNo) = 0;
};

// Open state of the editing dialogs, read by the profile switch.
class EditingDialogs {
public:
    virtual ~EditingDialogs() = default;
    [[nodiscard]] virtual bool keyFunctionDialogOpen() const = 0;
    [[nodiscard]] virtual bool macroEditorOpen() const = 0;
};

class ProfileManagerView {
public:
    virtual ~ProfileManagerView() = default;
    [[nodiscard]] virtual bool isOpen() const = 0;
    [[nodiscard]] virtual bool hasUnappliedChanges() const = 0;
    // Drops the manager's changes and lists the store's profiles again.
    virtual void reloadFromStore() = 0;
    // Checks row i (-1: the default profile) and keeps the manager's apply button disabled.
    virtual void checkRow(int i) = 0;
};

// Messages shown by the model.
namespace text {
inline constexpr std::u16string_view kProfileMissing = u"情景模式文件不存在，加载默认设置!";
inline constexpr std::u16string_view kProfileDamagedFormat = u"文件格式错误，恢复为默认值: \n  %s";
inline constexpr std::u16string_view kStopPlaybackQuestion = u"正在宏播放，确实需要停止? ";
inline constexpr std::u16string_view kSwitchStopsPlayback = u"切换情景模式会自动停止宏播放!";
inline constexpr std::u16string_view kMacroLimitFormat = u"最大宏个数为: %d  ";
inline constexpr std::u16string_view kDeleteReferencedMacro =
    u"检测到某些按键设定指向这个宏,  \n  确实需要删除此宏?  ";
inline constexpr std::u16string_view kDuplicateMacroName = u"相同的宏名!  ";
inline constexpr std::u16string_view kReservedMacroName = u"此宏被使用在系统中!  ";
inline constexpr std::u16string_view kReservedName = u"空宏";
inline constexpr std::u16string_view kMacroNameTooLong = u"宏名最多为 100 个字符!  ";
inline constexpr std::u16string_view kNoEditInDefaultProfile = u"你不能在<默认情景模式>下编辑!";
inline constexpr std::u16string_view kCloseDialogsFirst = u"当快速切换情景模式时，您首先必须关闭编辑对话框.";
// A profile change asked for while another one waits on a question.
inline constexpr std::u16string_view kAnswerFirst = u"请先回答正在显示的问题.";
inline constexpr std::u16string_view kDropManagerChanges = u"将不保存正在编辑的情景模式，是否需要继续?";
inline constexpr std::u16string_view kDefaultProfileName = u"<默认情景模式>";
inline constexpr std::u16string_view kCurrentProfileTip = u"当前情景模式: ";
// A save that failed: the file keeps its previous content and the change stays pending.
// A layer block that did not pass its checks: the base profile is loaded without it.
inline constexpr std::u16string_view kLayersDroppedFormat = u"情景模式文件的层已损坏，只加载基本按键设置: \n  %s";
inline constexpr std::u16string_view kSaveFailedFormat = u"情景模式文件保存失败，文件未改变: \n  %s";
}  // namespace text

}  // namespace kb
