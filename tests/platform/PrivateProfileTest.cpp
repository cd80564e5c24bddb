#include "platform/PrivateProfile.h"

#include "platform/ProfileFile.h"
#include "support/ChildProcess.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include "support/Unprivileged.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
namespace pp = PrivateProfile;

namespace {

class PrivateProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = TestSupport::MakeTempFolder("pp");
        ASSERT_FALSE(dir.empty());
        path = (dir / "test.ini").string();
        pp::ClearCache();
    }
    void TearDown() override {
        pp::Internal::TestAccess::SetTempFileHook({});
        pp::Internal::TestAccess::SetLockWait(std::chrono::seconds(30));
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
    void Age(long seconds = 100000) const { ASSERT_TRUE(TestSupport::AgeFile(path, seconds)); }

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

// text as UTF-16 bytes in the given byte order.
std::string Utf16(std::u16string_view text, bool bigEndian) {
    std::string bytes;
    for (const char16_t unit : text) {
        const auto high = static_cast<char>(unit >> 8);
        const auto low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

bool WriteKeys(const std::string& path, const std::string& section, const std::string& prefix,
               int count) {
    bool ok = true;
    for (int i = 0; i < count; ++i) {
        ok = pp::WriteString(section, prefix + std::to_string(i), "v", path) && ok;
    }
    return ok;
}

// Writers in other processes: path, section, key prefix and count.
const TestSupport::TChildRole writeKeysRole("WriteKeys", [](const TestSupport::ChildArgs& args) {
    return WriteKeys(args.at(0), args.at(1), args.at(2), std::stoi(args.at(3))) ? 0 : 1;
});

// A writer that dies (exit code 3), or hangs, right after it made its temporary file.
int WriteAndStop(const std::string& path, const pp::Internal::TestAccess::TempFileHook& stop) {
    pp::Internal::TestAccess::SetTempFileHook(stop);
    return pp::WriteString("A", "x", "4", path) ? 0 : 1;
}
const TestSupport::TChildRole
    dieMidWriteRole("DieMidWrite", [](const TestSupport::ChildArgs& args) {
        return WriteAndStop(args.at(0), [](const std::string&, const std::string&) { ::_exit(3); });
    });

#ifdef _WIN32
const TestSupport::TChildRole
    hangMidWriteRole("HangMidWrite", [](const TestSupport::ChildArgs& args) {
        return WriteAndStop(args.at(0), [](const std::string&, const std::string&) {
            std::this_thread::sleep_for(std::chrono::minutes(5));
        });
    });
#else
// Runs f in a child process and gives its exit code (-1 when it did not exit normally).
int InChild(const std::function<int()>& f) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(f());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Drops to user nobody, group nogroup and no other groups (in a child process).
bool BecomeNobody() {
    return ::setgroups(0, nullptr) == 0 && ::setresgid(65534, 65534, 65534) == 0 &&
           ::setresuid(65534, 65534, 65534) == 0;
}
#endif

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
        "e='single'\n"
        "f=\"say \"\"hi\"\"\"\n"
        "g=\"\"\"\"\n"
        "h=\"a\"b\"\n"
        "i=\"1\" 2,\"3\"\n");
    EXPECT_EQ(Get("Q", "a"), "  padded ");
    EXPECT_EQ(Get("Q", "b"), "\"1\",\"2\"");
    EXPECT_EQ(Get("Q", "c"), "\"");
    EXPECT_EQ(Get("Q", "d"), "");
    EXPECT_EQ(Get("Q", "e"), "'single'");
    // Doubled quotes inside stand for one; a single one leaves the value as it stands.
    EXPECT_EQ(Get("Q", "f"), "say \"hi\"");
    EXPECT_EQ(Get("Q", "g"), "\"");
    EXPECT_EQ(Get("Q", "h"), "\"a\"b\"");
    EXPECT_EQ(Get("Q", "i"), "\"1\" 2,\"3\"");
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

TEST_F(PrivateProfileTest, Utf16FilesReadAsTheirTextAndStayUtf16) {
    const std::u16string before = u"\uFEFF[K\u00e4lte]\r\nName = R22 \u00b0C\r\n"
                                  u"Emoji=\U0001F600\r\n[B]\r\nx=1\r\n";
    for (const bool bigEndian : {false, true}) {
        Put(Utf16(before, bigEndian));
        EXPECT_EQ(Sections(), (Strings{"K\xC3\xA4lte", "B"}));
        EXPECT_EQ(Keys("k\xC3\xA4LTE"), (Strings{"Name", "Emoji"}));
        EXPECT_EQ(Get("K\xC3\xA4lte", "name"), "R22 \xC2\xB0"
                                               "C");
        EXPECT_EQ(Get("K\xC3\xA4lte", "Emoji"), "\xF0\x9F\x98\x80");
        ASSERT_TRUE(Set("B", "y", "\xC3\xBC"));
        EXPECT_EQ(Slurp(), Utf16(before + u"y=\u00fc\r\n", bigEndian));
        // A value that is not UTF-8 has no UTF-16 form.
        EXPECT_FALSE(Set("B", "z", "\xFF"));
        // Text that is not valid UTF-16 reads with U+FFFD in place, and is not rewritten.
        const std::string broken =
            Utf16(u"\uFEFF[C]\nv=a", bigEndian) + Utf16(u"\xD800", bigEndian);
        Put(broken);
        EXPECT_EQ(Get("C", "v"), "a\xEF\xBF\xBD");
        EXPECT_FALSE(Set("C", "w", "1"));
        EXPECT_EQ(Slurp(), broken);
    }
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

    // A zero inside the path would make the system name the file before it.
    const std::string head = (dir / "head.ini").string();
    Put(head, "[A]\nb=1\n");
    const std::string withZero = head + std::string(1, '\0') + "tail";
    EXPECT_EQ(pp::GetString("A", "b", "d", buffer, withZero), 1u);
    EXPECT_FALSE(pp::WriteString("A", "b", "2", withZero));
    EXPECT_EQ(Slurp(head), "[A]\nb=1\n");
}

#ifndef _WIN32
TEST_F(PrivateProfileTest, UnreadableFileReadsAsEmptyAndIsNotOverwritten) {
    if (TestSupport::RanUnprivileged()) {
        return;
    }
    Put("[A]\nb=1\n");
    fs::permissions(path, fs::perms::none);
    EXPECT_EQ(Get("A", "b"), "<default>");
    EXPECT_FALSE(Set("A", "c", "2"));
    fs::permissions(path, fs::perms::owner_read);
    EXPECT_EQ(Slurp(), "[A]\nb=1\n");
}
#endif

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
    // Each value with the text the file holds for it: as it stands where it reads back so, else
    // quoted with its own quotes doubled.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""},
        {"plain", "plain"},
        {"a = b", "a = b"},
        {"\"1\",\"2\"", "\"1\",\"2\""},
        {"=x", "=x"},
        {"\"", "\""},
        {"say \"hi\"", "say \"hi\""},
        {"  padded\t", "\"  padded\t\""},
        {"\"quoted\"", "\"\"\"quoted\"\"\""},
        {"\"\"", "\"\"\"\"\"\""},
        {" a\"b ", "\" a\"\"b \""},
        {"x\"y ", "\"x\"\"y \""},
        {"\"a\" \"b\"", "\"a\" \"b\""},
        {"\t\"\t", "\"\t\"\"\t\""},
    };
    for (const auto& [value, stored] : cases) {
        ASSERT_TRUE(Set("V", "k", value.c_str())) << value;
        EXPECT_EQ(Slurp(), "[V]\nk=" + stored + "\n") << value;
        EXPECT_EQ(Get("V", "k"), value);
    }
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

#ifndef _WIN32
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

TEST_F(PrivateProfileTest, TemporaryCopyOfAFileIsPrivateUntilItIsComplete) {
    std::vector<unsigned> modes;
    pp::Internal::TestAccess::SetTempFileHook(
        [&](const std::string& folder, const std::string& name) {
            struct stat st {};
            ASSERT_EQ(::stat((folder + "/" + name).c_str(), &st), 0);
            modes.push_back(st.st_mode & 07777);
        });
    Put("[A]\nx=1\n");
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::others_read);
    ASSERT_TRUE(Set("A", "x", "2"));
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write |
                                                  fs::perms::group_read | fs::perms::others_read);
    // A new file holds nothing but the new value: it starts with the usual permissions.
    fs::remove(path);
    const mode_t mask = ::umask(022);
    ::umask(mask);
    ASSERT_TRUE(Set("A", "x", "3"));
    EXPECT_EQ(modes, (std::vector<unsigned>{0600, 0666 & ~mask}));
    EXPECT_EQ(static_cast<unsigned>(fs::status(path).permissions()), 0666 & ~mask);
}

