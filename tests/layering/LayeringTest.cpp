// The source tree's own rules, checked on every test run: which folders may include which, which
// may include Qt, and the length of shipped source files. Every finding names the file, the line
// and the rule. CONTRIBUTING.md explains the layers.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct TLayer {
    std::string_view Folder;            // with its trailing "/"
    bool Qt;                            // whether its files may include Qt headers
    std::vector<std::string_view> Uses; // the folders its files may include, its own among them
};

// Longer folders first: platform/gui/ is a layer of its own inside platform/.
const std::vector<TLayer> Layers = {
    {"platform/gui/", true, {"platform/gui/", "platform/"}},
    {"platform/", false, {"platform/"}},
    {"relations/", false, {"relations/", "platform/"}},
    {"refrig/", false, {"refrig/", "platform/"}},
    {"tools/", false, {"tools/", "relations/", "refrig/", "platform/"}},
    {"chartpanel/", true, {"chartpanel/", "platform/gui/", "platform/"}},
    {"app/", true, {"app/", "chartpanel/", "relations/", "refrig/", "platform/gui/", "platform/"}},
};

// Code that is not shipped: it may include anything, and nothing shipped includes it.
constexpr std::array<std::string_view, 3> UnshippedFolders = {"tests/", "bench/", "fuzz/"};

constexpr int MaxLines = 600;

struct TFinding {
    std::string File;
    int Line;
    std::string Rule;
    std::string Detail;

    std::string Text() const {
        return File + ":" + std::to_string(Line) + ": [" + Rule + "] " + Detail;
    }
};

bool StartsWithAny(std::string_view path, auto folders) {
    return std::ranges::any_of(folders, [&](std::string_view f) { return path.starts_with(f); });
}

const TLayer* LayerOf(std::string_view path) {
    const auto it = std::ranges::find_if(
        Layers, [&](const TLayer& layer) { return path.starts_with(layer.Folder); });
    return it == Layers.end() ? nullptr : &*it;
}

bool IsCpp(const fs::path& path) {
    const std::string ext = path.extension().string();
    return ext == ".h" || ext == ".hpp" || ext == ".cpp" || ext == ".cc" || ext == ".cxx";
}

// C++ sources, build files and scripts outside tests/, bench/ and fuzz/.
bool IsShippedSource(std::string_view path) {
    const fs::path p(path);
    const std::string ext = p.extension().string();
    const bool source = IsCpp(p) || p.filename() == "CMakeLists.txt" || ext == ".cmake" ||
                        ext == ".sh" || ext == ".py";
    return source && !StartsWithAny(path, UnshippedFolders);
}

// Qt's class headers (<QString>, <QtMath>), headers in its module folders (<QtCore/qglobal.h>) and
// its lower-case headers (<qglobal.h>, <qtconcurrentrun.h>); not GCC's <quadmath.h>, nor a project
// header that merely starts with a Q ("Quantity.h").
bool IsQtHeader(std::string_view name) {
    const std::string_view first = name.substr(0, name.find('/'));
    if (first.size() >= 2 && first[0] == 'Q' && std::isalpha(static_cast<unsigned char>(first[1])))
        return first.find('.') == std::string_view::npos;
    return first == name && name.starts_with('q') && name.ends_with(".h") && name != "quadmath.h";
}

struct TInclude {
    std::string Name;
    bool Quoted;
};

// The header a line includes, for "#include" lines with blanks anywhere the preprocessor allows.
std::optional<TInclude> ParseInclude(std::string_view line) {
    const auto skipBlanks = [&] {
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
    };
    skipBlanks();
    if (!line.starts_with('#'))
        return std::nullopt;
    line.remove_prefix(1);
    skipBlanks();
    if (!line.starts_with("include"))
        return std::nullopt;
    line.remove_prefix(7);
    skipBlanks();
    if (line.empty() || (line.front() != '<' && line.front() != '"'))
        return std::nullopt;
    const char close = line.front() == '<' ? '>' : '"';
    const size_t end = line.find(close, 1);
    if (end == std::string_view::npos)
        return std::nullopt;
    return TInclude{std::string(line.substr(1, end - 1)), close == '"'};
}

