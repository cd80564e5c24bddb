#include "platform/NumberText.h"

#include "platform/Exceptions.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// Restores the process-wide separators after a test that changes them.
class NumberTextTest : public ::testing::Test {
protected:
    void SetUp() override { FormatSettings() = {'.', ','}; }
    void TearDown() override { FormatSettings() = {'.', ','}; }
};

TEST_F(NumberTextTest, FixedRoundsHalfAwayFromZeroOnTheExactBinaryValue) {
    EXPECT_EQ(Format("%0.0f", {2.5}), "3");
    EXPECT_EQ(Format("%0.0f", {-2.5}), "-3");
    EXPECT_EQ(Format("%0.0f", {0.5}), "1");
    EXPECT_EQ(Format("%0.0f", {1.5}), "2");
    EXPECT_EQ(Format("%0.2f", {0.125}), "0.13");
    EXPECT_EQ(Format("%0.2f", {-0.125}), "-0.13");
    // 1.005 and 2.675 are stored just below the half.
    EXPECT_EQ(Format("%0.2f", {1.005}), "1.00");
    EXPECT_EQ(Format("%0.2f", {2.675}), "2.67");
    // 2.345 is stored just above the half.
    EXPECT_EQ(Format("%0.2f", {2.345}), "2.35");
    EXPECT_EQ(Format("%0.1f", {0.25}), "0.3");
    EXPECT_EQ(Format("%0.3f", {0.0625}), "0.063");
}

TEST_F(NumberTextTest, FixedDigitsCarryAndPad) {
    EXPECT_EQ(Format("%0.2f", {9.995}), "9.99"); // stored below the half
    EXPECT_EQ(Format("%0.2f", {9.9951}), "10.00");
    EXPECT_EQ(Format("%0.0f", {99.5}), "100");
    EXPECT_EQ(Format("%0.4f", {0.0}), "0.0000");
    EXPECT_EQ(Format("%0.4f", {0.00004}), "0.0000");
    EXPECT_EQ(Format("%0.4f", {0.00005}), "0.0001");
    EXPECT_EQ(Format("%0.1f", {1234567.0}), "1234567.0");
    EXPECT_EQ(Format("%0.3f", {1e-300}), "0.000");
    EXPECT_EQ(Format("%0.0f", {1e21}), "1000000000000000000000");
    EXPECT_EQ(Format("%0.2f", {-1.5}), "-1.50");
    EXPECT_EQ(Format("%f", {1.0}), "1.00"); // default precision 2
    EXPECT_EQ(Format("%.1f", {1.25}), "1.3");
}

TEST_F(NumberTextTest, ValuesThatRoundToZeroLoseTheirSign) {
    EXPECT_EQ(Format("%0.2f", {-0.001}), "0.00");
    EXPECT_EQ(Format("%0.0f", {-0.0}), "0");
    EXPECT_EQ(Format("%0.4f", {-1e-17}), "0.0000");
    EXPECT_EQ(Format("%0.2f", {-0.005}), "-0.01"); // stored just above the half
}

TEST_F(NumberTextTest, HugeAndTinyValuesFormatCompletely) {
    const std::string huge = Format("%0.4f", {1e308});
    ASSERT_EQ(huge.size(), 309u + 5u);
    EXPECT_EQ(huge.substr(0, 4), "1000");
    EXPECT_EQ(huge.substr(huge.size() - 5), ".0000");
    const std::string max = Format("%0.0f", {std::numeric_limits<double>::max()});
    EXPECT_EQ(max.substr(0, 6), "179769");
    EXPECT_EQ(max.size(), 309u);
    const std::string tiny = Format("%0.1000f", {std::numeric_limits<double>::denorm_min()});
    ASSERT_EQ(tiny.size(), 1002u);
    EXPECT_EQ(tiny.substr(0, 2 + 323 + 18), "0." + std::string(323, '0') + "494065645841246544");
    EXPECT_EQ(Format("%0.323f", {std::numeric_limits<double>::denorm_min()}),
              "0." + std::string(323, '0'));
    EXPECT_EQ(Format("%0.324f", {std::numeric_limits<double>::denorm_min()}),
              "0." + std::string(323, '0') + "5");
    EXPECT_EQ(Format("%-1000.1000f", {-1e308}).size(), 1u + 309u + 1u + 1000u);
}

