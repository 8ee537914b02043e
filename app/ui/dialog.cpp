#include "dialog.h"

namespace kb::ui {

HINSTANCE resourceModule() noexcept { return GetModuleHandleW(nullptr); }

bool MessageTable::dispatch(UINT message, WPARAM wp, LPARAM lp, LRESULT& result) const noexcept {
    try {
        if (message == WM_COMMAND) {
            const int id = LOWORD(wp);
            const int code = HIWORD(wp);
            const HWND control = reinterpret_cast<HWND>(lp);
            if (auto it = commands_.find(id); it != commands_.end()) {
                it->second(id, code, control);
                result = 0;
                return true;
            }
            for (const Range& r : ranges_) {
                if (id >= r.first && id <= r.last) {
                    r.handler(id, code, control);
                    result = 0;
                    return true;
                }
            }
        }
        if (auto it = messages_.find(message); it != messages_.end()) {
            if (auto value = it->second(wp, lp)) {
                result = *value;
                return true;
            }
        }
        return false;
    } catch (...) {
        result = 0;
        return true;
    }
}

Dialog::~Dialog() {
    if (hwnd_ != nullptr && !modal_) {
        SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
        DestroyWindow(hwnd_);
    }
}

INT_PTR Dialog::runModal(HWND parent) {
    if (hwnd_ != nullptr) return -1;
    modal_ = true;
    const INT_PTR r = DialogBoxParamW(resourceModule(), MAKEINTRESOURCEW(templateId_), parent, &Dialog::proc,
                                      reinterpret_cast<LPARAM>(this));
    modal_ = false;
    return r;
}

bool Dialog::createModeless(HWND parent) {
    if (hwnd_ != nullptr) return false;
    modal_ = false;
    return CreateDialogParamW(resourceModule(), MAKEINTRESOURCEW(templateId_), parent, &Dialog::proc,
                              reinterpret_cast<LPARAM>(this)) != nullptr;
}

void Dialog::endDialog(INT_PTR result) {
    if (hwnd_ == nullptr) return;
    if (modal_) {
        EndDialog(hwnd_, result);
    } else {
        destroy();
    }
}

void Dialog::destroy() {
    if (hwnd_ == nullptr) return;
    if (!DestroyWindow(hwnd_)) ShowWindow(hwnd_, SW_HIDE);
}

INT_PTR CALLBACK Dialog::proc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    Dialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lp);
        SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        if (self != nullptr) self->hwnd_ = hwnd;
    } else {
        self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (self == nullptr) return FALSE;
    return self->handle(message, wp, lp);
}

INT_PTR Dialog::handle(UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_INITDIALOG) {
        try {
            return onInitDialog() ? TRUE : FALSE;
        } catch (...) {
            return TRUE;
        }
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
        hwnd_ = nullptr;
        try {
            onDestroyed();
        } catch (...) {
        }
        return FALSE;
    }
    LRESULT result = 0;
    bool handled = table_.dispatch(message, wp, lp, result);
    if (!handled) {
        try {
            if (auto value = onOtherMessage(message, wp, lp)) {
                result = *value;
                handled = true;
            }
        } catch (...) {
            result = 0;
            handled = true;
        }
    }
    if (!handled) return FALSE;
    // Messages whose result is the procedure's own return value.
    switch (message) {
    case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC: case WM_COMPAREITEM:
    case WM_VKEYTOITEM: case WM_CHARTOITEM: case WM_QUERYDRAGICON: case WM_INITDIALOG:
        return static_cast<INT_PTR>(result);
    default:
        SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
        return TRUE;
    }
}

}  // namespace kb::ui
