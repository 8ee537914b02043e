// The one button of the skinned windows: copies its face for the current state
// out of a status surface; can draw its text, show a tooltip and report drawings.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "gdi_owner.h"
#include "skin_picture.h"
#include "subclass.h"

namespace kbskin {

enum class ButtonFace { None, Normal, Hover, Pressed, Disabled, Marked };

class SkinButton : public CSubclassWnd {
public:
    // Called after every drawing with the button and whether the normal face was used.
    using DrawCallback = std::function<void(HWND button, bool normalFace)>;

    SkinButton() = default;
    ~SkinButton() override;

    // Takes over dialog control `id` (an ordinary push button) and makes it
    // owner-drawn. False when there is no such control.
    bool Attach(HWND dialog, int id);
    bool AttachWindow(HWND button);
    [[nodiscard]] HWND Hwnd() const noexcept { return HookedWindow(); }

    // Face offset and the five surfaces (normal, hover, pressed, disabled,
    // marked); clears hover, tracking and pressed; draws at once when redraw.
    void SetFaces(int faceX, int faceY, const StatusSurface* normal, const StatusSurface* hover,
                  const StatusSurface* pressed, const StatusSurface* disabled,
                  const StatusSurface* marked, bool redraw = true);
    // The same, keeping the face offset.
    void SetSurfaces(const StatusSurface* normal, const StatusSurface* hover,
                     const StatusSurface* pressed, const StatusSurface* disabled,
                     const StatusSurface* marked, bool redraw = true);
    void Redraw();
    void SetMarked(bool marked, bool redraw);
    [[nodiscard]] bool Marked() const noexcept { return marked_; }

    // Text over the face; off until switched on here. format: DrawText flags.
    void SetCaptionStyle(bool on, int points, const wchar_t* fontFace, COLORREF colour,
                         UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    void SetDrawCallback(DrawCallback callback);
    // Empty text changes nothing; the tip shows over the whole button.
    void SetTooltip(const std::wstring& text, bool activate = true);

    // What the latest drawing used: for tests and for owners that mirror state.
    [[nodiscard]] ButtonFace LastFace() const noexcept { return lastFace_; }
    [[nodiscard]] const StatusSurface* LastSurface() const noexcept { return lastSurface_; }
    [[nodiscard]] int FaceX() const noexcept { return faceX_; }
    [[nodiscard]] int FaceY() const noexcept { return faceY_; }
    [[nodiscard]] bool Hovering() const noexcept { return hover_; }

protected:
    LRESULT OnHookedMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Draw(HDC dc);
    void DeleteTooltip();

    const StatusSurface* faces_[5] = {};
    const StatusSurface* lastSurface_ = nullptr;
    ButtonFace lastFace_ = ButtonFace::None;
    bool hover_ = false;
    bool tracking_ = false;
    bool pressed_ = false;
    bool marked_ = false;
    int faceX_ = 0;
    int faceY_ = 0;
    bool captionOn_ = false;
    int captionPoints_ = 8;
    std::wstring captionFont_ = L"Arial";
    COLORREF captionColour_ = 0;
    UINT captionFormat_ = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
    DrawCallback drawCallback_;
    std::wstring tooltipText_;
    HWND tooltip_ = nullptr;
};

}  // namespace kbskin
