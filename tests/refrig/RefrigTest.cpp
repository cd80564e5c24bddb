// The refrigerant library on data files: construction, the section tables, loading by name, the
// all-or-nothing rule for malformed sections, the sample data file and odd files.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/PrivateProfile.h"
#include "refrig/Refrig.h"
#include "support/TempFolder.h"

#ifndef _WIN32
#include "support/Unprivileged.h"

#include <sys/stat.h>
#include <unistd.h>
#endif

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace fs = std::filesystem;

namespace {

const std::string kSampleFile = CALVENOR_SOURCE_DIR "/data/RuzAve8.rdf";

// A fresh folder per test, removed afterwards.
class RefrigFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        FDir = TestSupport::MakeTempFolder("refrigtest-");
        ASSERT_FALSE(FDir.empty());
        FPath = (FDir / "RuzAve8.rdf").string();
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(FDir / "RuzAve8.rdf", fs::perms::owner_all, ignored);
        fs::remove_all(FDir, ignored);
    }
    void Write(const std::string& content) const {
        std::ofstream(FPath, std::ios::binary | std::ios::trunc) << content;
    }
    const std::string& Path() const { return FPath; }
    fs::path FDir;

private:
    std::string FPath;
};

// An R22 section that loads without error, with marker values that differ from the default.
const std::string kGoodR22 = "[R22]\nInternalNumber=22\nTCrit=99.5\n";

template <std::size_t N> bool AllZero(const std::array<double, N>& list) {
    return std::ranges::all_of(list, [](double v) { return v == 0; });
}

bool AllListsZero(const TRefrigData& d) {
    return AllZero(d.dp) && AllZero(d.bp) && AllZero(d.lh) && AllZero(d.th) && AllZero(d.vh) &&
           AllZero(d.sh) && AllZero(d.vv) && AllZero(d.sv) && AllZero(d.ic) && AllZero(d.sc) &&
           AllZero(d.lv) && AllZero(d.cl) && AllZero(d.cv) && AllZero(d.ul) && AllZero(d.uv) &&
           AllZero(d.kl) && AllZero(d.kv);
}

template <std::size_t N> bool NoneZero(const std::array<double, N>& list) {
    return std::ranges::none_of(list, [](double v) { return v == 0; });
}

bool EveryCoefficientSet(const TRefrigData& d) {
    return NoneZero(d.dp) && NoneZero(d.bp) && NoneZero(d.lh) && NoneZero(d.th) && NoneZero(d.vh) &&
           NoneZero(d.sh) && NoneZero(d.vv) && NoneZero(d.sv) && NoneZero(d.ic) && NoneZero(d.sc) &&
           NoneZero(d.lv) && NoneZero(d.cl) && NoneZero(d.cv) && NoneZero(d.ul) && NoneZero(d.uv) &&
           NoneZero(d.kl) && NoneZero(d.kv);
}

} // namespace

TEST(RefrigRecordTest, DefaultRecordIsR22) {
    const TRefrigData& d = DefaultRefrigData();
    EXPECT_EQ(d.InternalNumber, 0);
    EXPECT_EQ(d.RNumber, "R22");
    EXPECT_EQ(d.Formula, "CHClF2");
    EXPECT_EQ(d.ChemicalName, "chlorodifluoromethane");
    EXPECT_EQ(d.CASNumber, "");
    EXPECT_EQ(d.RefTer.size(), 60u);
    EXPECT_EQ(d.RefTer.find('\n'), std::string::npos);
    EXPECT_THAT(d.RefTer, HasSubstr("Helmholtz"));
    EXPECT_THAT(d.RefTer, HasSubstr("R-22"));
    EXPECT_THAT(d.RefTer, HasSubstr("1995"));
    // The other values are checked against the sample file's R22 section.
    EXPECT_THAT(d.dp, ElementsAre(21.39916, -2103.23, 254.0905));
    EXPECT_TRUE(EveryCoefficientSet(d));
}

