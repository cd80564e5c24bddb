#pragma once
// The flow configurations of the chart, in the order its list shows them, with the relations and
// solvers of each. The first three keep the behaviour they always had (their Ntu solvers answer 10
// for e >= 1 and report faults); the newer six check the reach of e (EOutOfReach).

#include "relations/Effectiveness.h"
#include "relations/Inverse.h"

#include <span>
#include <string_view>

struct TFlowConfiguration {
    const char* Name;         // the list text, e.g. "CounterFlow"
    TRelationFunc Relation;   // e from Cr and Ntu
    TCrSolverFunc CrSolver;   // the Cr that reaches e at Ntu (the chart's bisection)
    TNtuSolverFunc NtuSolver; // the Ntu that reaches e at Cr
    TLimitFunc LimitE;        // the e approached as Ntu grows, Cr in [0, 1]
};

// All nine, in list order.
std::span<const TFlowConfiguration> FlowConfigurations();

// The configuration of that name, letter case ignored; nullptr for none.
const TFlowConfiguration* FindFlowConfiguration(std::string_view Name);

// e and the Ntu inverse of a configuration to full precision, for callers that want the numbers
// rather than the chart's behaviour (the command-line tool): the configuration's own functions,
// except counter flow within 1e-3 of Cr = 1, where its relation loses digits and its inverse has
// no value at Cr = 1; there the same relation in a form that keeps them, and the limit
// e / (1 - e) at Cr = 1.
double EffectivenessOf(const TFlowConfiguration& Flow, double Cr, double Ntu);
double NtuOf(const TFlowConfiguration& Flow, double Cr, double e);
