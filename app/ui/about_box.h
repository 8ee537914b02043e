// The About box: product and version, the maker's web address as a link, and
// where the last crash report lies when there is one. Modeless, without parent.
#pragma once

#include "win/link_static.h"
#include "win/skin_dialog.h"

#include <functional>
#include <string>

namespace kb::ui {

class AboutBox final : public kbskin::SkinDialog {
public:
    // help: what F1 in the box does.
    AboutBox(std::wstring webAddress, std::function<void()> help);

    // Creates and shows the box; false when it is open already or cannot be made.
    [[nodiscard]] bool open();

    static constexpr int kCrashReportLabel = 1010;

private:
    bool onInitDialog() override;
    void onOK() override { destroy(); }
    void onCancel() override { destroy(); }
    void addCrashReportLine();

    std::wstring webAddress_;
    std::function<void()> help_;
    kbskin::LinkStatic link_;
};

}  // namespace kb::ui
