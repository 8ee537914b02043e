// Base of the skinned windows: a dialog from a template of the owning program,
// sized to its background picture, shaped by its mask, dragged by its background.
#pragma once

#include <windows.h>

#include <string>

#include "gdi_owner.h"
#include "skin_ini.h"

namespace kbskin {

class SkinDialog {
public:
    // templateId: dialog resource in `resources` (the owning program's module).
    // iniPath, skinFolder: not copied; they must outlive the window.
    SkinDialog(HINSTANCE resources, int templateId, HWND parent, const wchar_t* iniPath,
               const wchar_t* skinFolder);
    SkinDialog(const SkinDialog&) = delete;
    SkinDialog& operator=(const SkinDialog&) = delete;
    virtual ~SkinDialog();

    // Runs the dialog modally; the result given to EndDialog, or -1 when the
    // template could not be used.
    INT_PTR DoModal();
    // Creates the window without a modal loop; the owner shows it and pumps
    // messages (IsDialogMessage). False when it could not be created.
    bool CreateModeless();
    // Ends a modal dialog, or destroys a modeless one, with `result`.
    void EndDialog(INT_PTR result);

    [[nodiscard]] HWND Hwnd() const noexcept { return window_; }
    [[nodiscard]] HWND Item(int id) const noexcept { return GetDlgItem(window_, id); }
    [[nodiscard]] const wchar_t* IniPath() const noexcept { return iniPath_; }
    [[nodiscard]] const wchar_t* SkinFolder() const noexcept { return skinFolder_; }
    [[nodiscard]] HBITMAP Background() const noexcept { return background_.get(); }
    [[nodiscard]] HINSTANCE Resources() const noexcept { return resources_; }
    [[nodiscard]] INT_PTR Result() const noexcept { return result_; }

protected:
    // Applies the skin; a derived window calls this first, then places its controls.
    virtual BOOL OnInitDialog();
    // Release the pictures and end the dialog with IDOK / IDCANCEL.
    virtual void OnOK();
    virtual void OnCancel();
    // WM_COMMAND other than IDOK/IDCANCEL; true when handled.
    virtual bool OnCommand(int id, int code, HWND control);
    // WM_NOTIFY that no control took through reflection; true when handled.
    virtual bool OnNotify(NMHDR* header, LRESULT& result);
    // Sees every message first; true when handled (result is what the window returns).
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Called when the window is gone (WM_NCDESTROY), for modeless owners.
    virtual void OnDestroyed() {}

    // Copies the background to the client area.
    void PaintBackground(HDC dc);
    void ReleasePictures();

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void ApplySkin();

    HINSTANCE resources_;
    int templateId_;
    HWND parent_;
    const wchar_t* iniPath_;
    const wchar_t* skinFolder_;
    SkinIniFile iniFile_;
    UniqueBitmap background_;
    UniqueBitmap mask_;
    HWND window_ = nullptr;
    bool modal_ = false;
    INT_PTR result_ = 0;
};

}  // namespace kbskin
