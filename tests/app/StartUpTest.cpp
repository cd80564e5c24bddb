#include "app/StartUp.h"

#include "app/ApplicationPath.h"
#include "app/CommandLine.h"
#include "app/MessagePool.h"
#include "platform/Exceptions.h"
#include "platform/NumberText.h"
#include "refrig/Refrig.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

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

namespace {

// What the program makes of a command line, in a few words.
std::string Outcome(const QStringList& arguments) {
    const TCommandLine line(QStringList{"calvenor"} + arguments);
    if (!line.Error().isEmpty())
        return "refused: " + line.Error().toStdString();
    std::string text = line.Help() ? "help" : line.Version() ? "version" : "start";
    if (!line.Ignored().isEmpty())
        text += " ignoring " + line.Ignored().join(',').toStdString();
    if (!line.Platform().isEmpty())
        text += " platform " + line.Platform().toStdString();
    if (!line.Display().isEmpty())
        text += " display " + line.Display().toStdString();
    return text;
}

} // namespace

TEST(StartUpCommandLine, OptionsWindowSystemOptionsAndPlainWords) {
    const std::vector<std::pair<QStringList, std::string>> cases = {
        {{}, "start"},
        {{"--help"}, "help"},
        {{"-h"}, "help"},
        {{"-?"}, "help"},
        {{"-help"}, "help"},
        {{"--version"}, "version"},
        {{"-v"}, "version"},
        {{"--bogus"}, "refused: Unknown option 'bogus'."},
        {{"-x"}, "refused: Unknown option 'x'."},
        {{"--help", "--bogus"}, "refused: Unknown option 'bogus'."},
        {{"-platform"}, "refused: Missing value after '-platform'."},
        {{"-platform", "offscreen", "-display", ":3", "file.txt"},
         "start ignoring file.txt platform offscreen display :3"},
        {{"--platform=minimal", "-style=fusion", "-reverse", "-geometry", "400x300", "a", "b"},
         "start ignoring a,b platform minimal"},
        {{"--", "-x", "--help"}, "start ignoring -x,--help"},
    };
    for (const auto& [arguments, outcome] : cases)
        EXPECT_EQ(Outcome(arguments), outcome) << arguments.join(' ').toStdString();

    const QString help = TCommandLine({"calvenor"}).HelpText();
    for (const char* shown : {"--help", "--version", "-?", "--export <FILE>", "--flow <NAME>",
                              "--size <WxH>", "--scale <S>", "ShellTube2, ShellTube3",
                              "calvenor --export FILE --flow NAME [--size WxH] [--scale S]"})
        EXPECT_TRUE(help.contains(shown)) << shown;
    for (const char* hidden : {"-platform ", "-geometry", "-widgetcount"})
        EXPECT_FALSE(help.contains(hidden)) << hidden;
}

namespace {

// Sets environment variables for one test and puts the old values back afterwards.
class TEnvironment {
public:
    void Set(const std::string& name, const std::optional<std::string>& value) {
        if (!Saved.count(name)) {
            const char* old = std::getenv(name.c_str());
            Saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
    ~TEnvironment() {
        for (const auto& [name, value] : Saved)
            Set(name, value);
    }

private:
    std::map<std::string, std::optional<std::string>> Saved;
};

// An X display number that no server on this machine serves.
std::string FreeXDisplay() {
    for (int n = 4000 + getpid() % 1000;; ++n) {
        const std::string number = std::to_string(n);
        if (!fs::exists(fs::path("/tmp/.X11-unix") / ("X" + number)) &&
            !fs::exists(fs::path("/tmp") / (".X" + number + "-lock")))
            return ":" + number;
    }
}

// A listening Unix socket standing in for a Wayland compositor.
class TListeningSocket {
public:
    explicit TListeningSocket(const fs::path& path) {
        Fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string text = path.string();
        text.copy(address.sun_path, sizeof address.sun_path - 1);
        EXPECT_EQ(bind(Fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(listen(Fd, 8), 0);
    }
    ~TListeningSocket() { close(Fd); }
    int Fd;
};

struct TDisplayCase {
    std::string Platform; // the -platform option
    std::string Display;  // the -display option
    std::map<std::string, std::optional<std::string>> Environment;
    std::optional<std::string> Problem; // a part of the problem text; nullopt when reachable
};

} // namespace

TEST(StartUpWindowSystem, UnreachableDisplaysAreFoundBeforeQtAbortsOnThem) {
    const TDataFolder runtime("wayland");
    const TListeningSocket compositor(runtime.Path / "live");
    const std::string dir = runtime.Path.string();
    const std::string x = FreeXDisplay();
    const std::optional<std::string> unset;
    const std::vector<TDisplayCase> cases = {
        {"offscreen", "", {}, std::nullopt},
        {"", "", {{"QT_QPA_PLATFORM", "minimal"}}, std::nullopt},
        {"", "", {}, "no display (set DISPLAY"},
        {"", "", {{"DISPLAY", x}}, "cannot open the X display \"" + x + "\""},
        {"", x, {{"DISPLAY", ""}}, "cannot open the X display \"" + x + "\""},
        {"xcb", "", {{"QT_QPA_PLATFORM", "offscreen"}}, "no display (set DISPLAY"},
        {"", "", {{"QT_QPA_PLATFORM", "xcb;offscreen"}}, std::nullopt},
        {"xcb:foo=1;minimal:bar", "", {}, std::nullopt},
        {"wayland", "", {{"XDG_RUNTIME_DIR", dir}, {"WAYLAND_DISPLAY", "live"}}, std::nullopt},
        {"wayland-egl", "", {{"WAYLAND_DISPLAY", dir + "/live"}}, std::nullopt},
        {"wayland",
         "",
         {{"XDG_RUNTIME_DIR", dir}, {"WAYLAND_DISPLAY", "gone"}},
         "cannot connect to the Wayland display \"gone\""},
        {"wayland", "", {}, "XDG_RUNTIME_DIR is not set"},
        {"",
         "",
         {{"XDG_SESSION_TYPE", "wayland"}, {"XDG_RUNTIME_DIR", dir}, {"WAYLAND_DISPLAY", "live"}},
         std::nullopt},
        {"",
         "",
         {{"XDG_SESSION_TYPE", "wayland"}, {"XDG_RUNTIME_DIR", dir}},
         "cannot connect to the Wayland display \"wayland-0\""},
    };
    for (const TDisplayCase& c : cases) {
        TEnvironment environment;
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR",
                                 "XDG_SESSION_TYPE"})
            environment.Set(name, unset);
        std::string trace = "-platform '" + c.Platform + "' -display '" + c.Display + "'";
        for (const auto& [name, value] : c.Environment) {
            environment.Set(name, value);
            trace += " " + name + "=" + value.value_or("");
        }
        SCOPED_TRACE(trace);
        std::shared_ptr<void> probe;
        const auto problem = WindowSystemProblem(c.Platform, c.Display, probe);
        if (!c.Problem) {
            EXPECT_FALSE(problem) << *problem;
        } else {
            ASSERT_TRUE(problem);
            EXPECT_NE(problem->find(*c.Problem), std::string::npos) << *problem;
        }
    }
}
