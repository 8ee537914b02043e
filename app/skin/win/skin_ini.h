// Reading the skin INI files and placing controls from them.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "skin_button.h"
#include "skin_values.h"

namespace kbskin {

// Reader bound to one INI file; reads through the private-profile service, so
// names match without regard to case and a missing file reads as missing keys.
class SkinIniFile {
public:
    void SetPath(const wchar_t* path);
    [[nodiscard]] const std::wstring& Path() const noexcept { return path_; }
    // The value (at most 2047 characters) or, when the key is missing, the
    // default; empty when that is empty.
    [[nodiscard]] std::wstring ReadString(const wchar_t* section, const wchar_t* key,
                                          const wchar_t* defaultText) const;

private:
    std::wstring path_;
};

// Rectangle of section/key, "1,1,1,1,x" when missing, clamped to be drawable.
[[nodiscard]] SkinRect ReadSkinRect(const wchar_t* iniPath, const wchar_t* section,
                                    const wchar_t* key);

// The three placements read the set of the window's display scale (the INI
// file of the same name in the set's subfolder) and stretch what they read
// when no set fits the scale.
// Moves and sizes the button, gives it face offset = its own x,y and the five
// surfaces, and draws it.
void PlaceButton(SkinButton& button, const wchar_t* iniPath, const wchar_t* section,
                 const wchar_t* key, const StatusSurface* normal, const StatusSurface* hover,
                 const StatusSurface* pressed, const StatusSurface* disabled,
                 const StatusSurface* marked);
// Places the button from section/key; the face offset is the x,y of the frame
// rectangle; one surface for all five states.
void PlaceFrameButton(SkinButton& button, const wchar_t* iniPath, const wchar_t* section,
                      const wchar_t* key, const wchar_t* frameSection, const wchar_t* frameKey,
                      const StatusSurface* surface);
// Moves and sizes any child control; no pictures.
void PlaceControl(HWND control, const wchar_t* iniPath, const wchar_t* section,
                  const wchar_t* key);

}  // namespace kbskin
