// What the key function dialog shows and writes, without a window: the type
// and its dependent controls, the two lists, the path and the text block,
// the changed flag (the dialog's Apply button) and the checks made before
// anything reaches the profile.
#pragma once

#include "control_ids.h"
#include "profile_list.h"
#include "profile_model.h"
#include "ui_ports.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kb {

namespace keydlg {
using namespace res::key_function;
inline constexpr int kRadioDefault = kKeyTypeDefault, kRadioNone = kKeyTypeNone, kRadioOtherKey = kKeyTypeKey,
                     kTargetList = kKeyTarget, kRadioProgram = kKeyTypeProgram, kPathEdit = kKeyProgramPath,
                     kBrowse = kKeyBrowse, kRadioMacro = kKeyTypeMacro, kMacroList = kKeyMacro,
                     kRadioStop = kKeyTypeStop, kRadioText = kKeyTypeText, kTextEdit = kKeyText,
                     kRadioLayer = kKeyTypeLayer, kLayerNumber = kKeyLayerNumber, kLayerMode = kKeyLayerMode,
                     kRadioTapHold = kKeyTypeTapHold, kTapKey = kKeyTapKey, kHoldKey = kKeyHoldKey,
                     kTerm = kKeyTerm, kRadioTransparent = kKeyTypeTransparent;
// Beyond the seven function types: the layer key, the dual-role key (both on
// the base only) and a layer's key given back to the base.
inline constexpr int kTypeLayerKey = 7, kTypeTapHold = 8, kTypeTransparent = 9, kTypeCount = 10;
// The radio button of type t is kRadios[t].
inline constexpr std::array<int, kTypeCount> kRadios{kRadioDefault, kRadioNone,  kRadioOtherKey, kRadioProgram,
                                                     kRadioMacro,   kRadioStop,  kRadioText,     kRadioLayer,
                                                     kRadioTapHold, kRadioTransparent};
inline constexpr std::array<int, 10> kDependentControls{kTargetList, kPathEdit,  kBrowse,  kMacroList, kTextEdit,
                                                        kLayerNumber, kLayerMode, kTapKey, kHoldKey,   kTerm};
// Longest text block accepted; typing one key message per unit, anything
// longer is no text block any more.
inline constexpr std::size_t kMaxTextBlockChars = 1'000'000;
}  // namespace keydlg

namespace text {
inline constexpr std::u16string_view kPathTooLong = u"程序路径最多为 259 个字符!  ";
inline constexpr std::u16string_view kPathEmpty = u"请选择要启动的程序!  ";
inline constexpr std::u16string_view kTextBlockTooLong = u"文字块最多为 1000000 个字符!  ";
inline constexpr std::u16string_view kProfileTooLarge = u"情景模式文件将超过 4GB, 无法保存!  ";
inline constexpr std::u16string_view kTermOutOfRange = u"时限必须是 50 到 1000 之间的毫秒数!  ";
inline constexpr std::u16string_view kLayerModeMomentary = u"按住";
inline constexpr std::u16string_view kLayerModeToggle = u"切换";
}  // namespace text

// The key a main-window button stands for.
struct KeyTarget {
    int device = 0;     // 0 keyboard, 1 keypad
    int position = 0;   // within the device's block
    int buttonId = 0;   // main-window control id
    [[nodiscard]] int slot() const noexcept { return device * kSlotsPerDevice + position; }
    [[nodiscard]] bool isMacroKey() const noexcept { return device == 0 && isMacroKeySlot(position); }
    int layer = 0;      // the layer edited: 0 the base, 1..3
};

// The macro-key button ids 1000..1004 give slot 256 + n + 5 × bank.
[[nodiscard]] bool macroKeyTarget(int buttonId, int macroBank, KeyTarget& out) noexcept;

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
};
struct Point {
    int x = 0, y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};
// Top-left corner of a w × h dialog beside the button: right-below, right-above,
// left-below, left-above, else right-below.
[[nodiscard]] Point placeBesideButton(const Rect& button, int w, int h, int screenW, int screenH) noexcept;

// "<message>\n  <path>" as the save failure shows it.