TEST_F(RefrigFileTest, MissingFileGivesDefaultRecordAndEmptyTables) {
    TRefrigLib lib(Path());
    EXPECT_EQ(lib.Data(), DefaultRefrigData());
    EXPECT_EQ(lib.Status(), TRefrigLib::stNoSection);
    EXPECT_EQ(lib.SectionIndex(), -1);
    EXPECT_THAT(lib.SectionNames(), IsEmpty());
    EXPECT_THAT(lib.InternalNumbers(), IsEmpty());
    EXPECT_EQ(lib.DataFilePath(), Path());
}

TEST_F(RefrigFileTest, TablesListSectionsInFileOrderWithTheirInternalNumbers) {
    Write("[R717]\nInternalNumber=717\n[Empty]\n[NoNumber]\nFormula=X\n[R22]\n"
          "InternalNumber=0x1F\n[Hex]\nInternalNumber=0xFFFFFFFF\n[Bad]\nInternalNumber=0x\n"
          "[Huge]\nInternalNumber=2147483648\n[Dollar]\nInternalNumber=$10\n");
    TRefrigLib lib(Path());
    EXPECT_THAT(lib.SectionNames(),
                ElementsAre("R717", "Empty", "NoNumber", "R22", "Hex", "Bad", "Huge", "Dollar"));
    EXPECT_THAT(lib.InternalNumbers(), ElementsAre(717, -1, -1, 31, -1, -1, -1, 16));
    EXPECT_EQ(lib.SectionIndex(), 3);
    EXPECT_EQ(lib.Status(), TRefrigLib::stNone);
    EXPECT_EQ(lib.Data().InternalNumber, 31);

    lib.LoadRefrigerant("NoNumber");
    EXPECT_EQ(lib.Data().InternalNumber, 0);
    EXPECT_EQ(lib.Data().Formula, "X");
    lib.LoadRefrigerant("Bad");
    EXPECT_EQ(lib.Data().InternalNumber, 0);
    lib.LoadRefrigerant("Hex");
    EXPECT_EQ(lib.Data().InternalNumber, -1);
}

TEST_F(RefrigFileTest, SectionWithOnlyTCritOverlaysTheDefaultRecord) {
    Write("[R22]\nTCrit=100\n");
    TRefrigLib lib(Path());
    const TRefrigData& d = lib.Data();
    const TRefrigData& r22 = DefaultRefrigData();
    EXPECT_EQ(d.TCrit, 100.0);
    EXPECT_EQ(d.PCrit, r22.PCrit);
    EXPECT_EQ(d.TMin, r22.TMin);
    EXPECT_EQ(d.InternalNumber, 0);
    EXPECT_EQ(d.RNumber, "R22");
    EXPECT_EQ(d.RefTer, r22.RefTer);
    EXPECT_EQ(d.CASNumber, "");
    EXPECT_TRUE(AllListsZero(lib.Data()));
    EXPECT_EQ(lib.Status(), TRefrigLib::stNone);
    EXPECT_EQ(lib.SectionIndex(), 0);

    // With all-zero lists the correlations vanish and the residual is its target.
    EXPECT_EQ(lib.VhShValue(-10, 30), 0.0);
    lib.SetResidualTarget(123.5L);
    EXPECT_EQ(lib.VhShResidual(7), 123.5L);
}

