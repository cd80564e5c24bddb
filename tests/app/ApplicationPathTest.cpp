#include "app/ApplicationPath.h"

#include "platform/Exceptions.h"
#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

// Stands in for the machine-wide registry: one key with whatever values a test gives it.
class TFakeRegistry : public TRegistry {
public:
    std::map<std::string, std::string> Values; // of HKLM\Software\Microsoft\Windows\CurrentVersion
    mutable std::vector<std::pair<std::string, std::string>> Asked;

    std::optional<std::string> ReadString(TRegistryRoot root, std::string_view key,
                                          std::string_view name) const override {
        Asked.emplace_back(key, name);
        if (root != TRegistryRoot::LocalMachine ||
            key != "Software\\Microsoft\\Windows\\CurrentVersion")
            return std::nullopt;
        const auto found = Values.find(std::string(name));
        if (found == Values.end())
            return std::nullopt;
        return found->second;
    }
};

const std::string D(1, PathDelim);

} // namespace

#ifndef _WIN32
TEST(ApplicationPath, DefaultsWhenTheRegistryHasNothing) {
    const TFakeRegistry registry;
    EXPECT_EQ(ReadProgramFilesFolder(registry), "/opt/");
    EXPECT_EQ(ReadCommonFilesFolder(registry), "/opt/Common Files/");
    // Without a registry of its own the platform gives the same defaults.
    EXPECT_EQ(ReadProgramFilesFolder(), "/opt/");
    EXPECT_EQ(ReadCommonFilesFolder(), "/opt/Common Files/");
}
#endif

TEST(ApplicationPath, FoldersFromTheRegistryEndInTheSeparator) {
    TFakeRegistry registry;
    registry.Values["ProgramFilesDir"] = "/srv/programs";
    registry.Values["CommonFilesDir"] = "/srv/common" + D;
    EXPECT_EQ(ReadProgramFilesFolder(registry), "/srv/programs" + D);
    EXPECT_EQ(ReadCommonFilesFolder(registry), "/srv/common" + D); // no doubled separator
    ASSERT_EQ(registry.Asked.size(), 2u);
    EXPECT_EQ(registry.Asked[0].second, "ProgramFilesDir");
    EXPECT_EQ(registry.Asked[1].second, "CommonFilesDir");
}

TEST(ApplicationPath, AnEmptyOrMissingValueKeepsTheDefault) {
    const TFakeRegistry none;
    TFakeRegistry empty;
    empty.Values["ProgramFilesDir"] = "";
    empty.Values["CommonFilesDir"] = "";
    EXPECT_EQ(ReadProgramFilesFolder(empty), ReadProgramFilesFolder(none));
    EXPECT_EQ(ReadCommonFilesFolder(empty), ReadCommonFilesFolder(none));
    EXPECT_EQ(ReadProgramFilesFolder(none).back(), PathDelim);
    EXPECT_EQ(ReadCommonFilesFolder(none).back(), PathDelim);
}

TEST(ApplicationPath, ExeFolderEndsAtTheLastSeparator) {
    EXPECT_EQ(ExeFolderOf("/opt/Velmora/Calvenor/calvenor"), "/opt/Velmora/Calvenor/");
    EXPECT_EQ(ExeFolderOf("/calvenor"), "/");
    EXPECT_EQ(ExeFolderOf("calvenor"), "");
#ifdef _WIN32
    EXPECT_EQ(ExeFolderOf("D:\\Apps\\Calvenor.exe"), "D:\\Apps\\");
    EXPECT_EQ(ExeFolderOf("D:Calvenor.exe"), "D:");
#endif
}

TEST(ApplicationPath, RunningExecutableIsThisTestProgram) {
    const std::string path = RunningExecutablePath();
    EXPECT_NE(path.find("app_ApplicationPathTest"), std::string::npos) << path;
    EXPECT_EQ(ExeFolderOf(path).back(), PathDelim);
}

TEST(ApplicationPath, VendorNameInAnyLetterCaseEndsTheVendorFolder) {
    const std::string pf = "/pf" + D;
    for (const std::string name : {"Velmora", "VELMORA", "velmora", "vElMoRa"}) {
        const std::string exe = D + "Apps" + D + name + D + "Calvenor" + D;
        const std::string vendor = FindVendorFolder(pf, exe);
#ifdef _WIN32
        EXPECT_EQ(vendor, "\\APPS\\Velmora\\") << exe; // prefix from the upper-cased copy
#else
        EXPECT_EQ(vendor, "/Apps/Velmora/") << exe; // prefix keeps its own letter case
#endif
    }
}

