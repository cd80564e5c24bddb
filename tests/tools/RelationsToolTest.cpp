// calvenor-relations: its whole command-line contract through RunRelationsTool, and as a real
// process.

#include "tools/relations/RelationsTool.h"

#include "relations/FlowConfigurations.h"

#include <gtest/gtest.h>

#include <charconv>
#include <clocale>
#include <cstdio>
#include <locale>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

struct TRun {
    int status;
    std::string out, err;
};

TRun Tool(const std::vector<std::string>& args, const std::string& input = "") {
    std::istringstream in(input);
    std::ostringstream out, err;
    const int status = RunRelationsTool(args, in, out, err);
    return {status, out.str(), err.str()};
}

// printf's "%.17g" in the C locale: an independent writer of the expected text.
std::string Digits17(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

double ReadBack(const std::string& line) {
    double value = 0;
    const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), value);
    EXPECT_TRUE(error == std::errc() && end == line.data() + line.size()) << line;
    return value;
}

TEST(RelationsToolTest, ListHelpAndCommandLineShape) {
    TRun list = Tool({"list"});
    EXPECT_EQ(list.status, 0);
    std::string names;
    for (const TFlowConfiguration& c : FlowConfigurations())
        names += std::string(c.Name) + "\n";
    EXPECT_EQ(list.out, names);
    EXPECT_EQ(list.out.substr(0, 12), "CounterFlow\n");

    const TRun help = Tool({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, RelationsToolUsage());
    for (const char* part : {"list", "e   FLOW CR NTU", "ntu FLOW CR E", "cr  FLOW NTU E", "\"-\"",
                             "17 significant digits", "Exit status"})
        EXPECT_NE(help.out.find(part), std::string::npos) << part;

    const std::vector<std::vector<std::string>> wrongShapes = {
        {},
        {"list", "x"},
        {"--help", "e"},
        {"frobnicate"},
        {"e"},
        {"e", "CounterFlow", "1"},
        {"ntu", "CounterFlow", "1", "2", "3"},
        {"E", "CounterFlow", "0.5", "1"},
        {"cr", "CounterFlow", "-", "0.5"},
    };
    for (const std::vector<std::string>& args : wrongShapes) {
        const TRun run = Tool(args);
        EXPECT_EQ(run.status, 2) << testing::PrintToString(args);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("calvenor-relations --help"), std::string::npos) << run.err;
    }
}

TEST(RelationsToolTest, AnswersWithSeventeenDigitsThatReadBack) {
    for (const TFlowConfiguration& c : FlowConfigurations()) {
        SCOPED_TRACE(c.Name);
        const double Cr = 0.5;
        const double Ntu = 1.25;
        const double e = c.Relation(Cr, Ntu);
        const TRun forward = Tool({"e", c.Name, "0.5", "1.25"});
        EXPECT_EQ(forward.status, 0) << forward.err;
        EXPECT_EQ(forward.out, Digits17(e) + "\n");
        EXPECT_EQ(ReadBack(forward.out.substr(0, forward.out.size() - 1)), e);

        const TRun ntu = Tool({"ntu", c.Name, "0.5", Digits17(e)});
        EXPECT_EQ(ntu.status, 0) << ntu.err;
        EXPECT_EQ(ntu.out, Digits17(c.NtuSolver(Cr, e)) + "\n");

        const TRun cr = Tool({"cr", c.Name, "1.25", Digits17(e)});
        EXPECT_EQ(cr.status, 0) << cr.err;
        EXPECT_EQ(cr.out, Digits17(c.CrSolver(Ntu, e)) + "\n");
        EXPECT_NEAR(ReadBack(cr.out.substr(0, cr.out.size() - 1)), Cr, 1e-4);
    }
    // Any letter case names the configuration; numbers may carry a sign, exponent and blanks.
    EXPECT_EQ(Tool({"e", "shelltube2", "+5E-1", " 2 "}).out, Digits17(ShellTube2E(0.5, 2)) + "\n");
    // Zero is written without a sign.
    EXPECT_EQ(Tool({"e", "CrossFlowExact", "0.5", "-0"}).out, "0\n");
}

