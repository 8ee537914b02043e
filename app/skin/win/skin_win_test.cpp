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
int ShowGeneratedWindow(DWORD ms, const std::wstring& name);
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
              "PROGRAM_LIST=20,50,200,66\r\nHUGE=-99999999999,5,-40,99999999999\r\n"
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
        ShowWindow(dialog->hwnd(), SW_SHOWNOACTIVATE);
        UpdateWindow(dialog->hwnd());
        Pump(50);
    }
    void TearDown() override {
        if (dialog && dialog->hwnd()) DestroyWindow(dialog->hwnd());
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
    HWND w = dialog->hwnd();
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

// Ends itself from a timer once the modal loop runs, noting what it looked like.
class ModalProbe : public TestDialog {
public:
    bool visible = false;
    RECT rect{};

protected:
    bool onInitDialog() override {
        TestDialog::onInitDialog();
        SetTimer(hwnd(), 77, 50, nullptr);
        return FALSE;
    }
    bool onMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result) override {
        if (message != WM_TIMER || wParam != 77) return false;
        KillTimer(hwnd(), 77);
        visible = IsWindowVisible(hwnd()) != FALSE;
        GetWindowRect(hwnd(), &rect);
        endDialog(1234);
        result = 0;
        return true;
    }
};

TEST(SkinWindowModal, ModalLoopShowsTheWindowAtItsFinalSizeAndReturnsTheResult) {
    writeSkin();
    SetCursorPos(1279, 1023);
    ModalProbe d;
    EXPECT_EQ(d.runModal(), 1234);
    EXPECT_TRUE(d.visible);
    EXPECT_EQ(d.rect.right - d.rect.left, kWidth);
    EXPECT_EQ(d.rect.bottom - d.rect.top, kHeight);
    EXPECT_EQ(d.hwnd(), nullptr);
}

TEST(SkinWindowMask, WithoutMaskTheBackgroundsWhiteBecomesHoles) {
    writeSkin();
    TestDialog d(skinFile(L"NoMask.ini"));
    ASSERT_TRUE(d.createModeless());
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(d.hwnd(), region), ERROR);
    EXPECT_TRUE(PtInRegion(region, 50, 50));
    EXPECT_TRUE(PtInRegion(region, 99, 150));
    EXPECT_FALSE(PtInRegion(region, 100, 100));
    EXPECT_FALSE(PtInRegion(region, 239, 159));
    DeleteObject(region);
    DestroyWindow(d.hwnd());
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
    PlaceButton(dialog->missing, dialog->iniPath(), L"BUTTONINFO", L"HUGE", S(1), S(2), S(3), S(4), S(5));
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
    EXPECT_NE(dialog->background(), nullptr);
    SendMessageW(dialog->ok.Hwnd(), BM_CLICK, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return dialog->hwnd() == nullptr; }));
    EXPECT_EQ(dialog->result(), IDOK);
    EXPECT_EQ(dialog->background(), nullptr);
}

// --- Damaged or missing pictures end the process with 0 ----------------------

DWORD runChild(const std::wstring& ini, const std::wstring& statusImage = L"") {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\" --skin-child \"" + ini + L"\"";
    if (!statusImage.empty()) line += L" \"" + statusImage + L"\"";
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
    // Status images: a good one lets the window finish, a missing or cut one ends the process.
    EXPECT_EQ(runChild(skinFile(L"Good.ini"), skinFile(L"s1.bmp")), 9u);
    EXPECT_EQ(runChild(skinFile(L"Good.ini"), skinFile(L"no_status.jpg")), 0u);
    EXPECT_EQ(runChild(skinFile(L"Good.ini"), skinFile(L"cut.bmp")), 0u);
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
        if (!d.createModeless()) return false;
        ShowWindow(d.hwnd(), SW_SHOWNOACTIVATE);
        d.b1.SetTooltip(L"tip", true);
        SendMessageW(d.b1.Hwnd(), WM_MOUSEHOVER, 0, 0);
        d.b1.SetCaptionStyle(true, 8, L"Arial", 0);
        d.list.InsertColumn(0, L"c");
        d.list.InsertRow(0, L"row");
        Pump(20);
        SendMessageW(d.hwnd(), WM_COMMAND, IDCANCEL, 0);
        Pump(10);
        return d.hwnd() == nullptr;
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


// --- Chained subclassing ------------------------------------------------------------

class RecordingHook : public CSubclassWnd {
public:
    RecordingHook(std::vector<char>& log, char name) : log_(log), name_(name) {}

protected:
    LRESULT OnHookedMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_APP + 7) {
            log_.push_back(name_);
            return PassOn() + 1;  // each hook adds one to what comes after it
        }
        return CSubclassWnd::OnHookedMessage(message, wParam, lParam);
    }

