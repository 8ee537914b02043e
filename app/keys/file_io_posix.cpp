// Whole-file replacement on POSIX systems (host builds and tools).
#include "profile_backup.h"
#include "profile_file.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace kb {
namespace {

class ScopedFd {
public:
    explicit ScopedFd(int fd) noexcept : fd_(fd) {}
    ScopedFd(const ScopedFd&) = delete;
    ScopedFd& operator=(const ScopedFd&) = delete;
    ~ScopedFd() { (void)reset(); }
    [[nodiscard]] int get() const noexcept { return fd_; }
    bool reset() noexcept {
        const bool ok = fd_ < 0 || ::close(fd_) == 0;
        fd_ = -1;
        return ok;
    }

private:
    int fd_;
};

// Removes the side file unless the replacement completed; not when a crash
// is being played out (an exception), which leaves it as a real one would.
class SideFile {
public:
    explicit SideFile(const std::filesystem::path& path) : path_(path) {}
    SideFile(const SideFile&) = delete;
    SideFile& operator=(const SideFile&) = delete;
    ~SideFile() {
        if (!keep_ && std::uncaught_exceptions() == 0) ::unlink(path_.c_str());
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
    temp += ".saving";
    if (!replaceStepAllowed(ReplaceStep::Create)) return false;
    ScopedFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (fd.get() < 0) return false;
    SideFile side(temp);
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (!replaceStepAllowed(ReplaceStep::Write)) return false;
        const std::size_t chunk = std::min(bytes.size() - done, kReplaceChunk);
        const ssize_t n = ::write(fd.get(), bytes.data() + done, chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    if (!replaceStepAllowed(ReplaceStep::Flush) || ::fsync(fd.get()) != 0) return false;
    if (!replaceStepAllowed(ReplaceStep::Close) || !fd.reset()) return false;
    if (!replaceStepAllowed(ReplaceStep::Replace) || ::rename(temp.c_str(), path.c_str()) != 0) return false;
    side.keep();
    return true;
}

// The program keeps its backups only on Windows; tests and tools here choose a folder.
std::filesystem::path defaultBackupFolder() { return {}; }

}  // namespace kb
