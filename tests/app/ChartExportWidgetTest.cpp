// The chart's export: the command line's contract (exit codes, messages, files written or left
// alone), pictures identical to the window's chart, and tables that read back to the relations.
#include "app/ChartExport.h"

#include "app/Main.h"
#include "app/StartUp.h"
#include "relations/FlowConfigurations.h"
#include "support/Unprivileged.h"

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

#include <charconv>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

// Two offscreen screens, the second at device ratio 2 (tests/support/two-screens.json), so that
// the window's chart can be compared at both ratios. Set before main() starts the application; a
// platform chosen from outside wins.
const bool TwoScreenPlatform = [] {
    setenv("QT_QPA_PLATFORM",
           "offscreen:configfile=" CALVENOR_SOURCE_DIR "/tests/support/two-screens.json", 0);
    return true;
}();

class TTempFolder {
public:
    TTempFolder() {
        std::string pattern = (fs::temp_directory_path() / "chart-export-XXXXXX").string();
        EXPECT_NE(::mkdtemp(pattern.data()), nullptr);
        Path = pattern;
    }
    ~TTempFolder() {
        std::error_code ignored;
        fs::permissions(Path, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(Path, ignored);
    }
    std::set<std::string> Names() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(Path))
            names.insert(entry.path().filename().string());
        return names;
    }
    fs::path Path;
};

std::string Bytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

