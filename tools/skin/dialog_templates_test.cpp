// The generated dialog templates, loaded by the real dialog manager, must put
// every skinned control exactly where the skin's INI file places it, so that the
// pictures, the INI files and the dialogs agree. Also checks the icons and that
// the build put the skin beside the program.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>  // before GDI+, which needs it under WIN32_LEAN_AND_MEAN
#include <gdiplus.h>
#include <olectl.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "common/win/ui_owners.h"
#include "control_ids.h"

namespace {

namespace ids = kb::res;

std::wstring programFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path);
    return s.substr(0, s.find_last_of(L"\\/") + 1);
}

INT_PTR CALLBACK quietProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

struct Dialog {
    explicit Dialog(int id)
        : hwnd(CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), nullptr, quietProc, 0)) {}
    ~Dialog() {
        if (hwnd) DestroyWindow(hwnd);
    }
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;
    HWND hwnd;
};

std::vector<HWND> children(HWND dlg) {
    std::vector<HWND> out;
    for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
    return out;
}

RECT clientRectOf(HWND dlg, HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::wstring className(HWND h) {
    wchar_t buf[64] = {};
    GetClassNameW(h, buf, 64);
    return buf;
}

// Every BUTTONINFO entry of an INI file, as key -> rectangle.
std::vector<std::pair<std::wstring, std::array<int, 4>>> placements(const std::wstring& ini) {
    std::vector<wchar_t> keys(32768);
    DWORD n = GetPrivateProfileStringW(L"BUTTONINFO", nullptr, L"", keys.data(), static_cast<DWORD>(keys.size()),
                                       ini.c_str());
    std::vector<std::pair<std::wstring, std::array<int, 4>>> out;
    for (DWORD i = 0; i < n;) {
        std::wstring key(keys.data() + i);
        i += static_cast<DWORD>(key.size()) + 1;
        wchar_t value[260] = {};
        GetPrivateProfileStringW(L"BUTTONINFO", key.c_str(), L"", value, 260, ini.c_str());
        std::array<int, 4> r{};
        if (swscanf(value, L"%d,%d,%d,%d", &r[0], &r[1], &r[2], &r[3]) == 4) out.emplace_back(key, r);
    }
    return out;
}

struct Skinned {
    int templateId;
    const wchar_t* ini;
    int controls;
};

// Which control each INI key places: the same table drives both, so the ids come
// from the dialog's control whose rectangle starts at the INI position.
class DialogTemplates : public testing::TestWithParam<Skinned> {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&icc);
    }
};

TEST_P(DialogTemplates, EveryIniPlacementMatchesATemplateControl) {
    const Skinned& s = GetParam();
    Dialog dlg(s.templateId);
    ASSERT_NE(dlg.hwnd, nullptr) << "template " << s.templateId << " error " << GetLastError();
    auto kids = children(dlg.hwnd);
    EXPECT_EQ(static_cast<int>(kids.size()), s.controls);

    std::wstring ini = programFolder() + L"Skins\\" + s.ini;
    auto placed = placements(ini);
    ASSERT_FALSE(placed.empty()) << "no skin beside the program";
    for (const auto& [key, r] : placed) {
        bool found = false;
        for (HWND k : kids) {
            RECT c = clientRectOf(dlg.hwnd, k);
            if (c.left != r[0] || c.top != r[1]) continue;
            found = true;
            // a drop-down list's template height is that of its open list
            if (className(k) == L"ComboBox") {
                EXPECT_EQ(c.right - c.left, r[2]) << std::string(key.begin(), key.end());
            } else {
                EXPECT_EQ(c.right - c.left, r[2]) << std::string(key.begin(), key.end());
                EXPECT_EQ(c.bottom - c.top, r[3]) << std::string(key.begin(), key.end());
            }
        }
        EXPECT_TRUE(found) << "no control at " << r[0] << "," << r[1] << " for "
                           << std::string(key.begin(), key.end());
    }
}

INSTANTIATE_TEST_SUITE_P(Windows, DialogTemplates,
                         testing::Values(Skinned{ids::kDlgMain, L"Main.ini", 138},
                                         Skinned{ids::kDlgProfiles, L"Profile.ini", 13},
                                         Skinned{ids::kDlgKeyFunction, L"Key.ini", 24},
                                         Skinned{ids::kDlgMacroEditor, L"Macro.ini", 17}));

TEST_P(DialogTemplates, IsAllClientAreaWithoutAFrame) {
    Dialog dlg(GetParam().templateId);
    ASSERT_NE(dlg.hwnd, nullptr);
    RECT window{}, client{};
    GetWindowRect(dlg.hwnd, &window);
    GetClientRect(dlg.hwnd, &client);
    EXPECT_EQ(window.right - window.left, client.right);
    EXPECT_EQ(window.bottom - window.top, client.bottom);
    EXPECT_FALSE(GetWindowLongW(dlg.hwnd, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME | WS_BORDER));
}

