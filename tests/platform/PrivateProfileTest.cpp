#include "platform/PrivateProfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
namespace pp = PrivateProfile;

namespace {

class PrivateProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ppXXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        path = (dir / "test.ini").string();
        pp::ClearCache();
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }

    static void Put(const std::string& file, const std::string& bytes) {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    void Put(const std::string& bytes) const { Put(path, bytes); }
    static std::string Slurp(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string Slurp() const { return Slurp(path); }

    // Sets the modification time well into the past so that the cache may keep the parse.
    void Age(long seconds = 100000) const {
        struct timespec times[2];
        times[0].tv_sec = times[1].tv_sec = ::time(nullptr) - seconds;
        times[0].tv_nsec = times[1].tv_nsec = 0;
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }

    std::string Get(const char* section, const char* key, const char* def = "<default>",
                    std::size_t size = pp::ValueBufferSize) const {
        std::vector<char> buffer(size, 'x');
        const std::size_t n =
            pp::GetString(section, key, def ? pp::OptText(def) : std::nullopt, buffer, path);
        EXPECT_LT(n, size);
        EXPECT_EQ(buffer[n], '\0');
        return std::string(buffer.data(), n);
    }

    // The names of a list reply, checking that it is ended properly.
    static std::vector<std::string> Names(const std::vector<char>& buffer, std::size_t n) {
        EXPECT_LT(n, buffer.size());
        EXPECT_EQ(buffer[n], '\0');
        if (n > 0) {
            EXPECT_EQ(buffer[n - 1], '\0');
        }
        std::vector<std::string> names;
        for (std::size_t pos = 0; pos < n;) {
            const std::string name(buffer.data() + pos);
            EXPECT_FALSE(name.empty());
            names.push_back(name);
            pos += name.size() + 1;
        }
        return names;
    }
    std::vector<std::string> Sections(std::size_t size = pp::ListBufferSize) const {
        std::vector<char> buffer(size, 'x');
        return Names(buffer, pp::GetString(std::nullopt, std::nullopt, std::nullopt, buffer, path));
    }
    std::vector<std::string> Keys(const char* section,
                                  std::size_t size = pp::ListBufferSize) const {
        std::vector<char> buffer(size, 'x');
        return Names(buffer, pp::GetString(section, std::nullopt, std::nullopt, buffer, path));
    }
    bool Set(const char* section, const char* key, const char* value) const {
        return pp::WriteString(section ? pp::OptText(section) : std::nullopt,
                               key ? pp::OptText(key) : std::nullopt,
                               value ? pp::OptText(value) : std::nullopt, path);
    }
    std::vector<std::string> FilesInDir() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir;
    std::string path;
};

using Strings = std::vector<std::string>;

// ---------------------------------------------------------------------------------------------
// Reading

TEST_F(PrivateProfileTest, ValuesAreTrimmedTextAfterTheFirstEqualsSign) {
    Put("[R22]\n"
        "TCrit = 96.1 \n"
        "\tFormula\t=\tCHClF2\t\n"
        "Expr=a=b = c\n"
        "Empty=\n"
        "Blank=   \n");
    EXPECT_EQ(Get("R22", "TCrit"), "96.1");
    EXPECT_EQ(Get("R22", "Formula"), "CHClF2");
    EXPECT_EQ(Get("R22", "Expr"), "a=b = c");
    EXPECT_EQ(Get("R22", "Empty"), "");
    EXPECT_EQ(Get("R22", "Blank"), "");
    EXPECT_EQ(Get("R22", "Missing"), "<default>");
    EXPECT_EQ(Get("R23", "TCrit"), "<default>");
    EXPECT_EQ(Get("R22", "Missing", nullptr), "");
}

TEST_F(PrivateProfileTest, NamesCompareWithoutCaseAndSurroundingBlanks) {
    Put("[ Refrigerant R22 ]\nTCrit=96.1\n");
    EXPECT_EQ(Get("refrigerant r22", "tcrit"), "96.1");
    EXPECT_EQ(Get("  REFRIGERANT R22\t", " TCRIT "), "96.1");
    EXPECT_EQ(Get("Refrigerant  R22", "TCrit"), "<default>");
    EXPECT_EQ(Sections(), Strings{"Refrigerant R22"});
}

TEST_F(PrivateProfileTest, CommentsOddLinesAndKeysBeforeAnySectionAreIgnored) {
    Put("orphan=1\n"
        "[A] trailing text\n"
        "; a=comment\n"
        "  # b=comment\n"
        "no equals sign here\n"
        "=no key\n"
        "c=3 ; not a comment\n"
        "[B\n"
        "d=4\n");
    EXPECT_EQ(Sections(), (Strings{"A", "B"}));
    EXPECT_EQ(Keys("A"), Strings{"c"});
    EXPECT_EQ(Get("A", "c"), "3 ; not a comment");
    EXPECT_EQ(Get("A", "a"), "<default>");
    EXPECT_EQ(Get("A", "orphan"), "<default>");
    EXPECT_EQ(Get("B", "d"), "4");
    EXPECT_EQ(Get("A", "d"), "<default>");
}

TEST_F(PrivateProfileTest, QuotesAroundAWholeValueAreStripped) {
    Put("[Q]\n"
        "a=\"  padded \"\n"
        "b=\"1\",\"2\"\n"
        "c=\"\n"
        "d=\"\"\n"
        "e='single'\n");
    EXPECT_EQ(Get("Q", "a"), "  padded ");
    EXPECT_EQ(Get("Q", "b"), "\"1\",\"2\"");
    EXPECT_EQ(Get("Q", "c"), "\"");
    EXPECT_EQ(Get("Q", "d"), "");
    EXPECT_EQ(Get("Q", "e"), "'single'");
}

TEST_F(PrivateProfileTest, FirstSectionAndFirstKeyOfANameWin) {
    Put("[R22]\nTCrit=1\ntcrit=2\nX=1\n[Other]\nk=v\n[r22]\nTCrit=3\nNew=4\n");
    EXPECT_EQ(Get("R22", "TCrit"), "1");
    EXPECT_EQ(Get("R22", "New"), "<default>");
    EXPECT_EQ(Sections(), (Strings{"R22", "Other"}));
    EXPECT_EQ(Keys("r22"), (Strings{"TCrit", "X"}));
}

TEST_F(PrivateProfileTest, LineEndingsByteOrderMarkAndNulBytes) {
    Put(std::string("\xEF\xBB\xBF[A]\r\nx=1\r\ny=2\rz=3\n[B]\r\n") + std::string("w=4\0v=5", 7) +
        "\r\n");
    EXPECT_EQ(Sections(), (Strings{"A", "B"}));
    EXPECT_EQ(Keys("A"), (Strings{"x", "y", "z"}));
    EXPECT_EQ(Get("A", "y"), "2");
    EXPECT_EQ(Get("B", "w"), "4");
    EXPECT_EQ(Get("B", "v"), "5");
}

TEST_F(PrivateProfileTest, EmptySectionNamesAreNotListed) {
    Put("[]\na=1\n[ ]\n[X]\nb=2\n");
    EXPECT_EQ(Sections(), Strings{"X"});
    EXPECT_EQ(Get("", "a"), "<default>");
    EXPECT_TRUE(Keys("").empty());
}

TEST_F(PrivateProfileTest, MissingDirectoryAndEmptyPathReadAsEmpty) {
    EXPECT_EQ(Get("A", "b"), "<default>");
    EXPECT_TRUE(Sections().empty());
    fs::create_directory(path);
    EXPECT_EQ(Get("A", "b"), "<default>");
    EXPECT_TRUE(Sections().empty());
    EXPECT_TRUE(Keys("A").empty());
    std::vector<char> buffer(16);
    EXPECT_EQ(pp::GetString("A", "b", "d", buffer, ""), 1u);
}

TEST_F(PrivateProfileTest, UnreadableFileReadsAsEmptyAndIsNotOverwritten) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not restrict the superuser";
    }
    Put("[A]\nb=1\n");
    fs::permissions(path, fs::perms::none);
    EXPECT_EQ(Get("A", "b"), "<default>");
    EXPECT_FALSE(Set("A", "c", "2"));
    fs::permissions(path, fs::perms::owner_read);
    EXPECT_EQ(Slurp(), "[A]\nb=1\n");
}