TEST_F(NumberTextTest, NonFiniteValuesHaveFixedTexts) {
    EXPECT_EQ(Format("%0.2f", {NaN}), "NAN");
    EXPECT_EQ(Format("%0.2f", {Inf}), "INF");
    EXPECT_EQ(Format("%0.2f", {-Inf}), "-INF");
    EXPECT_EQ(Format("%4.2g", {NaN}), " NAN");
    EXPECT_EQ(Format("%4.2g", {-Inf}), "-INF");
    EXPECT_EQ(FloatToStr(NaN), "NAN");
    EXPECT_EQ(FloatToStr(-Inf), "-INF");
}

TEST_F(NumberTextTest, GeneralFormOfLargeValuesIsTheChartsScientificForm) {
    EXPECT_EQ(Format("%4.2g", {12345}), "1.2E004");
    EXPECT_EQ(Format("%4.2g", {10000}), "1E004");
    EXPECT_EQ(Format("%4.2g", {99999}), "1E005");
    EXPECT_EQ(Format("%4.2g", {9999.5}), "1E004");
    EXPECT_EQ(Format("%4.2g", {15000}), "1.5E004"); // exact half goes away from zero
    EXPECT_EQ(Format("%4.2g", {-12345}), "-1.2E004");
    EXPECT_EQ(Format("%4.2g", {1.5e10}), "1.5E010");
    EXPECT_EQ(Format("%4.2g", {1e300}), "1E300");
    EXPECT_EQ(Format("%4.2g", {1.7e308}), "1.7E308");
    EXPECT_EQ(Format("%4.3g", {123456}), "1.23E005");
    EXPECT_EQ(Format("%4.3g", {1.2e3}), "1.2E003");
}

TEST_F(NumberTextTest, GeneralFormOfSmallValuesIsFixedWithinPrecision) {
    EXPECT_EQ(Format("%4.2g", {0.5}), " 0.5");
    EXPECT_EQ(Format("%4.2g", {12}), "  12");
    EXPECT_EQ(Format("%4.2g", {1.25}), " 1.3");
    EXPECT_EQ(Format("%4.2g", {0.0}), "   0");
    EXPECT_EQ(Format("%4.2g", {-0.0}), "   0");
    EXPECT_EQ(Format("%4.2g", {99.6}), "1E002");
    EXPECT_EQ(Format("%4.2g", {0.00012345}), "0.00012");
    EXPECT_EQ(Format("%4.2g", {0.00001}), "0.00001");
    EXPECT_EQ(Format("%4.2g", {0.0000012345}), "1.2E-006");
    EXPECT_EQ(Format("%0.0g", {7.5}), "8"); // precision 0 counts as 1
    EXPECT_EQ(Format("%g", {0.1}), "0.1");  // default 15 digits, shortest text
}

TEST_F(NumberTextTest, LiteralTextPercentWidthAndSeveralValues) {
    EXPECT_EQ(Format("", {}), "");
    EXPECT_EQ(Format("abc", {}), "abc");
    EXPECT_EQ(Format("100%%", {}), "100%");
    EXPECT_EQ(Format("%%%0.1f%%", {5}), "%5.0%");
    EXPECT_EQ(Format("%6.2f|", {3.14159}), "  3.14|");
    EXPECT_EQ(Format("%-6.2f|", {3.14159}), "3.14  |");
    EXPECT_EQ(Format("%2.2f", {123.456}), "123.46");
    EXPECT_EQ(Format("%05.1f", {1}), "  1.0"); // leading zero of a width is no flag
    EXPECT_EQ(Format("  Ntu=%0.2f   e=%0.2f   Cr=%0.2f", {1.5, 0.625, 0.25}),
              "  Ntu=1.50   e=0.63   Cr=0.25");
    EXPECT_EQ(Format("%0.2f, %4.2g", {1, 20000}), "1.00, 2E004");
    const std::vector<double> values{1, 2};
    EXPECT_EQ(Format("%F-%G", values), "1.00-2");
}

