// Whole-file replacement on Windows.
#include "file_replace.h"
#include "profile_backup.h"

#include <windows.h>
#include <shlobj.h>

#include "common/win/unique_handle.h"

namespace kb {
namespace {

class WinFile {
public:
    explicit WinFile(const std::filesystem::path& path) noexcept
        : file_(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    [[nodiscard]] bool valid() const noexcept { return file_.valid(); }
    [[nodiscard]] std::size_t write(const std::uint8_t* data, std::size_t n) noexcept {
        DWORD written = 0;
        if (WriteFile(file_.get(), data, static_cast<DWORD>(n), &written, nullptr) == 0) return 0;
        return written;
    }
    [[nodiscard]] bool flush() noexcept { return FlushFileBuffers(file_.get()) != 0; }
    [[nodiscard]] bool close() noexcept { return file_.close(); }
    [[nodiscard]] static bool moveOver(const std::filesystem::path& from, const std::filesystem::path& to) noexcept {
        return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    }
    static void remove(const std::filesystem::path& path) noexcept { DeleteFileW(path.c_str()); }

private:
    kbwin::UniqueHandle file_;
};

}  // namespace

bool writeFileReplacing(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    return detail::replaceWholeFile<WinFile>(path, bytes);
}

std::filesystem::path defaultBackupFolder() {
    wchar_t base[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base))) return {};
    return std::filesystem::path(base) / L"KbPanel" / L"Backups";
}

}  // namespace kb