// The path from the root of the tree an include names. Paths under a top folder of the tree resolve
// from the root (the include path every target has); other names resolve from the including
// file's folder, as the compiler tries first for a quoted name (a system header then resolves to
// a file that does not exist and belongs to the includer's own layer).
std::string ProjectPath(std::string_view includer, const TInclude& include) {
    const std::string first = include.Name.substr(0, include.Name.find('/') + 1);
    const bool topFolder = LayerOf(first) != nullptr || StartsWithAny(first, UnshippedFolders);
    if (topFolder)
        return fs::path(include.Name).lexically_normal().generic_string();
    return (fs::path(includer).parent_path() / include.Name).lexically_normal().generic_string();
}

std::string UsesText(const TLayer& layer) {
    std::string text;
    for (const std::string_view folder : layer.Uses) {
        if (!text.empty())
            text += ", ";
        text += folder;
    }
    return text;
}

void CheckInclude(const TLayer& layer, const std::string& file, int line, const TInclude& include,
                  std::vector<TFinding>& findings) {
    const std::string shown = include.Quoted ? '"' + include.Name + '"' : '<' + include.Name + '>';
    const std::string target = ProjectPath(file, include);
    if (!layer.Qt && IsQtHeader(include.Name)) {
        findings.push_back({file, line, "Qt-free",
                            "includes " + shown + ", a Qt header; " + std::string(layer.Folder) +
                                " builds without Qt"});
    } else if (StartsWithAny(target, UnshippedFolders)) {
        findings.push_back(
            {file, line, "shipped code",
             "includes " + shown + "; nothing shipped uses tests/, bench/ or fuzz/"});
    } else if (const TLayer* used = LayerOf(target);
               used != nullptr && std::ranges::find(layer.Uses, used->Folder) == layer.Uses.end()) {
        findings.push_back({file, line, "layers",
                            "includes " + shown + " from " + std::string(used->Folder) + "; " +
                                std::string(layer.Folder) + " may include only " +
                                UsesText(layer)});
    }
}

void CheckLength(const std::string& file, int lines, std::vector<TFinding>& findings) {
    if (lines > MaxLines) {
        findings.push_back({file, MaxLines + 1, "file length",
                            std::to_string(lines) + " lines, over the limit of " +
                                std::to_string(MaxLines) + "; split the file by concern"});
    }
}

// The findings of one file, given its path from the root of the tree ("/" separators).
std::vector<TFinding> CheckFile(const std::string& file, std::string_view text) {
    std::vector<TFinding> findings;
    const TLayer* layer = LayerOf(file);
    if (layer == nullptr && IsCpp(fs::path(file)) && !StartsWithAny(file, UnshippedFolders)) {
        findings.push_back({file, 1, "layers",
                            "shipped C++ code outside every layer: add its folder to the layer "
                            "table in tests/layering/LayeringTest.cpp and to CONTRIBUTING.md"});
    }
    int lines = 0;
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        ++lines;
        if (layer != nullptr)
            if (const auto include = ParseInclude(line))
                CheckInclude(*layer, file, lines, *include, findings);
    }
    if (IsShippedSource(file))
        CheckLength(file, lines, findings);
    return findings;
}

// The findings' texts, one a line.
std::string Joined(const std::vector<TFinding>& findings) {
    std::string text;
    for (const TFinding& finding : findings) {
        if (!text.empty())
            text += '\n';
        text += finding.Text();
    }
    return text;
}

// Folders that hold no source of the tree: hidden ones, build trees, and the build folder the
// scripts use, whatever other tools have installed into it.
bool SkipFolder(const fs::path& folder, const fs::path& root) {
    const std::string name = folder.filename().string();
    return name.starts_with('.') || fs::exists(folder / "CMakeCache.txt") ||
           folder == root / "build";
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(Layering, SourceTreeKeepsItsRules) {
    const fs::path root = CALVENOR_SOURCE_DIR;
    std::vector<TFinding> findings;
    std::map<std::string_view, int> filesPerLayer;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        if (it->is_directory()) {
            if (SkipFolder(it->path(), root))
                it.disable_recursion_pending();
            continue;
        }
        if (!it->is_regular_file())
            continue;
        const std::string file = it->path().lexically_relative(root).generic_string();
        const std::vector<TFinding> found = CheckFile(file, ReadFile(it->path()));
        findings.insert(findings.end(), found.begin(), found.end());
        if (const TLayer* layer = LayerOf(file))
            ++filesPerLayer[layer->Folder];
    }

    for (const TFinding& finding : findings)
        ADD_FAILURE() << finding.Text();
    // An empty walk (a wrong root) would pass every rule.
    for (const TLayer& layer : Layers)
        EXPECT_GT(filesPerLayer[layer.Folder], 0)
            << "no file of " << layer.Folder << " under " << root;
}

