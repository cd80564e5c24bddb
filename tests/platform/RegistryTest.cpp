#include "platform/Registry.h"

#include <gtest/gtest.h>

#ifndef _WIN32
TEST(SystemRegistry, HasNoKeysOffWindowsSoEveryLookupIsAbsent) {
    const TRegistry& registry = SystemRegistry();
    EXPECT_FALSE(registry.ReadString(TRegistryRoot::LocalMachine,
                                     "Software\\Microsoft\\Windows\\CurrentVersion",
                                     "ProgramFilesDir"));
    EXPECT_FALSE(registry.ReadString(TRegistryRoot::CurrentUser, "Software", "Anything"));
    EXPECT_EQ(&SystemRegistry(), &registry);
}
#else
TEST(SystemRegistry, ReadsTheProgramFilesFolderWithReadAccessOnly) {
    const auto value = SystemRegistry().ReadString(TRegistryRoot::LocalMachine,
                                                   "Software\\Microsoft\\Windows\\CurrentVersion",
                                                   "ProgramFilesDir");
    ASSERT_TRUE(value);
    EXPECT_FALSE(value->empty());
    EXPECT_FALSE(SystemRegistry().ReadString(TRegistryRoot::LocalMachine,
                                             "Software\\Microsoft\\Windows\\CurrentVersion",
                                             "NoSuchValueForCalvenor"));
}
#endif
