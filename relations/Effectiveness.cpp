#include "relations/Effectiveness.h"

#include "platform/FloatFault.h"

#include <cmath>
#include <numbers>

namespace {

// Each formula passes every intermediate through its trace t (see platform/FloatFault.h).

const auto ZeroCrFormula = [](auto& t, double Ntu) { return t(1 - t(std::exp(t(-Ntu)))); };

const auto FallbackFormula = [](auto& t, double Ntu) { return t(Ntu / t(Ntu + 0.5)); };

const auto CounterFlowFormula = [](auto& t, double Cr, double Ntu) {
    const double d = t(std::exp(t(-Ntu * t(1 - Cr))));
    // d is exactly 1 at Cr = 1, at Ntu = 0 and wherever Ntu * (1 - Cr) is too small to move the
    // exponential; the general form would then divide 0 by 0.
    if (d == 1)
        return t(Ntu / t(Ntu + 1));
    return t(t(1 - d) / t(1 - t(Cr * d)));
};

const auto ParallelFlowFormula = [](auto& t, double Cr, double Ntu) {
    const double sum = t(1 + Cr);
    return t(t(1 - t(std::exp(t(-Ntu * sum)))) / sum);
};

const auto CrossFlowFormula = [](auto& t, double Cr, double Ntu) {
    // Ntu^(-0.22) as exp(-0.22 ln Ntu): a negative Ntu faults here.
    const double m = t(Cr * t(std::exp(t(-0.22 * t(std::log(Ntu))))));
    const double inner = t(t(t(std::exp(t(-Ntu * m))) - 1) / m);
    return t(1 - t(std::exp(inner)));
};

} // namespace

double ZeroCrE(double Ntu) {
    return Unguarded(ZeroCrFormula, Ntu);
}

double FallbackE(double Ntu) {
    return Unguarded(FallbackFormula, Ntu);
}

double CounterFlowE(double Cr, double Ntu) {
    if (Cr == 0)
        return ZeroCrE(Ntu);
    return Guarded([Ntu] { return FallbackE(Ntu); }, CounterFlowFormula, Cr, Ntu);
}

double CrossFlowE(double Cr, double Ntu) {
    if (Ntu == 0)
        return 0;
    if (Cr == 0)
        return ZeroCrE(Ntu);
    return Guarded([Ntu] { return FallbackE(Ntu); }, CrossFlowFormula, Cr, Ntu);
}

double ParallelFlowE(double Cr, double Ntu) {
    return Guarded([Ntu] { return FallbackE(Ntu); }, ParallelFlowFormula, Cr, Ntu);
}

