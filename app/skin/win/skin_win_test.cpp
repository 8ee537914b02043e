// The skin engine under Wine, driven through a skinned test dialog built from
// pictures and INI files that the tests write themselves.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "indicators.h"
#include "link_static.h"
#include "report_list.h"
#include "skin_dialog.h"
#include "skin_ini.h"
#include "skin_picture.h"
#include "skin_test_support.h"
#include "tray_icon.h"

namespace kbskin {
namespace {

using namespace kbskin::test;

constexpr int kTemplate = 500;
constexpr int kWidth = 240, kHeight = 160;
constexpr SkinRect kB1{20, 30, 24, 16};

// Status image k (1-based): red carries k, green and blue the position, so a
// face copied from the wrong image or offset shows at once.
COLORREF statusPixel(int k, int x, int y) { return RGB(40 * k, x & 0xFF, y & 0xFF); }
COLORREF backgroundPixel(int x, int y) { return RGB(7, (x * 3) & 0xFF, (y * 5) & 0xFF); }
bool maskHole(int x, int y) { return (x < 10 && y < 10) || (x >= 80 && x < 90 && y >= 60 && y < 70); }
// Arrow strip: four 16 x 16 frames side by side, told apart by red.
COLORREF arrowPixel(int x, int y) { return RGB(60 + (x / 16) * 40, 200, y); }

std::wstring g_skin;  // folder of the written skin, shared by the whole run

std::wstring skinFile(const wchar_t* name) { return g_skin + name; }

void writeSkin() {
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
              "PROGRAM_LIST=20,50,150,60\r\nHUGE=-99999999999,5,-40,99999999999\r\n"
              "[BUTTONINFO2]\r\nDOWN_ARROW_LEFT1=0,0,0,0\r\nDOWN_ARROW_LEFT2=16,0,0,0\r\n"
              "UP_ARROW_LEFT1=32,0,0,0\r\nUP_ARROW_LEFT2=48,0,0,0\r\n"
              "DOWN_ARROW_RIGHT1=16,0,0,0\r\nDOWN_ARROW_RIGHT2=0,0,0,0\r\n"
              "UP_ARROW_RIGHT1=48,0,0,0\r\nUP_ARROW_RIGHT2=32,0,0,0\r\n");
    WriteText(skinFile(L"NoMask.ini"), "[SCREEN]\r\nMain=holes.bmp\r\n");
}

SurfaceSet& surfaces() {
    static SurfaceSet set;
    return set;
}
const StatusSurface* S(int k) { return surfaces().at(static_cast<std::size_t>(k - 1)); }
const StatusSurface* arrowSurface() { return surfaces().at(5); }

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
    BOOL OnInitDialog() override {
        SkinDialog::OnInitDialog();
        for (auto [button, id] : {std::pair{&ok, IDOK}, {&cancel, IDCANCEL}, {&b1, 1001}, {&missing, 1002},
                                  {&caps, 1003}, {&left, 1004}, {&right, 1005}})
            button->Attach(Hwnd(), id);
        surfaces().BuildFromPaths(Hwnd(), {skinFile(L"s1.bmp"), skinFile(L"s2.bmp"), skinFile(L"s3.bmp"),
                                           skinFile(L"s4.bmp"), skinFile(L"s5.bmp"), skinFile(L"arrow.bmp")});
        const wchar_t* ini = IniPath();
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
        list.Attach(Hwnd(), 1100);
        PlaceControl(list.Hwnd(), ini, L"BUTTONINFO", L"PROGRAM_LIST");
        link.Attach(Hwnd(), 1200);
        // No focus, so the window is never activated: closing an active window
        // costs two seconds under Wine without a window manager.
        return FALSE;
    }
    bool OnCommand(int id, int, HWND) override {
        commands.push_back(id);
        return true;
    }
};

