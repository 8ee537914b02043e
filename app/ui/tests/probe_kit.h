// What the probes that look into a running KbPanel.exe share: printing for
// the test scripts, memory in the program's process for the messages whose
// answers are pointers, and the text of a control's tool tip.
#pragma once

#include <windows.h>

#include "common/win/unique_handle.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kb::probe {

// `text` as UTF-8 on stdout, then `end`.
void printUtf8(std::wstring_view text, const char* end = "\n");

// The top-level windows of process `pid`, in Z order.
[[nodiscard]] std::vector<HWND> windowsOf(DWORD pid);

// The program's process, opened for reading and writing its memory.
[[nodiscard]] kbwin::UniqueHandle openForMemory(DWORD pid);

// A block of memory in another process, freed with its owner.
class RemoteBlock {
public:
    RemoteBlock(HANDLE process, std::size_t size);
    ~RemoteBlock();
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;

    explicit operator bool() const noexcept { return base_ != nullptr; }
    // The address of byte `offset`, as the other process sees it.
    [[nodiscard]] void* at(std::size_t offset = 0) const noexcept { return static_cast<char*>(base_) + offset; }
    [[nodiscard]] LPARAM lparam() const noexcept { return reinterpret_cast<LPARAM>(base_); }
    bool write(const void* data, std::size_t size, std::size_t offset = 0) const;
    bool read(void* data, std::size_t size, std::size_t offset = 0) const;

private:
    HANDLE process_;
    void* base_;
};

struct ToolTip {
    bool found = false;  // some tool tip window of the program has a text for the control
    bool visible = false;
    std::wstring text;
};

// What the program's tool tips hold for `control` (its tool 1, as our
// controls add it). A pop-up's owner is the top-level window, so every tool
// tip window of the program is asked.
[[nodiscard]] ToolTip toolTipOf(DWORD pid, HANDLE process, HWND control);

// A probe's entry: runs one command, flushes what it printed; an exception
// ends it with 3.
int runProbe(int (*run)(int, wchar_t**), int argc, wchar_t** argv);

}  // namespace kb::probe
