#include "action_rules.h"

#include "multact.h"

#include <algorithm>

namespace kb::multact {

Action actionOf(Entry entry, std::int32_t code) noexcept {
    switch (entry) {
    case Entry::Multact:
        switch (code) {
        case kScrollRight: return Action::ScrollRight;
        case kScrollLeft: return Action::ScrollLeft;
        case kZoomIn: return Action::ZoomIn;
        case kZoomOut: return Action::ZoomOut;
        case kStartWordProcessor: return Action::StartWordProcessor;
        case kStartSpreadsheet: return Action::StartSpreadsheet;
        case kStartPresentation: return Action::StartPresentation;
        case kShowCalendar: return Action::ShowCalendar;
        case kMaximise: return Action::Maximise;
        case kMinimise: return Action::Minimise;
        default: return Action::None;
        }
    case Entry::Multact2:
        switch (code) {
        case kStartProgram: return Action::StartProgram;
        case kTypeText: return Action::TypeText;
        default: return Action::None;
        }
    case Entry::ForWin2000:
        switch (code) {
        case kStartMediaPlayer: return Action::StartMediaPlayer;
        case kStartCalculator: return Action::StartCalculator;
        case kOpenComputerFolder: return Action::OpenComputerFolder;
        default: return Action::None;
        }
    }
    return Action::None;
}

namespace {

char16_t fold(char16_t c) noexcept {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool sameFolded(char16_t a, char16_t b) noexcept { return fold(a) == fold(b); }

}  // namespace

bool equalsIgnoringCase(std::u16string_view a, std::u16string_view b) noexcept {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), sameFolded);
}

bool containsIgnoringCase(std::u16string_view text, std::u16string_view part) noexcept {
    return std::search(text.begin(), text.end(), part.begin(), part.end(), sameFolded) != text.end();
}

std::u16string workingFolderOf(std::u16string_view path) {
    const auto last = path.rfind(u'\\');
    if (last == std::u16string_view::npos) {
        return {};
    }
    std::u16string folder(path.substr(0, last));
    const bool bareDrive = folder.size() == 2 && folder[1] == u':';
    if (folder.empty() || bareDrive) {
        folder += u'\\';
    }
    return folder;
}

std::u16string typedUnits(std::u16string_view text) {
    std::u16string units;
    units.reserve(text.size());
    for (char16_t c : text) {
        if (c != u'\n') {
            units += c;
        }
    }
    return units;
}

ZoomMethod zoomMethodFor(std::u16string_view foregroundClass, std::u16string_view cursorClass) noexcept {
    if (equalsIgnoringCase(foregroundClass, u"ShImgVw:CPreviewWnd")) {
        return ZoomMethod::KeypadTap;
    }
    if (equalsIgnoringCase(foregroundClass, u"Photo_Lightweight_Viewer") ||
        equalsIgnoringCase(foregroundClass, u"AdobeAcrobat") ||
        equalsIgnoringCase(cursorClass, u"AVL_AVView")) {
        return ZoomMethod::ControlKeypadTap;
    }
    return ZoomMethod::ControlWheel;
}

bool isMailWindow(std::u16string_view title, std::u16string_view className) noexcept {
    return containsIgnoringCase(title, u"Microsoft Outlook") && equalsIgnoringCase(className, u"rctrl_renwnd32");
}

bool scrollsItself(std::u16string_view className, std::uint32_t style, bool reportsHorizontalInfo) noexcept {
    return containsIgnoringCase(className, u"Internet Explorer_Server") ||
           ((style & kStyleHScroll) != 0 && reportsHorizontalInfo);
}

bool isHorizontalScrollBarControl(const ControlFacts& facts) noexcept {
    return !facts.hasChildren && containsIgnoringCase(facts.className, u"scroll") &&
           (facts.style & (kScrollBarVert | kScrollBarSizeBox)) == 0 && facts.reportsControlInfo;
}

namespace {

// A window tree may change while it is walked; bound the walk so a cycle
// seen in passing cannot make it run for ever.
constexpr std::size_t kMaxWindowsVisited = 20000;

void collect(const WindowTree& tree, WindowId window, std::vector<WindowId>& found) {
    if (found.size() < kMaxScrollBarControls && tree.isScrollBarControl(window)) {
        found.push_back(window);
    }
}

std::vector<WindowId> inDescendants(const WindowTree& tree, WindowId root) {
    std::vector<WindowId> found;
    // Depth first, each window before its children, siblings in z-order.
    std::vector<WindowId> pending = tree.childrenOf(root);
    std::reverse(pending.begin(), pending.end());
    std::size_t visited = 0;
    while (!pending.empty() && found.size() < kMaxScrollBarControls && visited < kMaxWindowsVisited) {
        const WindowId window = pending.back();
        pending.pop_back();
        ++visited;
        collect(tree, window, found);
        auto children = tree.childrenOf(window);
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return found;
}

std::vector<WindowId> inChildren(const WindowTree& tree, WindowId parent) {
    std::vector<WindowId> found;
    for (WindowId child : tree.childrenOf(parent)) {
        collect(tree, child, found);
    }
    return found;
}

}  // namespace

std::vector<WindowId> findScrollBarControls(const WindowTree& tree, WindowId focus) {
    if (focus == 0) {
        return {};
    }
    auto found = inDescendants(tree, focus);
    if (!found.empty()) {
        return found;
    }
    const WindowId parent = tree.parentOf(focus);
    if (parent == 0) {
        return {};
    }
    found = inChildren(tree, parent);
    if (!found.empty()) {
        return found;
    }
    found = inDescendants(tree, parent);
    if (!found.empty()) {
        return found;
    }
    const WindowId grandparent = tree.parentOf(parent);
    if (grandparent == 0) {
        return {};
    }
    return inDescendants(tree, grandparent);
}

}  // namespace kb::multact