template <size_t N>
void expectPlacedControlsExist(int templateId, const wchar_t* ini, const ids::SkinControl (&controls)[N]) {
    Dialog dlg(templateId);
    ASSERT_NE(dlg.hwnd, nullptr);
    const std::wstring path = programFolder() + L"Skins\\" + ini;
    for (const auto& c : controls) {
        HWND h = GetDlgItem(dlg.hwnd, c.id);
        ASSERT_NE(h, nullptr) << c.id;
        wchar_t value[260] = {};
        GetPrivateProfileStringW(L"BUTTONINFO", c.key, L"", value, 260, path.c_str());
        int x = -1, y = -1;
        ASSERT_EQ(swscanf(value, L"%d,%d", &x, &y), 2) << c.id;
        RECT r = clientRectOf(dlg.hwnd, h);
        EXPECT_EQ(r.left, x) << c.id;
        EXPECT_EQ(r.top, y) << c.id;
    }
}

TEST(SkinControlTables, NameTheControlThatEachKeyPlaces) {
    expectPlacedControlsExist(ids::kDlgMain, L"Main.ini", ids::main_window::kSkinControls);
    expectPlacedControlsExist(ids::kDlgProfiles, L"Profile.ini", ids::profiles::kSkinControls);
    expectPlacedControlsExist(ids::kDlgKeyFunction, L"Key.ini", ids::key_function::kSkinControls);
    expectPlacedControlsExist(ids::kDlgMacroEditor, L"Macro.ini", ids::macro_editor::kSkinControls);
}

TEST(DialogFont, HasTheBaseUnitsTheSkinIsDrawnFor) {
    Dialog dlg(ids::kDlgMain);
    ASSERT_NE(dlg.hwnd, nullptr);
    RECT r{0, 0, 4, 8};
    ASSERT_TRUE(MapDialogRect(dlg.hwnd, &r));
    EXPECT_EQ(r.right, 6);
    EXPECT_EQ(r.bottom, 13);
}

TEST(MainTemplate, KeyButtonsAreButtonsAndTheHiddenOnesStayHidden) {
    Dialog dlg(ids::kDlgMain);
    ASSERT_NE(dlg.hwnd, nullptr);
    namespace m = ids::main_window;
    int keys = 0;
    for (const auto& k : m::kMacroKeys) keys += GetDlgItem(dlg.hwnd, k.id) != nullptr;
    for (const auto& k : m::kKeyboardKeys) keys += GetDlgItem(dlg.hwnd, k.id) != nullptr;
    for (const auto& k : m::kKeypadKeys) {
        HWND h = GetDlgItem(dlg.hwnd, k.id);
        keys += h != nullptr;
        EXPECT_EQ(className(h), L"Button");
    }
    EXPECT_EQ(keys, 115);
    for (int id : {m::kKeyEnterUpper, m::kTest, m::kDynamicMenu}) {
        HWND h = GetDlgItem(dlg.hwnd, id);
        ASSERT_NE(h, nullptr) << id;
        EXPECT_FALSE(GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE) << id;
    }
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dlg.hwnd, m::kKeyEnterUpper)));
    for (int id : {m::kLampCaps, m::kLampNum, m::kLampScroll, m::kLampBank, m::kFlipLamp, m::kArrowLeft,
                   m::kArrowRight}) {
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dlg.hwnd, id))) << id;
    }
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dlg.hwnd, m::kFlipLeft)));
    wchar_t text[64] = {};
    GetDlgItemTextW(dlg.hwnd, m::kMacroEditor, text, 64);
    EXPECT_STREQ(text, L"\u5b8f\u7f16\u8f91...");  // UTF-8 source read as such
}

TEST(KeyTemplate, ApplyIsHiddenAndRadioButtonsFormOneGroup) {
    Dialog dlg(ids::kDlgKeyFunction);
    ASSERT_NE(dlg.hwnd, nullptr);
    namespace k = ids::key_function;
    EXPECT_FALSE(GetWindowLongW(GetDlgItem(dlg.hwnd, k::kKeyApply), GWL_STYLE) & WS_VISIBLE);
    const int radios[] = {k::kKeyTypeDefault, k::kKeyTypeNone, k::kKeyTypeKey, k::kKeyTypeProgram,
                          k::kKeyTypeMacro, k::kKeyTypeStop, k::kKeyTypeText};
    for (int id : radios) {
        LONG style = GetWindowLongW(GetDlgItem(dlg.hwnd, id), GWL_STYLE);
        EXPECT_EQ(style & BS_TYPEMASK, BS_AUTORADIOBUTTON) << id;
        EXPECT_EQ((style & WS_GROUP) != 0, id == k::kKeyTypeDefault) << id;
    }
    EXPECT_EQ(className(GetDlgItem(dlg.hwnd, k::kKeyTarget)), L"ComboBox");
}

