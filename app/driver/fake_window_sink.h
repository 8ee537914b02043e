// The window sink for native tests: marks, apply states and menus go to the
// model tests' recording window, messages and questions to their prompt. And
// the activation path over it, with a recording device.
#pragma once

#include "engine.h"
#include "profile_activation.h"
#include "test_fakes.h"
#include "window_sink.h"

#include <functional>
#include <vector>

namespace kb::testing {

struct FakeWindowSink final : WindowSink {
    FakeWindowSink(RecordingWindow& w, AnsweringPrompt& p) noexcept : window(w), prompt(p) {}
    RecordingWindow& window;
    AnsweringPrompt& prompt;
    std::vector<bool> playback;
    std::vector<int> attach;
    std::vector<int> banks;
    int bankRefusals = 0;
    bool editingMacro = false;
    // Runs while a question waits, as the window's nested message loop would.
    std::function<void()> whileAsking;

    void setKeyButtonAssigned(int slot, bool assigned) override { window.setKeyButtonAssigned(slot, assigned); }
    void setApplyButtonEnabled(bool enabled) override { window.setApplyButtonEnabled(enabled); }
    void showProfileMenu(const ProfileMenu& menu) override { window.showProfileMenu(menu); }
    void playbackIndication(bool playing) override { playback.push_back(playing); }
    void attachState(int state) override { attach.push_back(state); }
    void tablesDue() override { ++tablesDueCalls; }
    int tablesDueCalls = 0;
    void bankChanged(int bank) override { banks.push_back(bank); }
    std::vector<int> layers;
    void layerChanged(int layer) override { layers.push_back(layer); }
    void refuseBankSwitch() override { ++bankRefusals; }
    bool editingMacroKey() override { return editingMacro; }
    void showMessage(std::u16string_view text) override { prompt.showMessage(text); }
    bool askYesNo(std::u16string_view text, bool defaultNo) override {
        if (whileAsking) whileAsking();
        return prompt.askYesNo(text, defaultNo);
    }
};

// The activation path over an empty list in a memory store, the recording
// window and prompt, and a recording device.
struct ActivationRig {
    TempFolder dir;
    MemorySettingsStore store;
    ProfileList list{store};
    ProfileModel model;
    Engine engine;
    AnsweringPrompt prompt;
    RecordingWindow window;
    RecordingDevice device;
    FakeWindowSink sink{window, prompt};
    ProfileActivation activation{model, engine, list, device, sink};
};

}  // namespace kb::testing
