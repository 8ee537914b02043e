#include "macro_record.h"

#include <algorithm>

namespace kb {

std::u16string MacroRecord::name() const {
    std::u16string out;
    for (std::size_t i = 0; i < kMacroNameUnits && nameUnit(i) != 0; ++i) out.push_back(nameUnit(i));
    return out;
}

char16_t MacroRecord::nameUnit(std::size_t i) const noexcept {
    if (i >= kMacroNameUnits) return 0;
    return static_cast<char16_t>(readU16(&bytes_[kNameOffset + 2 * i]));
}

void MacroRecord::setNameUnit(std::size_t i, char16_t unit) noexcept {
    if (i < kMacroNameUnits) writeU16(&bytes_[kNameOffset + 2 * i], static_cast<std::uint16_t>(unit));
}

void MacroRecord::setName(std::u16string_view name) noexcept {
    const std::size_t n = std::min(name.size(), kMacroNameUnits - 1);
    for (std::size_t i = 0; i < kMacroNameUnits; ++i) setNameUnit(i, i < n ? name[i] : u'\0');
}

std::size_t MacroRecord::usedActions() const noexcept {
    return std::min<std::size_t>(actionCount(), kMaxMacroActions);
}

MacroAction MacroRecord::action(std::size_t i) const noexcept {
    if (i >= kMaxMacroActions) return {};
    const std::uint8_t* p = &bytes_[kActionsOffset + i * kMacroActionSize];
    return {readU32(p), readU16(p + 4), readU16(p + 6)};
}

void MacroRecord::setAction(std::size_t i, const MacroAction& a) noexcept {
    if (i >= kMaxMacroActions) return;
    std::uint8_t* p = &bytes_[kActionsOffset + i * kMacroActionSize];
    writeU32(p, a.delayMs);
    writeU16(p + 4, a.makeCode);
    writeU16(p + 6, a.direction);
}

void MacroRecord::setActions(const std::vector<MacroAction>& actions) noexcept {
    const std::size_t n = std::min(actions.size(), kMaxMacroActions);
    for (std::size_t i = 0; i < kMaxMacroActions; ++i) setAction(i, i < n ? actions[i] : MacroAction{});
    setActionCount(static_cast<std::uint16_t>(n));
}

std::vector<MacroAction> MacroRecord::actions() const {
    std::vector<MacroAction> out;
    out.reserve(usedActions());
    for (std::size_t i = 0; i < usedActions(); ++i) out.push_back(action(i));
    return out;
}

bool MacroRecord::appendAction(const MacroAction& a) noexcept {
    const std::size_t n = usedActions();
    if (n >= kMaxMacroActions) return false;
    setAction(n, a);
    setActionCount(static_cast<std::uint16_t>(n + 1));
    return true;
}

bool MacroRecord::sanitize() noexcept {
    bool mended = false;
    if (actionCount() > kMaxMacroActions) {
        setActionCount(static_cast<std::uint16_t>(kMaxMacroActions));
        mended = true;
    }
    bool terminated = false;
    for (std::size_t i = 0; i < kMacroNameUnits && !terminated; ++i) terminated = nameUnit(i) == 0;
    if (!terminated) {
        setNameUnit(kMacroNameUnits - 1, u'\0');
        mended = true;
    }
    return mended;
}

}  // namespace kb
