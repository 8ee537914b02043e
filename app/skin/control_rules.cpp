#include "control_rules.h"

#include <algorithm>

namespace kbskin {

std::vector<bool> ApplyUserCheck(CheckMode mode, std::vector<bool> states, int row, bool ticked) {
    if (row < 0 || static_cast<std::size_t>(row) >= states.size()) return states;
    switch (mode) {
    case CheckMode::None:
    case CheckMode::Locked:
        break;  // no boxes, or boxes the mouse may not change
    case CheckMode::Toggle:
        states[row] = ticked;
        break;
    case CheckMode::Single:
        if (ticked) std::fill(states.begin(), states.end(), false);
        states[row] = ticked;
        break;
    }
    return states;
}

bool SortsBefore(std::wstring_view a, std::wstring_view b, bool ascending) {
    const int c = a.compare(b);
    return ascending ? c < 0 : c > 0;
}

int NeighbourAfterDelete(int deleted, int countAfter) {
    if (countAfter <= 0) return -1;
    return deleted < countAfter ? deleted : countAfter - 1;
}

std::wstring LinkErrorText(int code) {
    switch (code) {
    case 0: return L"The operating system is out\nof memory or resources.";
    case 2: return L"The specified file was not found.";
    case 3: return L"The specified path was not found.";
    case 5: return L"The operating system denied\naccess to the specified file.";
    case 8: return L"There was not enough memory to complete the operation.";
    case 11: return L"The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
    case 26: return L"A sharing violation occurred. ";
    case 27: return L"The filename association is\nincomplete or invalid.";
    case 28: return L"The DDE transaction could not\nbe completed because the request timed out.";
    case 29: return L"The DDE transaction failed.";
    case 30:
        return L"The DDE transaction could not\nbe completed because other DDE transactions\n"
               L"were being processed.";
    case 31: return L"There is no application associated\nwith the given filename extension.";
    case 32: return L"The specified dynamic-link library was not found.";
    default: return L"Unknown Error (" + std::to_wstring(code) + L") occurred.";
    }
}

std::wstring LinkFailureMessage(int code) {
    return L"Unable to open hyperlink:\n\n" + LinkErrorText(code);
}

std::optional<std::wstring> OpenerCommandLine(std::wstring_view command, std::wstring_view url,
                                              std::size_t limit) {
    std::size_t cut = command.find(L"\"%1\"");
    if (cut == std::wstring_view::npos) cut = command.find(L"%1");
    std::wstring line(command.substr(0, cut));
    // The opener sees the address as one argument.
    line += L' ';
    line += url;
    if (line.size() + 1 > limit) return std::nullopt;
    return line;
}

std::optional<int> ArrowState::Step(ArrowSide side, int frame, bool setEnable, bool enable) {
    const int s = static_cast<int>(side);
    if (frame >= 0 && frame < 2) frame_[s] = frame;
    if (setEnable) enabled_[s] = enable;
    if (!enabled_[s]) return std::nullopt;
    return frame_[s];
}

}  // namespace kbskin