// ---------------------------------------------------------------------------------------------
// Buffer limits

TEST_F(PrivateProfileTest, ValuesAreCutToTheBuffer) {
    const std::string longValue(100'001, 'v');
    Put("[A]\nlong=" + longValue + "\nafter=ok\n");
    EXPECT_EQ(Get("A", "long"), std::string(2047, 'v'));
    EXPECT_EQ(Get("A", "long", "", 4), "vvv");
    EXPECT_EQ(Get("A", "after"), "ok");
    EXPECT_EQ(Get("A", "none", "defaults are cut too", 9), "defaults");
    EXPECT_EQ(Get("A", "long", "", 1), "");
    std::vector<char> none;
    EXPECT_EQ(pp::GetString("A", "long", std::nullopt, none, path), 0u);
}

TEST_F(PrivateProfileTest, EnumerationKeepsOnlyWholeNamesThatFit) {
    // 2,000 names of 10 characters: 11 each with its zero, plus the final zero.
    std::string text;
    Strings all;
    for (int i = 0; i < 2000; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "Section%03d", i % 1000);
        const std::string n = std::string(i < 1000 ? "S" : "T") + (name + 1);
        all.push_back(n);
        text += "[" + n + "]\nk=" + std::to_string(i) + "\n";
    }
    Put(text);
    const Strings listed = Sections();
    ASSERT_EQ(listed.size(), (pp::ListBufferSize - 1) / 11);
    EXPECT_TRUE(std::equal(listed.begin(), listed.end(), all.begin()));
    EXPECT_EQ(Get(all.back().c_str(), "k"), "1999");

    // A name that does not fit ends the list; a small buffer still gets a proper ending.
    EXPECT_EQ(Sections(12), Strings{all[0]});
    EXPECT_EQ(Sections(11), Strings{});
    EXPECT_EQ(Sections(2), Strings{});
}

