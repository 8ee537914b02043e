// The generated skin through the engine: the profile manager's and the key
// function dialog's templates, INI files and pictures, as the program uses them.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "control_ids.h"
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

struct WindowKind {
    int templateId;
    const wchar_t* ini;
    std::vector<const wchar_t*> statusImages;
    std::vector<Placed> buttons;
    int listId;
    const wchar_t* listKey;
};

const WindowKind& profileKind() {
    static const WindowKind kind{
        kb::res::kDlgProfiles,
        L"Skins\\Profile.ini",
        {L"Skins\\Profile_Status1.jpg", L"Skins\\Profile_Status2.jpg", L"Skins\\Profile_Status3.jpg",
         L"Skins\\Profile_Status4.jpg"},
        {{IDOK, L"CONTROL_OK", {1, 2, 3, 4, 1}},
         {IDCANCEL, L"CONTROL_CANCEL", {1, 2, 3, 4, 1}},
         {1010, L"FUNC_ADD", {1, 2, 3, 4, 1}},
         {1008, L"FUNC_LOAD", {1, 2, 3, 4, 1}},
         {1011, L"FUNC_DELETE", {1, 2, 3, 4, 1}},
         {1012, L"CONTROL2_APPLY", {1, 2, 3, 4, 1}}},
        1007,
        L"PROGRAM_LIST"};
    return kind;
}

// A window of the generated skin: surfaces once per kind, buttons placed with
// the faces the skin tables give them.
class GeneratedDialog : public SkinDialog {
public:
    GeneratedDialog(const WindowKind& kind, SurfaceSet& surfaces)
        : SkinDialog(GetModuleHandleW(nullptr), kind.templateId, nullptr, (iniPath_ = ProgramFolder() + kind.ini).c_str(),
                     (folder_ = ProgramFolder() + L"Skins").c_str()),
          kind_(kind), surfaces_(surfaces) {}
    std::vector<std::unique_ptr<SkinButton>> buttons;

protected:
    BOOL OnInitDialog() override {
        SkinDialog::OnInitDialog();
        std::vector<std::wstring> paths;
        for (const wchar_t* p : kind_.statusImages) paths.push_back(ProgramFolder() + p);
        surfaces_.BuildFromPaths(Hwnd(), paths);
        for (const Placed& p : kind_.buttons) {
            auto button = std::make_unique<SkinButton>();
            button->Attach(Hwnd(), p.id);
            auto S = [&](int i) { return surfaces_.at(static_cast<std::size_t>(p.faces[i] - 1)); };
            PlaceButton(*button, IniPath(), L"BUTTONINFO", p.key, S(0), S(1), S(2), S(3), S(4));
            buttons.push_back(std::move(button));
        }
        PlaceControl(Item(kind_.listId), IniPath(), L"BUTTONINFO", kind_.listKey);
        return FALSE;  // never activated: see the test dialog
    }

private:
    // Set before the base reads them: static storage per process is enough here.
    static inline std::wstring iniPath_;
    static inline std::wstring folder_;
    const WindowKind& kind_;
    SurfaceSet& surfaces_;
};

SurfaceSet& profileSurfaces() {
    static SurfaceSet set;
    return set;
}

// Pixels of a picture as the system decodes it, for comparison.
class Decoded {
public:
    explicit Decoded(const std::wstring& path) : bitmap_(TryLoadPicture(path)), dc_(CreateCompatibleDC(nullptr)) {
        if (bitmap_) {
            old_ = SelectObject(dc_, bitmap_.get());
            GetObjectW(bitmap_.get(), sizeof info_, &info_);
        }
    }
    ~Decoded() {
        if (old_) SelectObject(dc_, old_);
        DeleteDC(dc_);
    }
    [[nodiscard]] bool ok() const { return static_cast<bool>(bitmap_); }
    [[nodiscard]] int width() const { return info_.bmWidth; }
    [[nodiscard]] int height() const { return info_.bmHeight; }
    [[nodiscard]] COLORREF at(int x, int y) const { return GetPixel(dc_, x, y); }

private:
    UniqueBitmap bitmap_;
    HDC dc_;
    HGDIOBJ old_ = nullptr;
    BITMAP info_{};
};

class GeneratedSkin : public ::testing::Test {
protected:
    void SetUp() override {
        dialog = std::make_unique<GeneratedDialog>(profileKind(), profileSurfaces());
        ASSERT_TRUE(dialog->CreateModeless());
        ShowWindow(dialog->Hwnd(), SW_SHOWNOACTIVATE);
        UpdateWindow(dialog->Hwnd());
        Pump(50);
    }
    void TearDown() override {
        if (dialog && dialog->Hwnd()) DestroyWindow(dialog->Hwnd());
        dialog.reset();
        Pump(10);
    }
    std::unique_ptr<GeneratedDialog> dialog;
};

