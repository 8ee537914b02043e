#include "profile_backup.h"

#include "local_clock.h"
#include "profile_file.h"
#include "profile_list.h"
#include "profile_trust.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <fstream>
#include <iterator>
#include <mutex>

namespace kb {
namespace {

namespace fs = std::filesystem;

constexpr std::uintmax_t kFourGiB = std::uintmax_t{1} << 32;

std::mutex g_folderLock;  // leaf: guards only the folder's path
fs::path g_folder;
bool g_folderSet = false;

// A failed backup waits to be told; told once until a backup succeeds.
std::atomic<bool> g_failurePending{false};
std::atomic<bool> g_failureTold{false};
std::mutex g_noticeLock;  // leaf
std::u16string g_failedPath;

void noteFailure(const fs::path& where) {
    if (g_failureTold.load()) return;
    {
        std::lock_guard guard(g_noticeLock);
        g_failedPath = where.u16string();
    }
    g_failurePending.store(true);
}

std::u16string withPath(std::u16string_view format, std::u16string_view path) {
    std::u16string out(format);
    if (const auto at = out.find(u"%s"); at != std::u16string::npos) out.replace(at, 2, path);
    return out;
}

std::u16string ascii(const std::string& s) { return {s.begin(), s.end()}; }

// Local time as "YYYYMMDD-HHMMSS" and the milliseconds.
std::string localStamp(bool withMilliseconds) {
    const LocalClockReading now = readLocalClock();
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &now.tm);
    std::string out(buf);
    if (withMilliseconds) {
        char m[8];
        std::snprintf(m, sizeof m, "-%03d", now.milliseconds);
        out += m;
    }
    return out;
}

// A backup's name: "YYYYMMDD-HHMMSS-mmm" then "-N" when that time is taken.
struct BackupName {
    std::string stamp;
    unsigned sequence = 0;
};

std::optional<BackupName> parseBackupName(const fs::path& file) {
    if (file.extension() != ".px3") return std::nullopt;
    const std::u16string stem = file.stem().u16string();
    if (stem.size() < 19) return std::nullopt;
    for (std::size_t i = 0; i < 19; ++i) {
        const bool dash = i == 8 || i == 15;
        if (dash ? stem[i] != '-' : (stem[i] < '0' || stem[i] > '9')) return std::nullopt;
    }
    BackupName name{std::string(stem.begin(), stem.begin() + 19), 0};
    if (stem.size() > 19) {
        if (stem[19] != '-' || stem.size() > 25) return std::nullopt;
        for (std::size_t i = 20; i < stem.size(); ++i) {
            if (stem[i] < '0' || stem[i] > '9') return std::nullopt;
            name.sequence = name.sequence * 10 + static_cast<unsigned>(stem[i] - '0');
        }
    }
    return name;
}

struct Listed {
    fs::path file;
    BackupName name;
};

// Oldest first.
std::vector<Listed> backupsIn(const fs::path& folder) {
    std::vector<Listed> out;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        if (auto name = parseBackupName(it->path())) out.push_back({it->path(), *name});
    }
    std::sort(out.begin(), out.end(), [](const Listed& a, const Listed& b) {
        return a.name.stamp != b.name.stamp ? a.name.stamp < b.name.stamp : a.name.sequence < b.name.sequence;
    });
    return out;
}

std::optional<std::vector<std::uint8_t>> readAll(const fs::path& file) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(file, ec);
    if (ec || size >= kFourGiB) return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
        return std::nullopt;
    }
    return bytes;
}

// Written under a side name and renamed, so a half-written backup never
// looks like one.
bool writeNew(const fs::path& target, const std::vector<std::uint8_t>& bytes) {
    fs::path part = target;
    part += ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            out.close();
            std::error_code ec;
            fs::remove(part, ec);
            return false;
        }
    }
    std::error_code ec;
    fs::rename(part, target, ec);
    if (ec) fs::remove(part, ec);
    return !ec;
}

// A name in `folder` that no file has yet: base and extension, or with
// "-1", "-2", ... between them.
fs::path freeName(const fs::path& folder, const fs::path& base, const std::string& extension) {
    std::error_code ec;
    fs::path candidate = folder / base;
    candidate += extension;
    for (int n = 1; fs::exists(candidate, ec) && n < 1000; ++n) {
        candidate = folder / base;
        std::string suffix(1, '-');
        suffix += std::to_string(n);
        suffix += extension;
        candidate += suffix;
    }
    return candidate;
}

}  // namespace

void setBackupFolder(const fs::path& folder) {
    std::lock_guard guard(g_folderLock);
    g_folder = folder;
    g_folderSet = true;
}

fs::path backupFolder() {
    std::lock_guard guard(g_folderLock);
    if (!g_folderSet) {
        g_folder = defaultBackupFolder();
        g_folderSet = true;
    }
    return g_folder;
}