TEST_F(PrivateProfileTest, KeyEnumerationIsCutLikeSectionEnumeration) {
    std::string text = "[Big]\n";
    for (int i = 0; i < 5000; ++i) {
        text += std::string("key") + std::to_string(10000 + i) + "=" + std::to_string(i) + "\n";
    }
    Put(text);
    const Strings keys = Keys("Big");
    ASSERT_EQ(keys.size(), (pp::ListBufferSize - 1) / 9);
    EXPECT_EQ(keys.front(), "key10000");
    EXPECT_EQ(keys.back(), std::string("key") + std::to_string(10000 + keys.size() - 1));
    EXPECT_EQ(Get("Big", "key14999"), "4999");
}

TEST_F(PrivateProfileTest, BinaryGarbageGivesWellFormedReplies) {
    std::string garbage;
    unsigned state = 12345;
    for (int i = 0; i < 200'000; ++i) {
        state = state * 1103515245u + 12345u;
        garbage += static_cast<char>(state >> 16);
    }
    Put(garbage);
    Sections(); // checks the list ending
    Keys("A");
    Get("A", "b");
}

TEST_F(PrivateProfileTest, HundredMegabyteFileReads) {
    std::string record = "TCrit=96.1\nPCrit=4990\nFormula=CHClF2\nvh=1 2 3 4 5 6 7\n";
    record += std::string("RefTer=") + std::string(100, 'r') + "\n";
    std::string text;
    text.reserve(105u << 20);
    for (int i = 0; text.size() < (100u << 20); ++i) {
        text += std::string("[R") + std::to_string(i) + "]\n" + record;
    }
    text += "[Last]\nkey=found\n";
    Put(text);
    EXPECT_EQ(Get("Last", "key"), "found");
    EXPECT_EQ(Get("R5", "PCrit"), "4990");
    EXPECT_EQ(Sections().front(), "R0");
}