TEST_F(PrivateProfileTest, OwnerAndGroupStayWhereTheWriterMayKeepThem) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "handing a file to another user needs root";
    }
    // A privileged writer keeps both.
    Put("[A]\nx=1\n");
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(Set("A", "x", "2"));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // User nobody (group nogroup) writes files of root's that it may write. It cannot keep root
    // as owner; the write goes ahead only when everyone who could read the file still can.
    struct Case {
        gid_t group;
        mode_t mode;
        bool written;
    };
    const Case cases[] = {
        {65534, 0664, true},  // root reads through the others' rights
        {65534, 0660, false}, // root would lose its reading
        {0, 0666, true},      // group root cannot be kept, but its members keep reading
        {0, 0646, true},      {0, 0602, false}, // root would lose its reading
        {0, 0626, false},                       // members of group root would gain reading
    };
    ASSERT_EQ(::chmod(dir.c_str(), 0777), 0);
    for (const Case& c : cases) {
        Put("[A]\nx=1\n");
        ASSERT_EQ(::chown(path.c_str(), 0, c.group), 0);
        ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
        const int result = InChild([&] { return BecomeNobody() && Set("A", "x", "2") ? 0 : 1; });
        EXPECT_EQ(result, c.written ? 0 : 1) << std::oct << c.mode << " group " << c.group;
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(Slurp(), c.written ? "[A]\nx=2\n" : "[A]\nx=1\n") << std::oct << c.mode;
        EXPECT_EQ(st.st_uid, c.written ? 65534u : 0u);
        EXPECT_EQ(st.st_gid, c.written ? 65534u : c.group);
        EXPECT_EQ(st.st_mode & 07777, c.mode);
        EXPECT_EQ(FilesInDir(), Strings{"test.ini"});
    }
}
#else
TEST_F(PrivateProfileTest, AttributesSurviveAWriteAndNobodyOpensTheTemporaryCopy) {
    std::vector<DWORD> openErrors;
    pp::Internal::TestAccess::SetTempFileHook([&](const std::string& folder,
                                                  const std::string& name) {
        const HANDLE file = ::CreateFileW(fs::path(folder + "\\" + name).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, 0, nullptr);
        openErrors.push_back(file == INVALID_HANDLE_VALUE ? ::GetLastError() : 0);
        if (file != INVALID_HANDLE_VALUE) {
            ::CloseHandle(file);
        }
    });
    const std::wstring widePath = fs::path(path).wstring();
    constexpr DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    Put("[A]\nx=1\n");
    ASSERT_TRUE(::SetFileAttributesW(widePath.c_str(), kept));
    ASSERT_TRUE(Set("A", "x", "2"));
    EXPECT_EQ(Slurp(), "[A]\nx=2\n");
    EXPECT_EQ(::GetFileAttributesW(widePath.c_str()) & kept, kept);
    // A new file gets none of them.
    fs::remove(path);
    ASSERT_TRUE(Set("A", "x", "3"));
    EXPECT_EQ(::GetFileAttributesW(widePath.c_str()) & kept, 0u);
    EXPECT_EQ(openErrors, (std::vector<DWORD>{ERROR_SHARING_VIOLATION, ERROR_SHARING_VIOLATION}));
}
#endif

