#include "event_wait.h"

#include <algorithm>
#include <vector>

namespace kb {

int waitAnyEvent(std::span<const HANDLE> handles, DWORD groupTimeoutMs, HANDLE quit) {
    constexpr std::size_t kGroup = MAXIMUM_WAIT_OBJECTS;
    if (handles.empty()) return kWaitFailed;

    if (handles.size() < kGroup || (handles.size() == kGroup && quit == nullptr)) {
        // One group: the quit event rides along as the last handle.
        std::vector<HANDLE> set(handles.begin(), handles.end());
        if (quit != nullptr) set.push_back(quit);
        for (;;) {
            const DWORD r = WaitForMultipleObjects(static_cast<DWORD>(set.size()), set.data(), FALSE, groupTimeoutMs);
            if (r == WAIT_TIMEOUT) continue;
            if (r >= WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + set.size()) {
                const std::size_t i = r - WAIT_OBJECT_0;
                return i == handles.size() ? kWaitQuit : static_cast<int>(i);
            }
            return kWaitFailed;
        }
    }

    for (;;) {
        for (std::size_t first = 0; first < handles.size(); first += kGroup) {
            if (quit != nullptr && WaitForSingleObject(quit, 0) == WAIT_OBJECT_0) return kWaitQuit;
            const std::size_t n = std::min(kGroup, handles.size() - first);
            const DWORD r = WaitForMultipleObjects(static_cast<DWORD>(n), handles.data() + first, FALSE, groupTimeoutMs);
            if (r == WAIT_TIMEOUT) continue;
            if (r >= WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + n) return static_cast<int>(first + (r - WAIT_OBJECT_0));
            return kWaitFailed;
        }
    }
}

}  // namespace kb
