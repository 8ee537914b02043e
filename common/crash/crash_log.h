// Crash reports: names, the one-line summary and which reports to keep.
// Portable so the rules are tested natively; the Windows side writes the files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kb::crash {

inline constexpr std::size_t kReportsKept = 5;

struct Moment {
    int year, month, day, hour, minute, second, millisecond;
};

// "20261208-050102-123-4242": sorts by time as text; the process id keeps two
// crashes in one millisecond apart.
[[nodiscard]] std::string reportStem(const Moment& when, std::uint32_t processId);

// "2026-12-08 05:01:02 KbPanel 1.0.0 code 0xC0000005 at Multact.dll+0x1A2B"
// (module "?" when the address lies in no module).
[[nodiscard]] std::string summaryLine(const Moment& when, const std::string& product,
                                      const std::string& version, std::uint32_t code,
                                      const std::string& module, std::uint64_t offset);

// Given the stems of the reports in the folder (any order, strangers included),
// the stems to delete so that only the `keep` newest of ours remain.
[[nodiscard]] std::vector<std::string> stemsToRemove(std::vector<std::string> stems,
                                                     std::size_t keep = kReportsKept);

// True for a name that reportStem could have made.
[[nodiscard]] bool isReportStem(const std::string& stem);

}  // namespace kb::crash
