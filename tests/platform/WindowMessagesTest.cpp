#include "platform/WindowMessages.h"
#include "platform/Exceptions.h"

#include <gtest/gtest.h>

#include <string>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

TEST(MessageNameTable, NumbersStartAt0xC000AndFollowTheOrderOfFirstRegistration) {
    TMessageNameTable table;
    EXPECT_EQ(table.Register("First"), 0xC000u);
    EXPECT_EQ(table.Register("Second"), 0xC001u);
    EXPECT_EQ(table.Register("Third"), 0xC002u);
    EXPECT_EQ(table.Register("Second"), 0xC001u);
}

TEST(MessageNameTable, NamesDifferingOnlyInLetterCaseShareTheirNumber) {
    TMessageNameTable table;
    const uint32_t number = table.Register("QV_Message_Pool");
    EXPECT_EQ(table.Register("QV_MESSAGE_POOL"), number);
    EXPECT_EQ(table.Register("qv_message_pool"), number);
    // Only letters fold: a different punctuation or an extra blank is another name.
    EXPECT_NE(table.Register("QV-MESSAGE-POOL"), number);
    EXPECT_NE(table.Register("QV_MESSAGE_POOL "), number);
}

TEST(MessageNameTable, RefusesAnEmptyName) {
    TMessageNameTable table;
    EXPECT_THROW(table.Register(""), Exception);
    EXPECT_EQ(table.Register("x"), 0xC000u); // the refused name took no number
}

TEST(MessageNameTable, RefusesNewNamesOnceEveryNumberIsTaken) {
    TMessageNameTable table;
    uint32_t last = 0;
    for (uint32_t i = 0; i <= 0xFFFF - 0xC000; ++i) {
        std::string name = "M";
        name += std::to_string(i);
        last = table.Register(name);
    }
    EXPECT_EQ(last, 0xFFFFu);
    EXPECT_THROW(table.Register("one too many"), Exception);
    EXPECT_EQ(table.Register("m0"), 0xC000u); // known names still resolve
}

TEST(RegisterWindowMessageName, IsProcessWideAndStable) {
    const uint32_t first = RegisterWindowMessageName("CalvenorTestMessage");
    EXPECT_GE(first, 0xC000u);
    EXPECT_LE(first, 0xFFFFu);
    EXPECT_EQ(RegisterWindowMessageName("calvenortestmessage"), first);
    EXPECT_NE(RegisterWindowMessageName("CalvenorOtherMessage"), first);
    EXPECT_THROW(RegisterWindowMessageName(""), Exception);
}

#ifdef _WIN32
TEST(RegisterWindowMessageName, UsesTheWindowSystemsTableWithUtf8Names) {
    // The system's own number, as any program that registers the name receives it.
    EXPECT_EQ(RegisterWindowMessageName("QV_MESSAGE_POOL"),
              RegisterWindowMessageW(L"qv_message_pool"));
    EXPECT_EQ(RegisterWindowMessageName("Calvenor \u0394 \u00fc"),
              RegisterWindowMessageW(L"Calvenor \u0394 \u00fc"));
    EXPECT_THROW(RegisterWindowMessageName(std::string(300, 'm')), Exception); // names end at 255
}
#endif
