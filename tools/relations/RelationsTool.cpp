#include "tools/relations/RelationsTool.h"

#include "platform/Exceptions.h"
#include "platform/NumberText.h"
#include "relations/FlowConfigurations.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <istream>
#include <ostream>
#include <stdexcept>
#include <string_view>

namespace {

constexpr const char* Program = "calvenor-relations";

// A value the relation cannot give: exit status 1.
class TUnanswered : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An unknown FLOW, a text that is not a number or a command line of the wrong shape: status 2.
class TUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One of the three computations: its name, the names of its two inputs, and the function.
struct TCommand {
    const char* Name;
    const char* First;
    const char* Second;
    double (*Answer)(const TFlowConfiguration& c, double first, double second);
};

// 17 significant digits read back to the same double; a negative zero is written as 0.
std::string ResultText(double value) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value + 0.0, std::chars_format::general, 17);
    return std::string(buffer, result.ptr);
}

double ParseNumber(std::string_view text, const char* what) {
    double value = 0;
    if (!TryStrToFloat(text, value) || !std::isfinite(value))
        throw TUsageError(std::string(what) + ": '" + std::string(text) +
                          "' is not a finite number");
    return value;
}

void RequireCrInRange(const TFlowConfiguration& c, double Cr) {
    if (!(Cr >= 0 && Cr <= 1))
        throw TUnanswered(std::string(c.Name) + " has no relation for Cr = " + FloatToStr(Cr) +
                          ": Cr = Cmin / Cmax lies in [0, 1]");
}

// The relations accept a negative Ntu but answer a fallback value or worse: no answer here.
void RequireNtuNotNegative(const TFlowConfiguration& c, double Ntu) {
    if (Ntu < 0)
        throw TUnanswered(std::string(c.Name) + " has no relation for Ntu = " + FloatToStr(Ntu) +
                          ": Ntu is never negative");
}

std::string At(const char* first, double a, const char* second, double b) {
    return std::string(" at ") + first + " = " + FloatToStr(a) + ", " + second + " = " +
           FloatToStr(b);
}

// Runs a relation or solver, turning the errors it reports into an unanswered row. A reach error
// explains itself; a floating-point fault gets the call it came from.
template <class Call> auto Reported(const std::string& what, Call call) {
    try {
        return call();
    } catch (const EOutOfReach& error) {
        throw TUnanswered(error.Message());
    } catch (const Exception& error) {
        throw TUnanswered(what + ": " + error.Message());
    }
}

double AnswerE(const TFlowConfiguration& c, double Cr, double Ntu) {
    RequireCrInRange(c, Cr);
    RequireNtuNotNegative(c, Ntu);
    const std::string what = std::string(c.Name) + " failed" + At("Cr", Cr, "Ntu", Ntu);
    return Reported(what, [&] { return EffectivenessOf(c, Cr, Ntu); });
}

double AnswerNtu(const TFlowConfiguration& c, double Cr, double e) {
    const std::string what = std::string(c.Name) + " gives no Ntu" + At("Cr", Cr, "e", e);
    Reported(what, [&] { CheckReach(c.Name, c.LimitE, Cr, e); });
    const double Ntu = Reported(what, [&] { return NtuOf(c, Cr, e); });
    // The first configurations' solvers may stop short of the answer (cross flow searches only
    // Ntu up to 25); what they return must give e back within the chart's tolerance.
    const double reached = Reported(what, [&] { return EffectivenessOf(c, Cr, Ntu); });
    if (!(std::fabs(reached - e) <= BisectTolerance))
        throw TUnanswered(what + ": its solver stopped at Ntu = " + FloatToStr(Ntu) +
                          ", which gives e = " + FloatToStr(reached));
    return Ntu;
}

double AnswerCr(const TFlowConfiguration& c, double Ntu, double e) {
    RequireNtuNotNegative(c, Ntu);
    const std::string what = std::string(c.Name) + " gives no Cr" + At("Ntu", Ntu, "e", e);
    const double Cr = Reported(what, [&] { return c.CrSolver(Ntu, e); });
    // The chart's solver answers 1 (or 0) where no Cr in [0, 1] reaches e: say so instead.
    const double reached = Reported(what, [&] { return EffectivenessOf(c, Cr, Ntu); });
    if (std::fabs(reached - e) <= BisectTolerance)
        return Cr;
    const double top = Reported(what, [&] { return EffectivenessOf(c, 0, Ntu); });
    const double bottom = Reported(what, [&] { return EffectivenessOf(c, 1, Ntu); });
    if (e > top)
        throw TUnanswered(what + ": even Cr = 0 gives only e = " + FloatToStr(top));
    if (e < bottom)
        throw TUnanswered(what + ": even Cr = 1 gives e = " + FloatToStr(bottom));
    throw TUnanswered(what + ": its solver stopped at Cr = " + FloatToStr(Cr) +
                      ", which gives e = " + FloatToStr(reached));
}

const TCommand Commands[] = {
    {"e", "CR", "NTU", AnswerE},
    {"ntu", "CR", "E", AnswerNtu},
    {"cr", "NTU", "E", AnswerCr},
};

