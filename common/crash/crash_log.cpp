#include "common/crash/crash_log.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace kb::crash {

std::string reportStem(const Moment& w, std::uint32_t processId) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d-%02d%02d%02d-%03d-%lu", w.year, w.month, w.day,
                  w.hour, w.minute, w.second, w.millisecond,
                  static_cast<unsigned long>(processId));
    return buf;
}

std::string summaryLine(const Moment& w, const std::string& product, const std::string& version,
                        std::uint32_t code, const std::string& module, std::uint64_t offset) {
    char head[96];
    std::snprintf(head, sizeof head, "%04d-%02d-%02d %02d:%02d:%02d ", w.year, w.month, w.day,
                  w.hour, w.minute, w.second);
    char tail[96];
    std::snprintf(tail, sizeof tail, " code 0x%08lX at ", static_cast<unsigned long>(code));
    char off[32];
    std::snprintf(off, sizeof off, "+0x%llX", static_cast<unsigned long long>(offset));
    std::string line = head + product + ' ' + version + tail;
    line += module.empty() ? std::string("?") : module;
    if (!module.empty()) line += off;
    return line;
}

bool isReportStem(const std::string& s) {
    // 8 digits, '-', 6 digits, '-', 3 digits, '-', 1..10 digits
    auto digits = [&](std::size_t from, std::size_t n) {
        if (from + n > s.size()) return false;
        return std::all_of(s.begin() + static_cast<long>(from), s.begin() + static_cast<long>(from + n),
                           [](unsigned char c) { return std::isdigit(c) != 0; });
    };
    if (s.size() < 21 || s.size() > 30) return false;
    if (!digits(0, 8) || s[8] != '-' || !digits(9, 6) || s[15] != '-' || !digits(16, 3) ||
        s[19] != '-')
        return false;
    return digits(20, s.size() - 20);
}

std::vector<std::string> stemsToRemove(std::vector<std::string> stems, std::size_t keep) {
    std::erase_if(stems, [](const std::string& s) { return !isReportStem(s); });
    std::sort(stems.begin(), stems.end());
    stems.erase(std::unique(stems.begin(), stems.end()), stems.end());
    if (stems.size() <= keep) return {};
    stems.resize(stems.size() - keep);  // the oldest sort first
    return stems;
}

}  // namespace kb::crash
