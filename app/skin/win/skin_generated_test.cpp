// The generated skin through the engine: the profile manager's and the key
// function dialog's templates, INI files and pictures, as the program uses them.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "control_ids.h"
#include "gdi_owner.h"
#include "skin_dialog.h"
#include "skin_ini.h"
#include "skin_picture.h"
#include "skin_test_support.h"

namespace kbskin {
namespace {

using namespace kbskin::test;

struct Placed {
    int id;
    const wchar_t* key;
    int faces[5];  // status image of normal, hover, pressed, disabled, marked
};

// One window of the generated skin, with its placements taken from the
// generated control table (the same table the windows use).
struct WindowKind {
    const char* name;
    int templateId;
    const wchar_t* ini;
    std::vector<const wchar_t*> statusImages;  // 1, 2, ... then the second set 11, 12, ...
    std::vector<Placed> buttons;               // skinned buttons
    int listId = 0;                            // a control placed by position only, or 0
    const wchar_t* listKey = nullptr;
    const wchar_t* background;
    const wchar_t* mask;
    SurfaceSet* surfaces;
};

// Status image number (1..5, 11..14 for the second set) to surface index.
std::size_t surfaceIndex(int image) { return static_cast<std::size_t>(image >= 11 ? 4 + (image - 11) : image - 1); }

template <std::size_t N>
WindowKind makeKind(const char* name, int templateId, const wchar_t* ini, std::vector<const wchar_t*> images,
                    const kb::res::SkinControl (&controls)[N], const wchar_t* background, const wchar_t* mask) {
    static SurfaceSet surfaces;  // one set per window kind, as in the program
    WindowKind kind{name, templateId, ini, std::move(images), {}, 0, nullptr, background, mask, &surfaces};
    for (const auto& c : controls) {
        if (c.faces[0] != 0) {
            kind.buttons.push_back({c.id, c.key, {c.faces[0], c.faces[1], c.faces[2], c.faces[3], c.faces[4]}});
        } else if (kind.listId == 0 && std::wstring(c.key).find(L"ARROW") == std::wstring::npos) {
            kind.listId = c.id;
            kind.listKey = c.key;
        }
    }
    return kind;
}

const WindowKind& profileKind() {
    static const WindowKind kind = makeKind(
        "Profile", kb::res::kDlgProfiles, L"Skins\\Profile.ini",
        {L"Skins\\Profile_Status1.jpg", L"Skins\\Profile_Status2.jpg", L"Skins\\Profile_Status3.jpg",
         L"Skins\\Profile_Status4.jpg"},
        kb::res::profiles::kSkinControls, L"Skins\\Profile_Status1.jpg", L"Skins\\Profile_Mask.bmp");
    return kind;
}

const WindowKind& keyKind() {
    static const WindowKind kind = makeKind(
        "Key", kb::res::kDlgKeyFunction, L"Skins\\Key.ini",
        {L"Skins\\Key_Status1.jpg", L"Skins\\Key_Status2.jpg", L"Skins\\Key_Status3.jpg",
         L"Skins\\Key_Status4.jpg"},
        kb::res::key_function::kSkinControls, L"Skins\\Key_Status1.jpg", L"Skins\\Key_Mask.bmp");
    return kind;
}

const WindowKind& macroKind() {
    static const WindowKind kind = makeKind(
        "Macro", kb::res::kDlgMacroEditor, L"Skins\\Macro.ini",
        {L"Skins\\Macro_Status1.jpg", L"Skins\\Macro_Status2.jpg", L"Skins\\Macro_Status3.jpg",
         L"Skins\\Macro_Status4.jpg", L"Skins\\Macro_Status5.jpg"},
        kb::res::macro_editor::kSkinControls, L"Skins\\Macro_Status1.jpg", L"Skins\\Macro_Mask.bmp");
    return kind;
}

const WindowKind& mainKind() {
    static const WindowKind kind = makeKind(
        "Main", kb::res::kDlgMain, L"Skins\\Main.ini",
        {L"Skins\\Main_Status1.jpg", L"Skins\\Main_Status2.jpg", L"Skins\\Main_Status3.jpg",
         L"Skins\\Main_Status4.jpg", L"Skins\\Main_Status1_2.jpg", L"Skins\\Main_Status2_2.jpg",
         L"Skins\\Main_Status3_2.jpg", L"Skins\\Main_Status4_2.jpg"},
        kb::res::main_window::kSkinControls, L"Skins\\Main_Status1.jpg", L"Skins\\Main_Mask.bmp");
    return kind;
}

SurfaceSet& surfacesOf(const WindowKind& kind) { return *kind.surfaces; }

// A window of the generated skin: surfaces once per kind, buttons placed with
// the faces the skin tables give them.
class GeneratedDialog : public SkinDialog {
public:
    GeneratedDialog(const WindowKind& kind, SurfaceSet& surfaces)
        : SkinDialog(GetModuleHandleW(nullptr), kind.templateId, nullptr, (iniPath_ = ProgramFolder() + kind.ini).c_str(),
                     (folder_ = ProgramFolder() + L"Skins").c_str()),
          kind_(kind), surfaces_(surfaces) {}
    std::vector<std::unique_ptr<SkinButton>> buttons;
    std::vector<int> commands;

protected:
    bool onCommand(int id, int, HWND) override {
        commands.push_back(id);
        return true;
    }
    bool onInitDialog() override {
        SkinDialog::onInitDialog();
        std::vector<std::wstring> paths;
        for (const wchar_t* p : kind_.statusImages) paths.push_back(ProgramFolder() + p);
        surfaces_.BuildFromPaths(hwnd(), paths);
        for (const Placed& p : kind_.buttons) {
            auto button = std::make_unique<SkinButton>();
            button->Attach(hwnd(), p.id);
            auto S = [&](int i) { return surfaces_.at(surfaceIndex(p.faces[i])); };
            PlaceButton(*button, iniPath(), L"BUTTONINFO", p.key, S(0), S(1), S(2), S(3), S(4));
            buttons.push_back(std::move(button));
        }
        if (kind_.listId) PlaceControl(item(kind_.listId), iniPath(), L"BUTTONINFO", kind_.listKey);
        return FALSE;  // never activated: see the test dialog
    }

private:
    // Set before the base reads them: static storage per process is enough here.
    static inline std::wstring iniPath_;
    static inline std::wstring folder_;
    const WindowKind& kind_;
    SurfaceSet& surfaces_;
};

// Pixels of a picture as the system decodes it, for comparison.
class Decoded {
public:
    explicit Decoded(const std::wstring& path)
        : bitmap_(TryLoadPicture(path)), dc_(CreateCompatibleDC(nullptr)), picked_(dc_.get(), bitmap_.get()) {
        if (bitmap_) GetObjectW(bitmap_.get(), sizeof info_, &info_);
    }
    [[nodiscard]] bool ok() const { return static_cast<bool>(bitmap_); }
    [[nodiscard]] int width() const { return info_.bmWidth; }
    [[nodiscard]] int height() const { return info_.bmHeight; }
    [[nodiscard]] COLORREF at(int x, int y) const { return GetPixel(dc_.get(), x, y); }

private:
    UniqueBitmap bitmap_;
    UniqueMemDC dc_;
    SelectGuard picked_;  // put back before the DC goes: members end in reverse order
    BITMAP info_{};
};

class GeneratedSkin : public ::testing::TestWithParam<const WindowKind*> {
protected:
    const WindowKind& kind() const { return *GetParam(); }
    void SetUp() override {
        // The pointer rests in a corner, not on a button it would light up.
        SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
        dialog = std::make_unique<GeneratedDialog>(kind(), surfacesOf(kind()));
        ASSERT_TRUE(dialog->createModeless());
        ShowQuietly(dialog->hwnd());
    }
    void TearDown() override { CloseQuietly(dialog); }
    std::unique_ptr<GeneratedDialog> dialog;
};

TEST_P(GeneratedSkin, WindowHasTheBackgroundsSizeAndTheMasksOutline) {
    Decoded background(ProgramFolder() + kind().background);
    Decoded mask(ProgramFolder() + kind().mask);
    ASSERT_TRUE(background.ok());
    ASSERT_TRUE(mask.ok());
    RECT r{};
    GetWindowRect(dialog->hwnd(), &r);
    EXPECT_EQ(r.right - r.left, background.width());
    EXPECT_EQ(r.bottom - r.top, background.height());

    const UniqueRegion region(CreateRectRgn(0, 0, 0, 0));
    ASSERT_NE(GetWindowRgn(dialog->hwnd(), region.get()), ERROR);
    int holes = 0, wrong = 0, samples = 0;
    for (int y = 0; y < mask.height(); y += 3) {
        for (int x = 0; x < mask.width(); x += 3) {
            const bool window = mask.at(x, y) != RGB(255, 255, 255);
            holes += !window;
            wrong += (PtInRegion(region.get(), x, y) != FALSE) != window;
            ++samples;
        }
    }
    EXPECT_EQ(wrong, 0) << "of " << samples << " sampled pixels";
    EXPECT_GT(holes, 0) << "the generated outline is not rectangular";
    // Painted from the background picture, wherever no control covers it.
    int painted = 0, checked = 0;
    for (int y = 5; y < background.height() && checked < 40; y += 17) {
        for (int x = 5; x < background.width() && checked < 40; x += 23) {
            const POINT p{x, y};
            if (!PtInRegion(region.get(), x, y) ||
                ChildWindowFromPointEx(dialog->hwnd(), p, CWP_SKIPINVISIBLE) != dialog->hwnd())
                continue;
            ++checked;
            painted += ClientPixel(dialog->hwnd(), x, y) == background.at(x, y);
        }
    }
    EXPECT_GT(checked, 10);
    EXPECT_EQ(painted, checked);
}

TEST_P(GeneratedSkin, EveryButtonShowsEachOfItsFiveFaces) {
    std::vector<std::unique_ptr<Decoded>> status;
    for (const wchar_t* p : kind().statusImages) status.push_back(std::make_unique<Decoded>(ProgramFolder() + p));
    for (std::size_t b = 0; b < kind().buttons.size(); ++b) {
        const Placed& placed = kind().buttons[b];
        SkinButton& button = *dialog->buttons[b];
        const SkinRect rect = ReadSkinRect(dialog->iniPath(), L"BUTTONINFO", placed.key);
        RECT client{};
        GetClientRect(button.Hwnd(), &client);
        ASSERT_EQ(client.right, rect.w) << placed.key;
        ASSERT_EQ(client.bottom, rect.h) << placed.key;
        const std::vector<std::pair<int, int>> points{
            {2, 2}, {rect.w / 2, rect.h / 2}, {rect.w - 3, rect.h - 3}, {rect.w / 4, rect.h * 3 / 4}};
        auto shows = [&](int image) {
            for (auto [x, y] : points)
                if (ClientPixel(button.Hwnd(), x, y) != status[surfaceIndex(image)]->at(rect.x + x, rect.y + y))
                    return false;
            return true;
        };
        auto expectFace = [&](int state, const char* what) {
            EXPECT_TRUE(PumpUntil([&] { return shows(placed.faces[state]); }, 1000)) << placed.key << " " << what;
        };
        expectFace(0, "normal");
        // Distinct states must look different, or this test would prove nothing.
        if (placed.faces[1] != placed.faces[0]) {
            EXPECT_FALSE(shows(placed.faces[1])) << placed.key << ": normal looks like hover";
        }
        SendMessageW(button.Hwnd(), WM_MOUSEHOVER, 0, 0);
        expectFace(1, "hover");
        SendMessageW(button.Hwnd(), WM_MOUSELEAVE, 0, 0);
        SendMessageW(button.Hwnd(), BM_SETSTATE, TRUE, 0);
        expectFace(2, "pressed");
        SendMessageW(button.Hwnd(), BM_SETSTATE, FALSE, 0);
        EnableWindow(button.Hwnd(), FALSE);
        button.Redraw();
        expectFace(3, "disabled");
        EnableWindow(button.Hwnd(), TRUE);
        button.SetMarked(true, true);
        expectFace(4, "marked");
        button.SetMarked(false, true);
        expectFace(0, "normal again");
    }
}

TEST_P(GeneratedSkin, PlainControlIsPlacedFromTheIniFile) {
    if (!kind().listId) GTEST_SKIP() << "no control placed by position only";
    const SkinRect rect = ReadSkinRect(dialog->iniPath(), L"BUTTONINFO", kind().listKey);
    EXPECT_GT(rect.w, 1);
    RECT r{};
    HWND list = dialog->item(kind().listId);
    GetWindowRect(list, &r);
    MapWindowPoints(nullptr, dialog->hwnd(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, rect.x);
    EXPECT_EQ(r.top, rect.y);
    EXPECT_EQ(r.right - r.left, rect.w);
    // A combo box's height is its selection field's, which the system sets;
    // the placed height is that of its open list.
    wchar_t cls[16]{};
    GetClassNameW(list, cls, 16);
    if (std::wstring(cls) != L"ComboBox") {
        EXPECT_EQ(r.bottom - r.top, rect.h);
    }
}

INSTANTIATE_TEST_SUITE_P(Windows, GeneratedSkin,
                         ::testing::Values(&profileKind(), &keyKind(), &macroKind(), &mainKind()),
                         [](const auto& info) { return std::string(info.param->name); });

// The generated tables against the skin rules for the two small windows.
TEST(GeneratedSkinTables, FacesOfTheProfileAndKeyWindowsFollowTheSkinRules) {
    const std::vector<Placed> profile{{IDOK, L"CONTROL_OK", {1, 2, 3, 4, 1}},
                                      {IDCANCEL, L"CONTROL_CANCEL", {1, 2, 3, 4, 1}},
                                      {1010, L"FUNC_ADD", {1, 2, 3, 4, 1}},
                                      {1008, L"FUNC_LOAD", {1, 2, 3, 4, 1}},
                                      {1011, L"FUNC_DELETE", {1, 2, 3, 4, 1}},
                                      {1012, L"CONTROL2_APPLY", {1, 2, 3, 4, 1}},
                                      {1014, L"FUNC_PROGRAMS", {1, 2, 3, 4, 1}},
                                      {1016, L"FUNC_RESTORE", {1, 2, 3, 4, 1}},
                                      {1017, L"FUNC_EXPORT", {1, 2, 3, 4, 1}}};
    const std::vector<Placed> key{{IDOK, L"CONTROL_OK", {1, 2, 3, 4, 1}},
                                  {IDCANCEL, L"CONTROL_CANCEL", {1, 2, 3, 4, 1}},
                                  {1014, L"FUNC_EXTRA_2_2", {1, 2, 3, 4, 1}}};
    for (auto [kind, expected] : {std::pair{&profileKind(), &profile}, {&keyKind(), &key}}) {
        ASSERT_EQ(kind->buttons.size(), expected->size()) << kind->name;
        for (const Placed& e : *expected) {
            const auto it = std::find_if(kind->buttons.begin(), kind->buttons.end(),
                                         [&](const Placed& p) { return std::wstring(p.key) == e.key; });
            ASSERT_NE(it, kind->buttons.end()) << kind->name;
            EXPECT_EQ(it->id, e.id);
            EXPECT_TRUE(std::equal(std::begin(e.faces), std::end(e.faces), std::begin(it->faces))) << kind->name;
        }
    }
}

TEST(GeneratedSkinLeaks, ReopeningTheProfileWindowLeaksNoGdiObjects) {
    auto openAndClose = [] {
        GeneratedDialog d(profileKind(), surfacesOf(profileKind()));
        if (!d.createModeless()) return false;
        ShowWindow(d.hwnd(), SW_SHOWNOACTIVATE);
        Pump(20);
        SendMessageW(d.hwnd(), WM_COMMAND, IDCANCEL, 0);
        return d.hwnd() == nullptr;
    };
    ASSERT_TRUE(openAndClose());
    ASSERT_TRUE(openAndClose());
    const int gdi = LiveGdiObjects();
    ASSERT_GT(gdi, 0);
    for (int i = 0; i < 6; ++i) ASSERT_TRUE(openAndClose());
    EXPECT_EQ(LiveGdiObjects(), gdi);
}

}  // namespace

// Shows a window of the generated skin (the profile manager unless named) for a user (or a script with xdotool) to
// drive: prints a background point and a button centre in screen coordinates,
// then the window's position and the clicks seen when the time is up.
int ShowGeneratedWindow(DWORD ms, const std::wstring& name) {
    const WindowKind& kind = name == L"Main"    ? mainKind()
                             : name == L"Key"   ? keyKind()
                             : name == L"Macro" ? macroKind()
                                                : profileKind();
    GeneratedDialog d(kind, surfacesOf(kind));
    if (!d.createModeless()) return 2;
    ShowWindow(d.hwnd(), SW_SHOWNORMAL);
    UpdateWindow(d.hwnd());
    RECT r{};
    GetWindowRect(d.hwnd(), &r);
    const UniqueRegion region(CreateRectRgn(0, 0, 0, 0));
    GetWindowRgn(d.hwnd(), region.get());
    POINT grab{-1, -1};
    for (int y = 4; y < r.bottom - r.top && grab.x < 0; y += 3) {
        for (int x = 4; x < r.right - r.left && grab.x < 0; x += 3) {
            const POINT p{x, y};
            if (PtInRegion(region.get(), x, y) && ChildWindowFromPointEx(d.hwnd(), p, CWP_SKIPINVISIBLE) == d.hwnd())
                grab = p;
        }
    }
    RECT button{};
    GetWindowRect(d.item(kind.buttons.front().id), &button);
    std::printf("start %ld %ld\ngrab %ld %ld\nbutton %ld %ld\n", r.left, r.top, r.left + grab.x, r.top + grab.y,
                (button.left + button.right) / 2, (button.top + button.bottom) / 2);
    std::fflush(stdout);
    Pump(ms);
    GetWindowRect(d.hwnd(), &r);
    std::printf("end %ld %ld\nclicks %d\n", r.left, r.top,
                static_cast<int>(std::count(d.commands.begin(), d.commands.end(), kind.buttons.front().id)));
    std::fflush(stdout);
    return 0;
}

}  // namespace kbskin
