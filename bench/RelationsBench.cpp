// Cost of the heat-exchanger relations and their solvers. Targets: a closed-form forward call
// <= 60 ns, exact cross flow <= 2 us anywhere in Ntu [0, 10] x Cr [0, 1].
//
//   build/<dir>/bench/RelationsBench
//
// Besides the usual table it prints, from the same run, the worst-case counter-flow Cr solve (101
// midpoints) against 101 independent bare evaluations of the counter-flow step, against the same
// 101 evaluations chained one after the other, and against a plain bisection over the bare step.
// The first ratio includes the cost of the solve being serial; the others isolate fault
// detection, guards, residuals and solver. With
// --benchmark_repetitions the ratios use each benchmark's fastest repetition.

#include "relations/Effectiveness.h"
#include "relations/Inverse.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <iomanip>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace {

constexpr int GridSize = 100;
constexpr int Midpoints = 101;

// (Cr, Ntu) pairs over the chart's range, so the calls do not repeat one input.
const std::array<std::array<double, 2>, 256>& ForwardInputs() {
    static const auto inputs = [] {
        std::array<std::array<double, 2>, 256> pairs{};
        for (size_t i = 0; i < pairs.size(); ++i)
            pairs[i] = {0.25 + 0.75 * double(i % 16) / 15, 0.05 + 10 * double(i / 16) / 16};
        return pairs;
    }();
    return inputs;
}

template <TRelationFunc Relation> void BM_Forward(benchmark::State& state) {
    const auto& inputs = ForwardInputs();
    size_t i = 0;
    for (auto _ : state) {
        const auto& [Cr, Ntu] = inputs[i++ & 255];
        benchmark::DoNotOptimize(Relation(Cr, Ntu));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Forward<CounterFlowE>)->Name("Forward/CounterFlowE");
BENCHMARK(BM_Forward<CrossFlowE>)->Name("Forward/CrossFlowE");
BENCHMARK(BM_Forward<ParallelFlowE>)->Name("Forward/ParallelFlowE");
BENCHMARK(BM_Forward<CrossFlowMixedCminE>)->Name("Forward/CrossFlowMixedCminE");
BENCHMARK(BM_Forward<CrossFlowMixedCmaxE>)->Name("Forward/CrossFlowMixedCmaxE");
BENCHMARK(BM_Forward<ShellTube1E>)->Name("Forward/ShellTube1E");
BENCHMARK(BM_Forward<ShellTube2E>)->Name("Forward/ShellTube2E");
BENCHMARK(BM_Forward<ShellTube3E>)->Name("Forward/ShellTube3E");
BENCHMARK(BM_Forward<CrossFlowExactE>)->Name("Forward/CrossFlowExactE");

// One function at one point, its two arguments given in hundredths.
template <double (*F)(double, double)> void BM_Point(benchmark::State& state) {
    double a = state.range(0) / 100.0;
    double b = state.range(1) / 100.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(b);
        benchmark::DoNotOptimize(F(a, b));
    }
}

// Exact cross flow: its series grows with Cr Ntu, so Cr = 1, Ntu = 10 is the slowest point of
// the chart's range.
BENCHMARK(BM_Point<CrossFlowExactE>)
    ->Name("CrossFlowExactE")
    ->ArgNames({"Cr100", "Ntu100"})
    ->Args({100, 1000})
    ->Args({50, 1000})
    ->Args({100, 500})
    ->Args({100, 100})
    ->Args({50, 10});