class SkinWindow : public ::testing::Test {
protected:
    void SetUp() override {
        writeSkin();
        dialog = std::make_unique<TestDialog>();
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
    std::unique_ptr<TestDialog> dialog;
};

RECT childRect(HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// --- Window base -------------------------------------------------------------

TEST_F(SkinWindow, TakesTheBackgroundSizeRegionAndPicture) {
    HWND w = dialog->Hwnd();
    RECT r{};
    GetWindowRect(w, &r);
    EXPECT_EQ(r.right - r.left, kWidth);  // the template asks for 300 x 200 dialog units
    EXPECT_EQ(r.bottom - r.top, kHeight);
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(w, region), ERROR);
    for (auto [x, y] : std::vector<std::pair<int, int>>{
             {0, 0}, {9, 9}, {10, 0}, {0, 10}, {85, 65}, {79, 65}, {90, 69}, {239, 159}, {120, 80}, {89, 60}}) {
        EXPECT_EQ(PtInRegion(region, x, y) != FALSE, !maskHole(x, y)) << x << "," << y;
    }
    EXPECT_FALSE(PtInRegion(region, kWidth, 20));
    DeleteObject(region);
    for (auto [x, y] : std::vector<std::pair<int, int>>{{150, 20}, {200, 140}, {12, 3}})
        EXPECT_EQ(ClientPixel(w, x, y), backgroundPixel(x, y)) << x << "," << y;
}

TEST(SkinWindowMask, WithoutMaskTheBackgroundsWhiteBecomesHoles) {
    writeSkin();
    TestDialog d(skinFile(L"NoMask.ini"));
    ASSERT_TRUE(d.CreateModeless());
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(d.Hwnd(), region), ERROR);
    EXPECT_TRUE(PtInRegion(region, 50, 50));
    EXPECT_TRUE(PtInRegion(region, 99, 150));
    EXPECT_FALSE(PtInRegion(region, 100, 100));
    EXPECT_FALSE(PtInRegion(region, 239, 159));
    DeleteObject(region);
    DestroyWindow(d.Hwnd());
}

// --- Buttons ------------------------------------------------------------------

void expectFace(const SkinButton& button, int k, const char* what) {
    ASSERT_TRUE(PumpUntil([&] { return ClientPixel(button.Hwnd(), 0, 0) == statusPixel(k, button.FaceX(), button.FaceY()); }, 1000))
        << what << ": face is not status image " << k;
    for (auto [x, y] : std::vector<std::pair<int, int>>{{0, 0}, {23, 15}, {5, 7}, {12, 0}})
        EXPECT_EQ(ClientPixel(button.Hwnd(), x, y), statusPixel(k, button.FaceX() + x, button.FaceY() + y))
            << what << " at " << x << "," << y;
}

TEST_F(SkinWindow, ButtonShowsEachOfItsFiveFaces) {
    SkinButton& b = dialog->b1;
    const RECT r = childRect(b.Hwnd());
    EXPECT_EQ(r.left, kB1.x);
    EXPECT_EQ(r.top, kB1.y);
    EXPECT_EQ(r.right - r.left, kB1.w);
    EXPECT_EQ(r.bottom - r.top, kB1.h);
    EXPECT_EQ(b.FaceX(), kB1.x);
    EXPECT_EQ(b.FaceY(), kB1.y);

    expectFace(b, 1, "normal");
    b.SetMarked(true, true);
    expectFace(b, 5, "marked");
    SendMessageW(b.Hwnd(), WM_MOUSEHOVER, 0, 0);
    expectFace(b, 2, "hover over marked");
    SendMessageW(b.Hwnd(), WM_MOUSELEAVE, 0, 0);
    expectFace(b, 5, "marked after leaving");
    SendMessageW(b.Hwnd(), BM_SETSTATE, TRUE, 0);
    expectFace(b, 3, "pressed");
    EnableWindow(b.Hwnd(), FALSE);
    b.Redraw();
    expectFace(b, 4, "disabled while pressed and marked");
    EXPECT_EQ(b.LastFace(), ButtonFace::Disabled);
    EnableWindow(b.Hwnd(), TRUE);
    SendMessageW(b.Hwnd(), BM_SETSTATE, FALSE, 0);
    b.SetMarked(false, true);
    expectFace(b, 1, "normal again");

    // The owner hears of every drawing and whether it used the normal face.
    ASSERT_FALSE(dialog->drawn.empty());
    EXPECT_TRUE(dialog->drawn.back().second);
    EXPECT_EQ(dialog->drawn.back().first, b.Hwnd());
    b.SetMarked(true, true);
    EXPECT_FALSE(dialog->drawn.back().second);
}

TEST_F(SkinWindow, MissingKeyGivesOnePixelControlAtOneOne) {
    const RECT r = childRect(dialog->missing.Hwnd());
    EXPECT_EQ(r.left, 1);
    EXPECT_EQ(r.top, 1);
    EXPECT_EQ(r.right - r.left, 1);
    EXPECT_EQ(r.bottom - r.top, 1);
    EXPECT_EQ(dialog->missing.FaceX(), 1);
    EXPECT_EQ(dialog->missing.FaceY(), 1);
    // (1,1) lies in a hole of the test mask, so the face is checked by its source.
    dialog->missing.Redraw();
    EXPECT_EQ(dialog->missing.LastSurface(), S(1));
}

