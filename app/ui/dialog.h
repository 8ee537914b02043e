// Our dialog layer over plain Win32: one C++ class per dialog, each with a
// message table of handlers by message and by command id. A handler that
// returns a value has handled the message; none sends it on to the default.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

namespace kb::ui {

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

// A dialog from a template of this program's resources, modal or modeless.
class Dialog {
public:
    explicit Dialog(int templateId) noexcept : templateId_(templateId) {}
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the modal loop; the result of endDialog, or -1 when it cannot start.
    INT_PTR runModal(HWND parent);
    // Creates a modeless dialog; false when one exists or creation fails.
    [[nodiscard]] bool createModeless(HWND parent);
    void endDialog(INT_PTR result);
    // Destroys a modeless dialog; hides it when it cannot be destroyed.
    void destroy();

    [[nodiscard]] HWND hwnd() const noexcept { return hwnd_; }
    [[nodiscard]] bool isOpen() const noexcept { return hwnd_ != nullptr; }
    [[nodiscard]] HWND item(int id) const noexcept { return GetDlgItem(hwnd_, id); }
    [[nodiscard]] int templateId() const noexcept { return templateId_; }

protected:
    // The focus default of WM_INITDIALOG: true lets the system set the focus.
    virtual bool onInitDialog() { return true; }
    // Called for every message the table did not take, before the default.
    virtual std::optional<LRESULT> onOtherMessage(UINT, WPARAM, LPARAM) { return std::nullopt; }
    virtual void onDestroyed() {}
    MessageTable table_;

private:
    static INT_PTR CALLBACK proc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp);
    INT_PTR handle(UINT message, WPARAM wp, LPARAM lp);

    int templateId_;
    HWND hwnd_ = nullptr;
    bool modal_ = false;
};

// The module that holds the program's resources.
[[nodiscard]] HINSTANCE resourceModule() noexcept;

}  // namespace kb::ui
