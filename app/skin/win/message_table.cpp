#include "message_table.h"

namespace kbskin {

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

}  // namespace kbskin