private:
    std::vector<char>& log_;
    char name_;
};

TEST(SubclassChain, HooksRunNewestFirstAndUnhookInAnyOrder) {
    HWND w = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    const LONG_PTR original = GetWindowLongPtrW(w, GWLP_WNDPROC);
    std::vector<char> log;
    RecordingHook a(log, 'a'), b(log, 'b'), c(log, 'c');
    ASSERT_TRUE(a.AttachHook(w));
    ASSERT_TRUE(b.AttachHook(w));
    ASSERT_TRUE(c.AttachHook(w));
    EXPECT_EQ(SendMessageW(w, WM_APP + 7, 0, 0), 3);
    EXPECT_EQ(log, (std::vector<char>{'c', 'b', 'a'}));

    log.clear();
    b.AttachHook(nullptr);  // from the middle
    EXPECT_EQ(SendMessageW(w, WM_APP + 7, 0, 0), 2);
    EXPECT_EQ(log, (std::vector<char>{'c', 'a'}));
    log.clear();
    c.AttachHook(nullptr);  // the head
    EXPECT_EQ(SendMessageW(w, WM_APP + 7, 0, 0), 1);
    EXPECT_EQ(log, (std::vector<char>{'a'}));
    a.AttachHook(nullptr);  // the last one puts the old procedure back
    EXPECT_EQ(GetWindowLongPtrW(w, GWLP_WNDPROC), original);
    EXPECT_EQ(SendMessageW(w, WM_APP + 7, 0, 0), 0);

    // Destroying the window unhooks everything; the hooks may outlive it.
    ASSERT_TRUE(a.AttachHook(w));
    ASSERT_TRUE(b.AttachHook(w));
    DestroyWindow(w);
    EXPECT_EQ(a.HookedWindow(), nullptr);
    EXPECT_EQ(b.HookedWindow(), nullptr);
    EXPECT_FALSE(c.AttachHook(w));
}

// --- Tray icon ------------------------------------------------------------------

constexpr UINT kTrayMessage = 0x6BD;
constexpr UINT kTrayId = 140;

// Whether the shell knows the icon: a modification succeeds only for a known one.
bool trayHas(HWND window) {
    NOTIFYICONDATAW probe{};
    probe.cbSize = NOTIFYICONDATAW_V2_SIZE;
    probe.hWnd = window;
    probe.uID = kTrayId;
    probe.uFlags = NIF_TIP;
    lstrcpynW(probe.szTip, L"Vortek\x952E\x76D8", 64);
    return Shell_NotifyIconW(NIM_MODIFY, &probe) != FALSE;
}

// Wine's stand-alone tray window hides when its last icon goes, which costs two
// seconds without a window manager; an icon of the test's own keeps it up.
NOTIFYICONDATAW g_keeper{};

void keepTrayUp() {
    if (g_keeper.hWnd) return;
    g_keeper.cbSize = NOTIFYICONDATAW_V2_SIZE;
    g_keeper.hWnd = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    g_keeper.uID = 1;
    g_keeper.uFlags = NIF_ICON;
    g_keeper.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(142));
    Shell_NotifyIconW(NIM_ADD, &g_keeper);
}

// Takes the test's own tray icon away before the program ends, so the tray
// window does not disappear later under another program's feet.
class TrayCleanup : public ::testing::Environment {
public:
    void TearDown() override {
        if (!g_keeper.hWnd) return;
        Shell_NotifyIconW(NIM_DELETE, &g_keeper);
        DestroyWindow(g_keeper.hWnd);
        g_keeper.hWnd = nullptr;
    }
};

