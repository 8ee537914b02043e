#include "skin_dialog.h"

#include <optional>

#include "skin_dpi.h"
#include "skin_picture.h"
#include "window_table.h"

namespace kbskin {
namespace {

constexpr wchar_t kSection[] = L"SCREEN";

// Dialog procedures return these messages' results directly, not through DWLP_MSGRESULT.
bool returnsDirectly(UINT message) {
    return (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) || message == WM_COMPAREITEM ||
           message == WM_VKEYTOITEM || message == WM_CHARTOITEM || message == WM_QUERYDRAGICON ||
           message == WM_INITDIALOG;
}

// The modeless windows whose keys the navigation hook hands to IsDialogMessage:
// the loop that pumps them may be another dialog's modal loop, which does not.
WindowTable& modeless() {
    static WindowTable table;
    return table;
}

bool isModeless(HWND window) { return modeless().get(window) != 0; }

void setModeless(HWND window, bool on) { modeless().set(window, on ? 1 : 0); }

}  // namespace

SkinDialog::SkinDialog(HINSTANCE resources, int templateId, HWND parent, const wchar_t* iniPath,
                       const wchar_t* skinFolder)
    : resources_(resources), templateId_(templateId), parent_(parent), iniPath_(iniPath),
      skinFolder_(skinFolder) {}

SkinDialog::~SkinDialog() {
    if (window_ && !modal_) {
        setModeless(window_, false);
        SetWindowLongPtrW(window_, DWLP_USER, 0);
        DestroyWindow(window_);
    }
}

INT_PTR SkinDialog::runModal() {
    if (window_) return -1;
    modal_ = true;
    return DialogBoxParamW(resources_, MAKEINTRESOURCEW(templateId_), parent_, &dialogProc,
                           reinterpret_cast<LPARAM>(this));
}

bool SkinDialog::createModeless() {
    if (window_) return false;
    modal_ = false;
    return CreateDialogParamW(resources_, MAKEINTRESOURCEW(templateId_), parent_, &dialogProc,
                              reinterpret_cast<LPARAM>(this)) != nullptr;
}

void SkinDialog::endDialog(INT_PTR result) {
    result_ = result;
    if (!window_) return;
    if (modal_) ::EndDialog(window_, result);
    else destroy();
}

void SkinDialog::destroy() {
    if (!window_) return;
    if (!DestroyWindow(window_)) ShowWindow(window_, SW_HIDE);
}

LRESULT CALLBACK SkinDialog::navigationHook(int code, WPARAM wParam, LPARAM lParam) {
    auto* msg = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg && msg->hwnd && msg->message >= WM_KEYFIRST &&
        msg->message <= WM_KEYLAST) {
        const HWND root = GetAncestor(msg->hwnd, GA_ROOT);
        if (root && isModeless(root) && IsDialogMessageW(root, msg)) {
            msg->message = WM_NULL;  // taken: the loop that got it dispatches nothing
            msg->wParam = 0;
            msg->lParam = 0;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

INT_PTR CALLBACK SkinDialog::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    SkinDialog* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<SkinDialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        if (self) self->window_ = window;
    } else {
        self = reinterpret_cast<SkinDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    }
    if (!self) return FALSE;
    try {
        return self->handle(message, wParam, lParam);
    } catch (...) {
        // No exception crosses the dialog manager.
        return message == WM_INITDIALOG ? TRUE : FALSE;
    }
}

INT_PTR SkinDialog::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND window = window_;
    if (message == WM_INITDIALOG) {
        if (!modal_) {
            setModeless(window, true);
            navigation_.reset(SetWindowsHookExW(WH_GETMESSAGE, &navigationHook, nullptr, GetCurrentThreadId()));
        }
        return onInitDialog() ? TRUE : FALSE;
    }
    if (message == WM_NCDESTROY) {
        setModeless(window, false);
        SetWindowDpi(window, 0);
        navigation_.reset();
        SetWindowLongPtrW(window, DWLP_USER, 0);
        window_ = nullptr;
        onDestroyed();
        return FALSE;
    }
    LRESULT result = 0;
    bool handled = onMessage(message, wParam, lParam, result) || table_.dispatch(message, wParam, lParam, result);
    if (!handled) {
        switch (message) {
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (!header) return FALSE;
            ReflectedNotify reflected{header};
            if (header->hwndFrom && GetParent(header->hwndFrom) == window)
                SendMessageW(header->hwndFrom, kReflectNotify, 0, reinterpret_cast<LPARAM>(&reflected));
            if (!reflected.handled) reflected.handled = onNotify(header, reflected.result);
            if (!reflected.handled) return FALSE;
            result = reflected.result;
            handled = true;
            break;
        }
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if ((id == IDOK || id == IDCANCEL) && (lParam == 0 || code == BN_CLICKED)) {
                if (id == IDOK) onOK();
                else onCancel();
                return TRUE;
            }
            return onCommand(id, code, reinterpret_cast<HWND>(lParam)) ? TRUE : FALSE;
        }
        case WM_DRAWITEM: {
            const auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (!draw || draw->CtlType != ODT_BUTTON || !draw->hwndItem ||
                !SendMessageW(draw->hwndItem, kReflectDrawItem, wParam, lParam))
                return FALSE;
            result = TRUE;
            handled = true;
            break;
        }
        default:
            if (!skinned()) return FALSE;
            return handleSkinned(message, wParam, lParam) ? TRUE : FALSE;
        }
    }
    if (returnsDirectly(message)) return static_cast<INT_PTR>(result);
    SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
    return TRUE;
}