TEST(RelationsToolTest, ErrorsSayWhyWithTheirExitStatus) {
    struct TRow {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    const TRow rows[] = {
        {{"e", "Spiral", "0.5", "1"},
         2,
         "unknown flow configuration 'Spiral'; the configurations are: CounterFlow, CrossFlow, "
         "ParallelFlow, CrossFlowExact, CrossFlowMixedCmin, CrossFlowMixedCmax, ShellTube1, "
         "ShellTube2, ShellTube3"},
        {{"e", "CounterFlow", "abc", "1"}, 2, "CR: 'abc' is not a finite number"},
        {{"e", "CounterFlow", "0.5", "1,5"}, 2, "NTU: '1,5' is not a finite number"},
        {{"ntu", "ShellTube1", "0.5", "1e400"}, 2, "E: '1e400' is not a finite number"},
        {{"cr", "ShellTube1", "nan", "0.5"}, 2, "NTU: 'nan' is not a finite number"},
        {{"cr", "ShellTube1", "0.5", "inf"}, 2, "E: 'inf' is not a finite number"},
        {{"e", "ShellTube2", "1.5", "1"},
         1,
         "ShellTube2 has no relation for Cr = 1.5: Cr = Cmin / Cmax lies in [0, 1]"},
        {{"ntu", "CounterFlow", "-0.5", "0.5"},
         1,
         "CounterFlow has no relation for Cr = -0.5: Cr = Cmin / Cmax lies in [0, 1]"},
        {{"e", "CrossFlow", "0.5", "-1"},
         1,
         "CrossFlow has no relation for Ntu = -1: Ntu is never negative"},
        {{"cr", "ShellTube3", "-2", "0.1"},
         1,
         "ShellTube3 has no relation for Ntu = -2: Ntu is never negative"},
        {{"ntu", "CrossFlowMixedCmax", "1", "0.64"},
         1,
         "e = 0.64 is out of reach of CrossFlowMixedCmax at Cr = 1, which stays below "
         "e = 0.632120558828558 for every Ntu"},
        // The first three configurations get the same reach check before their solvers, whose
        // answers beyond it (10 for e >= 1, a fault) would be no answer.
        {{"ntu", "ParallelFlow", "0.5", "0.7"},
         1,
         "e = 0.7 is out of reach of ParallelFlow at Cr = 0.5, which stays below "
         "e = 0.666666666666667 for every Ntu"},
        {{"ntu", "CounterFlow", "0.5", "1"},
         1,
         "e = 1 is out of reach of CounterFlow at Cr = 0.5, which stays below e = 1 for every "
         "Ntu"},
        {{"ntu", "ShellTube2", "0.5", "-0.1"},
         1,
         "e = -0.1 is out of reach of ShellTube2: the effectiveness is never negative"},
        {{"ntu", "CrossFlow", "1", "0.95"},
         1,
         "CrossFlow gives no Ntu at Cr = 1, e = 0.95: its solver stopped at Ntu = 25, which "
         "gives e = 0.868694443988535"},
        // Above the Cr = 0 curve, below the Cr = 1 curve, and off the curves at Ntu = 0.
        {{"cr", "CounterFlow", "1", "0.9"},
         1,
         "CounterFlow gives no Cr at Ntu = 1, e = 0.9: even Cr = 0 gives only "
         "e = 0.632120558828558"},
        {{"cr", "CounterFlow", "3", "0.6"},
         1,
         "CounterFlow gives no Cr at Ntu = 3, e = 0.6: even Cr = 1 gives e = 0.75"},
        {{"cr", "CrossFlowExact", "0", "0.2"},
         1,
         "CrossFlowExact gives no Cr at Ntu = 0, e = 0.2: even Cr = 0 gives only e = 0"},
    };
    for (const TRow& row : rows) {
        const TRun run = Tool(row.args);
        SCOPED_TRACE(testing::PrintToString(row.args));
        EXPECT_EQ(run.status, row.status);
        EXPECT_EQ(run.out, "");
        const std::string expected = std::string("calvenor-relations: ") + row.message + "\n";
        EXPECT_EQ(run.err.substr(0, expected.size()), expected);
    }
    // Within the solver's tolerance of a curve is still an answer, and so is e = 0 at Ntu = 0.
    EXPECT_EQ(Tool({"cr", "CounterFlow", "1", Digits17(ZeroCrE(1) + 5e-6)}).out, "0\n");
    EXPECT_EQ(Tool({"cr", "ShellTube1", "0", "0"}).out, "0\n");
    // Balanced counter flow has an Ntu for every e below 1: e / (1 - e).
    EXPECT_EQ(Tool({"ntu", "CounterFlow", "1", "0.5"}).out, "1\n");
}

TEST(RelationsToolTest, StandardInputRowsAreAnsweredInOrder) {
    struct TRow {
        const char* input;
        int status;
        std::vector<std::string> lines;
    };
    const std::string e05 = Digits17(ShellTube3E(0.5, 1));
    const std::string e1 = Digits17(ShellTube3E(1, 2.5));
    const TRow rows[] = {
        {"0.5 1\n1\t2.5\n", 0, {e05, e1}},
        {"0.5 1\r\n  1 2.5  ", 0, {e05, e1}},
        {"", 0, {}},
        {"1.5 1\n0.5 1\n",
         1,
         {"error: ShellTube3 has no relation for Cr = 1.5: Cr = Cmin / Cmax "
          "lies in [0, 1]",
          e05}},
        {"0.5 x\n0.5 1\n\n1 2 3\n1.5 1\n",
         2,
         {"error: NTU: 'x' is not a finite number", e05,
          "error: expected two numbers, CR and NTU, found 0 fields",
          "error: expected two numbers, CR and NTU, found 3 fields",
          "error: ShellTube3 has no relation for Cr = 1.5: Cr = Cmin / Cmax lies in [0, 1]"}},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.input);
        const TRun run = Tool({"e", "ShellTube3", "-"}, row.input);
        EXPECT_EQ(run.status, row.status);
        std::string expected;
        for (const std::string& line : row.lines)
            expected += line + "\n";
        EXPECT_EQ(run.out, expected);
        EXPECT_EQ(run.err, "");
    }
    const TRun ntu = Tool({"ntu", "ShellTube1", "-"}, "1 0.6\n1 0.5\n");
    EXPECT_EQ(ntu.status, 1);
    EXPECT_EQ(ntu.out, "error: e = 0.6 is out of reach of ShellTube1 at Cr = 1, which stays "
                       "below e = 0.585786437626905 for every Ntu\n" +
                           Digits17(ShellTube1Ntu(1, 0.5)) + "\n");
    EXPECT_EQ(Tool({"cr", "Unknown", "-"}, "1 0.5\n").status, 2);
}

