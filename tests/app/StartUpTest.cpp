#include "app/StartUp.h"

#include "app/ApplicationPath.h"
#include "app/MessagePool.h"
#include "platform/Exceptions.h"
#include "platform/NumberText.h"
#include "refrig/Refrig.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Steps that write what they do into a shared log.
TStartUpStep LoggedStep(std::vector<std::string>& log, const std::string& name) {
    return {name, [&log, name] { log.push_back("run " + name); },
            [&log, name] { log.push_back("undo " + name); }};
}

// A shared data folder of its own for each test, removed afterwards.
class TDataFolder {
public:
    explicit TDataFolder(const std::string& name)
        : Path(fs::path(CALVENOR_BINARY_DIR) / "tests" / ("startup-" + name)) {
        fs::remove_all(Path);
        fs::create_directories(Path);
        SharedDataFolder = Path.string() + "/";
    }
    ~TDataFolder() {
        SharedDataFolder.clear();
        fs::remove_all(Path);
    }
    void Write(const std::string& text) const {
        std::ofstream(Path / RefrigDataFileName, std::ios::binary) << text;
    }
    fs::path Path;
};

} // namespace

TEST(StartUp, StepsRunInOrder) {
    std::vector<std::string> log;
    const auto error =
        RunStartUpSteps({LoggedStep(log, "a"), LoggedStep(log, "b"), LoggedStep(log, "c")});
    EXPECT_FALSE(error);
    EXPECT_EQ(log, (std::vector<std::string>{"run a", "run b", "run c"}));
}

TEST(StartUp, AFailingStepUndoesTheDoneStepsInReverseAndStopsTheRest) {
    std::vector<std::string> log;
    TStartUpStep failing{"loading the data", [] { throw Exception("file is broken"); },
                         [&log] { log.push_back("undo failing"); }};
    const auto error = RunStartUpSteps(
        {LoggedStep(log, "a"), LoggedStep(log, "b"), failing, LoggedStep(log, "c")});
    ASSERT_TRUE(error);
    EXPECT_EQ(*error, "loading the data: file is broken");
    EXPECT_EQ(log, (std::vector<std::string>{"run a", "run b", "undo b", "undo a"}));
}

TEST(StartUp, ErrorsOfAnyKindAreReportedAndAFailingUndoDoesNotStopTheOthers) {
    std::vector<std::string> log;
    TStartUpStep badUndo{"b", [] {}, [] { throw 42; }};
    TStartUpStep failing{"c", [] { throw 7; }, {}};
    const auto error = RunStartUpSteps({LoggedStep(log, "a"), badUndo, failing});
    ASSERT_TRUE(error);
    EXPECT_EQ(*error, "c: unknown error");
    EXPECT_EQ(log, (std::vector<std::string>{"run a", "undo a"}));
}

TEST(StartUp, NumberFormatIsPointAndCommaAndIsRestoredOnUndo) {
    FormatSettings() = {',', '.'};
    SetProcessNumberFormat();
    EXPECT_EQ(FormatSettings().DecimalSeparator, '.');
    EXPECT_EQ(FormatSettings().ThousandSeparator, ',');
    EXPECT_EQ(Format("%0.2f", {1.5}), "1.50");
    RestoreProcessNumberFormat();
    EXPECT_EQ(FormatSettings().DecimalSeparator, ',');
    EXPECT_EQ(FormatSettings().ThousandSeparator, '.');
    SetProcessNumberFormat();
}

TEST(StartUp, DefaultStepsInTheirOrder) {
    const auto steps = DefaultStartUpSteps();
    ASSERT_EQ(steps.size(), 4u);
    EXPECT_EQ(steps[0].Name, "setting the number format");
    EXPECT_EQ(steps[1].Name, "registering the window message \"QV_MESSAGE_POOL\"");
    EXPECT_EQ(steps[2].Name, "resolving the installation folders");
    EXPECT_EQ(steps[3].Name, "loading the refrigerant data");
}

TEST(StartUp, RefrigLibReadsTheDataFileFromTheSharedDataFolder) {
    const TDataFolder folder("good");
    std::ifstream sample(fs::path(CALVENOR_SOURCE_DIR) / "data" / RefrigDataFileName);
    ASSERT_TRUE(sample) << "sample data file missing";
    folder.Write(std::string(std::istreambuf_iterator<char>(sample), {}));
    CreateRefrigLib();
    ASSERT_NE(RefrigLib, nullptr);
    EXPECT_EQ(RefrigLib->DataFilePath(), SharedDataFolder + RefrigDataFileName);
    EXPECT_FALSE(RefrigLib->SectionNames().empty());
    DestroyRefrigLib();
    EXPECT_EQ(RefrigLib, nullptr);
}

TEST(StartUp, AMissingDataFileIsNoError) {
    const TDataFolder folder("missing");
    CreateRefrigLib();
    ASSERT_NE(RefrigLib, nullptr);
    EXPECT_TRUE(RefrigLib->SectionNames().empty());
    DestroyRefrigLib();
}

TEST(StartUp, AMalformedDataFileEndsStartUpAndLeavesNothingBehind) {
    const TDataFolder folder("malformed");
    folder.Write("[R22]\nInternalNumber=22\ndp=1,2\n");
    std::vector<TStartUpStep> steps = DefaultStartUpSteps();
    steps[2].Run = [] {}; // keep the test's own shared data folder
    steps[2].Undo = [] {};
    MessagePoolMessage = 0;
    FormatSettings() = {',', '.'};
    const auto error = RunStartUpSteps(steps);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->rfind("loading the refrigerant data: ", 0), 0u) << *error;
    EXPECT_NE(error->find("dp"), std::string::npos) << *error;
    EXPECT_EQ(RefrigLib, nullptr);
    EXPECT_EQ(FormatSettings().DecimalSeparator, ','); // undone
    EXPECT_NE(MessagePoolMessage, 0u);                 // registration cannot be taken back
    SetProcessNumberFormat();
}

TEST(StartUp, DefaultStepsSetEveryProcessWideValue) {
    const auto error = RunStartUpSteps(DefaultStartUpSteps());
    ASSERT_FALSE(error) << *error;
    EXPECT_EQ(FormatSettings().DecimalSeparator, '.');
    EXPECT_GE(MessagePoolMessage, 0xC000u);
    EXPECT_EQ(ExeFolder, ExeFolderOf(RunningExecutablePath()));
    EXPECT_EQ(SharedDataFolder, VendorFolder + "Common Files" + PathDelim);
    ASSERT_NE(RefrigLib, nullptr);
    EXPECT_EQ(RefrigLib->DataFilePath(), SharedDataFolder + RefrigDataFileName);
    DestroyRefrigLib();
    ClearApplicationFolders();
}
