#pragma once
// The effectiveness relations solved backwards: the capacity-rate ratio Cr that lets a given Ntu
// reach a given effectiveness e, and the Ntu that reaches a given e at a given Cr. Counter and
// parallel flow have closed forms for Ntu; every other inversion bisects.
//
// The solver takes a plain function of one real, so the fixed inputs of the equation travel in
// the process-wide scratch values below. That makes every solve non-re-entrant: no solve may start
// inside another's residual, and solves must not run on several threads at once.
//
// Faults reach the caller as EInvalidOp, EZeroDivide or EOverflow, except in CrossFlowNtu, which
// catches the faults of its solve and answers FallbackNtu(e).

#include "platform/Exceptions.h"
#include "relations/Effectiveness.h"

// A residual: trial value in, residual out.
using TBisectFunc = double (*)(double x);
// Ntu first, e second; Cr out.
using TCrSolverFunc = double (*)(double Ntu, double e);
// Cr first, e second; Ntu out.
using TNtuSolverFunc = double (*)(double Cr, double e);

// The target effectiveness of the current solve.
extern double ScratchE;
// The Ntu held fixed while a Cr solver searches Cr.
extern double ScratchNtu;
// The Cr held fixed while CrossFlowNtu searches Ntu; each Cr solver also leaves its raw
// (unclamped) result here.
extern double ScratchCr;

// The residual tolerance of Bisect, and so of every Cr solver and of CrossFlowNtu.
constexpr double BisectTolerance = 1e-5;

// Bisects F between A and B. A is the end whose residual is tracked (it need not be below B):
// returns A at once when |F(A)| <= 1e-5, otherwise halves until a midpoint's residual is within
// 1e-5, at most 101 times, and returns the last midpoint whether or not it met the tolerance. When
// F keeps one sign over the interval the result closes in on B. A NaN residual counts as a sign
// change. A null F raises Exception.
double Bisect(TBisectFunc F, double A, double B);

// Residuals over the scratch values: ScratchE - Forward(x, ScratchNtu) for the Cr solvers and
// ScratchE - CrossFlowE(ScratchCr, x) for CrossFlowNtu.
double CounterFlowCrResidual(double x);
double CrossFlowCrResidual(double x);
double ParallelFlowCrResidual(double x);
double CrossFlowNtuResidual(double x);
// The Cr residual of any forward relation, ScratchE - Relation(x, ScratchNtu).
template <TRelationFunc Relation> double CrResidual(double x);

// Cr in [0, 1]: 0 unless Ntu > 0; 1 when the point lies above the Cr = 0 curve or below the
// Cr = 1 curve.
double CounterFlowCr(double Ntu, double e);
double CrossFlowCr(double Ntu, double e);
double ParallelFlowCr(double Ntu, double e);
double CrossFlowExactCr(double Ntu, double e);
double CrossFlowMixedCminCr(double Ntu, double e);
double CrossFlowMixedCmaxCr(double Ntu, double e);
double ShellTube1Cr(double Ntu, double e);
double ShellTube2Cr(double Ntu, double e);
double ShellTube3Cr(double Ntu, double e);

// 10 for e >= 1, -ln(1 - e) for Cr = 0, otherwise the configuration's inverse.
double CounterFlowNtu(double Cr, double e);
double CrossFlowNtu(double Cr, double e);
double ParallelFlowNtu(double Cr, double e);

// 0.5 * e / (1 - e): the inverse of FallbackE.
double FallbackNtu(double e);

// A value a relation cannot give: an effectiveness beyond what the configuration reaches, or a Cr
// outside [0, 1]. The message names the configuration and says why.
class EOutOfReach : public Exception {
public:
    using Exception::Exception;
};

// Raises EOutOfReach unless 0 <= Cr <= 1 and 0 <= e < Limit(Cr), the effectiveness the
// configuration Name approaches as Ntu grows; EInvalidOp when Cr or e is NaN.
void CheckReach(const char* Name, TLimitFunc Limit, double Cr, double e);

// The Ntu that reaches e at Cr for the newer configurations, no state kept: after CheckReach,
// 0 for e = 0 and -ln(1 - e) for Cr = 0; otherwise the closed-form inverse (the multi-pass shell
// and tube ones through the one-pass relation), and for exact cross flow a bisection on Ntu down
// to adjacent doubles. Relative error below 1e-9 wherever the forward relation is well
// conditioned (Ntu up to 10 and more).
double CrossFlowExactNtu(double Cr, double e);
double CrossFlowMixedCminNtu(double Cr, double e);
double CrossFlowMixedCmaxNtu(double Cr, double e);
double ShellTube1Ntu(double Cr, double e);
double ShellTube2Ntu(double Cr, double e);
double ShellTube3Ntu(double Cr, double e);
