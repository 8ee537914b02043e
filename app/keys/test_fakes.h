// Recording and answering stand-ins for the window, prompts, device and
// playback, shared by the model's tests.
#pragma once

#include "control_device.h"
#include "profile_file.h"
#include "profile_list.h"
#include "profile_model.h"
#include "ui_ports.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace kb::testing {

struct RecordingWindow final : MainWindowSink {
    std::map<int, bool> marks;  // slot -> assigned, last drawn state
    std::vector<int> markOrder;
    std::vector<bool> applyStates;
    std::vector<ProfileMenu> menus;
    int bank = 0;
    void setKeyButtonAssigned(int slot, bool assigned) override {
        marks[slot] = assigned;
        markOrder.push_back(slot);
    }
    int currentMacroBank() const override { return bank; }
    void setApplyButtonEnabled(bool enabled) override { applyStates.push_back(enabled); }
    void showProfileMenu(const ProfileMenu& menu) override { menus.push_back(menu); }
};

struct AnsweringPrompt final : Prompt {
    std::vector<std::u16string> messages;
    std::vector<std::u16string> questions;
    std::vector<bool> defaultNo;
    bool answer = true;
    void showMessage(std::u16string_view text) override { messages.emplace_back(text); }
    bool askYesNo(std::u16string_view text, bool isDefaultNo) override {
        questions.emplace_back(text);
        defaultNo.push_back(isDefaultNo);
        return answer;
    }
};

struct DeviceCall {
    enum Kind { Select, Install, Remove } kind;
    DeviceSelector selector{};
    std::vector<std::uint8_t> table;
};

struct RecordingDevice final : ControlDevice {
    bool open = true;
    std::vector<DeviceSelector> refuse;  // selections that fail
    std::vector<DeviceCall> calls;
    bool ensureOpen() override { return open; }
    bool selectDevice(const DeviceSelector& d) override {
        calls.push_back({DeviceCall::Select, d, {}});
        for (const auto& r : refuse) {
            if (r == d) return false;
        }
        return true;
    }
    bool installTable(std::span<const std::uint8_t> t) override {
        calls.push_back({DeviceCall::Install, {}, {t.begin(), t.end()}});
        return true;
    }
    bool removeTable() override {
        calls.push_back({DeviceCall::Remove, {}, {}});
        return true;
    }
};

struct FakePlayback final : PlaybackControl {
    bool playing = false;
    bool repeating = false;
    int stops = 0;
    bool isPlaying() const override { return playing; }
    bool isRepeating() const override { return repeating; }
    void stop() override {
        ++stops;
        playing = repeating = false;
    }
};

// A fresh folder per test, removed afterwards.
class TempFolder {
public:
    TempFolder() {
        static std::atomic<int> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = std::filesystem::temp_directory_path() /
                ("kbtest_" + std::to_string(stamp) + "_" + std::to_string(counter++));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    [[nodiscard]] const std::filesystem::path& path() const noexcept { return path_; }
    [[nodiscard]] std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// A profile whose F1 starts `program`, written as another program would.
inline bool writeProfileStarting(const std::filesystem::path& file, std::u16string_view program) {
    ProfileRecord record = buildDefaultProfile(0);
    SlotTexts texts;
    record.setEntry(0x3B, {static_cast<std::uint16_t>(FunctionType::LaunchProgram), 0, 0});
    texts.set(0x3B, program);
    return writeFileReplacing(file, buildProfileFile(record, texts, MacroTable{}, 0));
}

// The store lists `file` as its only profile and makes it the active one.
inline void useAsOnlyProfile(ProfileList& list, const std::filesystem::path& file) {
    list.setProfileCount(1);
    list.setProfilePath(0, file.u16string());
    list.setActiveIndex(0);
}

// No editing dialog is open.
struct NoEditingDialogs final : EditingDialogs {
    bool keyFunctionDialogOpen() const override { return false; }
    bool macroEditorOpen() const override { return false; }
};

inline std::vector<std::uint8_t> fileBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A default profile file in a temporary folder, the list's only and active
// entry, loaded into the model: where the editing rules' tests start.
struct OneLoadedProfile {
    TempFolder dir;
    MemorySettingsStore store;
    ProfileList list{store};
    ProfileModel model;
    AnsweringPrompt prompt;
    RecordingWindow window;
    std::filesystem::path file;

    [[nodiscard]] bool loadOnly(const std::string& name) {
        file = dir / name;
        if (writeDefaultProfileFile(file, 0) != 1) return false;
        useAsOnlyProfile(list, file);
        return loadProfileFile(model, file) == 1;
    }
};

}  // namespace kb::testing