TEST_F(NumberTextTest, MalformedOrMismatchedFormatsRaiseFormatError) {
    const std::vector<std::string> bad{
        "%d",    "%s",    "%n",     "%x",       "%*.2f",
        "%+.2f", "% .2f", "%#.2f",  "%",        "abc%",
        "%0.",   "%0.f",  "%1001f", "%0.1001f", "%0.99999999999999999999f",
        "%0.2",  "%e",    "%1:f",   "%.-2f",    "%lf",
    };
    for (const std::string& format : bad)
        EXPECT_THROW(Format(format, {1.0}), EFormatError) << format;
    EXPECT_THROW(Format("%0.2f %0.2f", {1.0}), EFormatError);
    EXPECT_THROW(Format("%0.2f", {}), EFormatError);
    EXPECT_THROW(Format("%0.2f", {1.0, 2.0}), EFormatError);
    EXPECT_THROW(Format("no conversion", {1.0}), EFormatError);
    EXPECT_THROW(Format("%%", {1.0}), EFormatError);
    try {
        Format("%d", {1.0});
    } catch (const EFormatError& e) {
        EXPECT_NE(e.Message().find("%d"), std::string::npos) << e.Message();
    }
}

TEST_F(NumberTextTest, FormatAndFloatToStrUseTheProcessDecimalSeparator) {
    FormatSettings().DecimalSeparator = ',';
    EXPECT_EQ(Format("%0.2f", {1.5}), "1,50");
    EXPECT_EQ(Format("%4.2g", {12345}), "1,2E004");
    EXPECT_EQ(FloatToStr(0.25), "0,25");
}

// A C locale whose decimal separator is a comma, named as the C library knows it.
#ifdef _WIN32
constexpr const char* GermanLocale = "German_Germany.1252";
#else
constexpr const char* GermanLocale = "de_DE.UTF-8";
#endif

TEST_F(NumberTextTest, TheCLocaleChangesNothing) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, GermanLocale), nullptr)
        << "locale " << GermanLocale << " is not available on this machine; run scripts/deps.sh";
    const std::string format = Format("%0.2f|%4.2g|%0.1f", {1.5, 12345, 1234567.25});
    const std::string general = FloatToStr(1234.5);
    double parsed = 0;
    const bool ok = TryStrToFloat("1.25", parsed);
    double comma = 0;
    const bool commaOk = TryStrToFloat("1,25", comma);
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(format, "1.50|1.2E004|1234567.3");
    EXPECT_EQ(general, "1234.5");
    EXPECT_TRUE(ok);
    EXPECT_EQ(parsed, 1.25);
    EXPECT_FALSE(commaOk);
}

TEST_F(NumberTextTest, StrictRealSyntaxIsAccepted) {
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"1", 1},          {"  -2.5", -2.5},
        {"+3.25  ", 3.25}, {"1e3", 1000},
        {"1E-3", 0.001},   {"2.5e+2", 250},
        {".5", 0.5},       {"5.", 5},
        {"007", 7},        {"0", 0},
        {"-0", -0.0},      {"1.7976931348623157e308", 1.7976931348623157e308},
        {"1e-400", 0},     {"4.9e-324", 4.9e-324},
        {"0.1", 0.1},      {"123456789012345678901234567890", 1.2345678901234568e29},
    };
    for (const auto& c : cases) {
        double value = 99;
        EXPECT_TRUE(TryStrToFloat(c.text, value)) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
    EXPECT_EQ(StrToFloat("-0.125"), -0.125);
    EXPECT_TRUE(std::signbit(StrToFloat("-0")));
}

TEST_F(NumberTextTest, AnythingElseIsRejectedAndLeavesTheValueAlone) {
    const char* bad[] = {"",    " ",    "abc",  "1,5",   "1.5x",
                         "1e",  "1e+",  "e5",   ".",     "-",
                         "+-1", "--1",  "1..2", "1.2.3", "inf",
                         "nan", "0x1F", "$10",  "1e400", "-1e400",
                         "1 2", "\t1",  "1\t",  "1e5.5", "1e99999999999999999999"};
    for (const char* text : bad) {
        double value = 42;
        EXPECT_FALSE(TryStrToFloat(text, value)) << text;
        EXPECT_EQ(value, 42) << text;
    }
    double value = 42;
    EXPECT_FALSE(TryStrToFloat(std::string_view("1\0", 2), value)); // embedded zero character
    int32_t integer = 42;
    EXPECT_FALSE(TryStrToInt(std::string_view("1\0", 2), integer));
}

