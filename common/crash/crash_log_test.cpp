#include "common/crash/crash_log.h"

#include <gtest/gtest.h>

namespace kb::crash {
namespace {

TEST(CrashLog, StemsSortByTimeAndAreRecognised) {
    std::string a = reportStem({2026, 12, 8, 5, 1, 2, 3}, 42);
    std::string b = reportStem({2026, 12, 8, 5, 1, 2, 40}, 7);
    std::string c = reportStem({2026, 12, 8, 15, 0, 0, 0}, 4294967295u);
    EXPECT_EQ(a, "20261208-050102-003-42");
    EXPECT_LT(a, b);
    EXPECT_LT(b, c);
    for (const auto& s : {a, b, c}) EXPECT_TRUE(isReportStem(s)) << s;
    for (const char* s : {"", "notes", "20261208-050102-003-", "20261208-050102-0030-1",
                          "2026120x-050102-003-1", "20261208-050102-003-12345678901"})
        EXPECT_FALSE(isReportStem(s)) << s;
}

TEST(CrashLog, SummaryNamesTimeVersionCodeAndPlace) {
    Moment m{2026, 12, 8, 5, 1, 2, 3};
    EXPECT_EQ(summaryLine(m, "KbPanel", "1.0.0", 0xC0000005u, "Multact.dll", 0x1A2B),
              "2026-12-08 05:01:02 KbPanel 1.0.0 code 0xC0000005 at Multact.dll+0x1A2B");
    EXPECT_EQ(summaryLine(m, "KbPanel", "1.0.0", 0xC0000094u, "", 0),
              "2026-12-08 05:01:02 KbPanel 1.0.0 code 0xC0000094 at ?");
}

TEST(CrashLog, KeepsOnlyTheNewestOfOurs) {
    std::vector<std::string> stems;
    for (int i = 0; i < 7; ++i) stems.push_back(reportStem({2026, 12, 8, 5, 0, i, 0}, 1));
    // Listed twice (.txt and .dmp), out of order, with strangers.
    std::vector<std::string> listed = {stems[6], stems[0], "desktop", stems[3], stems[1],
                                       stems[0], stems[5], stems[2], stems[4], stems[6]};
    EXPECT_EQ(stemsToRemove(listed), (std::vector<std::string>{stems[0], stems[1]}));
    EXPECT_TRUE(stemsToRemove({stems[0], stems[1], "x"}).empty());
    EXPECT_EQ(stemsToRemove(stems, 0).size(), 7u);
}

}  // namespace
}  // namespace kb::crash
