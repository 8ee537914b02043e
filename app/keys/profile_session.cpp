#include "profile_session.h"

#include "key_tables.h"
#include "profile_backup.h"
#include "profile_trust.h"

#include <memory>
#include <new>

namespace kb {

LoadOutcome loadActiveProfile(ProfileServices& s, bool keepApplyButton) {
    if (s.playback && s.playback->isPlaying()) {
        s.playback->stop();
        s.prompt.showMessage(text::kSwitchStopsPlayback);
    }
    bool fromFile = false;
    std::filesystem::path path;
    const int active = s.list.activeIndex();
    if (active >= 0 && !s.list.storedProfilePath(active)) {
        // No path stored for the entry: say the file is missing, but write no
        // default file under the placeholder name into whatever folder is current.
        s.prompt.showMessage(text::kProfileMissing);
    } else if (active >= 0) {
        path = std::filesystem::path(s.list.profilePath(active));
        // A missing or unusable file is replaced by a default one; a damaged
        // one's bytes are kept aside first.
        fromFile = prepareProfileFile(path, s.prompt);
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
                ProfileTrust trust(s.list.store());
                const std::u16string stored = s.list.profilePath(active);
                if (confirmActivation(trust, s.prompt, stored, *content, *bytes) == Consent::Refused) {
                    content.reset();
                    s.list.refuseActiveForThisRun();
                    outcome.refused = true;
                }
            }
        } catch (const std::bad_alloc&) {
            content.reset();
        }
    }
    {
        std::lock_guard guard(s.model.lock());
        s.model.texts.clearAll();
        s.model.macros.clear();
        s.model.record.reset();
        if (content) {
            s.model.macros = std::move(content->macros);
            s.model.texts = std::move(content->texts);
            s.model.record = content->record;
            outcome.source = LoadedFrom::File;
        } else {
            s.model.record = buildDefaultProfile(0);
        }
        outcome.applied = applyProfile(s.model, s.engine, s.device);
        markKeyButtons(s.model, s.window);
    }
    if (!keepApplyButton) s.window.setApplyButtonEnabled(false);
    return outcome;
}

bool switchProfile(ProfileServices& s, int i, const EditingDialogs& dialogs, ProfileManagerView* manager) {
    if (i < 0 || i >= s.list.profileCount()) i = -1;
    if (dialogs.keyFunctionDialogOpen() || dialogs.macroEditorOpen()) {
        s.prompt.showMessage(text::kCloseDialogsFirst);
        return false;
    }
    if (manager && manager->isOpen() && manager->hasUnappliedChanges()) {
        if (!s.prompt.askYesNo(text::kDropManagerChanges, false)) return false;
        s.list.setActiveIndex(i);
        manager->reloadFromStore();
    } else if (manager && manager->isOpen()) {
        s.list.setActiveIndex(i);
        manager->checkRow(i);
    } else {
        s.list.setActiveIndex(i);
    }
    (void)loadActiveProfile(s, false);
    rebuildProfileMenu(s.list, s.window);
    return true;
}

}  // namespace kb
