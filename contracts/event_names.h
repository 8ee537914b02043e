// Names of the events the filter driver signals: one per key record and one
// for the keyboard's attach state. Shared with the driver by name, so fixed.
#pragma once

namespace kb::contract {

// Followed by "Main_" or "Sub_" and the record's 1-based number, at least two
// digits ("%02d"): "KbPanel_PX3_QM2000RB_Event_Main_01" .. "_Main_174", "_Sub_01" .. "_Sub_46".
inline constexpr char16_t kKeyEventPrefix[] = u"KbPanel_PX3_QM2000RB_Event_";
inline constexpr char16_t kKeyboardEventFamily[] = u"Main";
inline constexpr char16_t kKeypadEventFamily[] = u"Sub";

// The prefix followed by "_DevAtt2": two underscores in a row.
inline constexpr wchar_t kAttachEventName[] = L"KbPanel_PX3_QM2000RB_Event__DevAtt2";

}  // namespace kb::contract