// Every solve of a 100 x 100 grid over Ntu 0-5.5 and e 0-1; time per iteration is the grid.
template <TCrSolverFunc Solver> void BM_CrGrid(benchmark::State& state) {
    for (auto _ : state) {
        for (int i = 0; i < GridSize; ++i) {
            const double Ntu = 5.5 * i / (GridSize - 1);
            for (int j = 0; j < GridSize; ++j)
                benchmark::DoNotOptimize(Solver(Ntu, double(j) / (GridSize - 1)));
        }
    }
    state.SetItemsProcessed(state.iterations() * GridSize * GridSize);
}
BENCHMARK(BM_CrGrid<CounterFlowCr>)->Name("CrGrid/CounterFlowCr")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CrGrid<CrossFlowCr>)->Name("CrGrid/CrossFlowCr")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CrGrid<ParallelFlowCr>)->Name("CrGrid/ParallelFlowCr")->Unit(benchmark::kMillisecond);

// e = 0 lies below every curve: the residual keeps one sign and all 101 midpoints run.
template <TCrSolverFunc Solver> void BM_CrWorstCase(benchmark::State& state) {
    double Ntu = 0.5;
    double e = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Ntu);
        benchmark::DoNotOptimize(e);
        benchmark::DoNotOptimize(Solver(Ntu, e));
    }
}
BENCHMARK(BM_CrWorstCase<CounterFlowCr>)->Name("CrWorstCase/CounterFlowCr");
BENCHMARK(BM_CrWorstCase<CrossFlowCr>)->Name("CrWorstCase/CrossFlowCr");
BENCHMARK(BM_CrWorstCase<ParallelFlowCr>)->Name("CrWorstCase/ParallelFlowCr");
BENCHMARK(BM_CrWorstCase<CrossFlowExactCr>)->Name("CrWorstCase/CrossFlowExactCr");
BENCHMARK(BM_CrWorstCase<CrossFlowMixedCminCr>)->Name("CrWorstCase/CrossFlowMixedCminCr");
BENCHMARK(BM_CrWorstCase<ShellTube3Cr>)->Name("CrWorstCase/ShellTube3Cr");

// The Ntu inverses of the newer configurations at e = 0.9 of their limit at Cr = 0.75 (exact
// cross flow: e = 0.9, Ntu about 7.9, a bisection down to adjacent doubles).
template <TNtuSolverFunc Solver, TLimitFunc Limit> void BM_Ntu(benchmark::State& state) {
    double Cr = 0.75;
    double e = 0.9 * Limit(Cr);
    for (auto _ : state) {
        benchmark::DoNotOptimize(Cr);
        benchmark::DoNotOptimize(e);
        benchmark::DoNotOptimize(Solver(Cr, e));
    }
}
BENCHMARK(BM_Ntu<CrossFlowExactNtu, CrossFlowExactLimitE>)->Name("Ntu/CrossFlowExactNtu");
BENCHMARK(BM_Ntu<CrossFlowMixedCminNtu, CrossFlowMixedCminLimitE>)
    ->Name("Ntu/CrossFlowMixedCminNtu");
BENCHMARK(BM_Ntu<ShellTube3Ntu, ShellTube3LimitE>)->Name("Ntu/ShellTube3Ntu");

// (0.5, 0.7) solves in 17 midpoints; (1, 0.95) runs all 101.
BENCHMARK(BM_Point<CrossFlowNtu>)->Name("CrossFlowNtu")->Args({50, 70})->Args({100, 95});

// The counter-flow step without shortcut, guard or fault test, as an out-of-line call like the
// library's.
[[gnu::noinline]] double BareCounterFlowE(double Cr, double Ntu) {
    const double d = std::exp(-Ntu * (1 - Cr));
    if (d == 1)
        return Ntu / (Ntu + 1);
    return (1 - d) / (1 - Cr * d);
}

// 101 independent calls at the Cr values of the worst-case solve's midpoints. Nothing links one
// call to the next, so the processor overlaps them.
void BM_BareCounterFlow101(benchmark::State& state) {
    std::array<double, Midpoints> crs{};
    double A = 0;
    for (double& Cr : crs)
        A = Cr = (A + 1) * 0.5;
    double Ntu = 0.5;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Ntu);
        for (double Cr : crs) {
            benchmark::DoNotOptimize(Cr);
            benchmark::DoNotOptimize(BareCounterFlowE(Cr, Ntu));
        }
    }
}
BENCHMARK(BM_BareCounterFlow101)->Name("BareCounterFlowE/x101");

