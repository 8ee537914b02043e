// The skin engine under Wine, driven through a skinned test dialog built from
// pictures and INI files that the tests write themselves: the window base,
// buttons, pictures, leaks and the subclass chain.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/win/unique_handle.h"
#include "gdi_owner.h"
#include "skin_win_fixture.h"
#include "subclass.h"

namespace kbskin {
int ShowGeneratedWindow(DWORD ms, const std::wstring& name);
namespace {

using namespace kbskin::test;

// --- Window base -------------------------------------------------------------

TEST_F(SkinWindow, TakesTheBackgroundSizeRegionAndPicture) {
    HWND w = dialog->hwnd();
    RECT r{};
    GetWindowRect(w, &r);
    EXPECT_EQ(r.right - r.left, kWidth);  // the template asks for 300 x 200 dialog units
    EXPECT_EQ(r.bottom - r.top, kHeight);
    UniqueRegion region(CreateRectRgn(0, 0, 0, 0));
    ASSERT_NE(GetWindowRgn(w, region.get()), ERROR);
    for (auto [x, y] : std::vector<std::pair<int, int>>{
             {0, 0}, {9, 9}, {10, 0}, {0, 10}, {85, 65}, {79, 65}, {90, 69}, {239, 159}, {120, 80}, {89, 60}}) {
        EXPECT_EQ(PtInRegion(region.get(), x, y) != FALSE, !maskHole(x, y)) << x << "," << y;
    }
    EXPECT_FALSE(PtInRegion(region.get(), kWidth, 20));
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
    UniqueRegion region(CreateRectRgn(0, 0, 0, 0));
    ASSERT_NE(GetWindowRgn(d.hwnd(), region.get()), ERROR);
    EXPECT_TRUE(PtInRegion(region.get(), 50, 50));
    EXPECT_TRUE(PtInRegion(region.get(), 99, 150));
    EXPECT_FALSE(PtInRegion(region.get(), 100, 100));
    EXPECT_FALSE(PtInRegion(region.get(), 239, 159));
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
    const kbwin::UniqueHandle thread(process.hThread), child(process.hProcess);
    DWORD code = 1001;
    if (WaitForSingleObject(child.get(), 20000) == WAIT_OBJECT_0) GetExitCodeProcess(child.get(), &code);
    else TerminateProcess(child.get(), 1002);
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
    {
        const UniqueMemDC dc(CreateCompatibleDC(nullptr));
        const SelectGuard picked(dc.get(), bg.get());
        EXPECT_EQ(GetPixel(dc.get(), 17, 33), backgroundPixel(17, 33));
        EXPECT_EQ(GetPixel(dc.get(), 239, 0), backgroundPixel(239, 0));
    }
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
    testing::AddGlobalTestEnvironment(kbskin::test::NewTrayCleanup());
    return RUN_ALL_TESTS();
}
