#include "heart_bench_core.h"

#include "profile_record.h"
#include "px3_text.h"

#include <gtest/gtest.h>

#include <set>

namespace kb::bench {
namespace {

TEST(HeartBenchSummary, MedianPercentileAndWorst) {
    EXPECT_EQ(summarize({}).count, 0u);

    const Summary odd = summarize({5, 1, 3});
    EXPECT_DOUBLE_EQ(odd.median, 3);
    EXPECT_DOUBLE_EQ(odd.min, 1);
    EXPECT_DOUBLE_EQ(odd.worst, 5);
    EXPECT_DOUBLE_EQ(odd.p95, 5);

    const Summary even = summarize({4, 1, 3, 2});
    EXPECT_DOUBLE_EQ(even.median, 2.5);
    EXPECT_DOUBLE_EQ(even.mean, 2.5);

    // 200 samples 1..200: nearest rank 190 for p95, the worst stays apart from it.
    std::vector<double> ramp;
    for (int i = 200; i >= 1; --i) ramp.push_back(i);
    const Summary r = summarize(ramp);
    EXPECT_EQ(r.count, 200u);
    EXPECT_DOUBLE_EQ(r.p95, 190);
    EXPECT_DOUBLE_EQ(r.p99, 198);
    EXPECT_DOUBLE_EQ(r.worst, 200);
    EXPECT_DOUBLE_EQ(r.median, 100.5);
}

std::vector<std::uint8_t> logAnswer(std::uint32_t count, const std::vector<std::vector<std::uint8_t>>& entries) {
    std::vector<std::uint8_t> a = {static_cast<std::uint8_t>(count), 0, 0, 0, 0, 0, 0, 0};
    for (const auto& e : entries) {
        std::vector<std::uint8_t> entry(20, 0);
        std::copy(e.begin(), e.end(), entry.begin());
        a.insert(a.end(), entry.begin(), entry.end());
    }
    return a;
}

TEST(HeartBenchLog, ReadsEntriesAndRejectsShortAnswers) {
    EXPECT_FALSE(parseLogAnswer(std::vector<std::uint8_t>(7, 0)).has_value());
    // A count that claims more entries than the answer holds.
    EXPECT_FALSE(parseLogAnswer(logAnswer(2, {{1, 0, 0, 0, 0x30, 0, 1, 0}})).has_value());

    const auto empty = parseLogAnswer(logAnswer(0, {}));
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->empty());

    const auto records = parseLogAnswer(logAnswer(4, {
                                                         {0, 0, 0, 0, 0x30, 0, 1, 0},  // physical B release
                                                         {1, 0, 0, 0, 0x30, 0, 0, 0},  // injected B press
                                                         {1, 1, 0, 0, 0x30, 0, 1, 0},  // injected mouse
                                                         {1, 0, 0, 0, 0x30, 0, 1, 0},  // injected B release
                                                     }));
    ASSERT_TRUE(records.has_value());
    ASSERT_EQ(records->size(), 4u);
    EXPECT_EQ((*records)[3].scan, 0x30);
    EXPECT_EQ((*records)[3].flags, 1);
    // Only the injected key record with the same scan and flags counts.
    EXPECT_EQ(countInjectedKey(*records, 0x30, 1), 1u);
    EXPECT_EQ(countInjectedKey(*records, 0x30, 0), 1u);
    EXPECT_EQ(countInjectedKey(*records, 0x31, 1), 0u);
}

TEST(HeartBenchKeys, CoverBothPressGroupsForEachRole) {
    std::set<std::pair<int, int>> roleGroups;
    std::set<int> slots;
    for (const BenchKey& k : benchKeys()) {
        ASSERT_GE(k.pressEvent, 0) << k.name;
        if (k.role != KeyRole::Macro && k.role != KeyRole::Text) {
            slots.insert(k.slot);
            continue;
        }
        EXPECT_EQ(keyboardKeys()[static_cast<std::size_t>(k.pressEvent)], k.code) << k.name;
        EXPECT_EQ(k.releaseEvent, k.pressEvent + kKeyboardKeyCount) << k.name;
        roleGroups.insert({static_cast<int>(k.role), k.pressGroup});
        slots.insert(k.slot);
    }
    EXPECT_EQ(slots.size(), benchKeys().size());
    for (KeyRole role : {KeyRole::Macro, KeyRole::Text}) {
        EXPECT_TRUE(roleGroups.count({static_cast<int>(role), 0})) << "a key in group 0";
        EXPECT_TRUE(roleGroups.count({static_cast<int>(role), 1})) << "a key in group 1";
    }
}

TEST(HeartBenchProfile, AssignsTheKeysAsThePlayerExpects) {
    std::uint8_t mark = 9;
    const ProfileContent content = px3::profileFromJson(nlohmann::json::parse(benchProfileJson()), mark);
    EXPECT_EQ(mark, 0);
    auto macroWithId = [&](std::uint16_t id) -> const MacroRecord* {
        for (const MacroRecord& m : content.macros) {
            if (m.macroId() == id) return &m;
        }
        return nullptr;
    };
    for (const BenchKey& k : benchKeys()) {
        const KeyEntry e = content.record.entry(k.slot);
        switch (k.role) {
            case KeyRole::Text:
                EXPECT_EQ(e.type, 6) << k.name;
                EXPECT_EQ(content.texts.text(k.slot), std::u16string(kTypedText)) << k.name;
                break;
            case KeyRole::Stop:
                EXPECT_EQ(e.type, 5) << k.name;
                break;
            default:
                EXPECT_EQ(e.type, 4) << k.name;
                ASSERT_NE(macroWithId(static_cast<std::uint16_t>(e.parameter)), nullptr) << k.name;
        }
    }
    EXPECT_EQ(content.record.entry(kHidMacroSlot).type, 4);
    EXPECT_EQ(content.record.entry(kHidMacroSlot).parameter, kMacroId);

    // The long macro's delays add up to a second and leave no key down.
    const MacroRecord* longMacro = macroWithId(kLongMacroId);
    ASSERT_NE(longMacro, nullptr);
    ASSERT_EQ(longMacro->actionCount(), kLongSteps);
    std::uint32_t total = 0;
    int down = 0;
    for (int i = 0; i < kLongSteps; ++i) {
        total += longMacro->action(static_cast<std::size_t>(i)).delayMs;
        down += longMacro->action(static_cast<std::size_t>(i)).direction == 0 ? 1 : -1;
    }
    EXPECT_EQ(total, 1000u);
    EXPECT_EQ(down, 0);
}

}  // namespace
}  // namespace kb::bench
