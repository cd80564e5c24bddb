#include "refrig/IniFiles.h"

#include "platform/PrivateProfile.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Strings = std::vector<std::string>;

class IniFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = TestSupport::MakeTempFolder("ini");
        ASSERT_FALSE(dir.empty());
        path = (dir / "RuzAve8.rdf").string();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    void Put(const std::string& bytes) const {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    std::string Slurp() const {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir;
    std::string path;
};

// ---------------------------------------------------------------------------------------------
// Text, names and lists

TEST_F(IniFilesTest, ReadTextGivesValuesAndDefaults) {
    Put("[R22]\nRNumber = R22\nCASNumber=\nRefTer=" + std::string(3000, 'x') + "\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.Path(), path);
    EXPECT_EQ(ini.ReadText("r22", "rnumber", "d"), "R22");
    EXPECT_EQ(ini.ReadText("R22", "CASNumber", "d"), "");
    EXPECT_EQ(ini.ReadText("R22", "Formula", "d"), "d");
    EXPECT_EQ(ini.ReadText("R32", "RNumber", "d"), "d");
    EXPECT_EQ(ini.ReadText("R22", "RefTer", "d"), std::string(2047, 'x'));
    TIniFile missing((dir / "none.rdf").string());
    EXPECT_EQ(missing.ReadText("R22", "RNumber", "d"), "d");
}

TEST_F(IniFilesTest, BlankNamesGiveTheDefaultWithoutReadingTheFile) {
    Put("[R22]\nTCrit=96.1\n"); // just written: never cached, so every read parses it
    TIniFile ini(path);
    const auto before = PrivateProfile::ParseCount();
    EXPECT_EQ(ini.ReadText(" \t", "TCrit", "d"), "d");
    EXPECT_EQ(ini.ReadText("R22", "\x01 \r", "d"), "d");
    EXPECT_EQ(ini.ReadInt("", "TCrit", 7), 7);
    EXPECT_EQ(ini.ReadReal("R22", "", 1.5), 1.5);
    EXPECT_FALSE(ini.HasSection("  "));
    Strings list{"kept"};
    ini.ListKeys("\t", list);
    EXPECT_EQ(list, Strings{"kept"});
    EXPECT_EQ(PrivateProfile::ParseCount(), before);
}

TEST_F(IniFilesTest, ListsAreInFileOrder) {
    Put("[B]\nz=1\ny=\n[A]\n[C]\nx=2\n");
    TIniFile ini(path);
    Strings list{"old"};
    ini.ListSections(list);
    EXPECT_EQ(list, (Strings{"B", "A", "C"}));
    ini.ListKeys("b", list);
    EXPECT_EQ(list, (Strings{"z", "y"}));
    ini.ListKeys("A", list);
    EXPECT_TRUE(list.empty());
    ini.ListKeyValues("B", list);
    EXPECT_EQ(list, (Strings{"z=1", "y="}));
    ini.ListKeyValues(" ", list);
    EXPECT_TRUE(list.empty());

    TIniFile missing((dir / "none.rdf").string());
    list = {"old"};
    missing.ListSections(list);
    EXPECT_TRUE(list.empty());
}

TEST_F(IniFilesTest, HasSectionNeedsAtLeastOneKey) {
    Put("[Empty]\n; only a comment\n[Full]\nk=\n");
    TIniFile ini(path);
    EXPECT_FALSE(ini.HasSection("Empty"));
    EXPECT_TRUE(ini.HasSection("full"));
    EXPECT_FALSE(ini.HasSection("Missing"));
}

TEST_F(IniFilesTest, EveryOperationSeesTheFileAsItIsNow) {
    Put("[A]\nx=1\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadInt("A", "x", 0), 1);
    Put("[A]\nx=2\n[B]\ny=3\n");
    EXPECT_EQ(ini.ReadInt("A", "x", 0), 2);
    EXPECT_TRUE(ini.HasSection("B"));
    fs::remove(path);
    EXPECT_EQ(ini.ReadInt("A", "x", 0), 0);
}

TEST_F(IniFilesTest, ASnapshotReaderSeesTheFileAsItWasAndDoesNotWrite) {
    Put("[A]\nx=1\ny=\"two\"\n[B]\nz=3\n");
    const auto start = PrivateProfile::ParseCount();
    TIniFileSnapshot ini(path);
    Put("[A]\nx=9\n");
    EXPECT_EQ(ini.ReadInt("a", "X", 0), 1);
    EXPECT_EQ(ini.ReadText("A", "y", "d"), "two");
    EXPECT_EQ(ini.ReadText("\t", "x", "d"), "d");
    EXPECT_TRUE(ini.HasSection("B"));
    Strings list;
    ini.ListSections(list);
    EXPECT_EQ(list, (Strings{"A", "B"}));
    ini.ListKeyValues("A", list);
    EXPECT_EQ(list, (Strings{"x=1", "y=two"}));
    EXPECT_EQ(PrivateProfile::ParseCount() - start, 1u);

    EXPECT_THROW(ini.WriteText("A", "x", "2"), EIniFileException);
    EXPECT_THROW(ini.WriteInt("A", "x", 2), EIniFileException);
    EXPECT_THROW(ini.RemoveSection("A"), EIniFileException);
    EXPECT_NO_THROW(ini.RemoveKey("A", "x"));
    EXPECT_NO_THROW(ini.Flush());
    EXPECT_EQ(Slurp(), "[A]\nx=9\n");
}

// ---------------------------------------------------------------------------------------------
// Typed reads

TEST_F(IniFilesTest, ReadIntAcceptsDecimalAndHexadecimal) {
    Put("[N]\nlx=0x1F\nux=0X1F\ndollar=$1f\nbare=0x\nneg= -12\nplus=+7\nall=$FFFFFFFF\n"
        "big=2147483648\nmin=-2147483648\ntrail=12abc\nempty=\nletters=abc\nreal=1.5\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadInt("N", "lx", -1), 31);
    EXPECT_EQ(ini.ReadInt("N", "ux", -1), 31);
    EXPECT_EQ(ini.ReadInt("N", "dollar", -1), 31);
    EXPECT_EQ(ini.ReadInt("N", "bare", -1), -1);
    EXPECT_EQ(ini.ReadInt("N", "neg", 0), -12);
    EXPECT_EQ(ini.ReadInt("N", "plus", 0), 7);
    EXPECT_EQ(ini.ReadInt("N", "all", 0), -1);
    EXPECT_EQ(ini.ReadInt("N", "big", 5), 5);
    EXPECT_EQ(ini.ReadInt("N", "min", 5), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(ini.ReadInt("N", "trail", 5), 5);
    EXPECT_EQ(ini.ReadInt("N", "empty", 5), 5);
    EXPECT_EQ(ini.ReadInt("N", "letters", 5), 5);
    EXPECT_EQ(ini.ReadInt("N", "real", 5), 5);
    EXPECT_EQ(ini.ReadInt("N", "missing", 5), 5);
}

TEST_F(IniFilesTest, ReadRealIsStrictAboutItsSyntax) {
    Put("[R]\nplain=96.1\nexp=-2.462772e-15\nbigE=1E3\ncomma=1,5\nempty=\nword=abc\n"
        "two=1.5 2\nhuge=1e999\n");
    TIniFile ini(path);
    EXPECT_DOUBLE_EQ(ini.ReadReal("R", "plain", 0), 96.1);
    EXPECT_DOUBLE_EQ(ini.ReadReal("R", "exp", 0), -2.462772e-15);
    EXPECT_DOUBLE_EQ(ini.ReadReal("R", "bigE", 0), 1000);
    EXPECT_EQ(ini.ReadReal("R", "comma", -1), -1);
    EXPECT_EQ(ini.ReadReal("R", "empty", -1), -1);
    EXPECT_EQ(ini.ReadReal("R", "word", -1), -1);
    EXPECT_EQ(ini.ReadReal("R", "two", -1), -1);
    EXPECT_EQ(ini.ReadReal("R", "huge", -1), -1);
    EXPECT_EQ(ini.ReadReal("R", "missing", -1), -1);
}

TEST_F(IniFilesTest, ReadFlag) {
    Put("[F]\nzero=0\none=1\nother=-3\nword=yes\n");
    TIniFile ini(path);
    EXPECT_TRUE(ini.ReadFlag("F", "missing", true));
    EXPECT_FALSE(ini.ReadFlag("F", "missing", false));
    EXPECT_FALSE(ini.ReadFlag("F", "zero", true));
    EXPECT_TRUE(ini.ReadFlag("F", "one", false));
    EXPECT_TRUE(ini.ReadFlag("F", "other", false));
    EXPECT_TRUE(ini.ReadFlag("F", "word", true));
    EXPECT_FALSE(ini.ReadFlag("F", "word", false));
}

// ---------------------------------------------------------------------------------------------
// Typed writes

TEST_F(IniFilesTest, TypedWritesProduceTheirTexts) {
    TIniFile ini(path);
    ini.WriteInt("W", "int", -2147483647 - 1);
    ini.WriteFlag("W", "yes", true);
    ini.WriteFlag("W", "no", false);
    ini.WriteReal("W", "real", 0.1);
    ini.WriteText("W", "text", "R22");
    EXPECT_EQ(Slurp(), "[W]\nint=-2147483648\nyes=1\nno=0\nreal=0.1\ntext=R22\n");
    EXPECT_EQ(ini.ReadInt("W", "int", 0), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(ini.ReadReal("W", "real", 0), 0.1);
    for (double v : {96.1, -2.462772e-15, 1.0 / 3.0, 4990.0}) {
        ini.WriteReal("W", "real", v);
        EXPECT_NEAR(ini.ReadReal("W", "real", 0), v, std::fabs(v) * 1e-14);
    }
}

TEST_F(IniFilesTest, FailedWritesRaiseAndKeepTheFile) {
    fs::create_directory(path);
    TIniFile ini(path);
    try {
        ini.WriteText("A", "x", "1");
        FAIL() << "no exception";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(e.Message(), "Unable to write to " + path);
    }
    EXPECT_THROW(ini.WriteInt("A", "x", 1), EIniFileException);
    EXPECT_THROW(ini.RemoveSection("A"), EIniFileException);
    EXPECT_NO_THROW(ini.RemoveKey("A", "x"));
    EXPECT_NO_THROW(ini.Flush());
    EXPECT_TRUE(fs::is_directory(path));

    TIniFile bad((dir / "x.ini").string());
    EXPECT_THROW(bad.WriteText("A", "x", "two\nlines"), EIniFileException);
    EXPECT_FALSE(fs::exists(dir / "x.ini"));
}

TEST_F(IniFilesTest, RemovingKeysAndSections) {
    Put("[A]\nx=1\ny=2\n[B]\nz=3\n");
    {
        TIniFile ini(path);
        ini.RemoveKey("A", "X");
        ini.RemoveSection("b");
        ini.RemoveSection("Missing");
    } // release flushes
    EXPECT_EQ(Slurp(), "[A]\ny=2\n");
}

// ---------------------------------------------------------------------------------------------
// Dates and times

TEST_F(IniFilesTest, DatesAndTimesAreWrittenInTheProcessFormats) {
    TIniFile ini(path);
    ini.WriteDateValue("D", "date", 45000.75);
    ini.WriteTimeValue("D", "time", 45000.75);
    ini.WriteDateTimeValue("D", "both", 45000.5);
    ini.WriteDateTimeValue("D", "epoch", 0);
    ini.WriteDateTimeValue("D", "before", -1.25);
    ini.WriteDateTimeValue("D", "carry", 1.9999999999);
    ini.WriteDateValue("D", "first", -693593);
    ini.WriteDateTimeValue("D", "last", 2958465.99999);
    EXPECT_EQ(Slurp(), "[D]\ndate=2023-03-15\ntime=18:00:00\nboth=2023-03-15 12:00:00\n"
                       "epoch=1899-12-30 00:00:00\nbefore=1899-12-29 06:00:00\n"
                       "carry=1900-01-01 00:00:00\nfirst=0001-01-01\nlast=9999-12-31 23:59:59\n");
}

TEST_F(IniFilesTest, DateTimeValuesOutsideTheCalendarAreRefused) {
    TIniFile ini(path);
    for (double v :
         {std::nan(""), std::numeric_limits<double>::infinity(), -693594.0, 2958466.0, 1e300}) {
        EXPECT_THROW(ini.WriteDateValue("D", "x", v), EConvertError) << v;
        EXPECT_THROW(ini.WriteDateTimeValue("D", "x", v), EConvertError) << v;
        EXPECT_THROW(ini.WriteTimeValue("D", "x", v), EConvertError) << v;
    }
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(IniFilesTest, DatesAndTimesReadBack) {
    Put("[D]\ndate=2023-03-15\nshort=2024-2-9\ntime=18:00:00\nhm=8:30\nms=08:30:15.5\n"
        "both=2023-03-15 12:00:00\nbefore=1899-12-29  06:00\nleap=2024-02-29\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadDateValue("D", "date", -1), 45000);
    EXPECT_EQ(ini.ReadDateValue("D", "short", -1), 45331);
    EXPECT_EQ(ini.ReadDateValue("D", "leap", -1), 45351);
    EXPECT_EQ(ini.ReadTimeValue("D", "time", -1), 0.75);
    EXPECT_DOUBLE_EQ(ini.ReadTimeValue("D", "hm", -1), 8.5 / 24);
    EXPECT_DOUBLE_EQ(ini.ReadTimeValue("D", "ms", -1), (8.5 * 3600 + 15.5) / 86400);
    EXPECT_EQ(ini.ReadDateTimeValue("D", "both", -1), 45000.5);
    EXPECT_EQ(ini.ReadDateTimeValue("D", "date", -1), 45000);
    EXPECT_EQ(ini.ReadDateTimeValue("D", "time", -1), 0.75);
    EXPECT_EQ(ini.ReadDateTimeValue("D", "before", 0), -1.25);
    // A date is not a time and the other way round.
    EXPECT_EQ(ini.ReadDateValue("D", "both", -1), -1);
    EXPECT_EQ(ini.ReadTimeValue("D", "date", -1), -1);

    for (double v : {45000.75, -1.25, 0.0, 12345.5}) {
        ini.WriteDateTimeValue("D", "round", v);
        EXPECT_EQ(ini.ReadDateTimeValue("D", "round", -1), v);
    }
}

TEST_F(IniFilesTest, MalformedDatesAndTimesGiveTheDefault) {
    Put("[D]\na=2023-02-29\nb=2023-13-01\nc=2023-03-15x\nd=15.03.2023\ne=24:00\nf=12:60\n"
        "g=12:00:60\nh=0000-01-01\ni=\nj=2023-03-15 25:00\nk=12345-01-01\nl=1:2:3.4567\n");
    TIniFile ini(path);
    for (const char* key : {"a", "b", "c", "d", "h", "i", "k"}) {
        EXPECT_EQ(ini.ReadDateValue("D", key, -7), -7) << key;
    }
    for (const char* key : {"e", "f", "g", "i", "l"}) {
        EXPECT_EQ(ini.ReadTimeValue("D", key, -7), -7) << key;
    }
    for (const char* key : {"a", "d", "e", "i", "j"}) {
        EXPECT_EQ(ini.ReadDateTimeValue("D", key, -7), -7) << key;
    }
}

// ---------------------------------------------------------------------------------------------
// Hex bytes

TEST_F(IniFilesTest, HexBytesAreDecodedIntoTheStreamAtItsPosition) {
    Put("[H]\nmixed=0aFFzz11\nodd=ABC\nempty=\nbad=G1\n");
    TIniFile ini(path);
    TBytesStream stream{{9, 9, 9, 9}, 1};
    EXPECT_EQ(ini.ReadHexBytes("H", "mixed", stream), 2u);
    EXPECT_EQ(stream.Bytes, (std::vector<uint8_t>{9, 0x0A, 0xFF, 9}));
    EXPECT_EQ(stream.Position, 3u);
    EXPECT_EQ(ini.ReadHexBytes("H", "odd", stream), 1u);
    EXPECT_EQ(stream.Bytes, (std::vector<uint8_t>{9, 0x0A, 0xFF, 0xAB}));
    EXPECT_EQ(ini.ReadHexBytes("H", "empty", stream), 0u);
    EXPECT_EQ(ini.ReadHexBytes("H", "bad", stream), 0u);
    EXPECT_EQ(ini.ReadHexBytes("H", "missing", stream), 0u);
    EXPECT_EQ(stream.Bytes.size(), 4u);
    EXPECT_EQ(stream.Position, 4u);

    TBytesStream beyond{{}, 2};
    EXPECT_EQ(ini.ReadHexBytes("H", "odd", beyond), 1u);
    EXPECT_EQ(beyond.Bytes, (std::vector<uint8_t>{0, 0, 0xAB}));
}

TEST_F(IniFilesTest, HexBytesAreWrittenFromTheStreamPosition) {
    TIniFile ini(path);
    TBytesStream stream{{0x00, 0xAB, 0x0F, 0xFF}, 1};
    ini.WriteHexBytes("H", "tail", stream);
    EXPECT_EQ(stream.Position, 4u);
    ini.WriteHexBytes("H", "none", stream);
    EXPECT_EQ(Slurp(), "[H]\ntail=AB0FFF\nnone=\n");

    TBytesStream back;
    EXPECT_EQ(ini.ReadHexBytes("H", "tail", back), 3u);
    EXPECT_EQ(back.Bytes, (std::vector<uint8_t>{0xAB, 0x0F, 0xFF}));
}

} // namespace
