#include "relations/FlowConfigurations.h"

#include <array>

namespace {

double UnitLimit(double) {
    return 1;
}

double ParallelFlowLimitE(double Cr) {
    return 1 / (1 + Cr);
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

// ASCII letters only, whatever the C locale says.
char LowerCase(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerCase(a[i]) != LowerCase(b[i]))
            return false;
    return true;
}

} // namespace

std::span<const TFlowConfiguration> FlowConfigurations() {
    return Configurations;
}

const TFlowConfiguration* FindFlowConfiguration(std::string_view Name) {
    for (const TFlowConfiguration& c : Configurations)
        if (SameIgnoringCase(c.Name, Name))
            return &c;
    return nullptr;
}
