// Whole-file replacement on POSIX systems (host builds and tools).
#include "file_replace.h"
#include "profile_backup.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace kb {
namespace {

class PosixFile {
public:
    explicit PosixFile(const std::filesystem::path& path) noexcept
        : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)) {}
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;
    ~PosixFile() { (void)close(); }
    [[nodiscard]] bool valid() const noexcept { return fd_ >= 0; }
    [[nodiscard]] std::size_t write(const std::uint8_t* data, std::size_t n) noexcept {
        for (;;) {
            const ssize_t written = ::write(fd_, data, n);
            if (written < 0 && errno == EINTR) continue;
            return written > 0 ? static_cast<std::size_t>(written) : 0;
        }
    }
    [[nodiscard]] bool flush() noexcept { return ::fsync(fd_) == 0; }
    [[nodiscard]] bool close() noexcept {
        const bool ok = fd_ < 0 || ::close(fd_) == 0;
        fd_ = -1;
        return ok;
    }
    [[nodiscard]] static bool moveOver(const std::filesystem::path& from, const std::filesystem::path& to) noexcept {
        return ::rename(from.c_str(), to.c_str()) == 0;
    }
    static void remove(const std::filesystem::path& path) noexcept { ::unlink(path.c_str()); }

private:
    int fd_;
};

}  // namespace

bool writeFileReplacing(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    return detail::replaceWholeFile<PosixFile>(path, bytes);
}

// The program keeps its backups only on Windows; tests and tools here choose a folder.
std::filesystem::path defaultBackupFolder() { return {}; }

}  // namespace kb
