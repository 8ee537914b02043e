// Earlier versions of profile files and damaged files kept aside: nothing a
// user made is destroyed by a save, a restore or the load's replacement of
// an unusable file.
#pragma once

#include "ui_ports.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kb {

inline constexpr std::size_t kBackupsKept = 20;

// Where earlier versions go: a folder per profile below it. The program
// uses the user's local application data (defaultBackupFolder); an empty
// path keeps none.
void setBackupFolder(const std::filesystem::path& folder);
[[nodiscard]] std::filesystem::path backupFolder();
// "%LOCALAPPDATA%\KbPanel\Backups" on Windows; empty elsewhere (tests and
// tools that set their own).
[[nodiscard]] std::filesystem::path defaultBackupFolder();

// The folder of one profile's versions: its name and a short digest of its
// full path, so two profiles of the same name never share one.
[[nodiscard]] std::filesystem::path backupFolderFor(const std::filesystem::path& profile);

enum class BackupResult { Kept, Unchanged, NoFolder, Failed };
// Copies the file's bytes as they are now into its backup folder (unless the
// newest backup holds the same bytes) and removes all but the newest 20. A
// failure is remembered for one notice (takeBackupNotice).
[[nodiscard]] BackupResult keepVersion(const std::filesystem::path& profile);
// The notice for a backup that could not be written, once until a backup
// succeeds again. Shown by whoever saved, after the profile lock is released.
[[nodiscard]] std::optional<std::u16string> takeBackupNotice();

struct BackupInfo {
    std::filesystem::path file;
    std::u16string when;   // "2026-12-09 05:01:02", local time of the backup
    std::uintmax_t size = 0;
    bool usable = false;   // passes the load's validation
    int macros = 0;
    int assignedKeys = 0;  // entries whose function is not the default one
};
// The profile's backups, newest first.
[[nodiscard]] std::vector<BackupInfo> listBackups(const std::filesystem::path& profile);
// One line of the restore list: "2026-12-09 05:01:02  16448 字节, 3 个宏, 12 个按键".
[[nodiscard]] std::u16string describeBackup(const BackupInfo& backup);

enum class RestoreResult { Restored, Unusable, CurrentNotKept, Failed };
// Keeps the current file as a backup, then puts the backup's bytes in its
// place in one step. Refused when the backup is not a usable profile or the
// current file (when there is one) cannot be kept first.
[[nodiscard]] RestoreResult restoreBackup(const std::filesystem::path& profile, const std::filesystem::path& backup);

// The load's replacement of the active profile's file: a usable file is
// left as it is; a missing or unusable one gets a default file (mark 1), a
// damaged one only after its bytes were moved beside it
// ("NAME.px3.damaged-YYYYMMDD-HHMMSS"); the messages say where they went. A
// damaged file that cannot be kept is not overwritten. True when there is a
// file to load.
[[nodiscard]] bool prepareProfileFile(const std::filesystem::path& path, Prompt& prompt);

namespace text {
inline constexpr std::u16string_view kDamagedKeptFormat = u"\n损坏的文件已另存为: \n  %s";
inline constexpr std::u16string_view kShortFileKeptFormat = u"情景模式文件已损坏，加载默认设置。损坏的文件已另存为: \n  %s";
inline constexpr std::u16string_view kDamagedNotKept = u"\n无法另存损坏的文件，它未被覆盖。";
inline constexpr std::u16string_view kNoBackupsFormat = u"此情景模式还没有备份:\n  %s";
inline constexpr std::u16string_view kRestoreUnusable = u"此备份已损坏，无法恢复。";
inline constexpr std::u16string_view kRestoreNotKept = u"无法先备份当前的情景模式文件，没有恢复。";
inline constexpr std::u16string_view kRestoreFailed = u"无法写入情景模式文件，文件未改变:\n  %s";
inline constexpr std::u16string_view kBackupFailedFormat =
    u"无法保存情景模式文件的备份 (之前的版本未保留):\n  %s\n情景模式文件本身已保存。";
}  // namespace text

}  // namespace kb
