// Exact effectiveness of cross flow with both streams unmixed.
//
// With a = Ntu and b = Cr Ntu the series solution is
//
//     e = 1 / b * sum_{n >= 1} P(X >= n) P(Y >= n)
//
// for independent Poisson variables X and Y of means a and b, that is e = E[min(X, Y)] / b. The
// expectation is symmetric in the two streams, so it is evaluated over the smaller mean s and the
// larger l, in one of three ways:
//
// 1. s <= 30, which covers the whole chart (Cr <= 1, Ntu <= 10): the series regrouped as
//        E[min(X, Y)] / s = sum_{k >= 1} g_k S_k,  g_k = exp(-s) s^(k-1) / k!,
//        S_k = sum_{n = 1..k} P(L >= n) = E[min(L, k)],
//    a sum of positive terms with relative rounding error below 1e-15. Truncation bound: since
//    S_k <= k P(L >= 1) and k g_k is the Poisson probability p_{k-1}(s), the terms after the k-th
//    add at most P(L >= 1) P(S >= k) <= P(L >= 1) p_k(s) (k + 1) / (k + 1 - s), which for
//    k + 1 >= 2 s is at most 2 s g_k P(L >= 1). The sum stops once that bound is below 2^-53 of
//    the sum so far. At Ntu = 10 and Cr = 1 (s = 10) this takes 47 terms; the bound then is
//    below 1e-16 of e, far inside the 1e-10 the chart needs. The script that makes the tests'
//    reference values checks the bound against the exact remainders.
// 2. 30 < s <= 1e6: E[min] = s - E[(S - L)^+] with
//        E[(S - L)^+] = sum_k p_k(s) sum_{m < k} P(L <= m),
//    summed over the k and m within 12 standard deviations (plus 12) of the means; the Poisson
//    probabilities beyond are below 1e-27 and are left out. The first probability of each run is
//    evaluated at the mode with Stirling's series and the deviance (accurate to a few ulps) and
//    carried to the run's start by the recurrence, so no start value suffers cancellation.
// 3. s > 1e6: E[(S - L)^+] from its Edgeworth expansion (skewness, kurtosis and the lattice
//    correction); the neglected terms are O(s^-2.5) in e: 2e-15 at s = 1e5, at rounding level
//    from 1e6 on.
//
// Beside the chart, the Ntu inverse needs large Ntu: e approaches 1 only as 1 - 1 / sqrt(pi Ntu)
// at Cr = 1.

#include "relations/Effectiveness.h"

#include "platform/FloatFault.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <limits>
#include <numbers>

