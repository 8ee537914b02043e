// What the three editing dialogs share: their skin file, status pictures and
// buttons, the system controls in the skin's colours, the file picker,
// message boxes, F1, and OK/Cancel around the dialog's own apply and close.
#pragma once

#include "dialog_context.h"
#include "win/skin_button.h"
#include "win/skin_colours.h"
#include "win/skin_dialog.h"
#include "win/skin_picture.h"

#include <span>
#include <string>
#include <vector>

namespace kb::ui {

// A skinned button of an editing dialog: its control id and its skin key.
struct SkinnedButton {
    int id;
    const wchar_t* key;
};

// What a file dialog asks for.
struct FileQuestion {
    const wchar_t* filter = L"";            // pairs of zero-ended texts
    const wchar_t* defaultExtension = L"";
    std::wstring initialName;
    std::wstring folder;                    // empty: the system's choice
    bool save = false;                      // asks before overwriting
    bool multiple = false;
    bool mustExist = false;
};

class EditingDialog : private DialogPaths, public kbskin::SkinDialog {
public:
    // Shutdown: as the Cancel button.
    void cancel();

protected:
    // iniName: the dialog's file under "Skins\"; images: its status pictures
    // (relative to the program), rendered into `surfaces` once per process.
    EditingDialog(DialogContext& context, int templateId, const wchar_t* iniName, kbskin::SurfaceSet& surfaces,
                  std::vector<const wchar_t*> images);

    // The skin, the pictures and the message boxes' owner; derived dialogs
    // call this first.
    bool onInitDialog() override;
    // OK applies through acceptChanges and closes unless that refused; Cancel
    // and the close box close. Both run closed() first.
    void onOK() final;
    void onCancel() final;
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) final;
    // Another monitor's scale: the pictures of its set, and every placement again.
    void onScaleChanged() override;

    // False keeps the dialog open (the user was told why).
    virtual bool acceptChanges() { return true; }
    virtual void closed() = 0;
    virtual bool helpAllowed() const { return true; }
    // The dialog's own messages, after the shared ones.
    virtual bool dialogMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

    // Attaches and places each button with status images 1 to 4 for normal,
    // hover, pressed and disabled, and `marked` (1-based) for marked.
    void placeButtons(std::span<const SkinnedButton> table, std::span<kbskin::SkinButton> buttons, int marked);
    void placeControl(HWND control, const wchar_t* key) const;
    // An edit field or combo box made after opening, in the skin's colours.
    void dressField(HWND field) const;
    // A check box or radio button drawn over the background picture, its text in `colour`.
    void drawOverBackground(int id, COLORREF colour);
    // Status image i (1-based), or null.
    [[nodiscard]] const kbskin::StatusSurface* image(int i) const noexcept;
    [[nodiscard]] const kbskin::SkinColours& colours() const noexcept { return colours_; }
    // The chosen files: one full path each; empty when the user cancelled.
    [[nodiscard]] std::vector<std::wstring> chooseFiles(const FileQuestion& question) const;

    DialogContext& context_;
    MessageBoxPrompt prompt_{nullptr};

private:
    static BOOL CALLBACK dressChild(HWND child, LPARAM self);

    struct ButtonPlacement {
        std::span<const SkinnedButton> table;
        std::span<kbskin::SkinButton> buttons;
        int marked;
    };
    void placeAttached(const ButtonPlacement& p);
    std::vector<std::wstring> imagePaths() const;

    kbskin::SurfaceSet& surfaces_;
    std::vector<const wchar_t*> images_;
    // What this opening placed, to place it again at another scale.
    std::vector<ButtonPlacement> placedButtons_;
    mutable std::vector<std::pair<HWND, const wchar_t*>> placedControls_;
    kbskin::SkinColours colours_;
    SkinBackdrop backdrop_;
    std::vector<std::pair<int, COLORREF>> overBackground_;
};

}  // namespace kb::ui
