// Handlers of a window by message and by command id. A handler that returns
// a value has handled the message; none sends it on to the default.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

namespace kbskin {

class MessageTable {
public:
    using Handler = std::function<std::optional<LRESULT>(WPARAM, LPARAM)>;
    using CommandHandler = std::function<void(int id, int code, HWND control)>;

    void on(UINT message, Handler h) { messages_[message] = std::move(h); }
    // WM_COMMAND by control or menu id; later entries override earlier ones.
    void onCommand(int id, CommandHandler h) { commands_[id] = std::move(h); }
    void onCommandRange(int first, int last, CommandHandler h) { ranges_.push_back({first, last, std::move(h)}); }

    // True when a handler took the message; `result` then holds its value.
    // Never lets an exception out: a failing handler counts as handled with 0.
    [[nodiscard]] bool dispatch(UINT message, WPARAM wp, LPARAM lp, LRESULT& result) const noexcept;

private:
    struct Range {
        int first, last;
        CommandHandler handler;
    };
    std::unordered_map<UINT, Handler> messages_;
    std::unordered_map<int, CommandHandler> commands_;
    std::vector<Range> ranges_;
};

}  // namespace kbskin
