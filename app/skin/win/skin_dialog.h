// The one window base of the program: a dialog from a template of the owning
// program, modal or modeless, with a message table. A skinned window is sized
// to its background picture, shaped by its mask and dragged by its background;
// a window without a skin file keeps the system's look (the About box).
#pragma once

#include <windows.h>

#include <string>

#include "gdi_owner.h"
#include "message_table.h"
#include "skin_ini.h"

namespace kbskin {

class SkinDialog {
public:
    // templateId: dialog resource in `resources` (the owning program's module).
    // iniPath, skinFolder: not copied; they must outlive the window. A null
    // iniPath makes a window without a skin.
    SkinDialog(HINSTANCE resources, int templateId, HWND parent, const wchar_t* iniPath,
               const wchar_t* skinFolder);
    SkinDialog(const SkinDialog&) = delete;
    SkinDialog& operator=(const SkinDialog&) = delete;
    virtual ~SkinDialog();

    // Runs the dialog modally; the result given to endDialog, or -1 when it is
    // open already or the template could not be used.
    INT_PTR runModal();
    // Creates the window without a modal loop; the owner shows it. Enter, Esc
    // and Tab work in it under any message loop of its thread. False when it
    // is open already or could not be created.
    [[nodiscard]] bool createModeless();
    // Ends a modal dialog, or destroys a modeless one, with `result`.
    void endDialog(INT_PTR result);
    // Destroys a modeless window; hides it when it cannot be destroyed.
    void destroy();

    [[nodiscard]] HWND hwnd() const noexcept { return window_; }
    [[nodiscard]] bool isOpen() const noexcept { return window_ != nullptr; }
    [[nodiscard]] HWND item(int id) const noexcept { return GetDlgItem(window_, id); }
    [[nodiscard]] const wchar_t* iniPath() const noexcept { return iniPath_; }
    [[nodiscard]] const wchar_t* skinFolder() const noexcept { return skinFolder_; }
    [[nodiscard]] bool skinned() const noexcept { return iniPath_ != nullptr; }
    [[nodiscard]] HBITMAP background() const noexcept { return background_.get(); }
    [[nodiscard]] HINSTANCE resources() const noexcept { return resources_; }
    [[nodiscard]] int templateId() const noexcept { return templateId_; }
    [[nodiscard]] INT_PTR result() const noexcept { return result_; }

protected:
    // Applies the skin; a derived window calls this first, then places its
    // controls. True lets the system set the focus.
    virtual bool onInitDialog();
    // Release the pictures and end the dialog with IDOK / IDCANCEL.
    virtual void onOK();
    virtual void onCancel();
    // WM_COMMAND other than IDOK/IDCANCEL that the table did not take; true when handled.
    virtual bool onCommand(int id, int code, HWND control);
    // WM_NOTIFY that no control took through reflection; true when handled.
    virtual bool onNotify(NMHDR* header, LRESULT& result);
    // Sees every message first; true when handled (result is what the window returns).
    virtual bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Called when the window is gone (WM_NCDESTROY).
    virtual void onDestroyed() {}
    // Called when the window moved to a monitor of another scale, after the base
    // took the new scale's background, outline and size: place the controls again.
    virtual void onScaleChanged() {}

    // Copies the background to the client area.
    void paintBackground(HDC dc);
    void releasePictures();

    // Handlers by message and command id, asked after onMessage.
    MessageTable table_;

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK navigationHook(int code, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    bool handleSkinned(UINT message, WPARAM wParam, LPARAM lParam);
    void applySkin(bool relayout);

    HINSTANCE resources_;
    int templateId_;
    HWND parent_;
    const wchar_t* iniPath_;
    const wchar_t* skinFolder_;
    SkinIniFile iniFile_;
    UniqueBitmap background_;
    UniqueBitmap mask_;
    UniqueHook navigation_;  // while a modeless window exists
    HWND window_ = nullptr;
    bool modal_ = false;
    INT_PTR result_ = 0;
};

}  // namespace kbskin
