#include "relations/FlowConfigurations.h"

#include "platform/AsciiText.h"

#include <array>
#include <cmath>

namespace {

double UnitLimit(double) {
    return 1;
}

double ParallelFlowLimitE(double Cr) {
    return 1 / (1 + Cr);
}

// Counter flow close to balance. The chart's relation subtracts nearly equal numbers as Cr
// approaches 1 (at 1 - Cr = 1e-16 it gives 0.5 where the value is 0.5349), and its inverse divides
// 0 by 0 at Cr = 1. Within this distance of 1, EffectivenessOf and NtuOf use the same relation
// written with expm1 and log1p, which keep every digit, and the inverse's limit e / (1 - e) at
// Cr = 1.
constexpr double kNearBalance = 1e-3;

bool NearBalance(double gap) {
    return gap > 0 && gap < kNearBalance;
}

double CounterFlowNearBalanceE(double Cr, double Ntu) {
    const double gap = 1 - Cr;
    if (!NearBalance(gap) || !(Ntu > 0) || !std::isfinite(Ntu))
        return CounterFlowE(Cr, Ntu);
    const double m = std::expm1(-Ntu * gap); // exp(-Ntu (1 - Cr)) - 1, in (-1, 0]
    return -m / (gap - Cr * m);
}

double CounterFlowNearBalanceNtu(double Cr, double e) {
    const double gap = 1 - Cr;
    if (!(gap == 0 || NearBalance(gap)) || !(e > 0 && e < 1))
        return CounterFlowNtu(Cr, e);
    if (gap == 0)
        return e / (1 - e);
    return std::log1p(e * gap / (1 - e)) / gap;
}

const std::array<TFlowConfiguration, 9> Configurations{{
    {"CounterFlow", CounterFlowE, CounterFlowCr, CounterFlowNtu, UnitLimit},
    {"CrossFlow", CrossFlowE, CrossFlowCr, CrossFlowNtu, UnitLimit},
    {"ParallelFlow", ParallelFlowE, ParallelFlowCr, ParallelFlowNtu, ParallelFlowLimitE},
    {"CrossFlowExact", CrossFlowExactE, CrossFlowExactCr, CrossFlowExactNtu, CrossFlowExactLimitE},
    {"CrossFlowMixedCmin", CrossFlowMixedCminE, CrossFlowMixedCminCr, CrossFlowMixedCminNtu,
     CrossFlowMixedCminLimitE},
    {"CrossFlowMixedCmax", CrossFlowMixedCmaxE, CrossFlowMixedCmaxCr, CrossFlowMixedCmaxNtu,
     CrossFlowMixedCmaxLimitE},
    {"ShellTube1", ShellTube1E, ShellTube1Cr, ShellTube1Ntu, ShellTube1LimitE},
    {"ShellTube2", ShellTube2E, ShellTube2Cr, ShellTube2Ntu, ShellTube2LimitE},
    {"ShellTube3", ShellTube3E, ShellTube3Cr, ShellTube3Ntu, ShellTube3LimitE},
}};

} // namespace

std::span<const TFlowConfiguration> FlowConfigurations() {
    return Configurations;
}

const TFlowConfiguration* FindFlowConfiguration(std::string_view Name) {
    for (const TFlowConfiguration& c : Configurations)
        if (AsciiText::EqualNoCase(c.Name, Name))
            return &c;
    return nullptr;
}

double EffectivenessOf(const TFlowConfiguration& Flow, double Cr, double Ntu) {
    if (Flow.Relation == &CounterFlowE)
        return CounterFlowNearBalanceE(Cr, Ntu);
    return Flow.Relation(Cr, Ntu);
}

double NtuOf(const TFlowConfiguration& Flow, double Cr, double e) {
    if (Flow.NtuSolver == &CounterFlowNtu)
        return CounterFlowNearBalanceNtu(Cr, e);
    return Flow.NtuSolver(Cr, e);
}