TEST(ApplicationPath, TagWhenTheNameIsAbsentAndTheNameWinsOverAnEarlierTag) {
    const std::string pf = "/pf" + D;
    const std::string tagged = D + "srv" + D + "5vq" + D + "bin" + D;
    const std::string both = D + "x" + D + "5VQ" + D + "VelMora" + D + "bin" + D;
#ifdef _WIN32
    EXPECT_EQ(FindVendorFolder(pf, tagged), "\\SRV\\5vq\\");
    EXPECT_EQ(FindVendorFolder(pf, both), "\\X\\5VQ\\Velmora\\");
#else
    EXPECT_EQ(FindVendorFolder(pf, tagged), "/srv/5vq/");
    EXPECT_EQ(FindVendorFolder(pf, both), "/x/5VQ/Velmora/");
#endif
    // A name that merely contains the tag letters in another order is neither.
    EXPECT_EQ(FindVendorFolder(pf, D + "q5v" + D + "velmor" + D), pf + "Velmora" + D);
}

#ifndef _WIN32
TEST(ApplicationPath, VendorFolderIsSpelledAsOnDisk) {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "vendorXXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const std::string root = pattern + "/";
    struct Row {
        std::string onDisk;    // the installation folder as created
        std::string exeFolder; // below root
        std::string vendor;    // below root
    };
    const std::vector<Row> rows = {
        {"velmora/Common Files", "velmora/Calvenor/", "velmora/"},
        {"Apps/VELMORA/Common Files", "Apps/VELMORA/bin/", "Apps/VELMORA/"},
        {"Velmora/Common Files", "Velmora/bin/", "Velmora/"},
        {"5VQ/Common Files", "5VQ/bin/", "5VQ/"},
        // Only the folder named in the executable's path counts; elsewhere the name as given.
        {"x/velmoraSuite", "x/velmoraSuite/bin/", "x/Velmora/"},
    };
    for (const Row& r : rows) {
        fs::create_directories(root + r.onDisk);
        fs::create_directories(root + r.exeFolder);
        EXPECT_EQ(FindVendorFolder("/pf/", root + r.exeFolder), root + r.vendor) << r.exeFolder;
    }
    std::error_code ignored;
    fs::remove_all(root, ignored);
}
#endif

TEST(ApplicationPath, NeitherNameNorTagFallsBackToProgramFiles) {
    EXPECT_EQ(FindVendorFolder("/pf" + D, D + "home" + D + "user" + D + "bin" + D),
              "/pf" + D + "Velmora" + D);
    EXPECT_EQ(FindVendorFolder("/pf" + D, ""), "/pf" + D + "Velmora" + D);
}

TEST(ApplicationPath, ResolutionGivesTheSharedDataFolderUnderTheVendorFolder) {
    TFakeRegistry registry;
    registry.Values["ProgramFilesDir"] = D + "programs";
    const std::string exe = D + "data" + D + "velmora" + D + "Calvenor" + D + "calvenor";
    const TApplicationFolders folders = ResolveApplicationFolders(registry, exe);
    EXPECT_EQ(folders.ProgramFiles, D + "programs" + D);
    EXPECT_EQ(folders.Exe, D + "data" + D + "velmora" + D + "Calvenor" + D);
#ifdef _WIN32
    EXPECT_EQ(folders.Vendor, "\\DATA\\Velmora\\");
#else
    EXPECT_EQ(folders.Vendor, "/data/Velmora/");
#endif
    EXPECT_EQ(folders.SharedData, folders.Vendor + "Common Files" + D);

    const TApplicationFolders plain = ResolveApplicationFolders(registry, D + "usr" + D + "x");
    EXPECT_EQ(plain.Vendor, D + "programs" + D + "Velmora" + D);
    EXPECT_EQ(plain.SharedData, D + "programs" + D + "Velmora" + D + "Common Files" + D);
}

TEST(ApplicationPath, AnExecutablePathWithoutFolderIsAnError) {
    const TFakeRegistry registry;
    EXPECT_THROW(ResolveApplicationFolders(registry, "calvenor"), Exception);
}

TEST(ApplicationPath, InitStoresTheProcessWideFoldersAndClearEmptiesThem) {
    InitApplicationFolders();
    EXPECT_EQ(ExeFolder, ExeFolderOf(RunningExecutablePath()));
    EXPECT_EQ(ProgramFilesFolder, ReadProgramFilesFolder());
    EXPECT_EQ(CommonFilesFolder, ReadCommonFilesFolder());
    EXPECT_EQ(VendorFolder, FindVendorFolder());
    EXPECT_EQ(SharedDataFolder, VendorFolder + "Common Files" + D);
    ClearApplicationFolders();
    EXPECT_TRUE(ProgramFilesFolder.empty() && CommonFilesFolder.empty() && ExeFolder.empty() &&
                VendorFolder.empty() && SharedDataFolder.empty());
}
