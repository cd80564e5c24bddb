#include "platform/AsciiText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace AsciiText;

TEST(AsciiText, CharacterClasses) {
    struct Row {
        char c;
        bool space, spaceOrTab, spaceOrControl;
        int hex;
    };
    const std::vector<Row> rows = {
        {' ', true, true, true, -1},       {'\t', false, true, true, -1},
        {'\n', false, false, true, -1},    {'\0', false, false, true, -1},
        {'\x1F', false, false, true, -1},  {'!', false, false, false, -1},
        {'\x7F', false, false, false, -1}, {'\x80', false, false, false, -1},
        {'\xA0', false, false, false, -1}, {'\xFF', false, false, false, -1},
        {'0', false, false, false, 0},     {'9', false, false, false, 9},
        {'a', false, false, false, 10},    {'f', false, false, false, 15},
        {'A', false, false, false, 10},    {'F', false, false, false, 15},
        {'g', false, false, false, -1},    {'G', false, false, false, -1},
        {'/', false, false, false, -1},    {':', false, false, false, -1},
        {'@', false, false, false, -1},    {'`', false, false, false, -1},
    };
    for (const Row& r : rows) {
        const int code = static_cast<unsigned char>(r.c);
        EXPECT_EQ(IsSpace(r.c), r.space) << code;
        EXPECT_EQ(IsSpaceOrTab(r.c), r.spaceOrTab) << code;
        EXPECT_EQ(IsSpaceOrControl(r.c), r.spaceOrControl) << code;
        EXPECT_EQ(HexDigitValue(r.c), r.hex) << code;
    }
}

TEST(AsciiText, TrimmingAndBlankTexts) {
    struct Row {
        std::string text, trimmed;
        bool spaceOrControlOnly;
    };
    const std::vector<Row> rows = {
        {"", "", true},
        {" \t ", "", true},
        {"\x01\r\n", "\x01\r\n", true},
        {" \tR22 \t", "R22", false},
        {"a b", "a b", false},
        {"\na\n", "\na\n", false},
        {"\xA0x\xA0", "\xA0x\xA0", false},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(TrimSpaceOrTab(r.text), r.trimmed) << r.text;
        EXPECT_EQ(IsSpaceOrControlOnly(r.text), r.spaceOrControlOnly) << r.text;
    }
}

TEST(AsciiText, LetterCaseOfAsciiLettersOnly) {
    EXPECT_EQ(UpperCaseAscii("qv_Message-Pool \xE4\xC3\xA4 z{@["),
              "QV_MESSAGE-POOL \xE4\xC3\xA4 Z{@[");
    struct Row {
        std::string a, b;
        bool equal;
    };
    const std::vector<Row> rows = {
        {"R134a", "r134A", true}, {"", "", true},           {"abc", "abcd", false},
        {"[", "{", false},        {"@", "`", false},        {"\xE4", "\xC4", false},
        {"a b", "A  B", false},   {"Kalte", "KALTE", true},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(EqualNoCase(r.a, r.b), r.equal) << r.a << " / " << r.b;
        if (r.equal) {
            EXPECT_EQ(HashNoCase(r.a), HashNoCase(r.b)) << r.a;
        }
    }
    EXPECT_NE(HashNoCase("R22"), HashNoCase("R23"));
}
