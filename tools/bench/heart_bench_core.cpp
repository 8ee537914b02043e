#include "heart_bench_core.h"

#include "key_catalogue.h"
#include "profile_record.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace kb::bench {

namespace {

std::uint16_t readU16(const std::uint8_t* p) noexcept {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t readU32(const std::uint8_t* p) noexcept {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

constexpr std::size_t kLogHeaderSize = 8;
constexpr std::size_t kLogEntrySize = 20;

BenchKey makeKey(const char* name, std::uint16_t code, KeyRole role) {
    const auto& keys = keyboardKeys();
    const auto at = std::find(keys.begin(), keys.end(), code);
    const int index = at == keys.end() ? -1 : static_cast<int>(at - keys.begin());
    return {name, code, role, index, index < 0 ? -1 : index + kKeyboardKeyCount,
            index < 0 ? -1 : index / kEventGroupSize, slotOf(kDeviceKeyboard, code)};
}

}  // namespace

std::vector<BenchKey> benchKeys() {
    return {
        makeKey("A", 0x01E, KeyRole::Macro),
        makeKey("Home", 0x147, KeyRole::Macro),
        makeKey("T", 0x014, KeyRole::Text),
        makeKey("End", 0x14F, KeyRole::Text),
        makeKey("L", 0x026, KeyRole::Long),
        makeKey("H", 0x023, KeyRole::Hold),
        makeKey("S", 0x01F, KeyRole::Stop),
    };
}

std::string benchProfileJson() {
    std::string text;
    for (char16_t c : std::u16string_view(kTypedText)) text += static_cast<char>(c);  // ASCII only
    std::string json = "{\n  \"header\": {\"defaultMark\": 0},\n  \"slots\": [\n";
    bool first = true;
    for (const BenchKey& k : benchKeys()) {
        char line[160];
        if (k.role == KeyRole::Text) {
            std::snprintf(line, sizeof line,
                          "    {\"slot\": %d, \"type\": 6, \"macroKeyCode\": 0, \"parameter\": 0, \"text\": \"%s\"}",
                          k.slot, text.c_str());
        } else if (k.role == KeyRole::Stop) {
            std::snprintf(line, sizeof line, "    {\"slot\": %d, \"type\": 5, \"macroKeyCode\": 0, \"parameter\": 0}",
                          k.slot);
        } else {
            const unsigned id = k.role == KeyRole::Long ? kLongMacroId : k.role == KeyRole::Hold ? kHoldMacroId : kMacroId;
            std::snprintf(line, sizeof line, "    {\"slot\": %d, \"type\": 4, \"macroKeyCode\": 0, \"parameter\": %u}",
                          k.slot, id);
        }
        json += first ? "" : ",\n";
        json += line;
        first = false;
    }
    char line[160];
    std::snprintf(line, sizeof line, ",\n    {\"slot\": %d, \"type\": 4, \"macroKeyCode\": 0, \"parameter\": %u}",
                  kHidMacroSlot, static_cast<unsigned>(kMacroId));
    json += line;

    auto macro = [](unsigned id, const char* name, const std::string& actions) {
        char head[160];
        std::snprintf(head, sizeof head,
                      "    {\"name\": \"%s\", \"isNew\": 0, \"playMode\": 0, \"macroId\": %u, \"actions\": [", name, id);
        std::string m = head;
        m += actions;
        m += "]}";
        return m;
    };
    auto step = [](std::uint32_t delay, unsigned code, unsigned direction) {
        char t[48];
        std::snprintf(t, sizeof t, "[%u, %u, %u]", static_cast<unsigned>(delay), code, direction);
        return std::string(t);
    };
    std::string longSteps;
    for (int i = 0; i < kLongSteps; ++i) {
        if (i) longSteps += ", ";
        longSteps += step(kLongDelayMs, kLongCode, static_cast<unsigned>(i % 2));
    }
    json += "\n  ],\n  \"macros\": [\n";
    json += macro(kMacroId, "bench", step(0, kMacroStepCode, kMacroStepDirection)) + ",\n";
    json += macro(kLongMacroId, "long", longSteps) + ",\n";
    std::string holdSteps = step(0, kHoldCode, 0);
    holdSteps += ", ";
    holdSteps += step(kHoldDelayMs, kHoldCode, 1);
    json += macro(kHoldMacroId, "hold", holdSteps) + "\n";
    return json + "  ]\n}\n";
}

std::optional<std::vector<LogRecord>> parseLogAnswer(std::span<const std::uint8_t> answer) {
    if (answer.size() < kLogHeaderSize) return std::nullopt;
    const std::uint64_t count = readU32(answer.data());
    if (kLogHeaderSize + count * kLogEntrySize > answer.size()) return std::nullopt;
    std::vector<LogRecord> records;
    records.reserve(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* e = answer.data() + kLogHeaderSize + i * kLogEntrySize;
        records.push_back({e[0], e[1], readU16(e + 4), readU16(e + 6)});
    }
    return records;
}

std::size_t countInjectedKey(std::span<const LogRecord> records, std::uint16_t scan, std::uint16_t flags) noexcept {
    return static_cast<std::size_t>(std::count_if(records.begin(), records.end(), [&](const LogRecord& r) {
        return r.origin == 1 && r.kind == 0 && r.scan == scan && r.flags == flags;
    }));
}

Summary summarize(std::vector<double> samples) {
    Summary s;
    s.count = samples.size();
    if (samples.empty()) return s;
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    s.min = samples.front();
    s.worst = samples.back();
    s.median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    const auto rank = static_cast<std::size_t>(std::ceil(0.95 * static_cast<double>(n)));
    s.p95 = samples[std::max<std::size_t>(rank, 1) - 1];
    const auto rank99 = static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(n)));
    s.p99 = samples[std::max<std::size_t>(rank99, 1) - 1];
    s.mean = std::accumulate(samples.begin(), samples.end(), 0.0) / static_cast<double>(n);
    return s;
}

std::string formatSummary(const Summary& s) {
    char line[200];
    std::snprintf(line, sizeof line, "n=%zu min %.2f median %.2f p95 %.2f p99 %.2f worst %.2f mean %.2f ms", s.count,
                  s.min, s.median, s.p95, s.p99, s.worst, s.mean);
    return line;
}

}  // namespace kb::bench