TEST(AboutTemplate, IsAPlainCaptionedDialog) {
    Dialog dlg(ids::kDlgAbout);
    ASSERT_NE(dlg.hwnd, nullptr);
    wchar_t title[32] = {};
    GetWindowTextW(dlg.hwnd, title, 32);
    EXPECT_STREQ(title, L"\u5173\u4e8e");
    EXPECT_TRUE(GetWindowLongW(dlg.hwnd, GWL_STYLE) & WS_CAPTION);
    EXPECT_NE(GetDlgItem(dlg.hwnd, ids::about::kAboutOk), nullptr);
}

TEST(Icons, LoadAtTrayAndWindowSizes) {
    for (int id : {ids::kIconApp, ids::kIconAttached, ids::kIconPlaying}) {
        for (int size : {16, 32, 48}) {
            HICON icon = static_cast<HICON>(
                LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
            ASSERT_NE(icon, nullptr) << id << " at " << size;
            ICONINFO info{};
            ASSERT_TRUE(GetIconInfo(icon, &info));
            const kbwin::UniqueBitmap color(info.hbmColor), mask(info.hbmMask);
            BITMAP bm{};
            GetObjectW(color.get(), sizeof(bm), &bm);
            EXPECT_EQ(bm.bmWidth, size);
            DestroyIcon(icon);
        }
    }
}

// The skin's own set and the scaled ones in their subfolders.
const wchar_t* const kSetFolders[] = {L"", L"125\\", L"150\\", L"175\\", L"200\\"};

TEST(SkinFolder, HoldsEveryPictureTheWindowsLoad) {
    std::vector<std::wstring> names = {L"Arrow.jpg"};
    for (const wchar_t* p : {L"Main", L"Profile", L"Key", L"Macro"}) {
        int n = std::wstring(p) == L"Macro" ? 5 : 4;
        for (int i = 1; i <= n; ++i) names.push_back(std::wstring(p) + L"_Status" + std::to_wstring(i) + L".jpg");
        names.push_back(std::wstring(p) + L"_Mask.bmp");
        names.push_back(std::wstring(p) + L".ini");
    }
    for (int i = 1; i <= 4; ++i) names.push_back(L"Main_Status" + std::to_wstring(i) + L"_2.jpg");
    for (const wchar_t* set : kSetFolders) {
        const std::wstring dir = programFolder() + L"Skins\\" + set;
        for (const auto& n : names) {
            const std::wstring path = dir + n;
            EXPECT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << std::string(path.begin(), path.end());
        }
    }
    EXPECT_NE(GetFileAttributesW((programFolder() + L"Help\\index.html").c_str()), INVALID_FILE_ATTRIBUTES);
}

// The skin's pictures must decode with the loaders the skin engine uses: the OLE
// picture loader for backgrounds and masks, GDI+ for the status images.
namespace pictures {

struct GdiplusSession {
    GdiplusSession() {
        Gdiplus::GdiplusStartupInput input;
        ok = Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    }
    ~GdiplusSession() {
        if (ok) Gdiplus::GdiplusShutdown(token);
    }
    ULONG_PTR token = 0;
    bool ok = false;
};

SIZE gdiplusSize(const std::wstring& path) {
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (Gdiplus::DllExports::GdipCreateBitmapFromFile(path.c_str(), &bitmap) != Gdiplus::Ok || !bitmap) return {};
    UINT w = 0, h = 0;
    Gdiplus::DllExports::GdipGetImageWidth(bitmap, &w);
    Gdiplus::DllExports::GdipGetImageHeight(bitmap, &h);
    Gdiplus::DllExports::GdipDisposeImage(bitmap);
    return {static_cast<LONG>(w), static_cast<LONG>(h)};
}

// Decodes through OleLoadPicture and returns the pixels as 32-bit top-down rows.
bool olePixels(const std::wstring& path, int& w, int& h, std::vector<DWORD>& px) {
    const kbwin::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    DWORD size = GetFileSize(file.get(), nullptr);
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, size);
    DWORD read = 0;
    bool ok = mem && ReadFile(file.get(), GlobalLock(mem), size, &read, nullptr) && read == size;
    if (mem) GlobalUnlock(mem);
    IStream* stream = nullptr;
    if (!ok || FAILED(CreateStreamOnHGlobal(mem, TRUE, &stream))) return false;
    IPicture* picture = nullptr;
    HRESULT hr = OleLoadPicture(stream, static_cast<LONG>(size), FALSE, IID_IPicture,
                                reinterpret_cast<void**>(&picture));
    stream->Release();
    if (FAILED(hr) || !picture) return false;
    OLE_HANDLE handle = 0;
    picture->get_Handle(&handle);
    HBITMAP bmp = reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle));
    BITMAP info{};
    GetObjectW(bmp, sizeof(info), &info);
    w = info.bmWidth;
    h = info.bmHeight;
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    px.assign(static_cast<size_t>(w) * h, 0);
    const int lines = GetDIBits(kbwin::WindowDc(nullptr).get(), bmp, 0, h, px.data(), &bi, DIB_RGB_COLORS);
    picture->Release();
    return lines == h;
}