TEST_F(PrivateProfileTest, FileWithSeveralNamesIsNotSplit) {
    Put("[A]\nx=1\n");
    const std::string other = (dir / "other.ini").string();
    std::error_code linked;
    fs::create_hard_link(path, other, linked);
    ASSERT_FALSE(linked) << linked.message();
    EXPECT_FALSE(Set("A", "x", "2"));
    EXPECT_FALSE(Set("A", nullptr, nullptr));
    EXPECT_EQ(Slurp(), "[A]\nx=1\n");
    EXPECT_EQ(TestSupport::HardLinkCount(path), 2u);
}

TEST_F(PrivateProfileTest, NamesAndPathsAtTheSystemsLimitsAreWritten) {
    path = (dir / (std::string(251, 'n') + ".ini")).string();
    ASSERT_TRUE(Set("A", "x", "1"));
    EXPECT_EQ(Get("A", "x"), "1");

    // A folder path that leaves room for a short file name only, below the path limit.
    fs::path deep = dir;
    while (deep.string().size() + 201 < PATH_MAX - 20) {
        deep /= std::string(200, 'd');
    }
    deep /= std::string(PATH_MAX - 20 - deep.string().size() - 1, 'e');
    ASSERT_TRUE(fs::create_directories(deep));
    path = (deep / "a.ini").string();
    ASSERT_EQ(path.size(), static_cast<std::size_t>(PATH_MAX - 14));
    ASSERT_TRUE(Set("A", "x", "2"));
    EXPECT_EQ(Get("A", "x"), "2");

    // A UTF-8 name beyond ASCII names the file of those characters.
    path = dir.string() + "/K\xC3\xA4lte \xE2\x82\xAC.ini";
    ASSERT_TRUE(Set("A", "x", "3"));
    EXPECT_EQ(Get("A", "x"), "3");
    EXPECT_TRUE(fs::exists(dir / u8"K\u00e4lte \u20ac.ini"));
#ifdef _WIN32
    // Bytes that are not UTF-8 name no file where names are UTF-16: such a write fails rather
    // than go to a file of another name.
    path = dir.string() + "/bad\xFF.ini";
    EXPECT_FALSE(Set("A", "x", "4"));
    EXPECT_EQ(Get("A", "x"), "<default>");
#endif
}

