#include "skin_dialog.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace kbskin {
namespace {

constexpr int kTemplate = 200;
constexpr UINT kAsk = WM_APP + 7;

class Probe final : public SkinDialog {
public:
    Probe() : SkinDialog(GetModuleHandleW(nullptr), kTemplate, nullptr, nullptr, nullptr) {
        table_.onCommandRange(300, 310, [this](int id, int, HWND) { seen.push_back(id); });
        table_.onCommand(302, [this](int id, int, HWND) { seen.push_back(-id); });
        table_.onCommand(IDOK, [this](int, int, HWND) { endDialog(42); });
        table_.onCommand(IDCANCEL, [this](int, int, HWND) { throw std::runtime_error("handler failed"); });
        table_.on(kAsk, [](WPARAM wp, LPARAM) -> std::optional<LRESULT> {
            if (wp == 0) return std::nullopt;  // not ours: default handling
            return static_cast<LRESULT>(wp * 2);
        });
    }
    std::vector<int> seen;
    int destroyed = 0;
    std::function<void(HWND)> onInit;

protected:
    bool onInitDialog() override {
        if (onInit) onInit(hwnd());
        return true;
    }
    void onDestroyed() override { ++destroyed; }
};

void click(HWND dialog, int id) { PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

TEST(DialogLayer, ModalLoopRoutesCommandsAndEndsWithItsResult) {
    Probe d;
    LRESULT answer = -1, unanswered = -1;
    d.onInit = [&](HWND w) {
        // A sent message's value comes back through the dialog's result slot.
        answer = SendMessageW(w, kAsk, 21, 0);
        unanswered = SendMessageW(w, kAsk, 0, 0);
        click(w, 301);
        click(w, 302);   // its own handler wins over the range
        click(w, 2);     // a throwing handler must not take the loop down
        click(w, 305);
        click(w, IDOK);
    };
    EXPECT_EQ(d.runModal(), 42);
    EXPECT_EQ(answer, 42);
    EXPECT_EQ(unanswered, 0);
    EXPECT_EQ(d.seen, (std::vector<int>{301, -302, 305}));
    EXPECT_FALSE(d.isOpen());
    EXPECT_EQ(d.destroyed, 1);
}

TEST(DialogLayer, OneModelessWindowAtATime) {
    Probe d;
    ASSERT_TRUE(d.createModeless());
    const HWND first = d.hwnd();
    EXPECT_TRUE(IsWindow(first));
    EXPECT_FALSE(d.createModeless());
    EXPECT_EQ(d.hwnd(), first);
    SendMessageW(first, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);  // endDialog destroys a modeless one
    EXPECT_FALSE(d.isOpen());
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(d.destroyed, 1);
    ASSERT_TRUE(d.createModeless());
    d.destroy();
    EXPECT_FALSE(d.isOpen());
    EXPECT_EQ(d.destroyed, 2);
}

TEST(DialogLayer, AMissingTemplateFailsCleanly) {
    class NoTemplate final : public SkinDialog {
    public:
        NoTemplate() : SkinDialog(GetModuleHandleW(nullptr), 999, nullptr, nullptr, nullptr) {}
    } d;
    EXPECT_EQ(d.runModal(), -1);
    EXPECT_FALSE(d.createModeless());
    EXPECT_FALSE(d.isOpen());
}


// A modeless window answers Enter, Esc and Tab also when the loop that pumps
// it is a plain one, as another dialog's modal loop is.
TEST(DialogLayer, ModelessWindowAnswersKeysUnderAPlainLoop) {
    class Keys final : public SkinDialog {
    public:
        Keys() : SkinDialog(GetModuleHandleW(nullptr), kTemplate, nullptr, nullptr, nullptr) {}
        std::vector<int> seen;

    protected:
        void onOK() override { seen.push_back(IDOK); }
        void onCancel() override { seen.push_back(IDCANCEL); }
    } d;
    ASSERT_TRUE(d.createModeless());
    ShowWindow(d.hwnd(), SW_SHOW);
    auto press = [&](WPARAM key) {
        const HWND focus = GetFocus();
        PostMessageW(focus, WM_KEYDOWN, key, 1);
        PostMessageW(focus, WM_KEYUP, key, 1 | (1u << 30) | (1u << 31));
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    };
    SetFocus(d.item(IDOK));
    ASSERT_EQ(GetFocus(), d.item(IDOK));
    press(VK_TAB);
    EXPECT_EQ(GetFocus(), d.item(IDCANCEL));
    press(VK_ESCAPE);
    SetFocus(d.item(301));
    press(VK_RETURN);  // the default button, OK
    EXPECT_EQ(d.seen, (std::vector<int>{IDCANCEL, IDOK}));
    d.destroy();
    EXPECT_FALSE(d.isOpen());
}

}  // namespace
}  // namespace kbskin
