// The category manager's rules (ownership on Add, walks, lookups, free index) and archive file names.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "synckit/Category.h"

namespace {

CCategory* MakeCategory(int32_t index, int32_t id, const std::string& name) {
    auto* c = new CCategory;
    c->SetIndex(index);
    c->SetID(id);
    c->SetName(name);
    return c;
}

std::vector<int32_t> WalkIndices(CCategoryMgr& mgr) {
    std::vector<int32_t> out;
    CCategory* c = nullptr;
    for (CatError rc = mgr.FindFirst(c); rc == CAT_OK; rc = mgr.FindNext(c)) out.push_back(c->GetIndex());
    EXPECT_EQ(c, nullptr);  // the end of a walk leaves a null pointer
    return out;
}

TEST(CategoryMgr, AddTakesOwnershipOnlyWhenItSucceeds) {
    struct Case {
        int32_t index;
        CatError expected;
        const char* what;
    };
    const Case cases[] = {
        {0, CAT_OK, "Unfiled"},  {15, CAT_OK, "highest index"}, {7, CAT_OK, "middle"},
        {7, CAT_INDEX_IN_USE, "taken"}, {16, CAT_BAD_INDEX, "one past"}, {-1, CAT_BAD_INDEX, "negative"},
    };
    CCategoryMgr mgr;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<CCategory> category(MakeCategory(c.index, 40 + c.index, c.what));
        const CatError rc = mgr.Add(category.get());
        EXPECT_EQ(rc, c.expected);
        if (rc == CAT_OK) category.release();  // the manager owns it; otherwise ours to delete
    }
    EXPECT_EQ(mgr.GetCount(), 3);
    CCategory* found = nullptr;
    ASSERT_EQ(mgr.FindIndex(7, found), CAT_OK);
    EXPECT_EQ(found->GetName(), "middle");  // the refused one did not replace it
    EXPECT_EQ(mgr.Add(nullptr), CAT_BAD_INDEX);
}

TEST(CategoryMgr, WalkGoesInIndexOrderAndSurvivesDeletingTheCurrentCategory) {
    CCategoryMgr mgr;
    for (int32_t index : {9, 0, 3, 15, 4}) ASSERT_EQ(mgr.Add(MakeCategory(index, index, "c" + std::to_string(index))), CAT_OK);
    EXPECT_EQ(WalkIndices(mgr), (std::vector<int32_t>{0, 3, 4, 9, 15}));

    // Delete every category with an odd index while walking, as the handheld pass does.
    std::vector<int32_t> visited;
    CCategory* c = nullptr;
    for (CatError rc = mgr.FindFirst(c); rc == CAT_OK; rc = mgr.FindNext(c)) {
        visited.push_back(c->GetIndex());
        if (c->GetIndex() % 2 == 1) {
            ASSERT_EQ(mgr.Delete(c->GetIndex()), CAT_OK);
        }
    }
    EXPECT_EQ(visited, (std::vector<int32_t>{0, 3, 4, 9, 15}));
    EXPECT_EQ(WalkIndices(mgr), (std::vector<int32_t>{0, 4}));
    EXPECT_EQ(mgr.Delete(3), CAT_NOT_FOUND);
    EXPECT_EQ(mgr.DeleteAllCategories(1), CAT_OK);
    EXPECT_EQ(mgr.GetCount(), 0);
    EXPECT_EQ(WalkIndices(mgr), std::vector<int32_t>{});
}

TEST(CategoryMgr, FindByNameIdAndIndexSetPointerOrNull) {
    CCategoryMgr mgr;
    ASSERT_EQ(mgr.Add(MakeCategory(0, 0, "Unfiled")), CAT_OK);
    ASSERT_EQ(mgr.Add(MakeCategory(2, 17, "Business")), CAT_OK);
    ASSERT_EQ(mgr.Add(MakeCategory(5, 18, "Personal")), CAT_OK);
    CCategory stale;  // each lookup must overwrite the pointer, hit or miss
    stale.SetIndex(99);
    CCategory* out = &stale;
    auto check = [&](const char* what, CatError rc, int32_t index) {
        SCOPED_TRACE(what);
        if (index < 0) {
            EXPECT_EQ(rc, CAT_NOT_FOUND);
            EXPECT_EQ(out, nullptr);
        } else {
            ASSERT_EQ(rc, CAT_OK);
            ASSERT_NE(out, nullptr);
            EXPECT_EQ(out->GetIndex(), index);
        }
        out = &stale;
    };
    check("name exact", mgr.FindName("Business", out), 2);
    check("name other case", mgr.FindName("business", out), -1);
    check("name prefix", mgr.FindName("Bus", out), -1);
    check("name with blank", mgr.FindName("Business ", out), -1);
    check("id", mgr.FindID(18, out), 5);
    check("id 0", mgr.FindID(0, out), 0);
    check("id missing", mgr.FindID(19, out), -1);
    check("index", mgr.FindIndex(2, out), 2);
    check("index missing", mgr.FindIndex(3, out), -1);
    check("index out of range", mgr.FindIndex(17, out), -1);
}

TEST(CategoryMgr, GetFreeIndexGivesLowestFreeFromOneAndMinusOneWhenFull) {
    CCategoryMgr mgr;
    EXPECT_EQ(mgr.GetFreeIndex(), 1);  // 0 is Unfiled, never handed out
    ASSERT_EQ(mgr.Add(MakeCategory(0, 0, "Unfiled")), CAT_OK);
    for (int32_t index : {1, 2, 4}) ASSERT_EQ(mgr.Add(MakeCategory(index, index, "x")), CAT_OK);
    EXPECT_EQ(mgr.GetFreeIndex(), 3);
    for (int32_t index = 3; index < kCategoryCount; ++index) {
        if (index != 4) {
            ASSERT_EQ(mgr.Add(MakeCategory(index, index, "x")), CAT_OK);
        }
    }
    EXPECT_EQ(mgr.GetCount(), 16);
    EXPECT_EQ(mgr.GetFreeIndex(), -1);
    ASSERT_EQ(mgr.Delete(0), CAT_OK);  // 1-15 still taken: no room for a new category
    EXPECT_EQ(mgr.GetFreeIndex(), -1);
    ASSERT_EQ(mgr.Delete(15), CAT_OK);
    EXPECT_EQ(mgr.GetFreeIndex(), 15);
}

TEST(Category, FileNameReplacesCharactersWindowsFileNamesCannotHold) {
    struct Case {
        std::string name;
        std::string file;
    };
    const Case cases[] = {
        {"Business", "Business"},
        {"", "Unfiled"},
        {"a\\b/c:d*e?f", "a_b_c_d_e_f"},
        {"\"q\"<l>|p", "_q__l__p"},
        {"tab\there", "tab_here"},
        {std::string("x\x7Fy", 3), "x_y"},
        {"Caf\xE9 ", "Caf\xE9 "},  // Windows-1252 letters and blanks stay
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CCategory category;
        category.SetName(c.name);
        EXPECT_EQ(category.GetFileName(), c.file);
    }
}

TEST(Category, NameDirtyIsAFlag) {
    CCategory category;
    EXPECT_EQ(category.GetNameDirty(), 0);
    category.SetNameDirty(5);
    EXPECT_EQ(category.GetNameDirty(), 1);
    category.SetNameDirty(0);
    EXPECT_EQ(category.GetNameDirty(), 0);
}

}  // namespace
