#include "skin_test_support.h"

#include <winternl.h>

#include "common/win/ui_owners.h"

#include <cstdio>

namespace kbskin::test {

void WriteBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
    const kbwin::UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::vector<std::uint8_t> ReadBytes(const std::wstring& path) {
    std::vector<std::uint8_t> bytes;
    const kbwin::UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return bytes;
    LARGE_INTEGER size{};
    GetFileSizeEx(file.get(), &size);
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    return bytes;
}

void WriteText(const std::wstring& path, const std::string& utf8) {
    WriteBytes(path, std::vector<std::uint8_t>(utf8.begin(), utf8.end()));
}

void WriteBmp(const std::wstring& path, int width, int height, const PixelFn& pixel) {
    const std::uint32_t stride = ((static_cast<std::uint32_t>(width) * 3 + 3) / 4) * 4;
    const std::uint32_t size = 54 + stride * static_cast<std::uint32_t>(height);
    std::vector<std::uint8_t> b(size, 0);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, size);
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(height));
    b[26] = 1;
    b[28] = 24;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = &b[54 + stride * static_cast<std::uint32_t>(height - 1 - y)];
        for (int x = 0; x < width; ++x) {
            const COLORREF c = pixel(x, y);
            row[x * 3] = GetBValue(c);
            row[x * 3 + 1] = GetGValue(c);
            row[x * 3 + 2] = GetRValue(c);
        }
    }
    WriteBytes(path, b);
}

std::wstring MakeTempFolder(const wchar_t* stem) {
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    static int serial = 0;
    const std::wstring folder = std::wstring(base) + stem + std::to_wstring(GetCurrentProcessId()) + L"_" +
                                std::to_wstring(++serial) + L"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (done()) return true;
        if (GetTickCount64() >= end) return done();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

void Pump(DWORD forMs) { PumpUntil([] { return false; }, forMs); }

namespace {

#pragma pack(push, 1)
struct GdiEntry {  // one cell of the process's GDI handle table
    std::uint64_t object;
    std::uint16_t processId;
    std::uint16_t count;
    std::uint16_t unique;
    std::uint8_t type;
    std::uint8_t flags;
    std::uint64_t user;
};
#pragma pack(pop)
static_assert(sizeof(GdiEntry) == 24);

}  // namespace

int LiveGdiObjects() {
    if (DWORD n = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return static_cast<int>(n);
#ifdef _WIN64
    PROCESS_BASIC_INFORMATION basic{};
    if (NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0)
        return -1;
    auto* peb = reinterpret_cast<std::uint8_t*>(basic.PebBaseAddress);
    const auto* table = *reinterpret_cast<GdiEntry* const*>(peb + 0xF8);
    if (!table) return -1;
    const auto pid = static_cast<std::uint16_t>(GetCurrentProcessId());
    int n = 0;
    for (int i = 0; i < 0x10000; ++i)
        if (table[i].type != 0 && (table[i].processId == 0 || table[i].processId == pid)) ++n;
    return n;
#else
    return -1;
#endif
}

int ThreadWindows() {
    int n = 0;
    EnumThreadWindows(
        GetCurrentThreadId(), [](HWND, LPARAM count) { return ++*reinterpret_cast<int*>(count), TRUE; },
        reinterpret_cast<LPARAM>(&n));
    return n;
}

void ShowQuietly(HWND window) {
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);
    Pump(50);
}

COLORREF ClientPixel(HWND window, int x, int y) {
    const kbwin::WindowDc dc(window);
    return GetPixel(dc.get(), x, y);
}

}  // namespace kbskin::test