TEST(RelationsToolTest, NumbersIgnoreTheLocale) {
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "locale de_DE.UTF-8 missing";
    const std::locale previous = std::locale::global(std::locale("de_DE.UTF-8"));
    const TRun run = Tool({"e", "CounterFlow", "0.5", "1.5"});
    const TRun comma = Tool({"e", "CounterFlow", "0,5", "1"});
    const TRun rows = Tool({"ntu", "CrossFlowMixedCmin", "-"}, "0.5 0.25\n");
    std::locale::global(previous);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(run.out, Digits17(CounterFlowE(0.5, 1.5)) + "\n");
    EXPECT_NE(run.out.find('.'), std::string::npos);
    EXPECT_EQ(comma.status, 2);
    EXPECT_EQ(rows.out, Digits17(CrossFlowMixedCminNtu(0.5, 0.25)) + "\n");
}

// The installed program: the exit status and the streams as a shell sees them.
TRun RunProgram(const std::string& shellCommand) {
    const std::string command = "{ " + shellCommand + "; } 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    std::string out;
    char buffer[256];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
        out.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out, ""};
}

TEST(RelationsToolTest, RealProcess) {
    const std::string tool = CALVENOR_RELATIONS_TOOL;
    const TRun exact = RunProgram("LC_ALL=de_DE.UTF-8 '" + tool + "' e CrossFlowExact 1 10");
    EXPECT_EQ(exact.status, 0);
    EXPECT_EQ(exact.out, Digits17(CrossFlowExactE(1, 10)) + "\n");

    const TRun rows =
        RunProgram("printf '0.5 0.7\\n1 0.6\\n' | '" + tool + "' ntu ShellTube1 - 2>/dev/null");
    EXPECT_EQ(rows.status, 1);
    EXPECT_EQ(rows.out, Digits17(ShellTube1Ntu(0.5, 0.7)) +
                            "\nerror: e = 0.6 is out of reach of ShellTube1 at Cr = 1, which "
                            "stays below e = 0.585786437626905 for every Ntu\n");

    const TRun unknown = RunProgram("'" + tool + "' cr Nowhere 1 0.5");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.out.find("unknown flow configuration 'Nowhere'"), std::string::npos);
}

} // namespace
