// The skinned test dialog that the skin engine's Windows tests share: its
// pictures and INI files are written by the tests themselves.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "link_static.h"
#include "report_list.h"
#include "skin_dialog.h"
#include "skin_ini.h"
#include "skin_picture.h"
#include "skin_test_support.h"

namespace kbskin::test {

constexpr int kTemplate = 500;
constexpr int kWidth = 240, kHeight = 160;
constexpr SkinRect kB1{20, 30, 24, 16};

// Status image k (1-based): red carries k, green and blue the position, so a
// face copied from the wrong image or offset shows at once.
inline COLORREF statusPixel(int k, int x, int y) { return RGB(40 * k, x & 0xFF, y & 0xFF); }
inline COLORREF backgroundPixel(int x, int y) { return RGB(7, (x * 3) & 0xFF, (y * 5) & 0xFF); }
inline bool maskHole(int x, int y) { return (x < 10 && y < 10) || (x >= 80 && x < 90 && y >= 60 && y < 70); }
// Arrow strip: four 16 x 16 frames side by side, told apart by red.
inline COLORREF arrowPixel(int x, int y) { return RGB(60 + (x / 16) * 40, 200, y); }

inline std::wstring g_skin;  // folder of the written skin, shared by the whole run

inline std::wstring skinFile(const wchar_t* name) { return g_skin + name; }

inline void writeSkin() {
    if (!g_skin.empty()) return;
    g_skin = MakeTempFolder(L"kbskin");
    WriteBmp(skinFile(L"bg.bmp"), kWidth, kHeight, backgroundPixel);
    WriteBmp(skinFile(L"mask.bmp"), kWidth, kHeight,
             [](int x, int y) { return maskHole(x, y) ? RGB(255, 255, 255) : RGB(0, 0, 0); });
    WriteBmp(skinFile(L"holes.bmp"), kWidth, kHeight,
             [](int x, int y) { return (x >= 100 && y >= 100) ? RGB(255, 255, 255) : backgroundPixel(x, y); });
    for (int k = 1; k <= 5; ++k)
        WriteBmp(skinFile((L"s" + std::to_wstring(k) + L".bmp").c_str()), kWidth, kHeight,
                 [k](int x, int y) { return statusPixel(k, x, y); });
    WriteBmp(skinFile(L"arrow.bmp"), 64, 16, arrowPixel);
    WriteText(skinFile(L"Test.ini"),
              "[SCREEN]\r\nMain=bg.bmp\r\nMask=mask.bmp\r\n"
              "[BUTTONINFO]\r\nb1= 20, 30,24,16 trailing text\r\n"
              "CONTROL_OK=100,2,20,10\r\nCONTROL_CANCEL=124,2,20,10\r\n"
              "LOCK_CAPS=60,30,12,12\r\nLEFT_ARROW=2,120,16,16\r\nRIGHT_ARROW=30,120,16,16\r\n"
              "PROGRAM_LIST=20,50,200,66\r\nHUGE=-99999999999,5,-40,99999999999\r\n"
              "[BUTTONINFO2]\r\nDOWN_ARROW_LEFT1=0,0,0,0\r\nDOWN_ARROW_LEFT2=16,0,0,0\r\n"
              "UP_ARROW_LEFT1=32,0,0,0\r\nUP_ARROW_LEFT2=48,0,0,0\r\n"
              "DOWN_ARROW_RIGHT1=16,0,0,0\r\nDOWN_ARROW_RIGHT2=0,0,0,0\r\n"
              "UP_ARROW_RIGHT1=48,0,0,0\r\nUP_ARROW_RIGHT2=32,0,0,0\r\n");
    WriteText(skinFile(L"NoMask.ini"), "[SCREEN]\r\nMain=holes.bmp\r\n");
}

inline SurfaceSet& surfaces() {
    static SurfaceSet set;
    return set;
}
inline const StatusSurface* S(int k) { return surfaces().at(static_cast<std::size_t>(k - 1)); }
inline const StatusSurface* arrowSurface() { return surfaces().at(5); }

// The window keeps a pointer to its INI path: the path must be alive first.
struct IniHolder {
    std::wstring ini;
};

class TestDialog : private IniHolder, public SkinDialog {
public:
    explicit TestDialog(const std::wstring& path = skinFile(L"Test.ini"))
        : IniHolder{path}, SkinDialog(GetModuleHandleW(nullptr), kTemplate, nullptr, ini.c_str(), g_skin.c_str()) {}

    SkinButton ok, cancel, b1, missing, caps, left, right;
    ReportList list;
    LinkStatic link;
    std::vector<int> commands;
    std::vector<std::pair<HWND, bool>> drawn;

protected:
    bool onInitDialog() override {
        SkinDialog::onInitDialog();
        for (auto [button, id] : {std::pair{&ok, IDOK}, {&cancel, IDCANCEL}, {&b1, 1001}, {&missing, 1002},
                                  {&caps, 1003}, {&left, 1004}, {&right, 1005}})
            button->Attach(hwnd(), id);
        surfaces().BuildFromPaths(hwnd(), {skinFile(L"s1.bmp"), skinFile(L"s2.bmp"), skinFile(L"s3.bmp"),
                                           skinFile(L"s4.bmp"), skinFile(L"s5.bmp"), skinFile(L"arrow.bmp")});
        const wchar_t* ini = iniPath();
        PlaceButton(ok, ini, L"BUTTONINFO", L"CONTROL_OK", S(1), S(2), S(3), S(4), S(1));
        PlaceButton(cancel, ini, L"BUTTONINFO", L"CONTROL_CANCEL", S(1), S(2), S(3), S(4), S(1));
        PlaceButton(b1, ini, L"BUTTONINFO", L"B1", S(1), S(2), S(3), S(4), S(5));
        PlaceButton(missing, ini, L"BUTTONINFO", L"NO_SUCH_KEY", S(1), S(2), S(3), S(4), S(5));
        PlaceButton(caps, ini, L"BUTTONINFO", L"LOCK_CAPS", S(1), S(1), S(1), S(1), S(2));
        PlaceFrameButton(left, ini, L"BUTTONINFO", L"LEFT_ARROW", L"BUTTONINFO2", L"DOWN_ARROW_LEFT1",
                         arrowSurface());
        PlaceFrameButton(right, ini, L"BUTTONINFO", L"RIGHT_ARROW", L"BUTTONINFO2", L"DOWN_ARROW_RIGHT1",
                         arrowSurface());
        b1.SetDrawCallback([this](HWND button, bool normal) { drawn.emplace_back(button, normal); });
        list.Attach(hwnd(), 1100);
        PlaceControl(list.Hwnd(), ini, L"BUTTONINFO", L"PROGRAM_LIST");
        link.Attach(hwnd(), 1200);
        // No focus, so the window is never activated: closing an active window
        // costs two seconds under Wine without a window manager.
        return FALSE;
    }
    bool onCommand(int id, int, HWND) override {
        commands.push_back(id);
        return true;
    }
};

class SkinWindow : public ::testing::Test {
protected:
    void SetUp() override {
        writeSkin();
        dialog = std::make_unique<TestDialog>();
        ASSERT_TRUE(dialog->createModeless());
        ShowQuietly(dialog->hwnd());
    }
    void TearDown() override { CloseQuietly(dialog); }
    std::unique_ptr<TestDialog> dialog;
};

inline RECT childRect(HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Takes the tray tests' own icon away before the program ends.
::testing::Environment* NewTrayCleanup();

}  // namespace kbskin::test
