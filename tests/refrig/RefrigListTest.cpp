// Coefficient lists: how a value splits into items and how the items convert.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Exceptions.h"
#include "refrig/Refrig.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(RefrigListTest, SeparatorsAreCommasAndOrBlanks) {
    EXPECT_THAT(SplitListItems("1,2,3"), ElementsAre("1", "2", "3"));
    EXPECT_THAT(SplitListItems("1 2  3"), ElementsAre("1", "2", "3"));
    EXPECT_THAT(SplitListItems("1 , 2\t,3"), ElementsAre("1", "2", "3"));
    EXPECT_THAT(SplitListItems("  1,2  "), ElementsAre("1", "2"));
    EXPECT_THAT(SplitListItems(""), IsEmpty());
    EXPECT_THAT(SplitListItems(" \t "), IsEmpty());
}

TEST(RefrigListTest, AdjacentLeadingAndTrailingCommasGiveEmptyItems) {
    EXPECT_THAT(SplitListItems("1,,2"), ElementsAre("1", "", "2"));
    EXPECT_THAT(SplitListItems("1, ,2"), ElementsAre("1", "", "2"));
    EXPECT_THAT(SplitListItems(",1"), ElementsAre("", "1"));
    EXPECT_THAT(SplitListItems("1,"), ElementsAre("1", ""));
    EXPECT_THAT(SplitListItems("1,,"), ElementsAre("1", "", ""));
    EXPECT_THAT(SplitListItems(","), ElementsAre("", ""));
}

TEST(RefrigListTest, QuotedItemsKeepSeparatorsAndUndoubleQuotes) {
    EXPECT_THAT(SplitListItems(R"("1","2" 3)"), ElementsAre("1", "2", "3"));
    EXPECT_THAT(SplitListItems(R"("1,5" " 2 ")"), ElementsAre("1,5", " 2 "));
    EXPECT_THAT(SplitListItems(R"("a""b",c)"), ElementsAre("a\"b", "c"));
    EXPECT_THAT(SplitListItems(R"("",1)"), ElementsAre("", "1"));
    // A closing quote ends the item even without a separator behind it.
    EXPECT_THAT(SplitListItems(R"("1"2)"), ElementsAre("1", "2"));
}

TEST(RefrigListTest, UnclosedQuoteKeepsTheRestAsOneItem) {
    EXPECT_THAT(SplitListItems(R"(1,"2,3)"), ElementsAre("1", "\"2,3"));
    EXPECT_THAT(SplitListItems(R"(1 ")"), ElementsAre("1", "\""));
    // Such an item never converts, so a list that relies on it fails clearly.
    std::array<double, 2> values{};
    EXPECT_THROW(ParseRealList(R"(1,"2)", 2, values), EConvertError);
    EXPECT_EQ(values[0], 1.0);
}

TEST(RefrigListTest, ControlCharactersAndHighBytesAreHandled) {
    EXPECT_THAT(SplitListItems(std::string("1\0"
                                           "2\r\n3",
                                           6)),
                ElementsAre("1", "2", "3"));
    EXPECT_THAT(SplitListItems("\xff\xfe,1"), ElementsAre("\xff\xfe", "1"));
}

TEST(RefrigListTest, ConvertsTheFirstNItemsAndIgnoresTheRest) {
    std::array<double, 5> vh{};
    ParseRealList("1 2 3 4 5 6 7", 5, vh);
    EXPECT_THAT(vh, ElementsAre(1, 2, 3, 4, 5));

    std::array<double, 6> sh{};
    ParseRealList(R"(0.002846625, "6.958993e-7",1.108134E-5 -5.134816e-8,+1.5e2 -0)", 6, sh);
    EXPECT_THAT(sh, ElementsAre(0.002846625, 6.958993e-7, 1.108134e-5, -5.134816e-8, 150, 0));
}

TEST(RefrigListTest, TooFewItemsFailWithTheMissingPositionAfterStoringTheOthers) {
    std::array<double, 3> dp{9, 9, 9};
    std::size_t item = 99;
    try {
        ParseRealList("1,2", 3, dp, item);
        FAIL() << "a two-item list passed for three";
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (2)");
    }
    EXPECT_EQ(item, 2u);
    EXPECT_THAT(dp, ElementsAre(1, 2, 9));

    EXPECT_THROW(ParseRealList("", 1, dp), EListError);
    // A trailing comma adds an empty item, which fails as a real, not as a missing one.
    EXPECT_THROW(ParseRealList("1,2,", 3, dp), EConvertError);
}

TEST(RefrigListTest, AnItemThatIsNoRealFailsWithItsText) {
    std::array<double, 3> dp{9, 9, 9};
    std::size_t item = 99;
    try {
        ParseRealList("1,,3", 3, dp, item);
        FAIL() << "an empty item converted";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'' is not a valid floating point value");
    }
    EXPECT_EQ(item, 1u);
    EXPECT_THAT(dp, ElementsAre(1, 9, 9));

    const std::vector<std::string> bad = {"abc", "0x1F",  "1e999", "-1e999", "nan",
                                          "inf", "1.5.2", "1e",    "--1",    "\"1,5\""};
    for (const std::string& text : bad) {
        std::array<double, 1> one{7};
        EXPECT_THROW(ParseRealList(text, 1, one), EConvertError) << text;
        EXPECT_EQ(one[0], 7) << text;
    }
    try {
        std::array<double, 1> one{};
        ParseRealList(R"("1,5")", 1, one);
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'1,5' is not a valid floating point value");
    }
}

TEST(RefrigListTest, CountZeroConvertsNothingAndOversizedCountIsRefused) {
    std::array<double, 2> values{4, 5};
    EXPECT_NO_THROW(ParseRealList("garbage,,\"", 0, values));
    EXPECT_THAT(values, ElementsAre(4, 5));
    EXPECT_THROW(ParseRealList("1,2,3", 3, values), std::out_of_range);
    EXPECT_THAT(values, ElementsAre(4, 5));
}
