// The steps of a whole-file replacement, the same on every platform: a side
// file written in chunks, flushed, closed, then moved over the target in one
// step. `File` supplies the platform's calls:
//   explicit File(path)  opens the side file for writing, created or emptied
//   valid()  write(data, n) -> bytes written, 0 on failure  flush()  close()
//   static moveOver(from, to)  static remove(path)
#pragma once

#include "profile_file.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <span>

namespace kb::detail {

// Removes the side file unless the replacement completed; not when a crash
// is being played out (an exception), which leaves it as a real one would.
template <class File>
class SideFile {
public:
    explicit SideFile(const std::filesystem::path& path) : path_(path) {}
    SideFile(const SideFile&) = delete;
    SideFile& operator=(const SideFile&) = delete;
    ~SideFile() {
        if (!keep_ && std::uncaught_exceptions() == 0) File::remove(path_);
    }
    void keep() noexcept { keep_ = true; }

private:
    const std::filesystem::path& path_;
    bool keep_ = false;
};

template <class File>
[[nodiscard]] bool replaceWholeFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    std::filesystem::path temp = path;
    temp += ".saving";
    if (!replaceStepAllowed(ReplaceStep::Create)) return false;
    // Declared first: the file is closed before the side file is removed.
    SideFile<File> side(temp);
    File file(temp);
    if (!file.valid()) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (!replaceStepAllowed(ReplaceStep::Write)) return false;
        const std::size_t n = file.write(bytes.data() + done, std::min(bytes.size() - done, kReplaceChunk));
        if (n == 0) return false;
        done += n;
    }
    if (!replaceStepAllowed(ReplaceStep::Flush) || !file.flush()) return false;
    if (!replaceStepAllowed(ReplaceStep::Close) || !file.close()) return false;
    if (!replaceStepAllowed(ReplaceStep::Replace) || !File::moveOver(temp, path)) return false;
    side.keep();
    return true;
}

}  // namespace kb::detail