namespace {

// (1 - exp(-x)) / x, with its limit 1 at x = 0: lets the mixed cross flows divide by Cr without
// losing the digits of a tiny or subnormal Cr.
template <class Trace> double ExpRatio(Trace& t, double x) {
    if (x == 0)
        return 1;
    return t(t(-std::expm1(-x)) / x);
}

// 1 - exp(-(1 - exp(-Cr Ntu)) / Cr); for Cr Ntu <= 1 the exponent is written as
// Ntu (1 - exp(-x)) / x, x = Cr Ntu, so that a tiny Cr is never divided by, and beyond it as is,
// so that an infinite Ntu gives the limit.
const auto CrossFlowMixedCminFormula = [](auto& t, double Cr, double Ntu) {
    const double x = t(Cr * Ntu);
    const double exponent = x > 1 ? t(t(-std::expm1(-x)) / Cr) : t(Ntu * ExpRatio(t, x));
    return t(-std::expm1(-exponent));
};

// P (1 - exp(-Cr P)) / (Cr P), P = 1 - exp(-Ntu).
const auto CrossFlowMixedCmaxFormula = [](auto& t, double Cr, double Ntu) {
    const double P = t(-std::expm1(-Ntu));
    return t(P * ExpRatio(t, t(Cr * P)));
};

// One shell pass: its effectiveness and 1 minus it, each without cancellation.
struct TShellPass {
    double e;
    double complement;
};

// exp(-x) and 1 - exp(-x) for x >= 0, each exact to a few ulps, from one exponential: the one of
// the two that is at most 1/2 is evaluated and the other follows without cancellation.
struct TExpPair {
    double value;
    double complement;
};
template <class Trace> TExpPair ExpPair(Trace& t, double x) {
    if (x > std::numbers::ln2) {
        const double value = t(std::exp(-x));
        return {value, t(1 - value)};
    }
    const double complement = t(-std::expm1(-x));
    return {t(1 - complement), complement};
}

// e1 = 2 th / ((1 + Cr) th + S) with th = tanh(Ntu S / 2), the same as
// 2 / (1 + Cr + S coth(Ntu S / 2)) but without 0 / 0 at Ntu = 0 and exact for small Ntu.
// 1 - e1 = (S - th + Cr th) / den with S - 1 = Cr^2 / (S + 1) and 1 - th = 2 E / (1 + E),
// E = exp(-Ntu S): the combination of several passes divides by it when e1 is close to 1.
template <class Trace> TShellPass OnePass(Trace& t, double Cr, double Ntu) {
    const double S = t(std::sqrt(t(1 + t(Cr * Cr))));
    const TExpPair E = ExpPair(t, t(Ntu * S));
    const double overOnePlusE = t(1 / t(1 + E.value));
    const double th = t(E.complement * overOnePlusE);
    const double overDen = t(1 / t(t(t(1 + Cr) * th) + S));
    const double sMinusOne = t(t(Cr * Cr) / t(S + 1));
    const double oneMinusTh = t(t(2 * E.value) * overOnePlusE);
    const double complement = t(t(t(sMinusOne + oneMinusTh) + t(Cr * th)) * overDen);
    return {t(t(2 * th) * overDen), complement};
}

// n passes of effectiveness e1 in series, counter-current between the passes:
// (R^n - 1) / (R^n - Cr) with R = (1 - Cr e1) / (1 - e1). With D = 1 - Cr e1, w = 1 / R =
// (1 - e1) / D and 1 - w = e1 (1 - Cr) / D, the factor 1 - Cr cancels and the quotient becomes
//     g s / (g s + w^n),  g = e1 / D,  s = 1 + w + ... + w^(n-1),
// sums and products of positive numbers only: no 0 / 0 at Cr = 1, where it is the limit
// n e1 / (1 + (n - 1) e1), no cancellation as Cr approaches 1, no overflow for large R, and no
// transcendental function.
template <class Trace> double ShellPasses(Trace& t, int n, double Cr, TShellPass one) {
    const double overD = t(1 / t(1 - t(Cr * one.e)));
    const double g = t(one.e * overD);
    const double w = t(one.complement * overD);
    double s = 1;
    double power = w;
    for (int k = 1; k < n; ++k) {
        s = t(s + power);
        power = t(power * w);
    }
    const double gs = t(g * s);
    return t(gs / t(gs + power));
}

const auto ShellTubeFormula = [](auto& t, int n, double Cr, double Ntu) {
    const TShellPass one = OnePass(t, Cr, t(Ntu / n));
    return n == 1 ? one.e : ShellPasses(t, n, Cr, one);
};

const auto ShellTubeLimitFormula = [](auto& t, int n, double Cr) {
    // th = 1 in OnePass.
    const double S = t(std::sqrt(t(1 + t(Cr * Cr))));
    const double den = t(t(1 + Cr) + S);
    const TShellPass one{t(2 / den), t(t(t(t(Cr * Cr) / t(S + 1)) + Cr) / den)};
    return n == 1 ? one.e : ShellPasses(t, n, Cr, one);
};

const auto CrossFlowMixedCminLimitFormula = [](auto& t, double Cr) {
    return t(-std::expm1(t(-1 / Cr)));
};

// Below it, exp(-1 / Cr) < exp(-100) lies far below the last bit of 1.
constexpr double SmallestCrBelowOne = 0.01;

const auto CrossFlowMixedCmaxLimitFormula = [](auto& t, double Cr) { return ExpRatio(t, Cr); };

// The shortcuts the newer configurations share, then the guarded formula.
template <class Formula, class... Args>
double ShortcutsThenGuarded(double Cr, double Ntu, Formula formula, Args... args) {
    if (Ntu == 0)
        return 0;
    if (Cr == 0)
        return ZeroCrE(Ntu);
    return Guarded([Ntu] { return FallbackE(Ntu); }, formula, args...);
}

double ShellTubeE(int n, double Cr, double Ntu) {
    return ShortcutsThenGuarded(Cr, Ntu, ShellTubeFormula, n, Cr, Ntu);
}

double ShellTubeLimitE(int n, double Cr) {
    if (Cr == 0)
        return 1;
    return Unguarded(ShellTubeLimitFormula, n, Cr);
}

} // namespace

double CrossFlowMixedCminE(double Cr, double Ntu) {
    return ShortcutsThenGuarded(Cr, Ntu, CrossFlowMixedCminFormula, Cr, Ntu);
}

double CrossFlowMixedCmaxE(double Cr, double Ntu) {
    return ShortcutsThenGuarded(Cr, Ntu, CrossFlowMixedCmaxFormula, Cr, Ntu);
}

double ShellTube1E(double Cr, double Ntu) {
    return ShellTubeE(1, Cr, Ntu);
}

double ShellTube2E(double Cr, double Ntu) {
    return ShellTubeE(2, Cr, Ntu);
}

double ShellTube3E(double Cr, double Ntu) {
    return ShellTubeE(3, Cr, Ntu);
}

double CrossFlowMixedCminLimitE(double Cr) {
    if (Cr >= 0 && Cr < SmallestCrBelowOne)
        return 1;
    return Unguarded(CrossFlowMixedCminLimitFormula, Cr);
}

double CrossFlowMixedCmaxLimitE(double Cr) {
    return Unguarded(CrossFlowMixedCmaxLimitFormula, Cr);
}

double ShellTube1LimitE(double Cr) {
    return ShellTubeLimitE(1, Cr);
}

double ShellTube2LimitE(double Cr) {
    return ShellTubeLimitE(2, Cr);
}

double ShellTube3LimitE(double Cr) {
    return ShellTubeLimitE(3, Cr);
}