// What a window with a skin does beyond a plain dialog; true when handled.
bool SkinDialog::handleSkinned(UINT message, WPARAM wParam, LPARAM) {
    HWND window = window_;
    switch (message) {
    case WM_DPICHANGED: {
        // Another monitor's scale: the set of that scale, laid out again where
        // the window stands (its top-left corner stays).
        const int dpi = LOWORD(wParam);
        if (dpi <= 0) return false;
        SetWindowDpi(window, dpi);
        applySkin(true);
        onScaleChanged();
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        SetWindowLongPtrW(window, DWLP_MSGRESULT, 0);
        return true;
    }
    case WM_ERASEBKGND:
        // The background picture covers the client area; erasing first would flicker.
        SetWindowLongPtrW(window, DWLP_MSGRESULT, 1);
        return true;
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(window, &paint);
        if (dc) paintBackground(dc);
        EndPaint(window, &paint);
        return true;
    }
    case WM_NCPAINT:
        SetWindowLongPtrW(window, DWLP_MSGRESULT, 0);
        return true;
    case WM_LBUTTONDOWN:
        // The background acts as a caption: the system's move loop drags the window.
        SendMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, 2);
        UpdateWindow(window);
        return false;
    default:
        return false;
    }
}

bool SkinDialog::onInitDialog() {
    if (skinned()) applySkin(false);
    return true;
}

void SkinDialog::applySkin(bool relayout) {
    // The set of the window's scale: its own INI file and pictures in the
    // set's subfolder, stretched when no set fits the scale.
    const SkinSetChoice set = SkinSetFor(window_, iniPath_);
    const std::wstring folder = skinFolder_ ? skinFolder_ : L"";
    const auto setFolder = set.percent == 100 ? std::optional<std::wstring>(folder)
                                              : JoinSkinPath(folder, std::to_wstring(set.percent));
    if (!setFolder) EndForMissingPicture();
    const std::wstring setIni = SkinSetPath(iniPath_, set.percent);
    iniFile_.SetPath(setIni.c_str());
    const std::wstring mainName = iniFile_.ReadString(kSection, L"Main", L"");
    const std::wstring maskName = iniFile_.ReadString(kSection, L"Mask", mainName.c_str());
    const auto mainPath = JoinSkinPath(*setFolder, mainName);
    const auto maskPath = JoinSkinPath(*setFolder, maskName);
    // A name that does not fit is as unusable as a missing one.
    if (!mainPath || !maskPath) EndForMissingPicture();
    background_ = StretchPicture(LoadPicture(*mainPath), set.stretch);
    mask_ = LoadPicture(*maskPath);

    BITMAP info{};
    GetObjectW(background_.get(), sizeof info, &info);
    RECT rect{};
    GetWindowRect(window_, &rect);
    if (HWND parent = GetParent(window_); parent && (GetWindowLongPtrW(window_, GWL_STYLE) & WS_CHILD))
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    // A first layout hides the window until its owner or modal loop shows it;
    // a new scale keeps it as it is.
    SetWindowPos(window_, HWND_TOP, rect.left, rect.top, info.bmWidth, info.bmHeight,
                 relayout ? SWP_NOZORDER | SWP_NOACTIVATE : SWP_HIDEWINDOW | SWP_NOACTIVATE);
    UniqueRegion region = MaskToRegion(mask_.get(), 0xFFFFFF, 0, set.stretch);
    if (region && SetWindowRgn(window_, region.get(), TRUE)) {
        (void)region.release();  // the system owns it now
    } else if (relayout) {
        SetWindowRgn(window_, nullptr, TRUE);
    }
}

void SkinDialog::releasePictures() {
    background_.reset();
    mask_.reset();
}

void SkinDialog::onOK() {
    releasePictures();
    endDialog(IDOK);
}

void SkinDialog::onCancel() {
    releasePictures();
    endDialog(IDCANCEL);
}

bool SkinDialog::onCommand(int, int, HWND) { return false; }
bool SkinDialog::onNotify(NMHDR*, LRESULT&) { return false; }
bool SkinDialog::onMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

void SkinDialog::paintBackground(HDC dc) {
    if (!background_) return;
    BITMAP info{};
    if (!GetObjectW(background_.get(), sizeof info, &info)) return;
    UniqueMemDC memory(CreateCompatibleDC(dc));
    if (!memory) return;
    SelectGuard select(memory.get(), background_.get());
    if (select.ok()) BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, memory.get(), 0, 0, SRCCOPY);
}

}  // namespace kbskin
