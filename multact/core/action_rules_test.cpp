#include "action_rules.h"

#include "multact.h"

#include <gtest/gtest.h>

#include <map>

namespace kb::multact {
namespace {

TEST(ActionTable, EachEntryCarriesOnlyItsOwnCodes) {
    const std::pair<std::int32_t, Action> multact[] = {
        {188, Action::ScrollRight},  {189, Action::ScrollLeft},        {210, Action::ZoomIn},
        {211, Action::ZoomOut},      {212, Action::StartWordProcessor}, {213, Action::StartSpreadsheet},
        {214, Action::StartPresentation}, {215, Action::ShowCalendar}, {513, Action::Maximise},
        {514, Action::Minimise},
    };
    const std::pair<std::int32_t, Action> multact2[] = {{642, Action::StartProgram}, {657, Action::TypeText}};
    const std::pair<std::int32_t, Action> win2000[] = {
        {194, Action::StartMediaPlayer}, {196, Action::StartCalculator}, {197, Action::OpenComputerFolder}};
    for (auto [code, action] : multact) {
        EXPECT_EQ(actionOf(Entry::Multact, code), action) << code;
        EXPECT_EQ(actionOf(Entry::Multact2, code), Action::None) << code;
        EXPECT_EQ(actionOf(Entry::ForWin2000, code), Action::None) << code;
    }
    for (auto [code, action] : multact2) {
        EXPECT_EQ(actionOf(Entry::Multact2, code), action) << code;
        EXPECT_EQ(actionOf(Entry::Multact, code), Action::None) << code;
        EXPECT_EQ(actionOf(Entry::ForWin2000, code), Action::None) << code;
    }
    for (auto [code, action] : win2000) {
        EXPECT_EQ(actionOf(Entry::ForWin2000, code), action) << code;
        EXPECT_EQ(actionOf(Entry::Multact, code), Action::None) << code;
        EXPECT_EQ(actionOf(Entry::Multact2, code), Action::None) << code;
    }
    for (std::int32_t code : {0, -1, 1, 187, 190, 195, 198, 209, 216, 512, 515, 641, 643, 656, 658, 0x7FFFFFFF}) {
        for (Entry entry : {Entry::Multact, Entry::Multact2, Entry::ForWin2000}) {
            EXPECT_EQ(actionOf(entry, code), Action::None) << code;
        }
    }
}

TEST(WorkingFolder, IsThePathUpToItsLastBackslash) {
    EXPECT_EQ(workingFolderOf(u"C:\\Tools\\bin\\app.exe"), u"C:\\Tools\\bin");
    EXPECT_EQ(workingFolderOf(u"\\\\server\\share\\app.exe"), u"\\\\server\\share");
    EXPECT_EQ(workingFolderOf(u"D:\\My Files\\x y\\"), u"D:\\My Files\\x y");
    // No backslash: started without a working folder.
    EXPECT_EQ(workingFolderOf(u"notepad.exe"), u"");
    EXPECT_EQ(workingFolderOf(u""), u"");
    // A URL or forward-slash path is not cut up into a folder.
    EXPECT_EQ(workingFolderOf(u"http://example.com/a/b"), u"");
}

TEST(WorkingFolder, RootFoldersKeepTheirBackslash) {
    EXPECT_EQ(workingFolderOf(u"C:\\app.exe"), u"C:\\");
    EXPECT_EQ(workingFolderOf(u"\\app.exe"), u"\\");
}

TEST(TypedUnits, DropLineFeedsAndKeepEverythingElse) {
    EXPECT_EQ(typedUnits(u"a\r\nb"), u"a\rb");
    EXPECT_EQ(typedUnits(u"\n\n\n"), u"");
    EXPECT_EQ(typedUnits(u""), u"");
    // Surrogate pairs and Chinese text pass unit by unit, untouched.
    EXPECT_EQ(typedUnits(u"\u4F60\u597D\n\U0001F600\t"), u"\u4F60\u597D\U0001F600\t");
    const std::u16string withNul(u"a\0b", 3);
    EXPECT_EQ(typedUnits(withNul), withNul);
}

TEST(CaseRules, FoldOnlyAsciiLetters) {
    EXPECT_TRUE(equalsIgnoringCase(u"AdobeAcrobat", u"adobeACROBAT"));
    EXPECT_FALSE(equalsIgnoringCase(u"AdobeAcrobat", u"AdobeAcrobat2"));
    EXPECT_FALSE(equalsIgnoringCase(u"[", u"{"));  // 0x5B vs 0x7B differ by the case bit but are not letters
    EXPECT_TRUE(containsIgnoringCase(u"MyScrollBarEx", u"scroll"));
    EXPECT_TRUE(containsIgnoringCase(u"abc", u""));
    EXPECT_FALSE(containsIgnoringCase(u"scrol", u"scroll"));
    EXPECT_FALSE(containsIgnoringCase(u"\u00C4", u"\u00E4"));
}

TEST(Zoom, ChoosesTheMethodByClassNames) {
    EXPECT_EQ(zoomMethodFor(u"ShImgVw:CPreviewWnd", u"Edit"), ZoomMethod::KeypadTap);
    EXPECT_EQ(zoomMethodFor(u"shimgvw:cpreviewwnd", u"AVL_AVView"), ZoomMethod::KeypadTap);
    EXPECT_EQ(zoomMethodFor(u"Photo_Lightweight_Viewer", u"x"), ZoomMethod::ControlKeypadTap);
    EXPECT_EQ(zoomMethodFor(u"ADOBEACROBAT", u"x"), ZoomMethod::ControlKeypadTap);
    EXPECT_EQ(zoomMethodFor(u"Notepad", u"avl_avview"), ZoomMethod::ControlKeypadTap);
    EXPECT_EQ(zoomMethodFor(u"Notepad", u"Edit"), ZoomMethod::ControlWheel);
    // Whole names, not parts of names.
    EXPECT_EQ(zoomMethodFor(u"AdobeAcrobatReader", u"AVL_AVView2"), ZoomMethod::ControlWheel);
}

TEST(MailWindow, NeedsTitlePartAndExactClass) {
    EXPECT_TRUE(isMailWindow(u"Inbox - microsoft OUTLOOK", u"rctrl_renwnd32"));
    EXPECT_TRUE(isMailWindow(u"Microsoft Outlook", u"RCTRL_RENWND32"));
    EXPECT_FALSE(isMailWindow(u"Inbox - Microsoft Outlook", u"rctrl_renwnd32x"));
    EXPECT_FALSE(isMailWindow(u"Outlook", u"rctrl_renwnd32"));
}

TEST(ScrollRules, FocusWindowAndControlTests) {
    EXPECT_TRUE(scrollsItself(u"internet explorer_server", 0, false));
    EXPECT_TRUE(scrollsItself(u"Edit", kStyleHScroll, true));
    EXPECT_FALSE(scrollsItself(u"Edit", kStyleHScroll, false));
    EXPECT_FALSE(scrollsItself(u"Edit", 0, true));

    ControlFacts bar{false, u"ScrollBar", 0, true};
    EXPECT_TRUE(isHorizontalScrollBarControl(bar));
    auto changed = bar;
    changed.hasChildren = true;
    EXPECT_FALSE(isHorizontalScrollBarControl(changed));
    changed = bar;
    changed.style = kScrollBarVert;
    EXPECT_FALSE(isHorizontalScrollBarControl(changed));
    changed = bar;
    changed.style = kScrollBarSizeBox;
    EXPECT_FALSE(isHorizontalScrollBarControl(changed));
    changed = bar;
    changed.reportsControlInfo = false;
    EXPECT_FALSE(isHorizontalScrollBarControl(changed));
    changed = bar;
    changed.className = u"Button";
    EXPECT_FALSE(isHorizontalScrollBarControl(changed));
    changed = bar;
    changed.style = 0x0004;  // bottom-aligned horizontal bar
    EXPECT_TRUE(isHorizontalScrollBarControl(changed));
}

// A window tree built by hand: each window names its parent; children keep
// the order in which they were added (z-order, topmost first).
class FakeTree final : public WindowTree {
public:
    void add(WindowId window, WindowId parent, bool control = false) {
        parents_[window] = parent;
        if (parent != 0) {
            children_[parent].push_back(window);
        }
        if (control) {
            controls_[window] = true;
        }
    }
    WindowId parentOf(WindowId window) const override {
        auto it = parents_.find(window);
        return it == parents_.end() ? 0 : it->second;
    }
    std::vector<WindowId> childrenOf(WindowId window) const override {
        auto it = children_.find(window);
        return it == children_.end() ? std::vector<WindowId>{} : it->second;
    }
    bool isScrollBarControl(WindowId window) const override { return controls_.count(window) != 0; }

private:
    std::map<WindowId, WindowId> parents_;
    std::map<WindowId, std::vector<WindowId>> children_;
    std::map<WindowId, bool> controls_;
};

using Ids = std::vector<WindowId>;

TEST(ScrollBarSearch, DescendantsOfTheFocusComeFirstInTreeOrder) {
    FakeTree t;
    t.add(1, 0);
    t.add(10, 1);        // focus
    t.add(11, 10);       // container
    t.add(111, 11, true);
    t.add(12, 10, true);
    t.add(20, 1, true);  // sibling control: not reached when the focus has its own
    EXPECT_EQ(findScrollBarControls(t, 10), (Ids{111, 12}));
}

TEST(ScrollBarSearch, FallsBackStepByStepToParentAndGrandparent) {
    FakeTree t;
    t.add(1, 0);           // top-level
    t.add(2, 1);           // grandparent of the focus
    t.add(3, 2);           // parent
    t.add(4, 3);           // focus, no children
    t.add(5, 3);
    t.add(51, 5, true);    // nephew: found by the parent's descendants
    t.add(6, 3, true);     // sibling: found by the parent's direct children
    t.add(7, 2, true);     // uncle: found by the grandparent's descendants
    t.add(8, 1, true);     // great-uncle: never searched
    EXPECT_EQ(findScrollBarControls(t, 4), (Ids{6}));

    FakeTree u;
    u.add(2, 0);
    u.add(3, 2);
    u.add(4, 3);
    u.add(5, 3);
    u.add(51, 5, true);
    u.add(7, 2, true);
    EXPECT_EQ(findScrollBarControls(u, 4), (Ids{51}));

    FakeTree v;
    v.add(1, 0);
    v.add(2, 1);
    v.add(3, 2);
    v.add(4, 3);
    v.add(7, 2, true);
    v.add(8, 1, true);
    EXPECT_EQ(findScrollBarControls(v, 4), (Ids{7}));
}

TEST(ScrollBarSearch, NothingWithoutControlsOrWithoutParents) {
    FakeTree t;
    t.add(1, 0);
    t.add(2, 1);
    t.add(3, 2);
    EXPECT_TRUE(findScrollBarControls(t, 3).empty());
    EXPECT_TRUE(findScrollBarControls(t, 0).empty());
    FakeTree lone;
    lone.add(9, 0);
    EXPECT_TRUE(findScrollBarControls(lone, 9).empty());
}

TEST(ScrollBarSearch, KeepsAtMostEightControls) {
    FakeTree t;
    t.add(1, 0);
    for (WindowId c = 100; c < 112; ++c) {
        t.add(c, 1, true);
    }
    EXPECT_EQ(findScrollBarControls(t, 1), (Ids{100, 101, 102, 103, 104, 105, 106, 107}));
}

// A tree that changes while it is walked can show a window as its own
// descendant; the search must still end.
class CyclicTree final : public WindowTree {
public:
    WindowId parentOf(WindowId) const override { return 0; }
    std::vector<WindowId> childrenOf(WindowId window) const override { return {window}; }
    bool isScrollBarControl(WindowId) const override { return false; }
};

TEST(ScrollBarSearch, EndsOnACyclicTree) {
    EXPECT_TRUE(findScrollBarControls(CyclicTree{}, 1).empty());
}

}  // namespace
}  // namespace kb::multact
