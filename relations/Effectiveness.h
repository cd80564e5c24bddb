#pragma once
// Effectiveness e of a two-stream heat exchanger from its capacity-rate ratio Cr (Cmin / Cmax)
// and its number of transfer units Ntu, for the nine flow configurations of the chart.
//
// Every function takes any double, NaN and infinities included. The configuration functions try
// exact shortcuts first (exact comparisons), then evaluate their correlation under a guard: when
// it faults (invalid operation, division by zero, overflow; see platform/FloatFault.h) the result
// is FallbackE(Ntu). Shortcuts and fallback run unguarded and report their own faults as
// EInvalidOp, EZeroDivide or EOverflow. Results are not clamped to [0, 1]. The functions keep no
// state.

// The signature the configurations share: Cr first, Ntu second.
using TRelationFunc = double (*)(double Cr, double Ntu);
// The effectiveness a configuration approaches as Ntu grows without bound, for Cr in [0, 1].
using TLimitFunc = double (*)(double Cr);

// 1 - exp(-Ntu): the exact relation for Cr = 0, the same for every configuration.
double ZeroCrE(double Ntu);
// Ntu / (Ntu + 0.5): what a configuration gives when its correlation faults.
double FallbackE(double Ntu);

double CounterFlowE(double Cr, double Ntu);
// Both streams unmixed, the closed-form approximation.
double CrossFlowE(double Cr, double Ntu);
double ParallelFlowE(double Cr, double Ntu);

// The configurations below share their shortcuts: Ntu = 0 gives 0 (for every Cr, tested first),
// then Cr = 0 gives ZeroCrE(Ntu).

// Both streams unmixed, the exact series solution, for any Ntu. Absolute error below 1e-15
// (against 50-digit values); CrossFlowExact.cpp shows the truncation bound. A negative Ntu or Cr
// faults.
double CrossFlowExactE(double Cr, double Ntu);
// Cross flow with the stream of the smaller capacity rate mixed, the other unmixed:
// 1 - exp(-(1 - exp(-Cr Ntu)) / Cr).
double CrossFlowMixedCminE(double Cr, double Ntu);
// Cross flow with the stream of the larger capacity rate mixed, the other unmixed:
// (1 - exp(-Cr (1 - exp(-Ntu)))) / Cr.
double CrossFlowMixedCmaxE(double Cr, double Ntu);
// Shell and tube with one shell pass and 2, 4, ... tube passes:
// 2 / (1 + Cr + S coth(Ntu S / 2)), S = sqrt(1 + Cr^2).
double ShellTube1E(double Cr, double Ntu);
// Two and three shell passes, each with 2, 4, ... tube passes, from the one-pass relation e1 at
// Ntu / n: (R^n - 1) / (R^n - Cr), R = (1 - Cr e1) / (1 - e1); at Cr = 1, where that is 0 / 0,
// its limit n e1 / (1 + (n - 1) e1). Evaluated in a form without the 0 / 0 (Effectiveness.cpp).
double ShellTube2E(double Cr, double Ntu);
double ShellTube3E(double Cr, double Ntu);

// The limits as Ntu grows without bound, Cr in [0, 1]: 1 for both unmixed cross flows,
// 1 - exp(-1 / Cr) and (1 - exp(-Cr)) / Cr for the mixed ones, 2 / (1 + Cr + S) for one shell
// pass and its n-pass combination for several.
double CrossFlowExactLimitE(double Cr);
double CrossFlowMixedCminLimitE(double Cr);
double CrossFlowMixedCmaxLimitE(double Cr);
double ShellTube1LimitE(double Cr);
double ShellTube2LimitE(double Cr);
double ShellTube3LimitE(double Cr);