TEST_F(SkinWindow, AbsurdRectangleIsClampedAndStillDrawn) {
    PlaceButton(dialog->missing, dialog->IniPath(), L"BUTTONINFO", L"HUGE", S(1), S(2), S(3), S(4), S(5));
    const RECT r = childRect(dialog->missing.Hwnd());
    EXPECT_EQ(r.left, -kMaxSkinExtent);
    EXPECT_EQ(r.right - r.left, 0);  // negative width: nothing to draw, nothing to crash on
    EXPECT_EQ(r.bottom - r.top, kMaxSkinExtent);
    dialog->missing.Redraw();
    EXPECT_TRUE(IsWindow(dialog->missing.Hwnd()));
}

TEST_F(SkinWindow, CaptionIsDrawnOnlyOnceSwitchedOn) {
    SkinButton& b = dialog->b1;
    SetWindowTextW(b.Hwnd(), L"\x2588\x2588\x2588\x2588");  // full blocks: easy to find
    b.Redraw();
    auto inked = [&] {
        int n = 0;
        for (int y = 0; y < kB1.h; ++y)
            for (int x = 0; x < kB1.w; ++x)
                if (ClientPixel(b.Hwnd(), x, y) == RGB(255, 255, 0)) ++n;
        return n;
    };
    EXPECT_EQ(inked(), 0);
    b.SetCaptionStyle(true, 8, L"Arial", RGB(255, 255, 0));
    EXPECT_TRUE(PumpUntil([&] { return inked() > 0; }));
}

TEST_F(SkinWindow, DoubleClickCountsAsTwoClicks) {
    HWND b = dialog->b1.Hwnd();
    const LPARAM at = MAKELPARAM(5, 5);
    SendMessageW(b, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(b, WM_LBUTTONUP, 0, at);
    SendMessageW(b, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    SendMessageW(b, WM_LBUTTONUP, 0, at);
    Pump(20);
    EXPECT_EQ(std::count(dialog->commands.begin(), dialog->commands.end(), 1001), 2);
}

TEST_F(SkinWindow, OkAndCancelEndTheWindowAndReleaseItsPictures) {
    EXPECT_NE(dialog->Background(), nullptr);
    SendMessageW(dialog->ok.Hwnd(), BM_CLICK, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return dialog->Hwnd() == nullptr; }));
    EXPECT_EQ(dialog->Result(), IDOK);
    EXPECT_EQ(dialog->Background(), nullptr);
}

// --- Damaged or missing pictures end the process with 0 ----------------------

