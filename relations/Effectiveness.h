#pragma once
// Effectiveness e of a two-stream heat exchanger from its capacity-rate ratio Cr (Cmin / Cmax)
// and its number of transfer units Ntu, for counter, cross and parallel flow.
//
// Every function takes any double, NaN and infinities included. The configuration functions try
// exact shortcuts first (exact comparisons), then evaluate their correlation under a guard: when
// it faults (invalid operation, division by zero, overflow; see platform/FloatFault.h) the result
// is FallbackE(Ntu). Shortcuts and fallback run unguarded and report their own faults as
// EInvalidOp, EZeroDivide or EOverflow. Results are not clamped to [0, 1]. The functions keep no
// state.

// The signature the three configurations share: Cr first, Ntu second.
using TRelationFunc = double (*)(double Cr, double Ntu);

// 1 - exp(-Ntu): the exact relation for Cr = 0, the same for every configuration.
double ZeroCrE(double Ntu);
// Ntu / (Ntu + 0.5): what a configuration gives when its correlation faults.
double FallbackE(double Ntu);

double CounterFlowE(double Cr, double Ntu);
// Both streams unmixed.
double CrossFlowE(double Cr, double Ntu);
double ParallelFlowE(double Cr, double Ntu);
