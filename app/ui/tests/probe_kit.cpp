#include "probe_kit.h"

#include <commctrl.h>

#include "common/text/text_convert.h"

#include <cstdio>
#include <vector>

namespace kb::probe {

void printUtf8(std::wstring_view text, const char* end) {
    std::printf("%s%s", kbtext::toUtf8(kbtext::asU16(text)).c_str(), end);
}

kbwin::UniqueHandle openForMemory(DWORD pid) {
    return kbwin::UniqueHandle(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
}

RemoteBlock::RemoteBlock(HANDLE process, std::size_t size)
    : process_(process), base_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE)) {}

RemoteBlock::~RemoteBlock() {
    if (base_ != nullptr) VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
}

bool RemoteBlock::write(const void* data, std::size_t size, std::size_t offset) const {
    return base_ != nullptr && WriteProcessMemory(process_, at(offset), data, size, nullptr) != FALSE;
}

bool RemoteBlock::read(void* data, std::size_t size, std::size_t offset) const {
    return base_ != nullptr && ReadProcessMemory(process_, at(offset), data, size, nullptr) != FALSE;
}

namespace {

struct Collect {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK collect(HWND w, LPARAM lp) {
    auto* c = reinterpret_cast<Collect*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == c->pid) c->found.push_back(w);
    return TRUE;
}

// The text tool tip window `tip` holds for tool 1 of `control`; empty for none.
std::wstring tipText(HWND tip, HANDLE process, HWND control) {
    constexpr std::size_t units = 512;
    const RemoteBlock block(process, sizeof(TTTOOLINFOW) + (units + 1) * sizeof(wchar_t));
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = control;
    tool.uId = 1;
    tool.lpszText = static_cast<wchar_t*>(block.at(sizeof(TTTOOLINFOW)));
    // A window without that tool leaves the text as it was: empty.
    std::vector<wchar_t> text(units + 1, L'\0');
    if (!block.write(&tool, sizeof tool) || !block.write(text.data(), sizeof(wchar_t), sizeof(TTTOOLINFOW))) return {};
    SendMessageW(tip, TTM_GETTEXTW, units, block.lparam());
    if (!block.read(text.data(), units * sizeof(wchar_t), sizeof(TTTOOLINFOW))) return {};
    return text.data();
}

}  // namespace

std::vector<HWND> windowsOf(DWORD pid) {
    Collect c{pid, {}};
    EnumWindows(&collect, reinterpret_cast<LPARAM>(&c));
    return c.found;
}

ToolTip toolTipOf(DWORD pid, HANDLE process, HWND control) {
    for (HWND w : windowsOf(pid)) {
        wchar_t cls[64] = {};
        GetClassNameW(w, cls, 64);
        if (lstrcmpiW(cls, TOOLTIPS_CLASSW) != 0) continue;
        std::wstring text = tipText(w, process, control);
        if (!text.empty()) return {true, IsWindowVisible(w) != FALSE, std::move(text)};
    }
    return {};
}

int runProbe(int (*run)(int, wchar_t**), int argc, wchar_t** argv) {
    try {
        const int rc = run(argc, argv);
        std::fflush(stdout);
        return rc;
    } catch (...) {
        return 3;
    }
}

}  // namespace kb::probe