namespace {

constexpr double SeriesLimit = 30;  // largest s summed as the series
constexpr double WindowLimit = 1e6; // largest s summed over the probability windows
constexpr double WindowWidth = 12;  // standard deviations each side of a mean
constexpr double Precision = DBL_EPSILON / 2;

// 1 / k for the series: multiplying by it keeps divisions out of the loop. At s <= 30 the series
// stops before k = 100.
constexpr int Reciprocals = 128;
const std::array<double, Reciprocals>& ReciprocalTable() {
    static const std::array<double, Reciprocals> table = [] {
        std::array<double, Reciprocals> values{};
        for (int k = 1; k < Reciprocals; ++k)
            values[k] = 1.0 / k;
        return values;
    }();
    return table;
}

// 1. E[min(S, L)] / s as the regrouped series.
double SeriesOverSmallerMean(double s, double l) {
    const std::array<double, Reciprocals>& over = ReciprocalTable();
    const double tailL1 = -std::expm1(-l); // P(L >= 1)
    double tailL = tailL1;                 // P(L >= k)
    double pmfL = std::exp(-l);            // P(L = k - 1)
    double partial = 0;                    // S_k
    double g = std::exp(-s);               // g_k
    double sum = 0;
    for (int k = 1;; ++k) {
        partial += tailL;
        sum += g * partial;
        if (k + 1 >= 2 * s && 2 * s * g * tailL1 <= Precision * sum)
            return sum;
        if (k + 1 >= Reciprocals) { // not reached for s <= 30; divide if it ever were
            pmfL *= l / k;
            g *= s / (k + 1);
        } else {
            pmfL *= l * over[k];
            g *= s * over[k + 1];
        }
        tailL = std::max(tailL - pmfL, 0.0);
    }
}

// ln(n!) - (n + 1/2) ln n + n - ln sqrt(2 pi), Stirling's series for n >= 16.
double StirlingError(double n) {
    const double nn = n * n;
    return (1.0 / 12 -
            (1.0 / 360 - (1.0 / 1260 - (1.0 / 1680 - 1.0 / (1188 * nn)) / nn) / nn) / nn) /
           n;
}

// x ln(x / mean) + mean - x for |x - mean| < 1 <= mean / 10, by its series in
// v = (x - mean) / (x + mean).
double Deviance(double x, double mean) {
    const double v = (x - mean) / (x + mean);
    const double vv = v * v;
    double sum = (x - mean) * v;
    double term = 2 * x * v;
    for (int j = 1; j < 50; ++j) {
        term *= vv;
        const double next = sum + term / (2 * j + 1);
        if (next == sum)
            break;
        sum = next;
    }
    return sum;
}

// P(X = k) for a Poisson variable of mean >= 30: evaluated at the mode and carried to k.
double PoissonAt(double k, double mean) {
    double m = std::floor(mean);
    double p =
        std::exp(-StirlingError(m) - Deviance(m, mean)) / std::sqrt(2 * std::numbers::pi * m);
    for (; m > k; --m)
        p *= m / mean;
    for (; m < k; ++m)
        p *= mean / (m + 1);
    return p;
}

// 2. E[(S - L)^+] over the windows where both probabilities matter.
double DeficitOverWindows(double s, double l) {
    const double kLow = std::max(0.0, std::floor(s - WindowWidth * std::sqrt(s) - WindowWidth));
    const double kHigh = std::ceil(s + WindowWidth * std::sqrt(s) + WindowWidth);
    const double mLow = std::max(0.0, std::floor(l - WindowWidth * std::sqrt(l) - WindowWidth));
    if (mLow >= kHigh)
        return 0; // S - L is positive only where one of the two is beyond its window
    const double kStart = std::max(kLow, mLow + 1);
    double pmfL = PoissonAt(mLow, l);
    double cdfL = 0;       // P(L <= m)
    double cumulative = 0; // sum_{j <= m} P(L <= j)
    for (double m = mLow; m < kStart; ++m) {
        cdfL += pmfL;
        cumulative += cdfL;
        pmfL *= l / (m + 1);
    }
    double pmfS = PoissonAt(kStart, s);
    double deficit = 0;
    for (double k = kStart; k <= kHigh; ++k) {
        deficit += pmfS * cumulative;
        cdfL += pmfL;
        cumulative += cdfL;
        pmfS *= s / (k + 1);
        pmfL *= l / (k + 1);
    }
    return deficit;
}

// 3. E[(S - L)^+] by the Edgeworth expansion of S - L + U, U uniform on (-1/2, 1/2), whose
// expectation of the positive part exceeds E[(S - L)^+] by P(S = L) / 8.
double DeficitByExpansion(double s, double l) {
    const double variance = s + l + 1.0 / 12;
    const double sigma = std::sqrt(variance);
    const double c = (l - s) / sigma;
    if (c > 40)
        return 0;
    const double phi = std::exp(-c * c / 2) / std::sqrt(2 * std::numbers::pi);
    const double upper = std::erfc(c / std::numbers::sqrt2) / 2;
    const double k3 = s - l;
    const double k4 = s + l - 1.0 / 120;
    const double he4 = (c * c - 6) * c * c + 3;
    return sigma * (phi - c * upper) + k3 * c * phi / (6 * variance) +
           k4 * (c * c - 1) * phi / (24 * variance * sigma) +
           k3 * k3 * he4 * phi / (72 * variance * variance * sigma) - phi / (8 * sigma);
}

// E[min(X, Y)] / b for finite a, b >= 0 (and not both 0).
double ExpectedMinimumOverB(double a, double b) {
    const double s = std::min(a, b);
    const double l = std::max(a, b);
    const double toB = a < b ? a / b : 1; // s / b
    if (s <= SeriesLimit)
        return toB * SeriesOverSmallerMean(s, l);
    const double deficit = s <= WindowLimit ? DeficitOverWindows(s, l) : DeficitByExpansion(s, l);
    return (s - deficit) / b;
}

const auto CrossFlowExactFormula = [](auto& t, double Cr, double Ntu) {
    const double b = t(Cr * Ntu);
    // The series needs two finite, non-negative means; anything else is an invalid operation.
    if (!(Ntu >= 0 && b >= 0 && Ntu <= DBL_MAX && b <= DBL_MAX))
        return t(std::numeric_limits<double>::quiet_NaN());
    return t(ExpectedMinimumOverB(Ntu, b));
};

} // namespace

double CrossFlowExactE(double Cr, double Ntu) {
    if (Ntu == 0)
        return 0;
    if (Cr == 0)
        return ZeroCrE(Ntu);
    return Guarded([Ntu] { return FallbackE(Ntu); }, CrossFlowExactFormula, Cr, Ntu);
}

double CrossFlowExactLimitE(double) {
    return 1;
}