struct Expected {
    const wchar_t* prefix;
    int templateId;
    int images;
};

TEST(SkinPictures, DecodeWithTheSystemLoadersAtTheWindowSize) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    GdiplusSession gdiplus;
    ASSERT_TRUE(gdiplus.ok);
    const std::wstring dir = programFolder() + L"Skins\\";
    for (const Expected& e : {Expected{L"Main", ids::kDlgMain, 4}, Expected{L"Profile", ids::kDlgProfiles, 4},
                              Expected{L"Key", ids::kDlgKeyFunction, 4}, Expected{L"Macro", ids::kDlgMacroEditor, 5}}) {
        Dialog dlg(e.templateId);
        ASSERT_NE(dlg.hwnd, nullptr);
        RECT client{};
        GetClientRect(dlg.hwnd, &client);
        const std::string name(e.prefix, e.prefix + wcslen(e.prefix));
        for (int i = 1; i <= e.images; ++i) {
            SIZE s = gdiplusSize(dir + e.prefix + L"_Status" + std::to_wstring(i) + L".jpg");
            EXPECT_EQ(s.cx, client.right) << name << i;
            EXPECT_EQ(s.cy, client.bottom) << name << i;
        }
        int w = 0, h = 0;
        std::vector<DWORD> px;
        ASSERT_TRUE(olePixels(dir + e.prefix + L"_Mask.bmp", w, h, px)) << name;
        EXPECT_EQ(w, client.right) << name;
        EXPECT_EQ(h, client.bottom) << name;
        // pure white outside (the corner), anything else inside (the middle)
        EXPECT_EQ(px[0] & 0xFFFFFF, 0xFFFFFFu) << name;
        EXPECT_NE(px[static_cast<size_t>(h / 2) * w + w / 2] & 0xFFFFFF, 0xFFFFFFu) << name;
        ASSERT_TRUE(olePixels(dir + e.prefix + L"_Status1.jpg", w, h, px)) << name;
        EXPECT_EQ(w, client.right) << name;
    }
    SIZE arrow = gdiplusSize(dir + L"Arrow.jpg");
    EXPECT_GT(arrow.cx, 0);
    CoUninitialize();
}

// A scaled set's pictures (run-length masks among them) decode with the same
// loaders, each the skin's own size grown by the set's scale.
TEST(SkinPictures, ScaledSetsDecodeAtTheirScale) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    GdiplusSession gdiplus;
    ASSERT_TRUE(gdiplus.ok);
    const std::wstring skins = programFolder() + L"Skins\\";
    for (int pct : {125, 150, 175, 200}) {
        const std::wstring dir = skins + std::to_wstring(pct) + L"\\";
        for (const wchar_t* prefix : {L"Main", L"Profile", L"Key", L"Macro"}) {
            const std::string name = std::string(prefix, prefix + wcslen(prefix)) + " " + std::to_string(pct);
            const SIZE own = gdiplusSize(skins + prefix + L"_Status1.jpg");
            const SIZE scaled = gdiplusSize(dir + prefix + L"_Status1.jpg");
            EXPECT_NEAR(scaled.cx, MulDiv(own.cx, pct, 100), 2) << name;
            EXPECT_NEAR(scaled.cy, MulDiv(own.cy, pct, 100), 2) << name;
            int w = 0, h = 0;
            std::vector<DWORD> px;
            ASSERT_TRUE(olePixels(dir + prefix + L"_Mask.bmp", w, h, px)) << name;
            EXPECT_EQ(w, scaled.cx) << name;
            EXPECT_EQ(h, scaled.cy) << name;
            EXPECT_EQ(px[0] & 0xFFFFFF, 0xFFFFFFu) << name;
            EXPECT_EQ(px[static_cast<size_t>(h / 2) * w + w / 2] & 0xFFFFFF, 0u) << name;
        }
    }
    CoUninitialize();
}

}  // namespace pictures

}  // namespace
