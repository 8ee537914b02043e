#include "skin_ini.h"

#include "skin_dpi.h"

namespace kbskin {

void SkinIniFile::SetPath(const wchar_t* path) { path_ = path ? path : L""; }

std::wstring SkinIniFile::ReadString(const wchar_t* section, const wchar_t* key,
                                     const wchar_t* defaultText) const {
    std::wstring value(2048, L'\0');
    const DWORD n = GetPrivateProfileStringW(section, key, defaultText ? defaultText : L"", value.data(),
                                             static_cast<DWORD>(value.size()), path_.c_str());
    value.resize(n);
    return value;
}

SkinRect ReadSkinRect(const wchar_t* iniPath, const wchar_t* section, const wchar_t* key) {
    wchar_t text[kRectTextChars] = {};
    GetPrivateProfileStringW(section, key, kDefaultRectText, text, kRectTextChars, iniPath);
    return ParseSkinRect(text);
}

namespace {

// The control's rectangle from the set of its window's scale: the set's own
// INI file, stretched when no set fits the scale exactly.
class ScaledReader {
public:
    ScaledReader(HWND control, const wchar_t* iniPath)
        : choice_(SkinSetFor(control, iniPath ? iniPath : L"")),
          path_(SkinSetPath(iniPath ? iniPath : L"", choice_.percent)) {}
    [[nodiscard]] SkinRect read(const wchar_t* section, const wchar_t* key) const {
        return ScaleSkinRect(ReadSkinRect(path_.c_str(), section, key), choice_.stretch);
    }

private:
    SkinSetChoice choice_;
    std::wstring path_;
};

}  // namespace

void PlaceControl(HWND control, const wchar_t* iniPath, const wchar_t* section, const wchar_t* key) {
    const SkinRect r = ScaledReader(control, iniPath).read(section, key);
    if (control) MoveWindow(control, r.x, r.y, r.w, r.h, FALSE);
}

void PlaceButton(SkinButton& button, const wchar_t* iniPath, const wchar_t* section, const wchar_t* key,
                 const StatusSurface* normal, const StatusSurface* hover, const StatusSurface* pressed,
                 const StatusSurface* disabled, const StatusSurface* marked) {
    const SkinRect r = ScaledReader(button.Hwnd(), iniPath).read(section, key);
    if (button.Hwnd()) MoveWindow(button.Hwnd(), r.x, r.y, r.w, r.h, FALSE);
    button.SetFaces(r.x, r.y, normal, hover, pressed, disabled, marked, true);
}

void PlaceFrameButton(SkinButton& button, const wchar_t* iniPath, const wchar_t* section, const wchar_t* key,
                      const wchar_t* frameSection, const wchar_t* frameKey, const StatusSurface* surface) {
    const ScaledReader reader(button.Hwnd(), iniPath);
    const SkinRect r = reader.read(section, key);
    if (button.Hwnd()) MoveWindow(button.Hwnd(), r.x, r.y, r.w, r.h, FALSE);
    const SkinRect frame = reader.read(frameSection, frameKey);
    button.SetFaces(frame.x, frame.y, surface, surface, surface, surface, surface, true);
}

}  // namespace kbskin
