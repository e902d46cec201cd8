// A memo session opened on the test's handheld and desktop folder, with its members in reach, for
// tests of the steps that run between opening both sides and the passes (categories, archiving).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "../session/SessionTestSupport.h"
#include "AppInfoBuilder.h"
#include "session/MemoMonitor.h"
#include "synckit/Category.h"

namespace tervano::test {

// The real memo session. CreateTable can be made to fail from its nth call on (failCreateFrom);
// every call is counted.
class OpenMemoMonitor : public CMemoMonitor {
public:
    explicit OpenMemoMonitor(const HotSyncProperties& p)
        : CMemoMonitor(session_test::QuietProgress, p, ConduitModule()) {}

    int createTableCalls = 0;
    int failCreateFrom = 0;  // 0: never fails
    int32_t CreateTable(CBaseTable*& table) override {
        ++createTableCalls;
        if (failCreateFrom != 0 && createTableCalls >= failCreateFrom) {
            table = nullptr;
            return kNotSupported;
        }
        return CMemoMonitor::CreateTable(table);
    }

    // Opens the handheld database and the desktop tables as the session routine does.
    void Open() {
        ASSERT_EQ(OpenHandheldDatabase(), 0);
        ASSERT_EQ(OpenDesktopTables(), 0);
    }

    using CSyncMonitor::appInfo_;
    using CSyncMonitor::archiveTable_;
    using CSyncMonitor::desktopCategories_;
    using CSyncMonitor::desktopTable_;
    using CSyncMonitor::handheldCategories_;
    using CSyncMonitor::properties_;
};

// Adds categories with these fields to the list.
inline void AddCategories(CCategoryMgr& categories, const std::vector<CategoryFields>& list) {
    for (const CategoryFields& c : list) {
        auto* category = new CCategory();
        category->SetIndex(c.index);
        category->SetID(c.id);
        category->SetName(c.name);
        category->SetNameDirty(c.nameDirty);
        ASSERT_EQ(categories.Add(category), CAT_OK) << c;
    }
}

// The list's categories in index order.
inline std::vector<CategoryFields> CategoriesOf(const CCategoryMgr& categories) {
    std::vector<CategoryFields> out;
    categories.ForEachCategory([&](const CCategory& c) {
        out.push_back({c.GetIndex(), c.GetID(), c.GetName(), c.GetNameDirty() != 0});
    });
    return out;
}

}  // namespace tervano::test
