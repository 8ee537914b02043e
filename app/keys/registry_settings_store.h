// The settings store in the registry: one key per section under the
// application's per-user key. Windows only.
#pragma once

#include "settings_store.h"

#include <string>

namespace kb {

inline constexpr std::u16string_view kApplicationSettingsKey = u"Software\\Plexor3_QM2000RB\\KbPanel";

class RegistrySettingsStore final : public SettingsStore {
public:
    // A key below HKEY_CURRENT_USER.
    explicit RegistrySettingsStore(std::u16string applicationKey = std::u16string(kApplicationSettingsKey));

    [[nodiscard]] std::optional<std::u16string> read(std::u16string_view section,
                                                     std::u16string_view name) const override;
    [[nodiscard]] bool write(std::u16string_view section, std::u16string_view name,
                             std::u16string_view value) override;

private:
    std::u16string applicationKey_;
};

// The user's documents folder; empty when the shell cannot tell.
[[nodiscard]] std::u16string personalDocumentsFolder();

}  // namespace kb
