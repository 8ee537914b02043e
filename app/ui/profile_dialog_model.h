// The profile manager's list without a window: rows of folder and name, the
// single check mark that names the active profile, the changed flag (its
// Apply button) and Apply, which writes the list in the order that never
// leaves it half stored. Each row carries the programs bound to it, and the
// follow switch is edited here too; both are stored with the list on Apply.
#pragma once

#include "profile_follow.h"
#include "profile_list.h"
#include "profile_activation.h"
#include "ui_ports.h"

#include <string>
#include <string_view>
#include <vector>

namespace kb {

namespace text {
inline constexpr std::u16string_view kNewProfileName = u"新情景模式";
inline constexpr std::u16string_view kCreateProfileFailed = u"无法创建情景模式文件:\n  %s";
}  // namespace text

struct ProfileRow {
    std::u16string folder;  // drive and folder, ending in a separator (empty when the path has none)
    std::u16string name;    // file name without extension
    std::vector<std::u16string> programs;  // programs bound to the row (file names), carried with it
    // What Apply stores: folder, name and ".px3".
    [[nodiscard]] std::u16string storedPath() const;
};

[[nodiscard]] ProfileRow profileRowOf(std::u16string_view path);
// The programs column: "game.exe; tool.exe".
[[nodiscard]] std::u16string programsText(const std::vector<std::u16string>& programs);

class ProfileDialogModel final : public ProfileManagerView {
public:
    explicit ProfileDialogModel(ProfileList& list) noexcept : list_(list) {}

    void open();
    void close() noexcept;
    // Lists the store's profiles again and checks the active one; no changes.
    void fill();

    [[nodiscard]] const std::vector<ProfileRow>& rows() const noexcept { return rows_; }
    // -1 when no row is checked (the default profile).
    [[nodiscard]] int checkedRow() const noexcept { return checked_; }
    [[nodiscard]] bool changed() const noexcept { return changed_; }

    // Add: the chosen file gets a default profile at once and is listed. A
    // file that cannot be written is still listed, and the user is told.
    int add(std::u16string_view chosenPath, Prompt& prompt);
    // Load: lists the chosen file unchecked.
    int load(std::u16string_view chosenPath);
    // Load as the user does it: a file that starts programs is listed only
    // when the user agrees to them (see confirmLoad). -1 when nothing was listed.
    int load(std::u16string_view chosenPath, Prompt& prompt);
    // Removes the row (the file stays); false when there is no such row.
    bool remove(int row);
    // The single-check list: ticking a row unticks the others; unticking is allowed.
    void setChecked(int row, bool checked);
    // The row's programs as typed: names separated by "|" or ";" (folders are
    // dropped). False when there is no such row.
    bool setPrograms(int row, std::u16string_view typed);
    // Adds programs chosen in a file dialog to the row's own.
    bool addPrograms(int row, const std::vector<std::u16string>& chosen);
    // The rows in a new order (after sorting): order[i] is the old index of
    // the row now at i. Each row keeps its programs and the check follows its row.
    bool reorder(const std::vector<int>& order);
    [[nodiscard]] bool followOn() const noexcept { return follow_; }
    void setFollow(bool on);
    // The notice that names a new layer or profile.
    [[nodiscard]] bool noticeOn() const noexcept { return notice_; }
    void setNotice(bool on);

    // Writes every path (with the row's programs beside it), then the count,
    // then the active index and the follow switch; loads the active profile
    // and rebuilds the profile menu.
    // False while another activation waits on a question: nothing is
    // written and the changes stay. `ask` takes the activation's questions.
    [[nodiscard]] bool apply(ProfileActivation& activation, Prompt& ask);

    // The main window's profile switch.
    [[nodiscard]] bool isOpen() const override { return openCount_ > 0; }
    [[nodiscard]] bool hasUnappliedChanges() const override { return changed_; }
    void reloadFromStore() override { fill(); }
    void checkRow(int i) override;

private:
    int append(std::u16string_view path);

    ProfileList& list_;
    std::vector<ProfileRow> rows_;
    int checked_ = -1;
    int openCount_ = 0;
    bool changed_ = false;
    bool follow_ = false;
    bool notice_ = true;
};

}  // namespace kb
