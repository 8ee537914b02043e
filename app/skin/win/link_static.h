// A static text control turned into a web link: link colours, underline while
// hovered, hand cursor, tooltip, and opening the address when clicked.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "gdi_owner.h"
#include "subclass.h"

namespace kbskin {

class LinkStatic : public CSubclassWnd {
public:
    // Opens an address; returns the shell's result (above 32 is success).
    using Opener = std::function<INT_PTR(const std::wstring& url)>;

    LinkStatic() = default;
    ~LinkStatic() override;

    // Takes over dialog control `id` (a static text). False when there is none.
    bool Attach(HWND dialog, int id);
    bool AttachWindow(HWND control);
    [[nodiscard]] HWND Hwnd() const noexcept { return HookedWindow(); }

    void SetUrl(const std::wstring& url);
    [[nodiscard]] const std::wstring& Url() const noexcept { return url_; }
    void SetColours(COLORREF link, COLORREF visited, COLORREF hover);
    // -1: underline while hovered; 1: always; 0: never.
    void SetUnderline(int mode);
    void SetAdjustToFit(bool on) noexcept { adjustToFit_ = on; }
    [[nodiscard]] bool Visited() const noexcept { return visited_; }
    [[nodiscard]] bool Hovering() const noexcept { return hovering_; }
    // Replaces the whole open, shell and registered-opener fallback (tests).
    void SetOpener(Opener opener) { opener_ = std::move(opener); }
    // Replaces the failure message box (tests).
    void SetFailureReporter(std::function<void(const std::wstring&)> report) {
        report_ = std::move(report);
    }
    // Opens the address as a click does; the shell's result.
    INT_PTR Open();

    // Colour the dialog's WM_CTLCOLORSTATIC should use; the label handles that
    // itself when its parent is a SkinDialog (reflection) or hooks the parent.
    [[nodiscard]] COLORREF CurrentColour() const noexcept;

protected:
    LRESULT OnHookedMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    class ParentHook : public CSubclassWnd {
    public:
        explicit ParentHook(LinkStatic& owner) : owner_(owner) {}

    protected:
        LRESULT OnHookedMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    private:
        LinkStatic& owner_;
    };

    void Prepare();
    void Click();
    void Leave();
    void ShowUnderline(bool redraw);

    COLORREF linkColour_ = 0xEE0000;
    COLORREF visitedColour_ = 0x8B1A55;
    COLORREF hoverColour_ = 0x0000FF;
    bool hovering_ = false;
    bool visited_ = false;
    bool focused_ = false;
    int underlineMode_ = -1;
    bool adjustToFit_ = true;
    std::wstring url_;
    UniqueFont underlineFont_;
    UniqueFont normalFont_;
    UniqueCursor ownCursor_;
    HCURSOR cursor_ = nullptr;
    HFONT originalFont_ = nullptr;
    HWND tooltip_ = nullptr;
    UINT_PTR timerId_ = 100;
    Opener opener_;
    std::function<void(const std::wstring&)> report_;
    ParentHook parentHook_{*this};
};

}  // namespace kbskin