void Write(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

struct TRun {
    int Code;
    std::string Errors;
};

// The program as the shell runs it, in this process (whose application object it then uses).
TRun RunCalvenor(const std::vector<std::string>& arguments) {
    std::vector<std::string> words = {"calvenor"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    int argc = int(words.size());
    testing::internal::CaptureStderr();
    const int code = RunProgram(argc, argv.data());
    return {code, testing::internal::GetCapturedStderr()};
}

QImage ReadPng(const fs::path& path) {
    return QImage(QString::fromStdString(path.string()), "png")
        .convertToFormat(QImage::Format_RGB32);
}

constexpr const char* OldBytes = "an earlier chart";

} // namespace

TEST(ChartExportCommand, ExitCodesMessagesAndFiles) {
    const std::string names =
        "CounterFlow, CrossFlow, ParallelFlow, CrossFlowExact, CrossFlowMixedCmin, "
        "CrossFlowMixedCmax, ShellTube1, ShellTube2, ShellTube3";
    struct TCase {
        std::vector<std::string> Arguments; // "@" before a name: in the test's folder
        int Code;
        std::string Message; // a part of the error output; empty: no output at all
        std::string Written; // the file written, empty for none
        QSize PngSize;       // of a PNG written
    };
    std::vector<TCase> cases = {
        {{"--export", "@chart.png", "--flow", "CounterFlow"}, 0, "", "chart.png", {365, 251}},
        {{"--flow", "shelltube2", "--export", "@a.PNG", "--size", "600x400"},
         0,
         "",
         "a.PNG",
         {600, 400}},
        {{"--export", "@c.png", "--flow", "CROSSFLOW", "--size", "1X1", "--scale", "1"},
         0,
         "",
         "c.png",
         {1, 1}},
        {{"--export", "@t.Csv", "--flow", "crossflowexact", "--size", "5x5"}, 0, "", "t.Csv", {}},
        {{"--export", "@s.png", "--flow", "CounterFlow", "--scale", "0.001", "--size", "999x1000"},
         2,
         "is beyond the largest picture",
         "",
         {}},
        {{"--export", "@chart.png", "--flow", "Spiral"},
         2,
         "--flow: \"Spiral\" is no flow configuration; give one of: " + names,
         "",
         {}},
        {{"--export", "@chart.png", "--flow", "CrossFlow "}, 2, "--flow: \"CrossFlow \"", "", {}},
        {{"--export", "@chart.jpg", "--flow", "CounterFlow"}, 2, "--export: \"", "", {}},
        {{"--export", "@chart", "--flow", "CounterFlow"}, 2, ".png (a PNG image) or .csv", "", {}},
        {{"--export", "@chart.png.", "--flow", "CounterFlow"}, 2, "--export: \"", "", {}},
        {{"--export", "@chart.png"}, 2, "--export needs --flow NAME, one of: " + names, "", {}},
        {{"--flow", "CounterFlow"}, 2, "--flow, --size and --scale go with --export FILE", "", {}},
        {{"--size", "10x10"}, 2, "go with --export FILE", "", {}},
        {{"--export"}, 2, "Missing value after '--export'.\n--export FILE: ", "", {}},
        {{"--export", "@chart.png", "--flow"},
         2,
         "Missing value after '--flow'.\n--flow NAME: The flow configuration to export, in any "
         "letter case: " +
             names,
         "",
         {}},
        {{"--export", "@chart.png", "--flow", "CounterFlow", "--size"},
         2,
         "'--size'.\n--size WxH",
         "",
         {}},
        {{"--export", "@chart.png", "--flow", "CounterFlow", "--scale"},
         2,
         "'--scale'.\n--scale S",
         "",
         {}},
        {{"--export", "@chart.png", "--flow", "CounterFlow", "words"},
         2,
         "--export takes no further words: words",
         "",
         {}},
    };
    // Sides times the scale, rounded down as the canvas rounds them.
    const struct {
        const char* Size;
        const char* Scale;
        QSize Png;
    } scaled[] = {{"365x251", "2", {730, 502}},   {"600x400", "2", {1200, 800}},
                  {"365x251", "1.5", {547, 376}}, {"10x20", "1.1", {11, 22}},
                  {"365x251", "0.5", {182, 125}}, {"365x251", "0.25", {91, 62}},
                  {"365x251", "0.1", {36, 25}},   {"2048x1", "8e0", {16384, 8}}};
    for (const auto& row : scaled)
        cases.push_back({{"--export", "@s.png", "--flow", "CounterFlow", "--size", row.Size,
                          "--scale", row.Scale},
                         0,
                         "",
                         "s.png",
                         row.Png});
    // Sizes and scales that are refused.
    for (const char* size : {"600", "0x400", "400x0", "-5x4", "+5x4", "600x400x2", "600 x400",
                             "x400", "600x", "", "99999999999x1", "0x0", "1.5x2", "６x4"})
        cases.push_back({{"--export", "@chart.png", "--flow", "CounterFlow", "--size", size},
                         2,
                         "--size: \"" + std::string(size) +
                             "\" is not a size; give WIDTHxHEIGHT in logical pixels",
                         "",
                         {}});
    for (const char* scale :
         {"0", "-1", "8.0001", "9", "nan", "inf", "1,5", "abc", "", " 2", "2 ", "0x1p1", "1e999"})
        cases.push_back({{"--export", "@chart.png", "--flow", "CounterFlow", "--scale", scale},
                         2,
                         "--scale: \"" + std::string(scale) +
                             "\" is not a scale; give a number above 0 and at most 8",
                         "",
                         {}});
    for (const char* size : {"16385x1", "1x16385", "8193x8193", "16384x4097", "8193x8192"})
        cases.push_back({{"--export", "@chart.png", "--flow", "CounterFlow", "--size", size},
                         2,
                         "is beyond the largest picture: at most 16384 device pixels a side "
                         "and 67108864 in all (8192 x 8192)",
                         "",
                         {}});

    for (const TCase& c : cases) {
        const TTempFolder folder;
        Write(folder.Path / "chart.png", OldBytes);
        std::vector<std::string> arguments;
        std::string trace;
        for (const std::string& word : c.Arguments) {
            arguments.push_back(word.starts_with('@') ? (folder.Path / word.substr(1)).string()
                                                      : word);
            trace += " " + word;
        }
        SCOPED_TRACE(trace);
        const TRun run = RunCalvenor(arguments);
        EXPECT_EQ(run.Code, c.Code);
        if (c.Message.empty()) {
            EXPECT_EQ(run.Errors, "");
        } else {
            EXPECT_NE(run.Errors.find(c.Message), std::string::npos) << run.Errors;
        }
        std::set<std::string> expected = {"chart.png"};
        if (!c.Written.empty())
            expected.insert(c.Written);
        EXPECT_EQ(folder.Names(), expected); // no temporary file left behind
        if (c.Written != "chart.png") {
            EXPECT_EQ(Bytes(folder.Path / "chart.png"), OldBytes);
        }
        if (c.PngSize.isValid()) {
            EXPECT_EQ(ReadPng(folder.Path / c.Written).size(), c.PngSize);
        } else if (!c.Written.empty()) {
            EXPECT_EQ(Bytes(folder.Path / c.Written),
                      CurveTableCsv(*FindFlowConfiguration(c.Arguments[3])));
        }
    }
}

TEST(ChartExportCommand, APictureBeyondTheMemoryEndsWithOneAndWritesNothing) {
    const TTempFolder folder;
    SimulateCanvasAllocationFailureAbove(1000 * 1000);
    const TRun run = RunCalvenor({"--export", (folder.Path / "chart.png").string(), "--flow",
                                  "CounterFlow", "--size", "1000x1001"});
    SimulateCanvasAllocationFailureAbove(-1);
    EXPECT_EQ(run.Code, 1);
    EXPECT_NE(run.Errors.find("not enough memory for a picture of 1000 x 1001 pixels"),
              std::string::npos)
        << run.Errors;
    EXPECT_TRUE(folder.Names().empty());
}

TEST(ChartExportCommand, AFileThatCannotBeWrittenEndsWithOneAndKeepsWhatWasThere) {
    if (TestSupport::RanUnprivileged())
        return;
    enum TPlace { ReadOnlyFolder, ReadOnlyFile, AFolder, NoFolder };
    for (const TPlace place : {ReadOnlyFolder, ReadOnlyFile, AFolder, NoFolder}) {
        for (const char* format : {"png", "csv"}) {
            SCOPED_TRACE(std::to_string(place) + " " + format);
            const TTempFolder folder;
            const std::string name = std::string("chart.") + format;
            fs::path target = folder.Path / name;
            if (place == AFolder)
                fs::create_directory(target);
            else
                Write(target, OldBytes);
            if (place == ReadOnlyFolder)
                fs::permissions(folder.Path, fs::perms::owner_read | fs::perms::owner_exec);
            if (place == ReadOnlyFile)
                fs::permissions(target, fs::perms::owner_read);
            if (place == NoFolder)
                target = folder.Path / "missing" / name;

            const TRun run = RunCalvenor({"--export", target.string(), "--flow", "ShellTube1"});
            EXPECT_EQ(run.Code, 1) << run.Errors;
            EXPECT_NE(run.Errors.find("Calvenor: Cannot write \"" + target.string() + "\": "),
                      std::string::npos)
                << run.Errors;
            fs::permissions(folder.Path, fs::perms::owner_all, fs::perm_options::add);
            EXPECT_EQ(folder.Names(), std::set<std::string>{name});
            if (place != AFolder) {
                EXPECT_EQ(Bytes(folder.Path / name), OldBytes);
            }
        }
    }
}

// 2 x 2 blocks on even positions that are not of one colour: none in a picture enlarged from half
// its resolution.
int FineBlocks(const QImage& image) {
    int count = 0;
    for (int y = 0; y + 1 < image.height(); y += 2)
        for (int x = 0; x + 1 < image.width(); x += 2)
            if (image.pixel(x, y) != image.pixel(x + 1, y) ||
                image.pixel(x, y) != image.pixel(x, y + 1) ||
                image.pixel(x, y) != image.pixel(x + 1, y + 1))
                ++count;
    return count;
}

TEST(ChartExport, ThePictureIsTheWindowsChartAtTheScreensResolution) {
    SetProcessNumberFormat();
    const QList<QScreen*> screens = QGuiApplication::screens();
    const bool twoScreens =
        TwoScreenPlatform && screens.size() >= 2 && screens[1]->devicePixelRatio() == 2;
    const struct {
        const char* Typed; // as given to --flow
        int Index;
        QSize Size;
        int Screen; // 0 at ratio 1, 1 at ratio 2
    } cases[] = {{"counterflow", 0, DesignChartSize, 0}, {"CrossFlow", 1, DesignChartSize, 1},
                 {"ShellTube3", 8, {600, 400}, 1},       {"CROSSFLOWEXACT", 3, {1200, 300}, 0},
                 {"ParallelFlow", 2, {400, 700}, 1},     {"shelltube1", 6, {366, 250}, 0}};
    TMainForm form;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Typed);
        if (c.Screen == 1 && !twoScreens) {
            ADD_FAILURE()
                << "needs the two offscreen screens; the platform was chosen from outside";
            continue;
        }
        const int ratio = c.Screen + 1;
        form.resize(c.Size.width(), c.Size.height() + 41 + 19);
        form.move(screens[c.Screen]->geometry().topLeft() + QPoint(20, 20));
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        form.ComboBox1->setCurrentIndex(c.Index);
        QApplication::processEvents();
        ASSERT_EQ(form.Chart->size(), c.Size);
        ASSERT_EQ(form.Chart->devicePixelRatioF(), ratio);
        const QImage window = form.Chart->Canvas().Image();
        ASSERT_EQ(window.size(), c.Size * ratio);

        const TTempFolder folder;
        const fs::path file = folder.Path / "chart.png";
        const TRun run =
            RunCalvenor({"--export", file.string(), "--flow", c.Typed, "--size",
                         std::to_string(c.Size.width()) + "x" + std::to_string(c.Size.height()),
                         "--scale", std::to_string(ratio)});
        ASSERT_EQ(run.Code, 0) << run.Errors;
        const QImage exported = ReadPng(file);
        EXPECT_TRUE(exported == window);
        EXPECT_TRUE(form.ChartImage() == window); // what Copy Chart and Save Chart As take
        if (ratio == 2) {
            EXPECT_GE(FineBlocks(exported), 500);
        }
    }
}

