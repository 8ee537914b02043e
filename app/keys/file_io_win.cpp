// Whole-file replacement on Windows: written beside the target, flushed, then
// moved over it in one step.
#include "profile_backup.h"
#include "profile_file.h"

#include <windows.h>
#include <shlobj.h>

#include "common/win/unique_handle.h"

#include <algorithm>
#include <exception>

namespace kb {
namespace {

// Removes the side file unless the replacement completed; not when a crash
// is being played out (an exception), which leaves it as a real one would.
class SideFile {
public:
    explicit SideFile(const std::filesystem::path& path) : path_(path) {}
    SideFile(const SideFile&) = delete;
    SideFile& operator=(const SideFile&) = delete;
    ~SideFile() {
        if (!keep_ && std::uncaught_exceptions() == 0) DeleteFileW(path_.c_str());
    }
    void keep() noexcept { keep_ = true; }

private:
    const std::filesystem::path& path_;
    bool keep_ = false;
};

}  // namespace

bool writeFileReplacing(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    using detail::replaceStepAllowed;
    std::filesystem::path temp = path;
    temp += L".saving";
    if (!replaceStepAllowed(ReplaceStep::Create)) return false;
    // Declared first: the handle is closed before the side file is removed.
    SideFile side(temp);
    kbwin::UniqueHandle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (!replaceStepAllowed(ReplaceStep::Write)) return false;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, kReplaceChunk));
        DWORD written = 0;
        if (WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) == 0 || written == 0) return false;
        done += written;
    }
    if (!replaceStepAllowed(ReplaceStep::Flush) || FlushFileBuffers(file.get()) == 0) return false;
    if (!replaceStepAllowed(ReplaceStep::Close) || !file.close()) return false;
    if (!replaceStepAllowed(ReplaceStep::Replace) ||
        MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        return false;
    }
    side.keep();
    return true;
}

std::filesystem::path defaultBackupFolder() {
    wchar_t base[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base))) return {};
    return std::filesystem::path(base) / L"KbPanel" / L"Backups";
}

}  // namespace kb