TEST_F(SkinWindow, TrayIconIsAddedChangedRemovedAndBackAfterTheTaskbarRestarts) {
    keepTrayUp();
    HWND w = dialog->hwnd();
    CTrayIcon tray;
    HICON first = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(141));
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(tray.AddIcon(w, kTrayMessage, L"Vortek\x952E\x76D8", first, kTrayId));
    EXPECT_TRUE(tray.Created());
    EXPECT_TRUE(trayHas(w));

    ASSERT_TRUE(tray.ChangeIcon(142));
    EXPECT_NE(tray.Icon(), first);
    EXPECT_TRUE(trayHas(w));
    EXPECT_FALSE(tray.ChangeIcon(999));  // no such icon: the picture stays

    tray.DeleteIcon();
    EXPECT_FALSE(tray.Created());
    EXPECT_FALSE(trayHas(w));
    ASSERT_TRUE(tray.AddIcon(w, kTrayMessage, L"Vortek\x952E\x76D8", first, kTrayId));
    EXPECT_TRUE(trayHas(w));

    // The shell restarts: its icons are gone, then it announces the new taskbar.
    NOTIFYICONDATAW gone{};
    gone.cbSize = NOTIFYICONDATAW_V2_SIZE;
    gone.hWnd = w;
    gone.uID = kTrayId;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &gone));
    EXPECT_FALSE(trayHas(w));
    SendMessageW(w, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(tray.Created());
    EXPECT_TRUE(trayHas(w));
    // The window still gets its messages through the hook chain.
    SendMessageW(dialog->b1.Hwnd(), BM_CLICK, 0, 0);
    EXPECT_EQ(dialog->commands.back(), 1001);
}

TEST_F(SkinWindow, TrayTellsASingleClickFromADoubleClick) {
    keepTrayUp();
    HWND w = dialog->hwnd();
    CTrayIcon tray;
    ASSERT_TRUE(tray.AddIcon(w, kTrayMessage, L"tip", LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(141)), kTrayId));
    auto count = [&](int id) { return std::count(dialog->commands.begin(), dialog->commands.end(), id); };
    const DWORD doubleClick = GetDoubleClickTime();

    tray.SetClickCommand(1009);
    const ULONGLONG start = GetTickCount64();
    SendMessageW(w, kTrayMessage, kTrayId, WM_LBUTTONDOWN);
    SendMessageW(w, kTrayMessage, kTrayId, WM_LBUTTONUP);
    ASSERT_TRUE(PumpUntil([&] { return count(1009) == 1; }, doubleClick + 3000));
    EXPECT_GE(GetTickCount64() - start + 20, doubleClick) << "a single click acted before the double-click time";

    // A double click opens (the menu's first command) once and never also clicks.
    SendMessageW(w, kTrayMessage, kTrayId, WM_LBUTTONDOWN);
    SendMessageW(w, kTrayMessage, kTrayId, WM_LBUTTONUP);
    SendMessageW(w, kTrayMessage, kTrayId, WM_LBUTTONDBLCLK);
    SendMessageW(w, kTrayMessage, kTrayId, WM_LBUTTONUP);
    Pump(doubleClick + 300);
    EXPECT_EQ(count(32771), 1);
    EXPECT_EQ(count(1009), 1);

    // Another icon's messages and a click without a default command do nothing.
    SendMessageW(w, kTrayMessage, kTrayId + 1, WM_LBUTTONDBLCLK);
    tray.SetClickCommand(0);
    SendMessageW(w, kTrayMessage, kTrayId, WM_LBUTTONDOWN);
    Pump(doubleClick + 300);
    EXPECT_EQ(count(32771), 1);
    EXPECT_EQ(count(1009), 1);
}

bool g_menuSeen = false;
void CALLBACK closeMenu(HWND, UINT, UINT_PTR id, DWORD) {
    g_menuSeen = g_menuSeen || FindWindowW(L"#32768", nullptr) != nullptr;
    KillTimer(nullptr, id);
    EndMenu();
}

TEST_F(SkinWindow, TrayMenuOpensOnRightButtonRelease) {
    keepTrayUp();
    HWND w = dialog->hwnd();
    CTrayIcon tray;
    ASSERT_TRUE(tray.AddIcon(w, kTrayMessage, L"tip", LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(141)), kTrayId));
    g_menuSeen = false;
    SendMessageW(w, kTrayMessage, kTrayId, WM_RBUTTONDOWN);
    EXPECT_EQ(FindWindowW(L"#32768", nullptr), nullptr);
    SetTimer(nullptr, 0, 150, &closeMenu);
    SendMessageW(w, kTrayMessage, kTrayId, WM_RBUTTONUP);  // returns when the menu closes
    EXPECT_TRUE(g_menuSeen);
}

// --- Report list ---------------------------------------------------------------