class KeyDialogModel {
public:
    // Opening: lists filled, the entry read (under the profile lock) and shown.
    void open(const KeyTarget& target, ProfileModel& model);
    // Any closing: OK after Apply, Cancel or the close box.
    void close() noexcept;
    [[nodiscard]] bool isOpen() const noexcept { return openCount_ > 0; }
    [[nodiscard]] bool isOpenForMacroKey() const noexcept { return isOpen() && target_.isMacroKey(); }
    [[nodiscard]] const KeyTarget& target() const noexcept { return target_; }

    // Selecting a type: by a click (enables Apply) or programmatically.
    // False when ignored (a type not offered for this key, the current type,
    // or closed).
    bool selectType(int type, bool byUser);
    [[nodiscard]] int type() const noexcept { return type_; }
    // Layer and dual-role keys only on the base's ordinary keys; transparent
    // only on a layer.
    [[nodiscard]] bool typeOffered(int type) const noexcept;
    // Dependent controls follow their radio button; radio buttons whether offered.
    [[nodiscard]] bool controlEnabled(int controlId) const noexcept;

    // The target list holds list codes 0..132 by position.
    [[nodiscard]] static std::vector<std::u16string> targetNames();
    [[nodiscard]] int targetIndex() const noexcept { return targetIndex_; }
    void chooseTarget(int index);
    [[nodiscard]] const std::vector<std::u16string>& macroNames() const noexcept { return macroNames_; }
    [[nodiscard]] int macroIndex() const noexcept { return macroIndex_; }
    void chooseMacro(int index);
    [[nodiscard]] const std::u16string& path() const noexcept { return path_; }
    void editPath(std::u16string_view path);
    [[nodiscard]] const std::u16string& textBlock() const noexcept { return text_; }
    void editText(std::u16string_view text);

    // The layer key: layer 1..3 at index 0..2; mode 0 held, 1 toggled.
    [[nodiscard]] static std::vector<std::u16string> layerNumberNames();
    [[nodiscard]] static std::vector<std::u16string> layerModeNames();
    [[nodiscard]] int layerIndex() const noexcept { return layerIndex_; }
    void chooseLayer(int index);
    [[nodiscard]] int layerModeIndex() const noexcept { return modeIndex_; }
    void chooseLayerMode(int index);
    // The dual-role key: the tap key from the target names; the hold choice
    // from the target names and then layers 1..3; the term as typed, in ms.
    [[nodiscard]] static std::vector<std::u16string> holdNames();
    [[nodiscard]] int tapIndex() const noexcept { return tapIndex_; }
    void chooseTap(int index);
    [[nodiscard]] int holdIndex() const noexcept { return holdIndex_; }
    void chooseHold(int index);
    [[nodiscard]] const std::u16string& termText() const noexcept { return term_; }
    void editTerm(std::u16string_view text);

    // The Apply button's state.
    [[nodiscard]] bool changed() const noexcept { return changed_; }

    enum class ApplyOutcome { Unchanged, RefusedDefaultProfile, RefusedInput, Applied, NotSaved, NoProfile };
    // The dialog's Apply (also run by OK): checks the input, assigns, saves.
    // Everything refused leaves Apply enabled and the profile untouched.
    ApplyOutcome apply(ProfileModel& model, const ProfileList& list, MainWindowSink& window, Prompt& prompt);

private:
    [[nodiscard]] bool choose(int& field, int index, int count);
    void showExtKey(const ExtKey& k);
    // The layer or dual-role key chosen; false (the user told why) when the term is bad.
    [[nodiscard]] bool extKeyChosen(Prompt& prompt, ExtKey& out) const;

    KeyTarget target_{};
    int openCount_ = 0;
    int type_ = 7;
    bool changed_ = false;
    int targetIndex_ = 0;
    std::vector<std::u16string> macroNames_;
    std::vector<std::uint16_t> macroIds_;
    int macroIndex_ = 0;
    std::u16string path_;
    std::u16string text_;
    int layerIndex_ = 0;
    int modeIndex_ = 0;
    int tapIndex_ = 0;
    int holdIndex_ = 0;
    std::u16string term_;
};

}  // namespace kb