// ---------------------------------------------------------------------------------------------
// Writing

TEST_F(PrivateProfileTest, ChangingAValueKeepsEverythingElseByteForByte) {
    const std::string before = "; header comment\r\n[A]\r\nx = 1 ; old\r\n  y=2\r\n\r\n[B]\nz=3";
    Put(before);
    ASSERT_TRUE(Set("a", "X", "new"));
    EXPECT_EQ(Slurp(), "; header comment\r\n[A]\r\nx = new\r\n  y=2\r\n\r\n[B]\nz=3");
    ASSERT_TRUE(Set("B", "z", ""));
    EXPECT_EQ(Slurp(), "; header comment\r\n[A]\r\nx = new\r\n  y=2\r\n\r\n[B]\nz=");
    EXPECT_EQ(Get("A", "x"), "new");
}

TEST_F(PrivateProfileTest, NewKeysGoBelowTheLastKeyOfTheirSection) {
    Put("[A]\r\nx=1\r\n\r\n; about B\r\n[B]\r\n[C]\r\nlast=1");
    ASSERT_TRUE(Set("A", "y", "2"));
    ASSERT_TRUE(Set("B", "first", "3"));
    ASSERT_TRUE(Set("C", "end", "4"));
    EXPECT_EQ(Slurp(), "[A]\r\nx=1\r\ny=2\r\n\r\n; about B\r\n[B]\r\nfirst=3\r\n[C]\r\nlast=1\r\n"
                       "end=4\r\n");
}

TEST_F(PrivateProfileTest, NewSectionsGoToTheEndInTheFilesLineEnding) {
    Put("[A]\r\nx=1");
    ASSERT_TRUE(Set("New", "k", "v"));
    EXPECT_EQ(Slurp(), "[A]\r\nx=1\r\n[New]\r\nk=v\r\n");
    EXPECT_EQ(Sections(), (Strings{"A", "New"}));
}

TEST_F(PrivateProfileTest, AWriteCreatesAMissingFile) {
    ASSERT_TRUE(Set(" S ", " k ", "v"));
    EXPECT_EQ(Slurp(), "[S]\nk=v\n");
    EXPECT_EQ(FilesInDir(), Strings{"test.ini"});
}

TEST_F(PrivateProfileTest, ValuesReadBackAsWritten) {
    for (const char* value : {"", "plain", "  padded\t", "a = b", "\"1\",\"2\"", "=x"}) {
        ASSERT_TRUE(Set("V", "k", value)) << value;
        EXPECT_EQ(Get("V", "k"), value);
    }
    // Documented losses: a whole quoted value loses its quotes, and blanks around a value that
    // holds a quote cannot be protected by quoting.
    ASSERT_TRUE(Set("V", "k", "\"q\""));
    EXPECT_EQ(Get("V", "k"), "q");
    ASSERT_TRUE(Set("V", "k", "x\"y "));
    EXPECT_EQ(Get("V", "k"), "x\"y");
}

