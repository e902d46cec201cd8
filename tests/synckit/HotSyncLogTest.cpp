// The HotSync log: entries in order with their kinds, the observer, the count and the attached log.
#include <gtest/gtest.h>

#include <vector>

#include "synckit/HotSyncLog.h"

using namespace synckit;

namespace {

TEST(HotSyncLogTest, EntriesAreKeptInOrderAndTheObserverSeesEachAsItComes) {
    HotSyncLog log;
    std::vector<LogEntry> seen;
    log.SetObserver([&](const LogEntry& e) {
        seen.push_back(e);
        EXPECT_EQ(log.Entries().back(), e);  // already stored when the observer runs
    });
    ScopedHotSyncLog attach(log);
    ASSERT_EQ(LogGetEntryCount(), 0);
    EXPECT_EQ(LogAddEntry("", 19, 0), 0);
    EXPECT_EQ(LogAddEntry("   - Second line", -1, 0), 0);
    EXPECT_EQ(LogAddEntry("Memo Pad", 20, 1), 0);
    EXPECT_EQ(LogAddEntry(nullptr, 21, 0), 0);  // no text: an empty entry, not a crash

    const std::vector<LogEntry> expected = {
        {"", 19, 0}, {"   - Second line", -1, 0}, {"Memo Pad", 20, 1}, {"", 21, 0}};
    EXPECT_EQ(log.Entries(), expected);
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(LogGetEntryCount(), 3);  // the entries after the start entry
    log.Clear();
    EXPECT_EQ(LogGetEntryCount(), 0);
}

// The count covers the current conduit's part of the log: a new start entry begins it afresh, so each
// conduit (and each sync) writes its header line above its own first message.
TEST(HotSyncLogTest, CountStartsAfreshAtEachStartEntry) {
    HotSyncLog log;
    ScopedHotSyncLog attach(log);
    log.Add("earlier text", -1, 0);
    EXPECT_EQ(LogGetEntryCount(), 1);
    log.Add("", kLogKindConduitStart, 0);
    EXPECT_EQ(LogGetEntryCount(), 0);
    log.Add("-- Memo Pad", -1, 0);
    log.Add("   - Could not save the Desktop file.", 17, 0);
    EXPECT_EQ(LogGetEntryCount(), 2);
    log.Add("", kLogKindConduitStart, 0);
    EXPECT_EQ(LogGetEntryCount(), 0);
}

TEST(HotSyncLogTest, WithoutALogNothingIsWrittenAndTheCountIsZero) {
    ASSERT_EQ(AttachedHotSyncLog(), nullptr);
    EXPECT_EQ(LogAddEntry("lost", 1, 0), -1);
    EXPECT_EQ(LogGetEntryCount(), 0);

    HotSyncLog log;
    {
        ScopedHotSyncLog attach(log);
        LogAddEntry("kept", 1, 0);
    }
    EXPECT_EQ(AttachedHotSyncLog(), nullptr);
    EXPECT_EQ(LogAddEntry("after", 1, 0), -1);
    EXPECT_EQ(log.Entries().size(), 1u);
}

TEST(HotSyncLogTest, CountSaturatesAtTheLargest16BitValue) {
    HotSyncLog log;
    ScopedHotSyncLog attach(log);
    for (int i = 0; i < 65535; ++i) log.Add("x", 1, 0);
    EXPECT_EQ(LogGetEntryCount(), 65535);
    log.Add("x", 1, 0);
    // 65536 entries must not wrap to 0: the conduit takes 0 as "no header written yet".
    EXPECT_EQ(LogGetEntryCount(), 65535);
    EXPECT_EQ(log.Entries().size(), 65536u);
}

}  // namespace