TEST_F(RefrigFileTest, KeysAreReadWithTheirTypes) {
    Write("[R22]\nInternalNumber= 0X1f \nComponents=abc\nRNumber=R-22x\nFormula=\n"
          "CASNumber=75-45-6\nRefTer=Some reference\nTBoil=-41.5e0\nTMax=1e999\nTMin=-30,5\n"
          "DCrit= 500 \nwm=0x10\nvh=1 2 3 4 5 6 7\nsh=\"1\" 2,\"3\" ,4 , 5,6\nUnknown=1\n");
    TRefrigLib lib(Path());
    const TRefrigData& d = lib.Data();
    EXPECT_EQ(d.InternalNumber, 31);
    EXPECT_EQ(d.Components, 1);
    EXPECT_EQ(d.RNumber, "R-22x");
    EXPECT_EQ(d.Formula, "");
    EXPECT_EQ(d.ChemicalName, "chlorodifluoromethane");
    EXPECT_EQ(d.CASNumber, "75-45-6");
    EXPECT_EQ(d.RefTer, "Some reference");
    EXPECT_EQ(d.TBoil, -41.5);
    EXPECT_EQ(d.TMax, 60.0);  // out of range: default
    EXPECT_EQ(d.TMin, -30.0); // comma decimal mark: default
    EXPECT_EQ(d.DCrit, 500.0);
    EXPECT_EQ(d.wm, 86.468); // reals have no hexadecimal form
    EXPECT_THAT(d.vh, ElementsAre(1, 2, 3, 4, 5));
    EXPECT_THAT(d.sh, ElementsAre(1, 2, 3, 4, 5, 6));
}

TEST_F(RefrigFileTest, NamesCompareWithoutLetterCase) {
    Write("[R134a]\nInternalNumber=134\n[r22]\nInternalNumber=22\nTCRIT=97\n");
    TRefrigLib lib(Path());
    EXPECT_EQ(lib.SectionIndex(), 1);
    EXPECT_EQ(lib.Data().TCrit, 97.0);
    lib.LoadRefrigerant("r134A");
    EXPECT_EQ(lib.SectionIndex(), 0);
    EXPECT_EQ(lib.Data().InternalNumber, 134);
    lib.LoadRefrigerant("R22");
    EXPECT_EQ(lib.SectionIndex(), 1);
    // Blanks around a name are ignored by the reader and by the position look-up alike.
    lib.LoadRefrigerant(" r134a\t");
    EXPECT_EQ(lib.Data().InternalNumber, 134);
    EXPECT_EQ(lib.SectionIndex(), 0);
}

TEST_F(RefrigFileTest, HeaderWithoutKeysGivesStatusOneButAPosition) {
    Write(kGoodR22 + "[Empty]\n; a comment only\n[Other]\nTCrit=1\n");
    TRefrigLib lib(Path());
    ASSERT_EQ(lib.Status(), TRefrigLib::stNone);
    lib.LoadRefrigerant("Empty");
    EXPECT_EQ(lib.Status(), TRefrigLib::stNoSection);
    EXPECT_EQ(lib.Data(), DefaultRefrigData());
    EXPECT_EQ(lib.SectionIndex(), 1);

    // The code stays after a later successful load.
    lib.LoadRefrigerant("Other");
    EXPECT_EQ(lib.Status(), TRefrigLib::stNoSection);
    EXPECT_EQ(lib.Data().TCrit, 1.0);
    EXPECT_EQ(lib.SectionIndex(), 2);

    lib.LoadRefrigerant("Nowhere");
    EXPECT_EQ(lib.SectionIndex(), -1);
    EXPECT_EQ(lib.Data(), DefaultRefrigData());
    lib.LoadRefrigerant("");
    EXPECT_EQ(lib.SectionIndex(), -1);
}