TEST_F(PrivateProfileTest, TextsThatWouldBreakTheFileAreRefused) {
    Put("[A]\nx=1\n");
    EXPECT_FALSE(Set("A", "x", "1\n[Injected]\ny=2"));
    EXPECT_FALSE(Set("A", "x", "1\r2"));
    EXPECT_FALSE(pp::WriteString("A", std::string_view("x\0y", 3), "1", path));
    EXPECT_FALSE(Set("A]", "x", "1"));
    EXPECT_FALSE(Set(" ", "x", "1"));
    EXPECT_FALSE(Set("A", "k=v", "1"));
    EXPECT_FALSE(Set("A", "", "1"));
    EXPECT_FALSE(Set("A", ";k", "1"));
    EXPECT_FALSE(Set("A", "[k", "1"));
    EXPECT_FALSE(Set(nullptr, "x", "1"));
    EXPECT_EQ(Slurp(), "[A]\nx=1\n");
}

TEST_F(PrivateProfileTest, NulInsideAValueIsRefused) {
    Put("[A]\nx=1\n");
    EXPECT_FALSE(pp::WriteString("A", "x", std::string_view("a\0b", 3), path));
    EXPECT_EQ(Slurp(), "[A]\nx=1\n");
}

TEST_F(PrivateProfileTest, DeletingKeysAndSections) {
    Put("[A]\nx=1\n; note\nX=2\ny=3\n[B]\nz=4\n[a]\nx=5\n");
    ASSERT_TRUE(Set("A", "x", nullptr));
    EXPECT_EQ(Slurp(), "[A]\n; note\ny=3\n[B]\nz=4\n[a]\nx=5\n");
    EXPECT_EQ(Get("A", "x"), "<default>");
    ASSERT_TRUE(Set("A", nullptr, nullptr));
    EXPECT_EQ(Slurp(), "[B]\nz=4\n");
    ASSERT_TRUE(Set("B", nullptr, "a value does not matter"));
    EXPECT_EQ(Slurp(), "");
}

TEST_F(PrivateProfileTest, DeletingWhatIsNotThereTouchesNothing) {
    EXPECT_TRUE(Set("A", "x", nullptr));
    EXPECT_TRUE(Set("A", nullptr, nullptr));
    EXPECT_FALSE(fs::exists(path));
    Put("[A]\nx=1\n");
    Age();
    const auto before = fs::last_write_time(path);
    EXPECT_TRUE(Set("A", "y", nullptr));
    EXPECT_TRUE(Set("B", nullptr, nullptr));
    EXPECT_EQ(fs::last_write_time(path), before);
}

TEST_F(PrivateProfileTest, FlushSucceedsAndChangesNothing) {
    EXPECT_TRUE(Set(nullptr, nullptr, nullptr));
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(PrivateProfileTest, PermissionsAndSymbolicLinksSurviveAWrite) {
    const std::string real = (dir / "real.ini").string();
    Put(real, "[A]\nx=1\n");
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(real, path);
    ASSERT_TRUE(Set("A", "x", "2"));
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(Slurp(real), "[A]\nx=2\n");
    EXPECT_EQ(fs::status(real).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

// ---------------------------------------------------------------------------------------------
// Failed writes leave the original untouched

TEST_F(PrivateProfileTest, ReadOnlyFileIsNotReplaced) {
    Put("[A]\nx=1\n");
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read);
    EXPECT_FALSE(Set("A", "x", "2"));
    EXPECT_FALSE(Set("A", nullptr, nullptr));
    EXPECT_EQ(Slurp(), "[A]\nx=1\n");
    EXPECT_EQ(FilesInDir(), Strings{"test.ini"});
}

TEST_F(PrivateProfileTest, DirectoryInPlaceOfTheFileIsNotReplaced) {
    fs::create_directory(path);
    Put(path + "/inside", "keep");
    EXPECT_FALSE(Set("A", "x", "1"));
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(Slurp(path + "/inside"), "keep");
    EXPECT_EQ(FilesInDir(), Strings{"test.ini"});
}

TEST_F(PrivateProfileTest, MissingFolderOrFileInPlaceOfTheFolderFails) {
    EXPECT_FALSE(pp::WriteString("A", "x", "1", (dir / "no" / "such.ini").string()));
    Put((dir / "plain").string(), "data");
    EXPECT_FALSE(pp::WriteString("A", "x", "1", (dir / "plain" / "x.ini").string()));
    EXPECT_EQ(Slurp((dir / "plain").string()), "data");
    EXPECT_FALSE(pp::WriteString("A", "x", "1", ""));
}

TEST_F(PrivateProfileTest, ReadOnlyFolderLeavesTheFileUntouched) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not restrict the superuser";
    }
    Put("[A]\nx=1\n");
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(Set("A", "x", "2"));
    fs::permissions(dir, fs::perms::owner_all);
    EXPECT_EQ(Slurp(), "[A]\nx=1\n");
    EXPECT_EQ(FilesInDir(), Strings{"test.ini"});
}