class ReportListTest : public SkinWindow {
protected:
    void SetUp() override {
        SkinWindow::SetUp();
        ReportList& l = dialog->list;
        ASSERT_EQ(l.InsertColumn(0, L"Name", LVCFMT_LEFT, 70), 0);
        ASSERT_EQ(l.InsertColumn(1, L"Value", LVCFMT_LEFT, 60), 1);
        for (int i = 0; i < 4; ++i) {
            const wchar_t name[] = {wchar_t(L'a' + i), 0};
            ASSERT_EQ(l.InsertRow(i, name, 10 + i), i);
            l.SetCellText(i, 1, std::to_wstring(i + 1).c_str());
        }
        ReportList::Callbacks callbacks;
        callbacks.checkChanged = [this](int row, ReportList&) { changed.push_back(row); };
        l.SetCallbacks(callbacks);
        l.SetOwnerFlag(&ownerFlag);
    }
    std::vector<std::wstring> names() const {
        std::vector<std::wstring> n;
        for (int i = 0; i < dialog->list.RowCount(); ++i) n.push_back(dialog->list.CellText(i, 0));
        return n;
    }
    // As a mouse click on a box does: the list's own state change.
    void userTick(int row, bool ticked) {
        ListView_SetCheckState(dialog->list.Hwnd(), row, ticked);
        Pump(5);
    }
    std::vector<int> changed;
    int ownerFlag = 0;
};

TEST_F(ReportListTest, CheckModes) {
    ReportList& l = dialog->list;
    l.SetCheckBoxes(2);  // at most one ticked
    userTick(1, true);
    userTick(3, true);
    EXPECT_FALSE(l.GetCheck(1));
    EXPECT_TRUE(l.GetCheck(3));
    EXPECT_EQ(l.CountRows(ReportList::kChecked), 1);
    EXPECT_EQ(l.NextRow(ReportList::kChecked, -1), 3);
    EXPECT_EQ(l.NextRow(LVIS_SELECTED | LVIS_FOCUSED, -1), 3);  // the clicked row is selected
    EXPECT_EQ(l.CountRows(LVIS_SELECTED), 1);
    EXPECT_EQ(ownerFlag, 0);
    EXPECT_NE(std::find(changed.begin(), changed.end(), 1), changed.end());
    userTick(3, false);  // unticking is allowed
    EXPECT_EQ(l.CountRows(ReportList::kChecked), 0);

    l.SetCheck(2, true);
    l.SetCheckBoxes(3);  // read-only boxes
    userTick(2, false);
    userTick(0, true);
    EXPECT_TRUE(l.GetCheck(2));
    EXPECT_FALSE(l.GetCheck(0));

    l.SetCheckBoxes(1);  // the system's toggling
    userTick(0, true);
    EXPECT_TRUE(l.GetCheck(0));
    EXPECT_TRUE(l.GetCheck(2));
    EXPECT_EQ(l.CountRows(ReportList::kChecked), 2);

    l.SetCheckBoxes(0);
    EXPECT_EQ(l.CountRows(ReportList::kChecked), 0);
    EXPECT_FALSE(l.SetCheck(1, true));
}

TEST_F(ReportListTest, ClickOnABoxInSingleModeUnticksTheOthers) {
    ReportList& l = dialog->list;
    l.SetCheckBoxes(2);
    l.SetCheck(0, true);
    RECT bounds{};
    bounds.left = LVIR_BOUNDS;
    SendMessageW(l.Hwnd(), LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&bounds));
    const int y = (bounds.top + bounds.bottom) / 2;
    int boxX = -1;
    for (int x = bounds.left; x < bounds.left + 40 && boxX < 0; ++x) {
        LVHITTESTINFO hit{};
        hit.pt = {x, y};
        SendMessageW(l.Hwnd(), LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
        if (hit.iItem == 1 && (hit.flags & LVHT_ONITEMSTATEICON)) boxX = x + 2;
    }
    ASSERT_GE(boxX, 0) << "no check box found in row 1";
    SendMessageW(l.Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(boxX, y));
    SendMessageW(l.Hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(boxX, y));
    Pump(20);
    EXPECT_TRUE(l.GetCheck(1));
    EXPECT_FALSE(l.GetCheck(0));
    EXPECT_EQ(l.NextRow(LVIS_SELECTED, -1), 1);
    EXPECT_EQ(l.CountRows(LVIS_SELECTED), 1);
}