fs::path backupFolderFor(const fs::path& profile) {
    const fs::path root = backupFolder();
    if (root.empty()) return {};
    // Windows compares paths without regard to ASCII case.
    std::error_code ec;
    const fs::path full = fs::absolute(profile, ec);
    std::u16string key = (ec ? profile : full).u16string();
    for (char16_t& c : key)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    std::vector<std::uint8_t> units;
    for (char16_t c : key) {
        units.push_back(static_cast<std::uint8_t>(c & 0xFF));
        units.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    std::u16string name = profileDisplayName(profile.u16string());
    // Characters a folder name cannot hold on Windows.
    for (char16_t& c : name)
        if (c < 0x20 || std::u16string_view(u"<>:\"/\\|?*").find(c) != std::u16string_view::npos) c = u'_';
    name += u"-";
    name += ascii(sha256Hex(units).substr(0, 8));
    return root / name;
}

BackupResult keepVersion(const fs::path& profile) {
    const fs::path folder = backupFolderFor(profile);
    if (folder.empty()) return BackupResult::NoFolder;
    try {
        const auto bytes = readAll(profile);
        if (!bytes) {
            noteFailure(folder);
            return BackupResult::Failed;
        }
        std::error_code ec;
        fs::create_directories(folder, ec);
        std::vector<Listed> existing = backupsIn(folder);
        if (!existing.empty() && readAll(existing.back().file) == bytes) return BackupResult::Unchanged;
        const fs::path target = freeName(folder, localStamp(true), ".px3");
        if (ec || !writeNew(target, *bytes)) {
            noteFailure(folder);
            return BackupResult::Failed;
        }
        g_failureTold.store(false);
        existing = backupsIn(folder);
        for (std::size_t i = 0; i + kBackupsKept < existing.size(); ++i) fs::remove(existing[i].file, ec);
        return BackupResult::Kept;
    } catch (const std::exception&) {
        noteFailure(folder);
        return BackupResult::Failed;
    }
}

std::optional<std::u16string> takeBackupNotice() {
    if (!g_failurePending.exchange(false)) return std::nullopt;
    if (g_failureTold.exchange(true)) return std::nullopt;
    std::lock_guard guard(g_noticeLock);
    return withPath(text::kBackupFailedFormat, g_failedPath);
}

std::vector<BackupInfo> listBackups(const fs::path& profile) {
    std::vector<BackupInfo> out;
    const fs::path folder = backupFolderFor(profile);
    if (folder.empty()) return out;
    const std::vector<Listed> listed = backupsIn(folder);
    for (auto it = listed.rbegin(); it != listed.rend(); ++it) {
        BackupInfo info;
        info.file = it->file;
        const std::string& s = it->name.stamp;  // YYYYMMDD-HHMMSS-mmm
        info.when = ascii(s.substr(0, 4) + "-" + s.substr(4, 2) + "-" + s.substr(6, 2) + " " + s.substr(9, 2) + ":" +
                          s.substr(11, 2) + ":" + s.substr(13, 2));
        std::error_code ec;
        info.size = fs::file_size(it->file, ec);
        if (checkProfileFile(it->file).result == kValidUsable) {
            ProfileContent content;
            if (readProfileFile(it->file, content)) {
                info.usable = true;
                info.macros = static_cast<int>(content.macros.size());
                for (int slot = 0; slot < kSlotCount; ++slot) info.assignedKeys += content.record.entry(slot).type != 0;
            }
        }
        out.push_back(std::move(info));
    }
    return out;
}

std::u16string describeBackup(const BackupInfo& b) {
    std::u16string line = b.when + u"  " + ascii(std::to_string(b.size)) + u" 字节";
    if (!b.usable) return line + u", 已损坏";
    return line + u", " + ascii(std::to_string(b.macros)) + u" 个宏, " + ascii(std::to_string(b.assignedKeys)) +
           u" 个按键";
}

RestoreResult restoreBackup(const fs::path& profile, const fs::path& backup) {
    try {
        const auto bytes = readAll(backup);
        if (!bytes || bytes->size() < kProfileRecordSize || headerProblem(bytes->data())) return RestoreResult::Unusable;
        std::error_code ec;
        if (fs::exists(profile, ec)) {
            const BackupResult kept = keepVersion(profile);
            if (kept != BackupResult::Kept && kept != BackupResult::Unchanged) return RestoreResult::CurrentNotKept;
        }
        return writeFileReplacing(profile, *bytes) ? RestoreResult::Restored : RestoreResult::Failed;
    } catch (const std::exception&) {
        return RestoreResult::Failed;
    }
}

bool prepareProfileFile(const fs::path& path, Prompt& prompt) {
    const ValidationReport report = checkProfileFile(path);
    if (report.result == kValidUsable) return true;
    if (report.result != kValidReplace) return false;  // cannot be opened: left alone
    if (report.missing) {
        prompt.showMessage(text::kProfileMissing);
        return writeDefaultProfileFile(path, 1) == 1;
    }
    // A wrong length is not announced as a format error, but its bytes are
    // kept all the same (an empty file has none).
    const bool formatError = report.reason.rfind("file length", 0) != 0;
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    const bool nothingToKeep = !ec && size == 0;
    std::optional<fs::path> kept;
    if (!nothingToKeep) {
        fs::path base = path.filename();
        base += ".damaged-" + localStamp(false);
        const fs::path target = freeName(path.parent_path(), base, "");
        fs::rename(path, target, ec);
        if (!ec) kept = target;
    }
    std::u16string message = formatError ? withPath(text::kProfileDamagedFormat, path.u16string()) : u"";
    if (!nothingToKeep && !kept) {
        // Overwriting would destroy the only copy: the default profile stays in memory.
        prompt.showMessage(withPath(text::kProfileDamagedFormat, path.u16string()) + std::u16string(text::kDamagedNotKept));
        return false;
    }
    if (kept) {
        message += withPath(formatError ? text::kDamagedKeptFormat : text::kShortFileKeptFormat, kept->u16string());
    }
    if (!message.empty()) prompt.showMessage(message);
    return writeDefaultProfileFile(path, 1) == 1;
}

}  // namespace kb