TEST_F(RefrigFileTest, MalformedListLeavesTheCurrentRecordWhole) {
    Write(kGoodR22 + "[Short]\nTCrit=1\nvh=1,2,3,4,5\ndp=1.5,2\n[Gap]\nTCrit=2\ndp=1,,3\n" +
          "[Text]\nic=1 2 3 x 5 6 7 8\n[Empty]\nkv=\n[R134a]\nInternalNumber=134\n");
    TRefrigLib lib(Path());
    lib.LoadRefrigerant("R134a");
    lib.LoadRefrigerant("Nowhere"); // Status 1, to see that failures leave it alone too
    lib.LoadRefrigerant("R22");
    const TRefrigData before = lib.Data();
    ASSERT_EQ(before.TCrit, 99.5);

    struct Case {
        const char* section;
        const char* message;
        int item;
        bool listError; // else a conversion error
    };
    const std::vector<Case> cases = {
        {"Short", "[Short] dp: List index out of bounds (2)", 2, true},
        {"gap", "[gap] dp: '' is not a valid floating point value", 1, false},
        {"Text", "[Text] ic: 'x' is not a valid floating point value", 3, false},
        {"Empty", "[Empty] kv: List index out of bounds (0)", 0, true},
    };
    for (const Case& c : cases) {
        try {
            lib.LoadRefrigerant(c.section);
            ADD_FAILURE() << c.section << " loaded";
        } catch (const ERefrigDataError& e) {
            EXPECT_EQ(e.Message(), Path() + ": " + c.message);
            EXPECT_EQ(e.Path(), Path());
            EXPECT_EQ(e.Section(), c.section);
            EXPECT_EQ(e.Item(), c.item) << c.section;
            // A caller that catches the list or the conversion error catches it too.
            const auto* list = dynamic_cast<const EListError*>(&e);
            const auto* conversion = dynamic_cast<const EConvertError*>(&e);
            EXPECT_EQ(list != nullptr, c.listError) << c.section;
            EXPECT_EQ(conversion != nullptr, !c.listError) << c.section;
            if (list != nullptr || conversion != nullptr) {
                const Exception& base = list != nullptr
                                            ? static_cast<const Exception&>(*list)
                                            : static_cast<const Exception&>(*conversion);
                EXPECT_STREQ(base.what(), (Path() + ": " + c.message).c_str());
            }
        }
        EXPECT_EQ(lib.Data(), before) << c.section;
        EXPECT_EQ(lib.SectionIndex(), 0) << c.section;
        EXPECT_EQ(lib.Status(), TRefrigLib::stNoSection) << c.section;
    }
}

TEST_F(RefrigFileTest, MalformedR22MakesConstructionFail) {
    Write("[R134a]\nInternalNumber=134\n[R22]\nTCrit=100\nlh=1 2 3\n");
    try {
        TRefrigLib lib(Path());
        FAIL() << "constructed from a malformed R22 section";
    } catch (const ERefrigDataError& e) {
        EXPECT_EQ(e.Message(), Path() + ": [R22] lh: List index out of bounds (3)");
        EXPECT_EQ(e.Key(), "lh");
        EXPECT_EQ(e.Detail(), "List index out of bounds (3)");
    }
}

TEST_F(RefrigFileTest, LoadsSeeTheFileAsItIsNowWhileTablesKeepTheFirstView) {
    Write(kGoodR22);
    TRefrigLib lib(Path());
    Write("[New]\nInternalNumber=5\n" + kGoodR22 + "TCrit=50\n");
    lib.LoadRefrigerant("New");
    EXPECT_EQ(lib.Data().InternalNumber, 5);
    EXPECT_EQ(lib.SectionIndex(), -1); // not among the tables of construction
    EXPECT_THAT(lib.SectionNames(), ElementsAre("R22"));
    lib.LoadRefrigerant("R22");
    EXPECT_EQ(lib.Data().TCrit, 99.5); // the first TCrit of the section counts
    EXPECT_EQ(lib.SectionIndex(), 0);
}

TEST_F(RefrigFileTest, ALoadReadsTheFileOnceWhateverItsDateAndKeepsNoLargeParse) {
    std::string content = kGoodR22;
    for (int i = 0; content.size() < (5u << 20); ++i) {
        content += "[S" + std::to_string(i) + "]\nInternalNumber=" + std::to_string(i) +
                   "\nTCrit=1\nvh=1 2 3 4 5\n";
    }
    Write(content);
    fs::last_write_time(Path(), fs::file_time_type::clock::now() + std::chrono::hours(24));
    PrivateProfile::ClearCache();
    const auto start = PrivateProfile::ParseCount();
    TRefrigLib lib(Path());
    EXPECT_EQ(PrivateProfile::ParseCount() - start, 1u);
    EXPECT_EQ(lib.Data().TCrit, 99.5);
    EXPECT_EQ(lib.InternalNumbers()[1000], 999);
    lib.LoadRefrigerant("s77");
    EXPECT_EQ(PrivateProfile::ParseCount() - start, 2u);
    EXPECT_EQ(lib.Data().InternalNumber, 77);
    EXPECT_EQ(PrivateProfile::CachedBytes(), 0u);
}