TEST(Layering, IncludeRules) {
    const struct {
        std::string File, Line, Rule; // Rule "" for an include that is allowed
    } rows[] = {
        // Qt in the Qt-free layers, under every spelling of a Qt header.
        {"relations/Inverse.cpp", "#include <QString>", "Qt-free"},
        {"relations/Inverse.cpp", "#include <QtCore/qglobal.h>", "Qt-free"},
        {"refrig/Refrig.cpp", "#include <qglobal.h>", "Qt-free"},
        {"platform/NumberText.cpp", "  #  include <qtconcurrentrun.h>", "Qt-free"},
        {"platform/NumberText.cpp", "#include \"QString\"", "Qt-free"},
        {"platform/NumberText.cpp", "#include \"Quantity.h\"", ""},
        {"tools/relations/RelationsTool.cpp", "#include <QCoreApplication>", "Qt-free"},
        {"platform/NumberText.cpp", "#include <quadmath.h>", ""},
        {"platform/NumberText.cpp", "#include <queue>", ""},
        {"platform/NumberText.cpp", "#include <qpdf/qpdf-c.h>", ""},
        {"platform/gui/Font.cpp", "#include <QImage>", ""},
        {"chartpanel/ChartPanel.cpp", "#include <QPainter>", ""},
        {"app/Main.cpp", "#include <QLabel>", ""},
        {"relations/Inverse.cpp", "// #include <QString>", ""},
        {"relations/Inverse.cpp", "#define HEADER <QString>", ""},
        // The Qt-free layers use none of the Qt layers, not even their Qt-free headers.
        {"relations/Inverse.cpp", "#include \"chartpanel/AxisMap.h\"", "layers"},
        {"refrig/Refrig.cpp", "#include \"platform/gui/Canvas.h\"", "layers"},
        {"platform/Clip.cpp", "#include \"platform/gui/Graphics.h\"", "layers"},
        {"platform/Clip.cpp", "#include \"gui/Graphics.h\"", "layers"},
        {"platform/Clip.cpp", "#include <platform/gui/Graphics.h>", "layers"},
        {"tools/relations/RelationsTool.cpp", "#include \"chartpanel/ChartPanel.h\"", "layers"},
        {"tools/relations/RelationsTool.cpp", "#include \"app/StartUp.h\"", "layers"},
        // Upwards and sideways.
        {"platform/PrivateProfile.cpp", "#include \"app/StartUp.h\"", "layers"},
        {"platform/PrivateProfile.cpp", "#include \"relations/Inverse.h\"", "layers"},
        {"platform/gui/Font.cpp", "#include \"chartpanel/ChartPanel.h\"", "layers"},
        {"platform/gui/Panel.cpp", "#include \"../../app/Main.h\"", "layers"},
        {"chartpanel/ChartPanel.cpp", "#include \"app/Main.h\"", "layers"},
        {"chartpanel/ChartPanel.cpp", "#include \"relations/Inverse.h\"", "layers"},
        {"chartpanel/ChartPanel.cpp", "#include \"platform/../app/Main.h\"", "layers"},
        {"relations/Inverse.cpp", "#include \"refrig/Refrig.h\"", "layers"},
        {"refrig/Refrig.cpp", "#include \"relations/Effectiveness.h\"", "layers"},
        {"app/Main.cpp", "#include \"tools/relations/RelationsTool.h\"", "layers"},
        {"app/Main.cpp", "#include \"tests/support/Unprivileged.h\"", "shipped code"},
        {"platform/NumberText.cpp", "#include \"../bench/support/MainWindowChart.h\"",
         "shipped code"},
        // What the layers may use.
        {"platform/gui/Panel.cpp", "#include \"Canvas.h\"", ""},
        {"platform/gui/Panel.cpp", "#include \"platform/Exceptions.h\"", ""},
        {"platform/PrivateProfile.cpp", "#include \"ProfileFile.h\"", ""},
        {"relations/Inverse.cpp", "#include \"platform/FloatFault.h\"", ""},
        {"tools/relations/RelationsTool.cpp", "#include \"refrig/Refrig.h\"", ""},
        {"chartpanel/ChartPanel.cpp", "#include \"platform/gui/Panel.h\"", ""},
        {"app/StartUp.cpp", "#include \"refrig/Refrig.h\"", ""},
        {"app/Main.cpp", "#include \"chartpanel/ChartPanel.h\"", ""},
        // Tests, benchmarks and fuzz targets may use everything.
        {"tests/app/MainWindowWidgetTest.cpp", "#include \"app/Main.h\"", ""},
        {"bench/IniBench.cpp", "#include <QTest>", ""},
        {"fuzz/ChartFuzz.cpp", "#include \"tests/support/Unprivileged.h\"", ""},
    };
    for (const auto& row : rows) {
        // The include on line 2, behind a comment line, so that a wrong line count shows.
        const std::string found = Joined(CheckFile(row.File, "// unit\n" + row.Line + "\n"));
        const std::string start = row.File + ":2: [" + row.Rule + "] includes ";
        EXPECT_TRUE(row.Rule.empty() ? found.empty()
                                     : found.starts_with(start) && found.find('\n') == found.npos)
            << row.File << ": " << row.Line << " gave: " << found;
    }
    EXPECT_EQ(Joined(CheckFile("chartpanel/ChartPanel.cpp", "#include \"app/Main.h\"")),
              "chartpanel/ChartPanel.cpp:1: [layers] includes \"app/Main.h\" from app/; "
              "chartpanel/ may include only chartpanel/, platform/gui/, platform/");
    EXPECT_EQ(Joined(CheckFile("export/Writer.cpp", "#include <vector>\n")),
              "export/Writer.cpp:1: [layers] shipped C++ code outside every layer: add its folder "
              "to the layer table in tests/layering/LayeringTest.cpp and to CONTRIBUTING.md");
}

