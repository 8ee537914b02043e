// What the profile pop-up menu and the profile name control show.
#pragma once

#include <string>
#include <vector>

namespace kb {

struct ProfileMenuItem {
    int commandId = 0;       // 0 for a separator
    std::u16string text;     // empty for a separator
    [[nodiscard]] bool isSeparator() const noexcept { return commandId == 0; }
};

// Content of the profile pop-up menu and of the profile name control.
struct ProfileMenu {
    std::vector<ProfileMenuItem> items;
    int checkedPosition = 0;
    std::u16string activeName;   // text of the checked item
    std::u16string toolTip;      // shown on the profile name control
};

}  // namespace kb