TEST_F(RefrigFileTest, Utf16DataFileLoads) {
    for (const bool bigEndian : {false, true}) {
        std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (const char c : "[R717]\r\nInternalNumber=717\r\n" + kGoodR22) {
            bytes += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
        }
        Write(bytes);
        TRefrigLib lib(Path());
        EXPECT_THAT(lib.SectionNames(), ElementsAre("R717", "R22"));
        EXPECT_THAT(lib.InternalNumbers(), ElementsAre(717, 22));
        EXPECT_EQ(lib.Data().TCrit, 99.5);
        EXPECT_EQ(lib.Status(), TRefrigLib::stNone);
    }
}

TEST(RefrigSampleFileTest, R22SectionEqualsTheDefaultRecord) {
    TRefrigLib lib(kSampleFile);
    TRefrigData expected = DefaultRefrigData();
    expected.InternalNumber = 22;
    EXPECT_EQ(lib.Data(), expected);
    EXPECT_EQ(lib.Status(), TRefrigLib::stNone);
    EXPECT_EQ(lib.SectionIndex(), 0);
}

TEST(RefrigSampleFileTest, EveryRefrigerantLoadsCompletelyAndPlausibly) {
    TRefrigLib lib(kSampleFile);
    ASSERT_THAT(lib.SectionNames(), ElementsAre("R22", "R134a", "R404A", "R717"));
    EXPECT_THAT(lib.InternalNumbers(), ElementsAre(22, 134, 404, 717));
    for (std::size_t i = 0; i < lib.SectionNames().size(); ++i) {
        const std::string& name = lib.SectionNames()[i];
        ASSERT_NO_THROW(lib.LoadRefrigerant(name)) << name;
        const TRefrigData& d = lib.Data();
        EXPECT_EQ(lib.SectionIndex(), static_cast<int32_t>(i));
        EXPECT_EQ(d.RNumber, name);
        EXPECT_EQ(d.InternalNumber, lib.InternalNumbers()[i]);
        // Every list is present with enough items: nothing fell back to zero.
        EXPECT_TRUE(EveryCoefficientSet(d)) << name;
        EXPECT_LT(d.TTrip, d.TBoil) << name;
        EXPECT_LT(d.TMin, d.TMax) << name;
        EXPECT_LT(d.TMax, d.TCrit) << name;
        // The dew and bubble lines give about one atmosphere (in Pa) at the boiling point.
        for (const auto& p : {d.dp, d.bp}) {
            EXPECT_NEAR(std::exp(p[0] + p[1] / (d.TBoil + p[2])), 101325.0, 0.06 * 101325.0)
                << name;
        }
        // Saturated vapour enthalpy at 0 C in the IIR reference state, rising with superheat.
        const double h0 = lib.VhShValue(0, 0);
        EXPECT_GT(h0, 300e3) << name;
        EXPECT_LT(h0, 1.6e6) << name;
        EXPECT_GT(lib.VhShValue(0, 20), h0) << name;
        EXPECT_NEAR(d.lh[0], 200e3, 100) << name;
    }
    EXPECT_EQ(lib.Status(), TRefrigLib::stNone);
}

TEST_F(RefrigFileTest, DirectoryInPlaceOfTheFileReadsAsMissing) {
    fs::create_directory(Path());
    TRefrigLib lib(Path());
    EXPECT_EQ(lib.Status(), TRefrigLib::stNoSection);
    EXPECT_THAT(lib.SectionNames(), IsEmpty());
    EXPECT_EQ(lib.Data(), DefaultRefrigData());
}

