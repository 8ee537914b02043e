// A number per window, shared by the process's threads; 0 stands for none.
#pragma once

#include <windows.h>

#include <map>
#include <mutex>

namespace kbskin {

class WindowTable {
public:
    [[nodiscard]] int get(HWND window) {
        std::lock_guard<std::mutex> guard(lock_);
        const auto it = values_.find(window);
        return it == values_.end() ? 0 : it->second;
    }
    // 0 forgets the window.
    void set(HWND window, int value) {
        std::lock_guard<std::mutex> guard(lock_);
        if (value != 0) values_[window] = value;
        else values_.erase(window);
    }

private:
    std::mutex lock_;
    std::map<HWND, int> values_;
};

}  // namespace kbskin