TEST(Layering, FileLengthLimit) {
    const struct {
        std::string File;
        int Lines;
        bool FinalBreak;
        std::string Finding; // "" for none
    } rows[] = {
        {"platform/NumberText.cpp", 600, true, ""},
        {"platform/NumberText.cpp", 600, false, ""},
        {"platform/NumberText.cpp", 601, true,
         "platform/NumberText.cpp:601: [file length] 601 lines, over the limit of 600; split the "
         "file by concern"},
        {"platform/NumberText.cpp", 601, false,
         "platform/NumberText.cpp:601: [file length] 601 lines, over the limit of 600; split the "
         "file by concern"},
        {"app/CMakeLists.txt", 700, true,
         "app/CMakeLists.txt:601: [file length] 700 lines, "
         "over the limit of 600; split the file by concern"},
        {"scripts/test.sh", 601, true,
         "scripts/test.sh:601: [file length] 601 lines, over the "
         "limit of 600; split the file by concern"},
        {"tests/platform/PrivateProfileTest.cpp", 2000, true, ""},
        {"bench/ChartBench.cpp", 2000, true, ""},
        {"fuzz/IniFuzz.cpp", 2000, true, ""},
        {"data/RuzAve8.rdf", 2000, true, ""},
        {"README.md", 2000, true, ""},
        {"platform/gui/Canvas.cpp", 600, true, ""},
    };
    for (const auto& row : rows) {
        // Some lines blank: blank lines count.
        std::string text;
        for (int i = 1; i <= row.Lines; ++i) {
            if (i % 7 != 3)
                text += "int x" + std::to_string(i) + ";";
            if (i < row.Lines || row.FinalBreak)
                text += '\n';
        }
        EXPECT_EQ(Joined(CheckFile(row.File, text)), row.Finding) << row.File << " " << row.Lines;
    }
}

} // namespace