TEST_F(NumberTextTest, StrToFloatNamesTheTextInItsError) {
    try {
        StrToFloat("1,5");
        FAIL() << "no error raised";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'1,5' is not a valid floating point value");
    }
    EXPECT_THROW(StrToFloat("1e999"), EConvertError);
}

TEST_F(NumberTextTest, RealParsingFollowsTheDecimalSeparator) {
    FormatSettings().DecimalSeparator = ',';
    double value = 0;
    EXPECT_TRUE(TryStrToFloat("1,5", value));
    EXPECT_EQ(value, 1.5);
    EXPECT_FALSE(TryStrToFloat("1.5", value));
}

TEST_F(NumberTextTest, IntegersInDecimalAndHexadecimal) {
    const struct {
        const char* text;
        int32_t value;
    } cases[] = {
        {"0", 0},
        {"  42", 42},
        {"+7", 7},
        {"-2147483648", -2147483647 - 1},
        {"2147483647", 2147483647},
        {"000012", 12},
        {"$1F", 31},
        {"x1F", 31},
        {"X1f", 31},
        {"0x1F", 31},
        {"0X1f", 31},
        {"$FFFFFFFF", -1},
        {"$80000000", -2147483647 - 1},
        {"$7FFFFFFF", 2147483647},
        {"$000000001", 1},
        {"-$1F", -31},
        {"-$FFFFFFFF", 1},
    };
    for (const auto& c : cases) {
        int32_t value = 99;
        EXPECT_TRUE(TryStrToInt(c.text, value)) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

TEST_F(NumberTextTest, MalformedOrOutOfRangeIntegersFail) {
    const char* bad[] = {"",
                         " ",
                         "0x",
                         "0X",
                         "$",
                         "x",
                         "-",
                         "+",
                         "12 ",
                         "1.0",
                         "1e3",
                         "abc",
                         "$G",
                         "0x-1",
                         "$100000000",
                         "- 1",
                         "2147483648",
                         "-2147483649",
                         "99999999999999999999",
                         "--1",
                         "\t1",
                         "0xx1"};
    for (const char* text : bad) {
        int32_t value = 42;
        EXPECT_FALSE(TryStrToInt(text, value)) << text;
        EXPECT_EQ(value, 42) << text;
    }
}

TEST_F(NumberTextTest, FloatToStrWritesUpToFifteenSignificantDigits) {
    EXPECT_EQ(FloatToStr(0), "0");
    EXPECT_EQ(FloatToStr(-0.0), "0");
    EXPECT_EQ(FloatToStr(1), "1");
    EXPECT_EQ(FloatToStr(-2.5), "-2.5");
    EXPECT_EQ(FloatToStr(0.1), "0.1");
    EXPECT_EQ(FloatToStr(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(FloatToStr(2.0 / 3), "0.666666666666667");
    EXPECT_EQ(FloatToStr(123456789012345.0), "123456789012345");
    EXPECT_EQ(FloatToStr(1234567890123456.0), "1.23456789012346E15");
    EXPECT_EQ(FloatToStr(999999999999999.9), "1E15");
    EXPECT_EQ(FloatToStr(1e20), "1E20");
    EXPECT_EQ(FloatToStr(0.00001), "0.00001");
    EXPECT_EQ(FloatToStr(0.0000015), "1.5E-6");
    EXPECT_EQ(FloatToStr(-1e-300), "-1E-300");
    EXPECT_EQ(FloatToStr(273.15), "273.15");
    EXPECT_EQ(FloatToStr(std::numeric_limits<double>::max()), "1.79769313486231E308");
}

TEST_F(NumberTextTest, FloatToStrReadsBackWithinFifteenDigits) {
    const double values[] = {273.15,
                             -40.0,
                             1e-7,
                             6.02214076e23,
                             0.1 + 0.2,
                             1.0 / 7,
                             std::numeric_limits<double>::max(),
                             -std::numeric_limits<double>::max(),
                             1.797693134862315e308,
                             std::numeric_limits<double>::min(),
                             std::numeric_limits<double>::denorm_min()};
    for (const double value : values) {
        double back = 0;
        ASSERT_TRUE(TryStrToFloat(FloatToStr(value), back)) << FloatToStr(value);
        EXPECT_NEAR(back, value, std::fabs(value) * 1e-14) << FloatToStr(value);
    }
}

} // namespace