DWORD runChild(const std::wstring& ini) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\" --skin-child \"" + ini + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return 1000;
    DWORD code = 1001;
    if (WaitForSingleObject(process.hProcess, 20000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
    else TerminateProcess(process.hProcess, 1002);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

TEST(SkinPictures, MissingDamagedOrUnnamedPictureEndsTheProcessWithZero) {
    writeSkin();
    // The child exits 9 if its window ever finished initialising.
    WriteText(skinFile(L"Good.ini"), "[SCREEN]\r\nMain=bg.bmp\r\n");
    EXPECT_EQ(runChild(skinFile(L"Good.ini")), 9u) << "the child itself must work";

    auto bg = ReadBytes(skinFile(L"bg.bmp"));
    WriteBytes(skinFile(L"cut.bmp"), std::vector<std::uint8_t>(bg.begin(), bg.begin() + bg.size() / 2));
    WriteText(skinFile(L"junk.jpg"), "this is not a picture at all");
    const std::vector<std::pair<const char*, const char*>> cases{
        {"Missing.ini", "[SCREEN]\r\nMain=nothing.bmp\r\n"},
        {"Cut.ini", "[SCREEN]\r\nMain=cut.bmp\r\n"},
        {"Junk.ini", "[SCREEN]\r\nMain=junk.jpg\r\n"},
        {"CutMask.ini", "[SCREEN]\r\nMain=bg.bmp\r\nMask=cut.bmp\r\n"},
        {"Empty.ini", "[SCREEN]\r\nMain=\r\n"},
        {"NoFile.ini", nullptr},
    };
    for (auto [name, text] : cases) {
        const std::wstring ini = skinFile(std::wstring(name, name + strlen(name)).c_str());
        if (text) WriteText(ini, text);
        EXPECT_EQ(runChild(ini), 0u) << name;
    }
}

TEST(SkinPictures, LoaderCopiesPicturesExactlyAndRegionMatchesMask) {
    writeSkin();
    UniqueBitmap bg = TryLoadPicture(skinFile(L"bg.bmp"));
    ASSERT_TRUE(bg);
    BITMAP info{};
    GetObjectW(bg.get(), sizeof info, &info);
    EXPECT_EQ(info.bmWidth, kWidth);
    EXPECT_EQ(info.bmHeight, kHeight);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bg.get());
    EXPECT_EQ(GetPixel(dc, 17, 33), backgroundPixel(17, 33));
    EXPECT_EQ(GetPixel(dc, 239, 0), backgroundPixel(239, 0));
    SelectObject(dc, old);
    DeleteDC(dc);
    EXPECT_FALSE(TryLoadPicture(skinFile(L"nothing.bmp")));
    EXPECT_FALSE(MaskToRegion(nullptr));

    // A mask with more than 2000 runs: the region equals the pixel set.
    WriteBmp(skinFile(L"checker.bmp"), 101, 60,
             [](int x, int y) { return ((x + y) % 2) ? RGB(255, 255, 255) : RGB(0, 0, 0); });
    UniqueBitmap checker = TryLoadPicture(skinFile(L"checker.bmp"));
    ASSERT_TRUE(checker);
    UniqueRegion region = MaskToRegion(checker.get());
    ASSERT_TRUE(region);
    int wrong = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 101; ++x)
            if ((PtInRegion(region.get(), x, y) != FALSE) != ((x + y) % 2 == 0)) ++wrong;
    EXPECT_EQ(wrong, 0);
    // All white: an empty region.
    WriteBmp(skinFile(L"white.bmp"), 8, 8, [](int, int) { return RGB(255, 255, 255); });
    UniqueBitmap white = TryLoadPicture(skinFile(L"white.bmp"));
    UniqueRegion none = MaskToRegion(white.get());
    ASSERT_TRUE(none);
    RECT box{};
    EXPECT_EQ(GetRgnBox(none.get(), &box), NULLREGION);
}

// --- Repeated openings leak nothing ---------------------------------------------

TEST(SkinLeaks, RepeatedOpeningsKeepGdiObjectsAndWindowsLevel) {
    writeSkin();
    auto openAndClose = [] {
        TestDialog d;
        if (!d.CreateModeless()) return false;
        ShowWindow(d.Hwnd(), SW_SHOWNOACTIVATE);
        d.b1.SetTooltip(L"tip", true);
        SendMessageW(d.b1.Hwnd(), WM_MOUSEHOVER, 0, 0);
        d.b1.SetCaptionStyle(true, 8, L"Arial", 0);
        d.list.InsertColumn(0, L"c");
        d.list.InsertRow(0, L"row");
        Pump(20);
        SendMessageW(d.Hwnd(), WM_COMMAND, IDCANCEL, 0);
        Pump(10);
        return d.Hwnd() == nullptr;
    };
    ASSERT_TRUE(openAndClose());  // builds the status surfaces, which stay
    ASSERT_TRUE(openAndClose());
    const int gdi = LiveGdiObjects();
    const int windows = ThreadWindows();
    ASSERT_GT(gdi, 0) << "no way to count GDI objects here";
    for (int i = 0; i < 8; ++i) ASSERT_TRUE(openAndClose());
    EXPECT_EQ(LiveGdiObjects(), gdi);
    EXPECT_EQ(ThreadWindows(), windows);
}

}  // namespace
}  // namespace kbskin

namespace {

LONG WINAPI onCrash(EXCEPTION_POINTERS*) {
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int main(int argc, char** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(onCrash);
    int wargc = 0;
    wchar_t** wargv = CommandLineToArgvW(GetCommandLineW(), &wargc);
    if (wargc >= 3 && std::wstring(wargv[1]) == L"--skin-child") {
        // Runs one skinned window; a bad picture must end the process with 0
        // before OnInitDialog returns.
        const std::wstring ini = wargv[2];
        const std::wstring folder = ini.substr(0, ini.find_last_of(L'\\') + 1);
        kbskin::SkinDialog d(GetModuleHandleW(nullptr), 500, nullptr, ini.c_str(), folder.c_str());
        if (!d.CreateModeless()) return 8;
        return 9;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
