#include "profile_activation.h"

#include "key_functions.h"
#include "key_tables.h"
#include "profile_backup.h"
#include "profile_file.h"
#include "profile_trust.h"
#include "ui_ports.h"

#include <new>

namespace kb {

// The window as the model's functions see it: the same sink, cut to the
// ports they take.
class ProfileActivation::Ports final : public MainWindowSink, public Prompt {
public:
    Ports(WindowSink& window, const MacroKeys* const& keys) noexcept : window_(window), keys_(keys) {}
    void setKeyButtonAssigned(int slot, bool assigned) override { window_.setKeyButtonAssigned(slot, assigned); }
    [[nodiscard]] int currentMacroBank() const override { return keys_ != nullptr ? keys_->bank() : 0; }
    void setApplyButtonEnabled(bool enabled) override { window_.setApplyButtonEnabled(enabled); }
    void showProfileMenu(const ProfileMenu& menu) override { window_.showProfileMenu(menu); }
    void showMessage(std::u16string_view text) override { window_.showMessage(text); }
    [[nodiscard]] bool askYesNo(std::u16string_view text, bool defaultNo) override {
        return window_.askYesNo(text, defaultNo);
    }

private:
    WindowSink& window_;
    const MacroKeys* const& keys_;
};

class ProfileActivation::BusyScope {
public:
    explicit BusyScope(bool& flag) noexcept : flag_(flag) { flag_ = true; }
    ~BusyScope() { flag_ = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& flag_;
};

ProfileActivation::ProfileActivation(ProfileModel& model, Engine& engine, ProfileList& list, ControlDevice& device,
                                     WindowSink& window)
    : model_(model),
      engine_(engine),
      list_(list),
      device_(device),
      window_(window),
      ports_(std::make_unique<Ports>(window, macroKeys_)),
      layers_(engine, device, window) {}

ProfileActivation::~ProfileActivation() = default;

MainWindowSink& ProfileActivation::windowPort() noexcept { return *ports_; }

Prompt& ProfileActivation::prompt() noexcept { return *ports_; }

LoadOutcome ProfileActivation::activateListed(ApplyButton button, Prompt* ask) {
    if (busy_) return LoadOutcome{.busy = true};
    BusyScope scope(busy_);
    return load(button, ask != nullptr ? *ask : *ports_);
}

SwitchResult ProfileActivation::switchTo(int i, const EditingDialogs& dialogs, ProfileManagerView* manager) {
    if (busy_) return SwitchResult::Busy;
    BusyScope scope(busy_);
    if (i < 0 || i >= list_.profileCount()) i = -1;
    if (dialogs.keyFunctionDialogOpen() || dialogs.macroEditorOpen()) {
        ports_->showMessage(text::kCloseDialogsFirst);
        return SwitchResult::DialogsOpen;
    }
    if (manager && manager->isOpen() && manager->hasUnappliedChanges()) {
        if (!ports_->askYesNo(text::kDropManagerChanges, false)) return SwitchResult::ManagerKept;
        list_.setActiveIndex(i);
        manager->reloadFromStore();
    } else if (manager && manager->isOpen()) {
        list_.setActiveIndex(i);
        manager->checkRow(i);
    } else {
        list_.setActiveIndex(i);
    }
    (void)load(ApplyButton::Disable, *ports_);
    return SwitchResult::Switched;
}

ApplyResult ProfileActivation::applyWorking() {
    if (busy_) return ApplyResult::Busy;
    BusyScope scope(busy_);
    if (playback_ != nullptr && playback_->isPlaying()) {
        if (!ports_->askYesNo(text::kStopPlaybackQuestion, true)) return ApplyResult::KeptPlaying;
        playback_->stop();
    }
    const bool applied = install();
    window_.setApplyButtonEnabled(false);
    return applied ? ApplyResult::Applied : ApplyResult::Failed;
}

LoadOutcome ProfileActivation::load(ApplyButton button, Prompt& ask) {
    if (playback_ != nullptr && playback_->isPlaying()) {
        playback_->stop();
        ask.showMessage(text::kSwitchStopsPlayback);
    }
    bool fromFile = false;
    std::filesystem::path path;
    const int active = list_.activeIndex();
    if (active >= 0 && !list_.storedProfilePath(active)) {
        // No path stored for the entry: say the file is missing, but write no
        // default file under the placeholder name into whatever folder is current.
        ask.showMessage(text::kProfileMissing);
    } else if (active >= 0) {
        path = std::filesystem::path(list_.profilePath(active));
        // A missing or unusable file is replaced by a default one; a damaged
        // one's bytes are kept aside first.
        fromFile = prepareProfileFile(path, ask);
    }
    // Read and judged before the lock: the question waits for the user. What
    // is loaded is exactly what was judged, whatever happens to the file meanwhile.
    std::unique_ptr<ProfileContent> content;
    LoadOutcome outcome;
    if (fromFile) {
        try {
            const auto bytes = readProfileBytes(path);
            content = std::make_unique<ProfileContent>();
            if (!bytes || !parseProfileBytes(*bytes, *content)) {
                content.reset();
            } else {
                if (!content->extensionDropped.empty()) {
                    std::u16string message(text::kLayersDroppedFormat);
                    message.replace(message.find(u"%s"), 2, list_.profilePath(active));
                    ask.showMessage(message);
                }
                ProfileTrust trust(list_.store());
                const std::u16string stored = list_.profilePath(active);
                if (confirmActivation(trust, ask, stored, *content, *bytes) == Consent::Refused) {
                    content.reset();
                    list_.refuseActiveForThisRun();
                    outcome.refused = true;
                }
            }
        } catch (const std::bad_alloc&) {
            content.reset();
        }
    }
    {
        std::lock_guard guard(model_.lock());
        model_.texts.clearAll();
        model_.macros.clear();
        model_.extension = {};
        model_.record.reset();
        if (content) {
            model_.macros = std::move(content->macros);
            model_.texts = std::move(content->texts);
            model_.extension = std::move(content->extension);
            model_.record = content->record;
            outcome.source = LoadedFrom::File;
        } else {
            model_.record = buildDefaultProfile(0);
        }
        outcome.applied = install();
    }
    if (button == ApplyButton::Disable) window_.setApplyButtonEnabled(false);
    rebuildProfileMenu(list_, *ports_);
    return outcome;
}

bool ProfileActivation::install() {
    std::lock_guard guard(model_.lock());
    const bool made = makeActiveCopy(model_, engine_);
    layers_.load(made ? &model_ : nullptr);
    if (made && !suspended_) (void)send();
    markKeyButtons(model_, *ports_);
    return made;
}

bool ProfileActivation::send() {
    layers_.allowSends(true);
    const bool keyboard = layers_.sendKeyboard();
    (void)layers_.sendKeypad();  // the keypad may well be absent
    return keyboard;
}

void ProfileActivation::suspend() {
    if (suspended_) return;
    suspended_ = true;
    // Without the tables no key's release or second press can end a
    // repetition, and it would type into the locked session.
    if (playback_ != nullptr && playback_->isRepeating()) playback_->stop();
    withdraw();
}

void ProfileActivation::resume() {
    if (!suspended_) return;
    suspended_ = false;
    (void)send();
}

bool ProfileActivation::resend() { return !suspended_ && send(); }

void ProfileActivation::withdraw() {
    // What a layer or a hold put down is let go before the tables go.
    layers_.returnToBase(false);
    layers_.allowSends(false);
    withdrawKeyboardTable(device_);
    withdrawKeypadTables(device_);
}

}  // namespace kb