TEST_F(ReportListTest, MoveRowKeepsTextsStateDataAndColours) {
    ReportList& l = dialog->list;
    l.SetCheckBoxes(1);
    l.SetCheck(0, true);
    l.SetCellBackColour(0, 1, RGB(1, 2, 3));
    EXPECT_EQ(l.MoveRow(0, 2), 2);
    EXPECT_EQ(names(), (std::vector<std::wstring>{L"b", L"c", L"a", L"d"}));
    EXPECT_EQ(l.CellText(2, 1), L"1");
    EXPECT_EQ(l.GetRowData(2), 10);
    EXPECT_TRUE(l.GetCheck(2));
    EXPECT_FALSE(l.GetCheck(0));
    EXPECT_EQ(l.CellBackColour(2, 1), RGB(1, 2, 3));
    EXPECT_EQ(l.CellBackColour(2, 0), GetSysColor(COLOR_WINDOW));

    EXPECT_EQ(l.MoveRow(3, -1), 0);  // clamped to the top
    EXPECT_EQ(l.MoveRow(1, 1000), 3);  // and to the bottom
    EXPECT_EQ(names(), (std::vector<std::wstring>{L"d", L"c", L"a", L"b"}));
    EXPECT_EQ(l.MoveRow(0, -1), 0);  // first row up: nothing
    EXPECT_EQ(l.MoveRow(3, 4), 3);   // last row down: nothing
    EXPECT_EQ(names(), (std::vector<std::wstring>{L"d", L"c", L"a", L"b"}));
    EXPECT_EQ(l.MoveRow(4, 0), -1);
    EXPECT_EQ(l.MoveRow(-1, 0), -1);
    EXPECT_EQ(l.GetRowData(9), 0);
    EXPECT_FALSE(l.SetRowData(9, 1));

    EXPECT_EQ(l.FindRow(L"A"), 2);
    EXPECT_EQ(l.FindRow(L"zz"), -1);
    // -1 for a row or column means all of them; -1 as colour the system's.
    l.SetCellBackColour(-1, -1, RGB(9, 9, 9));
    EXPECT_EQ(l.CellBackColour(0, 0), RGB(9, 9, 9));
    l.SetCellBackColour(1, 7, static_cast<COLORREF>(-1));
    EXPECT_EQ(l.CellBackColour(1, 1), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(l.CellBackColour(0, 1), RGB(9, 9, 9));
}

TEST_F(ReportListTest, DeleteSortAndEditInPlace) {
    ReportList& l = dialog->list;
    EXPECT_TRUE(l.DeleteRow(3, true));
    EXPECT_EQ(l.NextRow(LVIS_SELECTED, -1), 2);  // the last was deleted: the previous
    EXPECT_TRUE(l.DeleteRow(0, true));
    EXPECT_EQ(l.NextRow(LVIS_SELECTED, -1), 0);  // otherwise the next
    EXPECT_FALSE(l.DeleteRow(5, true));
    EXPECT_EQ(names(), (std::vector<std::wstring>{L"b", L"c"}));
    l.InsertRow(2, L"B", 7);

    int sorts = 0;
    ReportList::Callbacks callbacks;
    callbacks.beforeSort = [&](HWND, ReportList&) { ++sorts; };
    callbacks.afterSort = [&](HWND, ReportList&) { ++sorts; };
    std::vector<std::wstring> validated;
    callbacks.validateEdit = [&](HWND, ReportList&, ReportList::Cell, const std::wstring& text) {
        validated.push_back(text);
        return text != L"bad";
    };
    bool allowBegin = true;
    callbacks.beginEdit = [&](HWND, ReportList&, ReportList::Cell) { return allowBegin; };
    bool allowEnd = true;
    callbacks.endEdit = [&](HWND, ReportList&, bool, ReportList::Cell) { return allowEnd; };
    l.SetCallbacks(callbacks);

    NMLISTVIEW click{};
    click.hdr = {l.Hwnd(), 1100, static_cast<UINT>(LVN_COLUMNCLICK)};
    click.iSubItem = 0;
    SendMessageW(dialog->hwnd(), WM_NOTIFY, 1100, reinterpret_cast<LPARAM>(&click));
    EXPECT_EQ(names(), (std::vector<std::wstring>{L"B", L"b", L"c"}));  // code units: upper case first
    EXPECT_EQ(l.GetRowData(0), 7);
    SendMessageW(dialog->hwnd(), WM_NOTIFY, 1100, reinterpret_cast<LPARAM>(&click));
    EXPECT_EQ(names(), (std::vector<std::wstring>{L"c", L"b", L"B"}));
    EXPECT_EQ(sorts, 4);
    l.SetSorting(false);
    SendMessageW(dialog->hwnd(), WM_NOTIFY, 1100, reinterpret_cast<LPARAM>(&click));
    EXPECT_EQ(sorts, 4);

    l.SetEditable(true);
    ASSERT_TRUE(l.BeginEdit(1, 1));
    EXPECT_TRUE(IsWindowVisible(l.EditWindow()));
    SetWindowTextW(l.EditWindow(), L"new");
    l.EndEdit(true);
    EXPECT_EQ(l.CellText(1, 1), L"new");
    EXPECT_FALSE(IsWindowVisible(l.EditWindow()));

    ASSERT_TRUE(l.BeginEdit(1, 1));
    SetWindowTextW(l.EditWindow(), L"bad");
    l.EndEdit(true);
    EXPECT_EQ(l.CellText(1, 1), L"new");  // rejected by the validator
    ASSERT_TRUE(l.BeginEdit(1, 1));
    SetWindowTextW(l.EditWindow(), L"kept?");
    l.EndEdit(false);
    EXPECT_EQ(l.CellText(1, 1), L"new");  // not committed
    allowEnd = false;
    ASSERT_TRUE(l.BeginEdit(1, 1));
    SetWindowTextW(l.EditWindow(), L"cancelled");
    l.SetEditable(false);  // ends the edit with commit, which the owner cancels
    EXPECT_EQ(l.CellText(1, 1), L"new");
    allowEnd = true;
    allowBegin = false;
    l.SetEditable(true);
    EXPECT_FALSE(l.BeginEdit(1, 1));
    allowBegin = true;
    ASSERT_TRUE(l.BeginEdit(0, 0));
    SetWindowTextW(l.EditWindow(), std::wstring(150, L'x').c_str());
    EXPECT_EQ(SendMessageW(l.EditWindow(), EM_GETLIMITTEXT, 0, 0), 100);
    EXPECT_EQ(std::count(validated.begin(), validated.end(), L"bad"), 1);
}

TEST_F(ReportListTest, ClickOnACellOfTheSelectedRowStartsEditingIt) {
    ReportList& l = dialog->list;
    l.SetEditable(true);
    RECT cell{};
    cell.top = 1;
    cell.left = LVIR_BOUNDS;
    SendMessageW(l.Hwnd(), LVM_GETSUBITEMRECT, 1, reinterpret_cast<LPARAM>(&cell));
    const LPARAM at = MAKELPARAM((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2);
    std::vector<bool> lefts;
    ReportList::Callbacks callbacks;
    callbacks.mouse = [&](UINT, POINT, bool left) { lefts.push_back(left); };
    l.SetCallbacks(callbacks);

    l.SelectOnly(0);  // another row is selected: a click only selects
    // Posted in pairs: the list follows a press in a loop of its own until the release.
    auto click = [&](UINT down, UINT up, WPARAM keys, LPARAM where) {
        PostMessageW(l.Hwnd(), down, keys, where);
        PostMessageW(l.Hwnd(), up, 0, where);
        Pump(30);
    };
    click(WM_RBUTTONDOWN, WM_RBUTTONUP, MK_RBUTTON, at);
    EXPECT_FALSE(l.Editing());
    l.SelectOnly(1);
    click(WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON, at);
    ASSERT_TRUE(l.Editing());
    wchar_t text[16] = {};
    GetWindowTextW(l.EditWindow(), text, 16);
    EXPECT_STREQ(text, L"2");  // row 1, column 1
    EXPECT_EQ(lefts, (std::vector<bool>{false, true}));
    // A click elsewhere in the list ends the edit with commit.
    SetWindowTextW(l.EditWindow(), L"22");
    click(WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON, MAKELPARAM(cell.left + 2, cell.top - 5));
    EXPECT_FALSE(l.Editing());
    EXPECT_EQ(l.CellText(1, 1), L"22");
}

// --- Lamps and arrows -------------------------------------------------------------

void pressCapsLock() {
    keybd_event(VK_CAPITAL, 0x3A, 0, 0);
    keybd_event(VK_CAPITAL, 0x3A, KEYEVENTF_KEYUP, 0);
}

TEST_F(SkinWindow, LampFollowsCapsLockAndRestsWhileHidden) {
    SkinButton& lamp = dialog->caps;
    LockLamps lamps;
    const bool initial = LockLamps::LockIsOn(VK_CAPITAL);
    ASSERT_TRUE(lamps.Start(dialog->hwnd(), nullptr, &lamp, nullptr, S(1), S(2)));
    auto lit = [&] { return lamp.LastSurface() == S(2); };
    auto litPixel = [&] { return ClientPixel(lamp.Hwnd(), 3, 3) == statusPixel(2, lamp.FaceX() + 3, lamp.FaceY() + 3); };
    EXPECT_EQ(lit(), initial);

    pressCapsLock();
    EXPECT_TRUE(PumpUntil([&] { return lit() != initial; }, 2000)) << "the lamp did not follow Caps Lock";
    EXPECT_EQ(LockLamps::LockIsOn(VK_CAPITAL), !initial);
    EXPECT_EQ(litPixel(), !initial);

    ShowWindow(dialog->hwnd(), SW_HIDE);
    Pump(20);
    pressCapsLock();
    Pump(300);
    EXPECT_EQ(lit(), !initial) << "the lamp changed while its window was hidden";
    ShowWindow(dialog->hwnd(), SW_SHOWNOACTIVATE);
    EXPECT_TRUE(PumpUntil([&] { return lit() == initial; }, 2000)) << "showing the window did not catch up";
    EXPECT_EQ(LockLamps::LockIsOn(VK_CAPITAL), initial);
    lamps.Stop();
}

TEST_F(SkinWindow, ArrowsAlternateFramesFollowFlipAndRestWhileHidden) {
    bool flip = false;
    ArrowAnimator arrows;
    SkinButton& left = dialog->left;
    SkinButton& right = dialog->right;
    ASSERT_TRUE(arrows.Start(dialog->hwnd(), &left, &right, dialog->iniPath(), arrowSurface(), [&] { return flip; }, 30));
    std::vector<int> lefts, rights;
    auto watchTicks = [&](unsigned n) {
        lefts.clear();
        rights.clear();
        for (unsigned target = arrows.Ticks() + 1; lefts.size() < n; ++target) {
            if (!PumpUntil([&] { return arrows.Ticks() >= target; }, 2000)) return false;
            lefts.push_back(left.FaceX());
            rights.push_back(right.FaceX());
        }
        return true;
    };
    ASSERT_TRUE(watchTicks(4));
    for (std::size_t i = 0; i < lefts.size(); ++i) {
        EXPECT_TRUE(lefts[i] == 0 || lefts[i] == 16) << lefts[i];  // DOWN_ARROW_LEFT1/2
        EXPECT_TRUE(rights[i] == 0 || rights[i] == 16) << rights[i];
        if (i > 0) {
            EXPECT_NE(lefts[i], lefts[i - 1]) << "frames do not alternate";
        }
    }
    EXPECT_TRUE(PumpUntil([&] { return ClientPixel(left.Hwnd(), 2, 2) == arrowPixel(left.FaceX() + 2, 2); }));

    flip = true;
    ASSERT_TRUE(watchTicks(3));
    for (int x : lefts) EXPECT_TRUE(x == 32 || x == 48) << x;  // UP_ARROW_LEFT1/2
    for (int x : rights) EXPECT_TRUE(x == 32 || x == 48) << x;

    // The flip switch's hover stops the left arrow on its frame; the right goes on.
    arrows.ShowArrowFrame(ArrowSide::Left, 2, true, false);
    ASSERT_TRUE(watchTicks(3));
    EXPECT_EQ(lefts[0], lefts[1]);
    EXPECT_EQ(lefts[1], lefts[2]);
    EXPECT_NE(rights[0], rights[1]);
    arrows.ShowArrowFrame(ArrowSide::Left, 2, true, true);

    ShowWindow(dialog->hwnd(), SW_HIDE);
    Pump(20);
    const unsigned before = arrows.Ticks();
    Pump(200);
    EXPECT_EQ(arrows.Ticks(), before) << "arrows moved while hidden";
    ShowWindow(dialog->hwnd(), SW_SHOWNOACTIVATE);
    EXPECT_TRUE(PumpUntil([&] { return arrows.Ticks() > before; }, 2000));

    // A window kept in the tray refuses the modal loop's show: WM_SHOWWINDOW
    // arrives, the window stays hidden, and the arrows must stay still.
    ShowWindow(dialog->hwnd(), SW_HIDE);
    static WNDPROC previous = nullptr;
    previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        dialog->hwnd(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(+[](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            if (m == WM_WINDOWPOSCHANGING) reinterpret_cast<WINDOWPOS*>(lp)->flags &= ~SWP_SHOWWINDOW;
            return CallWindowProcW(previous, w, m, wp, lp);
        })));
    ShowWindow(dialog->hwnd(), SW_SHOWNOACTIVATE);
    ASSERT_FALSE(IsWindowVisible(dialog->hwnd()));
    Pump(20);
    const unsigned refused = arrows.Ticks();
    Pump(200);
    EXPECT_EQ(arrows.Ticks(), refused) << "arrows moved after a show the window refused";
    SetWindowLongPtrW(dialog->hwnd(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    ShowWindow(dialog->hwnd(), SW_SHOWNOACTIVATE);
    EXPECT_TRUE(PumpUntil([&] { return arrows.Ticks() > refused; }, 2000));
}

// --- Hyperlink label ------------------------------------------------------------

TEST_F(SkinWindow, LinkShowsItsAddressOpensItAndReportsFailure) {
    HWND label = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 150, 20, 80, 14, dialog->hwnd(),
                                 reinterpret_cast<HMENU>(1300), nullptr, nullptr);
    ASSERT_NE(label, nullptr);
    LinkStatic link;
    link.SetUrl(L"http://kb.test/");
    std::vector<std::wstring> opened, reported;
    INT_PTR result = 26;
    link.SetOpener([&](const std::wstring& url) { return opened.push_back(url), result; });
    link.SetFailureReporter([&](const std::wstring& text) { reported.push_back(text); });
    ASSERT_TRUE(link.AttachWindow(label));
    wchar_t text[64] = {};
    GetWindowTextW(label, text, 64);
    EXPECT_STREQ(text, L"http://kb.test/");  // empty text shows the address
    EXPECT_EQ(link.CurrentColour(), COLORREF(0xEE0000));

    SendMessageW(dialog->hwnd(), WM_COMMAND, MAKEWPARAM(1300, STN_CLICKED), reinterpret_cast<LPARAM>(label));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], L"http://kb.test/");
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], L"Unable to open hyperlink:\n\nA sharing violation occurred. ");
    EXPECT_FALSE(link.Visited());

    result = 42;
    SendMessageW(dialog->hwnd(), WM_COMMAND, MAKEWPARAM(1300, STN_CLICKED), reinterpret_cast<LPARAM>(label));
    EXPECT_TRUE(link.Visited());
    EXPECT_EQ(reported.size(), 1u);
    EXPECT_EQ(link.CurrentColour(), COLORREF(0x8B1A55));

    // Hover colour while the pointer is over it; back once it is gone.
    SendMessageW(label, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    EXPECT_TRUE(link.Hovering());
    EXPECT_EQ(link.CurrentColour(), COLORREF(0x0000FF));
    SetCursorPos(1200, 1000);
    EXPECT_TRUE(PumpUntil([&] { return !link.Hovering(); }, 2000));

    // Text without an address opens its text.
    HWND second = CreateWindowExW(0, L"STATIC", L"http://text.test/", WS_CHILD | WS_VISIBLE, 150, 40, 80, 14,
                                  dialog->hwnd(), reinterpret_cast<HMENU>(1301), nullptr, nullptr);
    LinkStatic plain;
    plain.SetOpener([&](const std::wstring& url) { return opened.push_back(url), INT_PTR(33); });
    ASSERT_TRUE(plain.AttachWindow(second));
    SendMessageW(dialog->hwnd(), WM_COMMAND, MAKEWPARAM(1301, STN_CLICKED), reinterpret_cast<LPARAM>(second));
    EXPECT_EQ(opened.back(), L"http://text.test/");
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
        // before onInitDialog returns.
        const std::wstring ini = wargv[2];
        const std::wstring folder = ini.substr(0, ini.find_last_of(L'\\') + 1);
        // With a status picture, the window also builds a surface from it.
        struct Child : kbskin::SkinDialog {
            using SkinDialog::SkinDialog;
            std::wstring status;
            kbskin::SurfaceSet surfaces;
            bool onInitDialog() override {
                SkinDialog::onInitDialog();
                if (!status.empty()) surfaces.BuildFromPaths(hwnd(), {status});
                return FALSE;
            }
        } d(GetModuleHandleW(nullptr), 500, nullptr, ini.c_str(), folder.c_str());
        if (wargc >= 4) d.status = wargv[3];
        if (!d.createModeless()) return 8;
        return 9;
    }
    if (wargc >= 3 && std::wstring(wargv[1]) == L"--skin-show")
        return kbskin::ShowGeneratedWindow(static_cast<DWORD>(_wtoi(wargv[2])), wargc >= 4 ? wargv[3] : L"Profile");
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new kbskin::TrayCleanup);
    return RUN_ALL_TESTS();
}
