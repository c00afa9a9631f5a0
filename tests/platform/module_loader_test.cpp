#include "platform/module_loader.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

using kv::platform::LoadedModule;

TEST(ModuleLoader, LoadsALibraryAndFindsItsSymbols) {
    auto m = LoadedModule::open("libm.so.6");
    ASSERT_TRUE(m.isLoaded()) << m.error();
    auto cosine = reinterpret_cast<double (*)(double)>(m.symbol("cos"));
    ASSERT_NE(cosine, nullptr);
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);

    EXPECT_EQ(m.symbol("NoSuchEntryPoint"), nullptr);
    EXPECT_NE(m.error().find("NoSuchEntryPoint"), std::string::npos) << m.error();

    // Moving hands the handle over; the moved-from module no longer owns it.
    LoadedModule moved = std::move(m);
    EXPECT_TRUE(moved.isLoaded());
    EXPECT_FALSE(m.isLoaded());
    EXPECT_NE(moved.symbol("sin"), nullptr);
}

TEST(ModuleLoader, FailuresSayWhy) {
    const char* bad[] = {"/no/such/plugin.so", "/etc/hostname"};
    for (const char* path : bad) {
        auto m = LoadedModule::open(path);
        EXPECT_FALSE(m.isLoaded()) << path;
        EXPECT_FALSE(m.error().empty()) << path;
        EXPECT_EQ(m.symbol("Init"), nullptr);
    }
}

TEST(ModuleLoader, TheProgramsOwnHandleFindsWhatTheProgramLinks) {
    void* self = kv::platform::programModuleHandle();
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self, kv::platform::programModuleHandle());
    EXPECT_NE(::dlsym(self, "malloc"), nullptr);
}