TEST_F(PrivateProfileTest, TemporaryNamesAreShortAndUnpredictableAndLeftoversGo) {
    Strings names;
    pp::Internal::TestAccess::SetTempFileHook(
        [&](const std::string&, const std::string& name) { names.push_back(name); });
    for (const char* value : {"1", "2", "3"}) {
        ASSERT_TRUE(Set("A", "x", value));
    }
    ASSERT_EQ(names.size(), 3u);
    for (const std::string& name : names) {
        EXPECT_EQ(name.size(), 16u);
        EXPECT_TRUE(name.starts_with(".~pp")) << name;
    }
    EXPECT_TRUE(names[0] != names[1] && names[1] != names[2] && names[0] != names[2]);

    // A writer that dies with its temporary file open leaves it behind; the next write in the
    // folder removes it, with others of its kind, and nothing else (no two of these names differ
    // only in letter case, which is one name to some file systems).
    pp::Internal::TestAccess::SetTempFileHook({});
    EXPECT_EQ(dieMidWriteRole.Start({path}).Wait(), 3);
    EXPECT_EQ(FilesInDir().size(), 2u);
    for (const char* name :
         {".~pp0123456789cd", ".~ppzzzzzzzzzzzz", ".~ppshort", ".~pp0123456789AB", "notes.txt"}) {
        Put((dir / name).string(), "x");
    }
    ASSERT_TRUE(Set("A", "x", "5"));
    EXPECT_EQ(FilesInDir(), (Strings{".~pp0123456789AB", ".~ppshort", "notes.txt", "test.ini"}));
    EXPECT_EQ(Get("A", "x"), "5");
}