// The same 101 calls, each waiting for the previous result (0 * previous adds nothing but cannot
// be folded away), as the midpoints of a solve wait for each other.
void BM_BareCounterFlow101Chained(benchmark::State& state) {
    std::array<double, Midpoints> crs{};
    double A = 0;
    for (double& Cr : crs)
        A = Cr = (A + 1) * 0.5;
    double Ntu = 0.5;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Ntu);
        double previous = 0;
        for (double Cr : crs)
            previous = BareCounterFlowE(Cr + 0.0 * previous, Ntu);
        benchmark::DoNotOptimize(previous);
    }
}
BENCHMARK(BM_BareCounterFlow101Chained)->Name("BareCounterFlowE/x101chained");

// The same worst case solved by a plain bisection over the bare step: the serial floor of a solve
// (each midpoint waits for the previous residual's sign), without fault handling.
double BareE = 0;
double BareNtu = 0;
double BareResidual(double x) {
    return BareE - BareCounterFlowE(x, BareNtu);
}

[[gnu::noinline]] double BareBisect(double (*F)(double), double A, double B) {
    double fA = F(A);
    if (std::fabs(fA) <= 1e-5)
        return A;
    double M = A;
    for (int n = 0; n <= 100; ++n) {
        M = (A + B) * 0.5;
        const double fM = F(M);
        if (fA * fM > 0) {
            A = M;
            fA = fM;
        } else {
            B = M;
        }
        if (std::fabs(fM) <= 1e-5)
            break;
    }
    return M;
}

void BM_BareBisect(benchmark::State& state) {
    double Ntu = 0.5;
    double e = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Ntu);
        benchmark::DoNotOptimize(e);
        BareE = e;
        BareNtu = Ntu;
        benchmark::DoNotOptimize(BareBisect(BareResidual, 0, 1));
    }
}
BENCHMARK(BM_BareBisect)->Name("BareBisect/CounterFlowE");

// Prints the usual table and, at the end, the worst-case solve against 101 bare formulas.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const double ns = run.GetAdjustedCPUTime();
            if (run.run_type == Run::RT_Iteration) {
                auto [it, added] = FFastest.try_emplace(run.benchmark_name(), ns);
                it->second = std::min(it->second, ns);
            } else if (run.aggregate_name == "median") {
                FMedian[run.run_name.str()] = ns;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        const char* solve = "CrWorstCase/CounterFlowCr";
        Ratio("Worst-case CounterFlowCr / 101 bare calls", solve, "BareCounterFlowE/x101");
        Ratio("Worst-case CounterFlowCr / 101 chained bare calls", solve,
              "BareCounterFlowE/x101chained");
        Ratio("Worst-case CounterFlowCr / bare bisection", solve, "BareBisect/CounterFlowE");
    }

private:
    // The fastest repetition; the median when only aggregates were reported.
    bool Time(const std::string& name, double& ns, const char*& kind) const {
        if (auto it = FFastest.find(name); it != FFastest.end()) {
            ns = it->second;
            kind = "fastest";
            return true;
        }
        if (auto it = FMedian.find(name); it != FMedian.end()) {
            ns = it->second;
            kind = "median";
            return true;
        }
        return false;
    }

    void Ratio(const char* what, const char* numerator, const char* denominator) {
        double top = 0;
        double bottom = 0;
        const char* kind = "";
        if (!Time(numerator, top, kind) || !Time(denominator, bottom, kind))
            return;
        GetOutputStream() << what << " (CPU time, " << kind << "): " << std::fixed
                          << std::setprecision(0) << top << " ns / " << bottom
                          << " ns = " << std::setprecision(2) << top / bottom << "\n";
    }

    std::map<std::string, double> FFastest;
    std::map<std::string, double> FMedian;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
