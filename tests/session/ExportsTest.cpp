// The built conduit module as the sync host sees it: loaded with dlopen, reached only by name.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "synckit/SyncBlocks.h"

namespace {

class ExportsTest : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = dlopen(TERVANO2_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module_, nullptr) << dlerror();
    }
    void TearDown() override {
        if (module_ != nullptr) dlclose(module_);
    }
    template <typename F>
    F Find(const char* name) {
        return reinterpret_cast<F>(dlsym(module_, name));
    }
    void* module_ = nullptr;
};

TEST_F(ExportsTest, EntryPointsAnswerThroughTheModule) {
    auto version = Find<int32_t (*)()>("GetConduitVersion");
    auto name = Find<int32_t (*)(char*, uint16_t)>("GetConduitName");
    auto open = Find<int32_t (*)(int32_t (*)(const char*), HotSyncProperties&)>("OpenConduit");
    ASSERT_NE(version, nullptr);
    ASSERT_NE(name, nullptr);
    ASSERT_NE(open, nullptr);
    ASSERT_NE(Find<int32_t (*)(ConduitPreference&)>("ConfigureConduit"), nullptr);

    EXPECT_EQ(version(), 257);

    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(name(buffer, 5), 0);  // the module registered its strings when it was loaded
    EXPECT_STREQ(buffer, "Memo");
    EXPECT_EQ(buffer[5], '#');
    EXPECT_EQ(name(buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "Memo Pad");

    HotSyncProperties properties{};
    EXPECT_EQ(open(nullptr, properties), -1);
}

TEST_F(ExportsTest, NoInternalNameIsReachable) {
    EXPECT_EQ(dlsym(module_, "_Z11ConduitOpenPFiPKcER17HotSyncProperties"), nullptr);
    EXPECT_EQ(dlsym(module_, "_Z17ConduitModuleInitv"), nullptr);
}

}  // namespace