TEST_F(PrivateProfileTest, ConcurrentWritersTakeTurnsAtTheFoldersLock) {
    // Two processes.
    std::vector<TestSupport::TChildProcess> children;
    for (const char* prefix : {"p", "q"}) {
        children.push_back(writeKeysRole.Start({path, "Processes", prefix, "1000"}));
    }
    for (TestSupport::TChildProcess& child : children) {
        EXPECT_EQ(child.Wait(), 0);
    }
    EXPECT_EQ(Keys("Processes").size(), 2000u);
    // Two threads, while a third reads again and again: a reader that has the file open must not
    // fail a write, and sees the old file or the new one, never none.
    bool ok[2] = {false, false};
    std::atomic<bool> writing{true};
    std::atomic<int> reads{0};
    std::atomic<int> badReads{0};
    std::thread reader([&] {
        std::vector<char> buffer(8);
        while (writing) {
            const std::size_t n = pp::GetString("Processes", "p1", std::nullopt, buffer, path);
            badReads += n != 1 || buffer[0] != 'v';
            ++reads;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    std::thread first([&] { ok[0] = WriteKeys(path, "Threads", "s", 100); });
    std::thread second([&] { ok[1] = WriteKeys(path, "Threads", "t", 100); });
    first.join();
    second.join();
    writing = false;
    reader.join();
    EXPECT_TRUE(ok[0] && ok[1]);
    EXPECT_EQ(Keys("Threads").size(), 200u);
    EXPECT_GT(reads, 0);
    EXPECT_EQ(badReads, 0);
    EXPECT_EQ(FilesInDir(), Strings{"test.ini"});

    // A lock held for too long fails the write instead of hanging it.
    pp::Internal::TestAccess::SetLockWait(std::chrono::milliseconds(100));
    const std::string before = Slurp();
#ifdef _WIN32
    // Here by a writer in another process that hangs with its temporary file made. Once it is
    // gone, the next write goes ahead and removes what it left.
    TestSupport::TChildProcess hanging = hangMidWriteRole.Start({path});
    for (int i = 0; i < 3000 && FilesInDir().size() < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(FilesInDir().size(), 2u);
    EXPECT_FALSE(Set("Threads", "late", "v"));
    EXPECT_EQ(Slurp(), before);
    hanging.Kill();
    hanging.Wait();
#else
    // Here by the test itself.
    const int folder = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(folder, LOCK_EX), 0);
    EXPECT_FALSE(Set("Threads", "late", "v"));
    EXPECT_EQ(Slurp(), before);
    ::close(folder);
#endif
    EXPECT_TRUE(Set("Threads", "late", "v"));
    EXPECT_EQ(FilesInDir(), Strings{"test.ini"});
}

#ifndef _WIN32
TEST_F(PrivateProfileTest, WritesReadTheFileAfreshNotTheCache) {
    // A change through a shared mapping may leave the stamp as it was (see the header): a read
    // may give the cached value until ClearCache, but a write must build on the file's bytes.
    Put("[A]\nx=1\ny=1\n");
    const int fd = ::open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    char* map = static_cast<char*>(::mmap(nullptr, 12, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
    ASSERT_NE(map, MAP_FAILED);
    map[6] = '2';
    Age();
    EXPECT_EQ(Get("A", "x"), "2");
    map[6] = '3';
    ASSERT_TRUE(Set("A", "y", "2"));
    EXPECT_EQ(Slurp(), "[A]\nx=3\ny=2\n");
    ::munmap(map, 12);
    ::close(fd);
    pp::ClearCache();
    EXPECT_EQ(Get("A", "x"), "3");
}
#endif

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

#ifndef _WIN32
TEST_F(PrivateProfileTest, ReadOnlyFolderLeavesTheFileUntouched) {
    if (TestSupport::RanUnprivileged()) {
        return;
    }
    Put("[A]\nx=1\n");
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(Set("A", "x", "2"));
    fs::permissions(dir, fs::perms::owner_all);
    EXPECT_EQ(Slurp(), "[A]\nx=1\n");
    EXPECT_EQ(FilesInDir(), Strings{"test.ini"});
}
#endif

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

TEST_F(PrivateProfileTest, LargeFilesAreNotKeptAndASnapshotReadsOnce) {
    std::string text;
    for (int i = 0; text.size() < (5u << 20); ++i) {
        text += "[S" + std::to_string(i) + "]\nk=" + std::to_string(i) + "\n";
    }
    Put(text);
    Age();
    EXPECT_EQ(Get("S7", "k"), "7");
    EXPECT_EQ(pp::CachedBytes(), 0u);

    // A snapshot: one parse for every read, the file as it was when taken.
    const auto start = pp::ParseCount();
    const pp::Snapshot snapshot = pp::Snapshot::Take(path);
    Put("[S1]\nk=changed\n");
    EXPECT_EQ(snapshot.Value("s1", " K ", "d"), "1");
    EXPECT_EQ(snapshot.Value("S1", "none", "d"), "d");
    EXPECT_EQ(snapshot.Value("S1", "k", "d", 1), "");
    EXPECT_EQ(snapshot.KeyNames("S2"), (std::vector<std::string_view>{"k"}));
    EXPECT_EQ(snapshot.SectionNames(12), (std::vector<std::string_view>{"S0", "S1", "S2"}));
    EXPECT_EQ(pp::ParseCount() - start, 1u);
    EXPECT_EQ(Get("S1", "k"), "changed");

    // Small files stay cached.
    Age();
    Get("S1", "k");
    EXPECT_GT(pp::CachedBytes(), 0u);
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
    ASSERT_TRUE(TestSupport::CopyFileTimes(path, other));
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
