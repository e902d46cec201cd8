// The extension-module record and the chain of extension libraries.
#include <gtest/gtest.h>

#include <memory>

#include "mfc/ExtensionModule.h"

namespace {

int Marker() { return 0; }

TEST(ExtensionModule, InitialisesOnceUntilEnded) {
    win::HMODULE self = win::ModuleOfAddress(reinterpret_cast<const void*>(&Marker));
    mfc::ExtensionModule record;
    EXPECT_FALSE(mfc::InitExtensionModule(record, nullptr));
    EXPECT_FALSE(record.initialized);
    ASSERT_TRUE(mfc::InitExtensionModule(record, self));
    EXPECT_TRUE(record.initialized);
    EXPECT_EQ(record.module, self);
    int other = 0;
    EXPECT_FALSE(mfc::InitExtensionModule(record, &other));  // already initialised: left as it was
    EXPECT_EQ(record.module, self);
    mfc::TermExtensionModule(record);
    EXPECT_FALSE(record.initialized);
    EXPECT_EQ(record.module, nullptr);
    EXPECT_TRUE(mfc::InitExtensionModule(record, self));
}

TEST(ExtensionChainLink, LinksNewestFirstAndUnlinksInAnyOrder) {
    int a = 0, b = 0, c = 0;
    mfc::ExtensionModule records[3];
    mfc::InitExtensionModule(records[0], &a);
    mfc::InitExtensionModule(records[1], &b);
    mfc::InitExtensionModule(records[2], &c);
    mfc::ExtensionChainLink* before = mfc::ExtensionChainLink::First();
    auto first = std::make_unique<mfc::ExtensionChainLink>(records[0]);
    auto second = std::make_unique<mfc::ExtensionChainLink>(records[1]);
    auto third = std::make_unique<mfc::ExtensionChainLink>(records[2]);

    auto modules = [before] {
        std::vector<win::HMODULE> out;
        for (auto* link = mfc::ExtensionChainLink::First(); link != before; link = link->Next()) {
            out.push_back(link->Module());
        }
        return out;
    };
    EXPECT_EQ(modules(), (std::vector<win::HMODULE>{&c, &b, &a}));
    second.reset();  // from the middle
    EXPECT_EQ(modules(), (std::vector<win::HMODULE>{&c, &a}));
    third.reset();  // the head
    EXPECT_EQ(modules(), (std::vector<win::HMODULE>{&a}));
    first.reset();
    EXPECT_EQ(mfc::ExtensionChainLink::First(), before);
}

}  // namespace
