#include "skin_dialog.h"

#include "skin_picture.h"

namespace kbskin {
namespace {

constexpr wchar_t kSection[] = L"SCREEN";

// Dialog procedures return these messages' results directly, not through DWLP_MSGRESULT.
bool returnsDirectly(UINT message) {
    return (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) || message == WM_COMPAREITEM ||
           message == WM_VKEYTOITEM || message == WM_CHARTOITEM || message == WM_QUERYDRAGICON ||
           message == WM_INITDIALOG;
}

}  // namespace

SkinDialog::SkinDialog(HINSTANCE resources, int templateId, HWND parent, const wchar_t* iniPath,
                       const wchar_t* skinFolder)
    : resources_(resources), templateId_(templateId), parent_(parent), iniPath_(iniPath),
      skinFolder_(skinFolder) {}

SkinDialog::~SkinDialog() {
    if (window_ && !modal_) {
        SetWindowLongPtrW(window_, DWLP_USER, 0);
        DestroyWindow(window_);
    }
}

INT_PTR SkinDialog::DoModal() {
    modal_ = true;
    return DialogBoxParamW(resources_, MAKEINTRESOURCEW(templateId_), parent_, &DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

bool SkinDialog::CreateModeless() {
    modal_ = false;
    return CreateDialogParamW(resources_, MAKEINTRESOURCEW(templateId_), parent_, &DialogProc,
                              reinterpret_cast<LPARAM>(this)) != nullptr;
}

void SkinDialog::EndDialog(INT_PTR result) {
    result_ = result;
    if (!window_) return;
    if (modal_) ::EndDialog(window_, result);
    else DestroyWindow(window_);
}

INT_PTR CALLBACK SkinDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    SkinDialog* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<SkinDialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->window_ = window;
    } else {
        self = reinterpret_cast<SkinDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    }
    if (!self) return FALSE;
    try {
        return self->Handle(message, wParam, lParam);
    } catch (...) {
        // No exception crosses the dialog manager.
        return FALSE;
    }
}

INT_PTR SkinDialog::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND window = window_;
    LRESULT result = 0;
    if (message != WM_INITDIALOG && OnMessage(message, wParam, lParam, result)) {
        if (returnsDirectly(message)) return static_cast<INT_PTR>(result);
        SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
        return TRUE;
    }
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_ERASEBKGND:
        // The background picture covers the client area; erasing first would flicker.
        SetWindowLongPtrW(window, DWLP_MSGRESULT, 1);
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(window, &paint);
        if (dc) PaintBackground(dc);
        EndPaint(window, &paint);
        return TRUE;
    }
    case WM_NCPAINT:
        SetWindowLongPtrW(window, DWLP_MSGRESULT, 0);
        return TRUE;
    case WM_LBUTTONDOWN:
        // The background acts as a caption: the system's move loop drags the window.
        SendMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, 2);
        UpdateWindow(window);
        return FALSE;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item && item->CtlType == ODT_BUTTON && item->hwndItem &&
            SendMessageW(item->hwndItem, kReflectDrawItem, wParam, lParam)) {
            SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        return FALSE;
    }
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (!header) return FALSE;
        ReflectedNotify reflected{header};
        if (header->hwndFrom && GetParent(header->hwndFrom) == window)
            SendMessageW(header->hwndFrom, kReflectNotify, 0, reinterpret_cast<LPARAM>(&reflected));
        if (!reflected.handled) reflected.handled = OnNotify(header, reflected.result);
        if (!reflected.handled) return FALSE;
        SetWindowLongPtrW(window, DWLP_MSGRESULT, reflected.result);
        return TRUE;
    }
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == IDOK && lParam == 0) OnOK();
        else if (id == IDCANCEL && lParam == 0) OnCancel();
        else if (id == IDOK && HIWORD(wParam) == BN_CLICKED) OnOK();
        else if (id == IDCANCEL && HIWORD(wParam) == BN_CLICKED) OnCancel();
        else return OnCommand(id, HIWORD(wParam), reinterpret_cast<HWND>(lParam)) ? TRUE : FALSE;
        return TRUE;
    }
    case WM_NCDESTROY:
        window_ = nullptr;
        OnDestroyed();
        return FALSE;
    default:
        return FALSE;
    }
}

BOOL SkinDialog::OnInitDialog() {
    ApplySkin();
    return TRUE;
}

void SkinDialog::ApplySkin() {
    iniFile_.SetPath(iniPath_);
    const std::wstring mainName = iniFile_.ReadString(kSection, L"Main", L"");
    const std::wstring maskName = iniFile_.ReadString(kSection, L"Mask", mainName.c_str());
    const auto mainPath = JoinSkinPath(skinFolder_ ? skinFolder_ : L"", mainName);
    const auto maskPath = JoinSkinPath(skinFolder_ ? skinFolder_ : L"", maskName);
    // A name that does not fit is as unusable as a missing one.
    if (!mainPath || !maskPath) EndForMissingPicture();
    background_ = LoadPicture(*mainPath);
    mask_ = LoadPicture(*maskPath);

    BITMAP info{};
    GetObjectW(background_.get(), sizeof info, &info);
    RECT rect{};
    GetWindowRect(window_, &rect);
    if (HWND parent = GetParent(window_); parent && (GetWindowLongPtrW(window_, GWL_STYLE) & WS_CHILD))
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    SetWindowPos(window_, HWND_TOP, rect.left, rect.top, info.bmWidth, info.bmHeight,
                 SWP_HIDEWINDOW | SWP_NOACTIVATE);
    UniqueRegion region = MaskToRegion(mask_.get(), 0xFFFFFF, 0);
    if (region && SetWindowRgn(window_, region.get(), TRUE)) {
        (void)region.release();  // the system owns it now
    }
}

void SkinDialog::ReleasePictures() {
    background_.reset();
    mask_.reset();
}

void SkinDialog::OnOK() {
    ReleasePictures();
    EndDialog(IDOK);
}

void SkinDialog::OnCancel() {
    ReleasePictures();
    EndDialog(IDCANCEL);
}

bool SkinDialog::OnCommand(int, int, HWND) { return false; }
bool SkinDialog::OnNotify(NMHDR*, LRESULT&) { return false; }
bool SkinDialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

void SkinDialog::PaintBackground(HDC dc) {
    if (!background_) return;
    BITMAP info{};
    if (!GetObjectW(background_.get(), sizeof info, &info)) return;
    UniqueMemDC memory(CreateCompatibleDC(dc));
    if (!memory) return;
    SelectGuard select(memory.get(), background_.get());
    if (select.ok()) BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, memory.get(), 0, 0, SRCCOPY);
}

}  // namespace kbskin
