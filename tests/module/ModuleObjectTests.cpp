// The module object: lock counting and the Global Interface Table it keeps.
#include <gtest/gtest.h>

#include "base/ComPtr.h"
#include "module/ModuleObject.h"

namespace {

TEST(ModuleObject, LockCountAndGlobalInterfaceTable) {
    CTrnM4aTranscoderModule* module = TrnModule();
    ASSERT_NE(nullptr, module);
    ASSERT_FALSE(module->InitFailed());
    const LONG base = module->GetLockCount();
    EXPECT_EQ(base + 1, module->Lock());
    EXPECT_EQ(base, module->Unlock());

    EXPECT_EQ(E_POINTER, module->GetGlobalInterfaceTable(nullptr));
    ComPtr<IGlobalInterfaceTable> first, second;
    ASSERT_EQ(S_OK, module->GetGlobalInterfaceTable(first.put()));
    ASSERT_EQ(S_OK, module->GetGlobalInterfaceTable(second.put()));
    EXPECT_TRUE(first);
    EXPECT_EQ(first.get(), second.get()) << "created once and kept";
}

}  // namespace
