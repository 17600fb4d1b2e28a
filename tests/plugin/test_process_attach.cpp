// What loading the library does: the process-attach work, and no reference
// left behind when the host unloads it.
#include <gtest/gtest.h>

#include "pluginlibrary.h"
#include "zqwin32.h"

namespace {

TEST(ProcessAttach, DisablesThreadCallsOnceWithTheLibrarysOwnHandle)
{
    ASSERT_FALSE(IsResident(ZQ_PLUGIN_PATH)) << "an earlier test left the plug-in loaded";
    const int before = zqwin32::GetDisableThreadLibraryCallsCount();
    {
        PluginLibrary first;
        ASSERT_NE(first.GetHandle(), nullptr);
        EXPECT_EQ(zqwin32::GetDisableThreadLibraryCallsCount() - before, 1);
        EXPECT_EQ(zqwin32::GetLastDisabledModule(), first.GetHandle());

        PluginLibrary second;
        EXPECT_EQ(second.GetHandle(), first.GetHandle());
        EXPECT_EQ(zqwin32::GetDisableThreadLibraryCallsCount() - before, 1) << "already attached";
    }
    EXPECT_FALSE(IsResident(ZQ_PLUGIN_PATH)) << "the library holds a reference to itself";
}

TEST(ProcessAttach, EveryFreshLoadAttachesAgain)
{
    const int before = zqwin32::GetDisableThreadLibraryCallsCount();
    { PluginLibrary once; }
    { PluginLibrary twice; }
    EXPECT_EQ(zqwin32::GetDisableThreadLibraryCallsCount() - before, 2);
}

}  // namespace