// ---------------------------------------------------------------------------------------------
// The cache

TEST_F(PrivateProfileTest, UnchangedFileIsParsedOnce) {
    Put("[A]\nx=1\n");
    Age();
    const auto start = pp::ParseCount();
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(Get("A", "x"), "1");
    }
    Sections();
    EXPECT_EQ(pp::ParseCount() - start, 1u);
}

TEST_F(PrivateProfileTest, CacheKeepsTheRecentlyUsedFiles) {
    std::vector<std::string> files;
    for (int i = 0; i < 20; ++i) {
        files.push_back((dir / (std::string("f") + std::to_string(i) + ".ini")).string());
        Put(files.back(), std::string("[A]\nx=") + std::to_string(i) + "\n");
        path = files.back();
        Age();
    }
    std::vector<char> buffer(8);
    const auto read = [&](int i) {
        const std::size_t n = pp::GetString("A", "x", std::nullopt, buffer, files[i]);
        return std::string(buffer.data(), n);
    };
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(read(i), std::to_string(i));
    }
    const auto start = pp::ParseCount();
    EXPECT_EQ(read(19), "19"); // recently used: cached
    EXPECT_EQ(pp::ParseCount(), start);
    EXPECT_EQ(read(0), "0"); // pushed out by the later ones
    EXPECT_EQ(pp::ParseCount(), start + 1);
}

TEST_F(PrivateProfileTest, SameSizeChangeWithNewTimeIsSeen) {
    Put("[A]\nx=1\n");
    Age(200000);
    EXPECT_EQ(Get("A", "x"), "1");
    Put("[A]\nx=2\n");
    Age(100000);
    EXPECT_EQ(Get("A", "x"), "2");
}

TEST_F(PrivateProfileTest, ReplacedFileWithSameSizeAndTimeIsSeen) {
    Put("[A]\nx=1\n");
    Age();
    EXPECT_EQ(Get("A", "x"), "1");
    const std::string other = (dir / "other").string();
    Put(other, "[A]\nx=2\n");
    struct timespec times[2];
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    times[0] = st.st_atim;
    times[1] = st.st_mtim;
    ASSERT_EQ(::utimensat(AT_FDCWD, other.c_str(), times, 0), 0);
    fs::rename(other, path);
    EXPECT_EQ(Get("A", "x"), "2");
}

TEST_F(PrivateProfileTest, RecentlyModifiedFileIsReadEveryTime) {
    Put("[A]\nx=1\n");
    EXPECT_EQ(Get("A", "x"), "1");
    const auto start = pp::ParseCount();
    Put("[A]\nx=2\n"); // may keep size and time stamp within the clock's granularity
    EXPECT_EQ(Get("A", "x"), "2");
    EXPECT_EQ(pp::ParseCount() - start, 1u);
}

TEST_F(PrivateProfileTest, WritesAndDeletionsAreSeenAtOnce) {
    Put("[A]\nx=1\n");
    Age();
    EXPECT_EQ(Get("A", "x"), "1");
    ASSERT_TRUE(Set("A", "x", "2"));
    EXPECT_EQ(Get("A", "x"), "2");
    fs::remove(path);
    EXPECT_EQ(Get("A", "x"), "<default>");
}

} // namespace