TEST(ChartExport, TheTableReadsBackToTheRelationsWhateverTheLocale) {
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "locale de_DE.UTF-8 missing";
    for (const TFlowConfiguration& flow : FlowConfigurations()) {
        SCOPED_TRACE(flow.Name);
        std::istringstream table(CurveTableCsv(flow));
        std::string line;
        std::getline(table, line);
        EXPECT_EQ(line, "configuration,Cr,Ntu,e");
        int rows = 0;
        while (std::getline(table, line)) {
            std::vector<std::string> fields;
            std::istringstream row(line);
            for (std::string field; std::getline(row, field, ',');)
                fields.push_back(field);
            ASSERT_EQ(fields.size(), 4u) << line;
            EXPECT_EQ(fields[0], flow.Name);
            double values[3];
            for (int i = 0; i < 3; ++i) {
                const std::string& text = fields[size_t(i) + 1];
                const auto result =
                    std::from_chars(text.data(), text.data() + text.size(), values[i]);
                ASSERT_TRUE(result.ec == std::errc() && result.ptr == text.data() + text.size())
                    << line;
            }
            // Curve after curve, 26 points each, every value read back exactly.
            EXPECT_EQ(values[0], (rows / 26) / 4.0) << line;
            EXPECT_EQ(values[1], (rows % 26) / 5.0) << line;
            EXPECT_EQ(values[2], flow.Relation(values[0], values[1])) << line;
            ++rows;
        }
        EXPECT_EQ(rows, 5 * 26);
    }
    std::setlocale(LC_ALL, "C");
}