const TFlowConfiguration& Configuration(const std::string& name) {
    if (const TFlowConfiguration* c = FindFlowConfiguration(name))
        return *c;
    std::string names;
    for (const TFlowConfiguration& c : FlowConfigurations())
        names += std::string(names.empty() ? "" : ", ") + c.Name;
    throw TUsageError("unknown flow configuration '" + name +
                      "'; the configurations are: " + names);
}

std::string Answer(const TCommand& command, const TFlowConfiguration& c, std::string_view first,
                   std::string_view second) {
    const double a = ParseNumber(first, command.First);
    const double b = ParseNumber(second, command.Second);
    return ResultText(command.Answer(c, a, b));
}

// The blank-separated fields of one input line.
std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t pos = 0;
    while (pos < line.size()) {
        if (line[pos] == ' ' || line[pos] == '\t') {
            ++pos;
            continue;
        }
        const size_t end = line.find_first_of(" \t", pos);
        fields.push_back(line.substr(pos, end == std::string_view::npos ? end : end - pos));
        pos = end == std::string_view::npos ? line.size() : end;
    }
    return fields;
}

// "-" mode: one output line per input line; the status of the worst row.
int AnswerRows(const TCommand& command, const TFlowConfiguration& c, std::istream& In,
               std::ostream& Out) {
    int status = rtxAnswered;
    std::string line;
    while (std::getline(In, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        try {
            const std::vector<std::string_view> fields = Fields(line);
            if (fields.size() != 2)
                throw TUsageError("expected two numbers, " + std::string(command.First) + " and " +
                                  command.Second + ", found " + std::to_string(fields.size()) +
                                  " fields");
            Out << Answer(command, c, fields[0], fields[1]) << '\n';
        } catch (const TUnanswered& error) {
            Out << "error: " << error.what() << '\n';
            status = std::max<int>(status, rtxUnanswered);
        } catch (const TUsageError& error) {
            Out << "error: " << error.what() << '\n';
            status = rtxUsage;
        }
        Out.flush(); // a script may wait for each answer before it writes the next row
    }
    return status;
}

int Run(const std::vector<std::string>& Args, std::istream& In, std::ostream& Out) {
    if (Args.empty())
        throw TUsageError("no command given");
    if (Args[0] == "--help" || Args[0] == "-h" || Args[0] == "list") {
        if (Args.size() != 1)
            throw TUsageError(Args[0] + " takes no arguments");
        if (Args[0] == "list") {
            for (const TFlowConfiguration& c : FlowConfigurations())
                Out << c.Name << '\n';
        } else {
            Out << RelationsToolUsage();
        }
        return rtxAnswered;
    }
    for (const TCommand& command : Commands) {
        if (Args[0] != command.Name)
            continue;
        if (Args.size() == 3 && Args[2] == "-")
            return AnswerRows(command, Configuration(Args[1]), In, Out);
        if (Args.size() != 4)
            throw TUsageError(std::string(command.Name) + " needs FLOW " + command.First + " " +
                              command.Second + ", or FLOW -");
        Out << Answer(command, Configuration(Args[1]), Args[2], Args[3]) << '\n';
        return rtxAnswered;
    }
    throw TUsageError("unknown command '" + Args[0] + "'");
}

} // namespace

std::string RelationsToolUsage() {
    std::string text = R"(Usage: calvenor-relations COMMAND ...
The heat-exchanger effectiveness relations of Calvenor.

  calvenor-relations list                 the nine flow configurations, one a line
  calvenor-relations e   FLOW CR NTU      the effectiveness e at Cr and Ntu
  calvenor-relations ntu FLOW CR E        the Ntu that reaches e at Cr
  calvenor-relations cr  FLOW NTU E       the Cr needed to reach e at Ntu (the chart's solver)
  calvenor-relations --help               this text

FLOW is one of the names that "list" writes, in any letter case. A "-" in place of the two
numbers reads pairs from standard input, one pair a line separated by blanks, and writes one
line per input line, in order: the result, or "error: " and the reason.

Numbers are read and written with "." as the decimal point, whatever the locale. Results carry
17 significant digits, so that they read back exactly. Cr = Cmin / Cmax lies in [0, 1], Ntu is
not negative.

Exit status:
  0  every value was given
  1  the relation cannot give a value (e beyond its reach, Cr outside [0, 1], a negative Ntu,
     a fault); the message says why, and in "-" mode the other rows are still answered
  2  an unknown FLOW, an argument that is not a number, or a wrong command line
)";
    return text;
}

int RunRelationsTool(const std::vector<std::string>& Args, std::istream& In, std::ostream& Out,
                     std::ostream& Err) {
    int status;
    try {
        status = Run(Args, In, Out);
    } catch (const TUnanswered& error) {
        Err << Program << ": " << error.what() << '\n';
        status = rtxUnanswered;
    } catch (const TUsageError& error) {
        Err << Program << ": " << error.what() << "\nTry '" << Program << " --help'.\n";
        status = rtxUsage;
    }
    Out.flush();
    if (!Out) {
        Err << Program << ": the results could not be written\n";
        return rtxUnanswered;
    }
    return status;
}
