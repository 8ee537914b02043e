#include "about_box.h"

#include "common/crash/crash_report.h"
#include "control_ids.h"
#include "kb_version.h"

namespace kb::ui {

AboutBox::AboutBox(std::wstring webAddress, std::function<void()> help)
    : SkinDialog(GetModuleHandleW(nullptr), res::kDlgAbout, nullptr, nullptr, nullptr),
      webAddress_(std::move(webAddress)),
      help_(std::move(help)) {
    table_.on(WM_HELP, [this](WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (help_) help_();
        return TRUE;
    });
}

bool AboutBox::open() {
    if (!createModeless()) return false;
    ShowWindow(hwnd(), SW_SHOW);
    return true;
}

bool AboutBox::onInitDialog() {
    // The one version of the build, as the version resource and the setup carry it.
    SetDlgItemTextW(hwnd(), res::about::kAboutProduct, L"Vortek键盘设定  " KB_VERSION_SHORT_WSTRING);
    link_.SetUrl(webAddress_);
    (void)link_.Attach(hwnd(), res::about::kAboutLink);
    addCrashReportLine();
    // Enter means OK; Tab goes on to the link.
    SetFocus(item(res::about::kAboutOk));
    return false;
}

// After a crash the box says where its report lies, on a line of its own
// below the template's content; nothing else ever mentions it.
void AboutBox::addCrashReportLine() {
    const std::wstring report = kb::crash::latestReport();
    if (report.empty()) return;
    RECT line{40, 52, 250, 61};  // dialog units, under the web address
    MapDialogRect(hwnd(), &line);
    RECT box{};
    GetWindowRect(hwnd(), &box);
    const int grow = line.bottom - line.top + 4;
    SetWindowPos(hwnd(), nullptr, 0, 0, box.right - box.left, box.bottom - box.top + grow,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    const std::wstring text = L"上次崩溃报告: " + report;
    HWND label = CreateWindowExW(0, L"STATIC", text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS,
                                 line.left, line.top, line.right - line.left, line.bottom - line.top, hwnd(),
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCrashReportLabel)), nullptr, nullptr);
    SendMessageW(label, WM_SETFONT, SendMessageW(hwnd(), WM_GETFONT, 0, 0), FALSE);
}

}  // namespace kb::ui