TEST_F(GeneratedSkin, ProfileWindowHasTheBackgroundsSizeAndTheMasksOutline) {
    Decoded background(ProgramFolder() + L"Skins\\Profile_Status1.jpg");
    Decoded mask(ProgramFolder() + L"Skins\\Profile_Mask.bmp");
    ASSERT_TRUE(background.ok());
    ASSERT_TRUE(mask.ok());
    RECT r{};
    GetWindowRect(dialog->Hwnd(), &r);
    EXPECT_EQ(r.right - r.left, background.width());
    EXPECT_EQ(r.bottom - r.top, background.height());

    HRGN region = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(dialog->Hwnd(), region), ERROR);
    int holes = 0, wrong = 0, samples = 0;
    for (int y = 0; y < mask.height(); y += 3) {
        for (int x = 0; x < mask.width(); x += 3) {
            const bool window = mask.at(x, y) != RGB(255, 255, 255);
            holes += !window;
            wrong += (PtInRegion(region, x, y) != FALSE) != window;
            ++samples;
        }
    }
    DeleteObject(region);
    EXPECT_EQ(wrong, 0) << "of " << samples << " sampled pixels";
    EXPECT_GT(holes, 0) << "the generated outline is not rectangular";
    // Painted from the background picture.
    const int x = background.width() / 2, y = 12;
    EXPECT_EQ(ClientPixel(dialog->Hwnd(), x, y), background.at(x, y));
}

TEST_F(GeneratedSkin, EveryProfileButtonShowsEachOfItsFiveFaces) {
    std::vector<std::unique_ptr<Decoded>> status;
    for (const wchar_t* p : profileKind().statusImages) status.push_back(std::make_unique<Decoded>(ProgramFolder() + p));
    for (std::size_t b = 0; b < profileKind().buttons.size(); ++b) {
        const Placed& placed = profileKind().buttons[b];
        SkinButton& button = *dialog->buttons[b];
        const SkinRect rect = ReadSkinRect(dialog->IniPath(), L"BUTTONINFO", placed.key);
        RECT client{};
        GetClientRect(button.Hwnd(), &client);
        ASSERT_EQ(client.right, rect.w) << placed.key;
        ASSERT_EQ(client.bottom, rect.h) << placed.key;
        const std::vector<std::pair<int, int>> points{
            {2, 2}, {rect.w / 2, rect.h / 2}, {rect.w - 3, rect.h - 3}, {rect.w / 4, rect.h * 3 / 4}};
        auto shows = [&](int image) {
            for (auto [x, y] : points)
                if (ClientPixel(button.Hwnd(), x, y) != status[image - 1]->at(rect.x + x, rect.y + y)) return false;
            return true;
        };
        auto expectFace = [&](int state, const char* what) {
            EXPECT_TRUE(PumpUntil([&] { return shows(placed.faces[state]); }, 1000)) << placed.key << " " << what;
        };
        expectFace(0, "normal");
        // The states must look different, or this test would prove nothing.
        EXPECT_FALSE(shows(2)) << placed.key << ": hover face equals normal";
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

TEST_F(GeneratedSkin, ListIsPlacedFromTheIniFile) {
    const SkinRect rect = ReadSkinRect(dialog->IniPath(), L"BUTTONINFO", L"PROGRAM_LIST");
    EXPECT_GT(rect.w, 1);
    RECT r{};
    HWND list = dialog->Item(1007);
    GetWindowRect(list, &r);
    MapWindowPoints(nullptr, dialog->Hwnd(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, rect.x);
    EXPECT_EQ(r.top, rect.y);
    EXPECT_EQ(r.right - r.left, rect.w);
    EXPECT_EQ(r.bottom - r.top, rect.h);
}

TEST(GeneratedSkinLeaks, ReopeningTheProfileWindowLeaksNoGdiObjects) {
    auto openAndClose = [] {
        GeneratedDialog d(profileKind(), profileSurfaces());
        if (!d.CreateModeless()) return false;
        ShowWindow(d.Hwnd(), SW_SHOWNOACTIVATE);
        Pump(20);
        SendMessageW(d.Hwnd(), WM_COMMAND, IDCANCEL, 0);
        return d.Hwnd() == nullptr;
    };
    ASSERT_TRUE(openAndClose());
    ASSERT_TRUE(openAndClose());
    const int gdi = LiveGdiObjects();
    ASSERT_GT(gdi, 0);
    for (int i = 0; i < 6; ++i) ASSERT_TRUE(openAndClose());
    EXPECT_EQ(LiveGdiObjects(), gdi);
}

}  // namespace
}  // namespace kbskin
