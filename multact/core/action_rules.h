// Rules of the action library that need no window system: which action a
// code names, the working folder of a program path, the units a typed text
// sends, the zoom method, the mail-window test and the search for
// scroll-bar controls over an abstract window tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kb::multact {

enum class Entry { Multact, Multact2, ForWin2000 };

enum class Action {
    None,
    ScrollRight,
    ScrollLeft,
    ZoomIn,
    ZoomOut,
    StartWordProcessor,
    StartSpreadsheet,
    StartPresentation,
    ShowCalendar,
    Maximise,
    Minimise,
    StartProgram,
    TypeText,
    StartMediaPlayer,
    StartCalculator,
    OpenComputerFolder,
};

// None for an unknown code or a code that the entry does not list.
[[nodiscard]] Action actionOf(Entry entry, std::int32_t code) noexcept;

// ASCII case folding, as window class names and titles are compared.
[[nodiscard]] bool equalsIgnoringCase(std::u16string_view a, std::u16string_view b) noexcept;
[[nodiscard]] bool containsIgnoringCase(std::u16string_view text, std::u16string_view part) noexcept;

// The folder a program is started in: the path up to its last backslash.
// Empty (no folder) when the path has no backslash. A folder that would be
// a bare drive ("C:") or nothing (path "\x.exe") keeps its backslash, so
// the program starts in the root and not in the drive's current folder.
[[nodiscard]] std::u16string workingFolderOf(std::u16string_view path);

// The units sent when a text is typed: every unit except line feed.
[[nodiscard]] std::u16string typedUnits(std::u16string_view text);

enum class ZoomMethod {
    KeypadTap,         // keypad plus / minus alone
    ControlKeypadTap,  // keypad plus / minus with left Control held
    ControlWheel,      // the wheel with left Control held
};
[[nodiscard]] ZoomMethod zoomMethodFor(std::u16string_view foregroundClass,
                                       std::u16string_view cursorClass) noexcept;

// A top-level window of the mail program whose calendar code 215 shows.
[[nodiscard]] bool isMailWindow(std::u16string_view title, std::u16string_view className) noexcept;

// Window style bits that the scroll rules look at (values of the window system).
inline constexpr std::uint32_t kStyleHScroll = 0x00100000;    // window has a horizontal scroll bar
inline constexpr std::uint32_t kScrollBarVert = 0x0001;       // scroll-bar control: vertical
inline constexpr std::uint32_t kScrollBarSizeBox = 0x0008;    // scroll-bar control: size box

// The focused window takes WM_HSCROLL itself: a browser view, or a window
// with a horizontal scroll bar that reports its scroll information.
[[nodiscard]] bool scrollsItself(std::u16string_view className, std::uint32_t style,
                                 bool reportsHorizontalInfo) noexcept;

// A horizontal scroll-bar control: no children, "scroll" in the class
// name, neither vertical nor a size box, and reports control scroll info.
struct ControlFacts {
    bool hasChildren = false;
    std::u16string className;
    std::uint32_t style = 0;
    bool reportsControlInfo = false;
};
[[nodiscard]] bool isHorizontalScrollBarControl(const ControlFacts& facts) noexcept;

using WindowId = std::uintptr_t;  // 0 = no window

// What the scroll-bar search needs to know about a window tree.
class WindowTree {
public:
    virtual ~WindowTree() = default;
    // The window's parent, 0 for a top-level window (an owner is not a parent).
    [[nodiscard]] virtual WindowId parentOf(WindowId window) const = 0;
    // Direct children in z-order, topmost first.
    [[nodiscard]] virtual std::vector<WindowId> childrenOf(WindowId window) const = 0;
    [[nodiscard]] virtual bool isScrollBarControl(WindowId window) const = 0;
};

inline constexpr std::size_t kMaxScrollBarControls = 8;

// The scroll-bar controls that a horizontal scroll of the focus window
// reaches, in search order, at most kMaxScrollBarControls. The searches
// run until one finds any: the focus window's descendants, its parent's
// direct children, its parent's descendants, its grandparent's descendants.
[[nodiscard]] std::vector<WindowId> findScrollBarControls(const WindowTree& tree, WindowId focus);

}  // namespace kb::multact