#ifndef _WIN32
TEST_F(RefrigFileTest, PipeInPlaceOfTheFileReadsAsMissingWithoutWaiting) {
    ASSERT_EQ(mkfifo(Path().c_str(), 0600), 0);
    TRefrigLib lib(Path());
    EXPECT_EQ(lib.Status(), TRefrigLib::stNoSection);
    EXPECT_THAT(lib.SectionNames(), IsEmpty());
}

TEST_F(RefrigFileTest, UnreadableFileReadsAsMissing) {
    if (TestSupport::RanUnprivileged()) {
        return;
    }
    Write(kGoodR22);
    fs::permissions(Path(), fs::perms::none);
    if (std::ifstream(Path()).is_open()) {
        GTEST_SKIP() << "running with rights that read any file";
    }
    TRefrigLib lib(Path());
    EXPECT_EQ(lib.Status(), TRefrigLib::stNoSection);
    EXPECT_THAT(lib.SectionNames(), IsEmpty());
}
#endif

TEST_F(RefrigFileTest, BinaryGarbageAndNulBytesNeverCrash) {
    std::string garbage;
    unsigned state = 12345;
    for (int i = 0; i < 200000; ++i) {
        state = state * 1103515245u + 12345u;
        garbage += static_cast<char>(state >> 23);
    }
    Write(garbage);
    EXPECT_NO_THROW({
        TRefrigLib lib(Path());
        EXPECT_EQ(lib.SectionNames().size(), lib.InternalNumbers().size());
    });

    // A NUL byte ends a line: the rest of that line is not part of the value.
    const char withNul[] = "[R22]\nTCrit=97\0garbage\nvh=1 2 3 4 5\0 6\nRNumber=A\0B\n";
    Write(std::string(withNul, sizeof withNul - 1));
    TRefrigLib lib(Path());
    EXPECT_EQ(lib.Data().TCrit, 97.0);
    EXPECT_THAT(lib.Data().vh, ElementsAre(1, 2, 3, 4, 5));
    EXPECT_EQ(lib.Data().RNumber, "A");
}

TEST_F(RefrigFileTest, LongLinesAndManySectionsAreHandled) {
    // A value beyond 2,047 characters arrives cut; its leading items still serve.
    std::string longList = "1,2,3";
    while (longList.size() < 10000) {
        longList += ",4";
    }
    std::string content = "[R22]\nRNumber=" + std::string(5000, 'x') + "\ndp=" + longList + "\n";
    // 1,200 names of 15 characters overflow the 16,384-character enumeration buffer.
    for (int i = 1000; i < 2200; ++i) {
        content +=
            "[Refrigerant" + std::to_string(i) + "]\nInternalNumber=" + std::to_string(i) + "\n";
    }
    Write(content);
    TRefrigLib lib(Path());
    EXPECT_EQ(lib.Data().RNumber, std::string(2047, 'x'));
    EXPECT_THAT(lib.Data().dp, ElementsAre(1, 2, 3));
    // Section names beyond the enumeration buffer are not listed.
    EXPECT_EQ(lib.SectionNames().size(), 1 + (16384 - 4 - 1) / 16);
    EXPECT_EQ(lib.SectionNames().size(), lib.InternalNumbers().size());
    EXPECT_EQ(lib.InternalNumbers()[1], 1000);
    // A section missing from the tables still loads.
    lib.LoadRefrigerant("Refrigerant2199");
    EXPECT_EQ(lib.Data().InternalNumber, 2199);
    EXPECT_EQ(lib.SectionIndex(), -1);
    EXPECT_EQ(lib.Status(), TRefrigLib::stNone);
}

TEST_F(RefrigFileTest, WindowsLineEndingsRead) {
    Write("[R22]\r\nTCrit=98\r\nvh=1,2,3,4,5\r\nRNumber=R22\r\n");
    TRefrigLib lib(Path());
    EXPECT_EQ(lib.Data().TCrit, 98.0);
    EXPECT_THAT(lib.Data().vh, ElementsAre(1, 2, 3, 4, 5));
    EXPECT_EQ(lib.Data().RNumber, "R22");
}
