// The root finder and the correlations on the "vh" and "sh" coefficient lists. The arithmetic is
// carried out in extended precision; results are rounded to double where the correlations say.

#include <cmath>
#include <limits>
#include <utility>

#include "refrig/Refrig.h"

namespace {

// Rounds an extended value to double. A value beyond the double range becomes an infinity of its
// sign, as IEEE rounding gives, without relying on an out-of-range conversion.
double RoundToDouble(long double value) {
    // The smallest magnitude that rounds to infinity: DBL_MAX plus half of its last unit.
    static const long double overflow = std::ldexp(2.0L - std::ldexp(1.0L, -53), 1023);
    if (std::fabs(value) >= overflow) {
        const double infinity = std::numeric_limits<double>::infinity();
        return std::signbit(value) ? -infinity : infinity;
    }
    return static_cast<double>(value);
}

} // namespace

TRoot::TRoot(TFunction function, TFunction derivative) {
    SetFunctions(std::move(function), std::move(derivative));
    SetLimits(50, 1e-6L);
    SetParam(0.1L);
}

void TRoot::SetFunctions(TFunction function, TFunction derivative) {
    Func = std::move(function);
    if (derivative) {
        Deriv = std::move(derivative);
    } else {
        Deriv = [this](long double x) { return CentralDerivative(x); };
    }
}

void TRoot::SetLimits(int32_t iterations, long double tolerance) {
    MaxIterations = iterations;
    Tolerance = tolerance;
}

void TRoot::SetParam(long double value) {
    Param = value;
}

long double TRoot::CentralDerivative(long double x) const {
    const long double a = Func(x + 1e-6L);
    const long double b = Func(x - 1e-6L);
    return (a - b) / 2e-6L;
}

double TRefrigLib::VhCubic(double t) const {
    const auto& vh = FData.vh;
    const long double x = t;
    return RoundToDouble(((vh[3] * x + vh[2]) * x + vh[1]) * x + vh[0]);
}

double TRefrigLib::Poly6(const std::array<double, 6>& c, double X, double Y) {
    const long double x = X;
    const long double y = Y;
    const long double inner = (c[3] * x + c[2]) + c[4] * y + c[5] * x * y;
    return RoundToDouble(x * ((c[1] * x + c[0]) + y * inner));
}

double TRefrigLib::VhShValue(double t1, double t2) {
    const double d = RoundToDouble(static_cast<long double>(t2) - t1);
    // Written as "not >=" so that a NaN difference is flagged too.
    if (!(d + 1e-9L >= 0)) {
        FStatus = stReversedTemps;
    }
    const double q = RoundToDouble(static_cast<long double>(Poly6(FData.sh, d, t1)) + 1);
    return RoundToDouble(static_cast<long double>(VhCubic(t1)) * q + FData.vh[4]);
}

long double TRefrigLib::VhShResidual(long double x) {
    return FResidualTarget - VhShValue(RoundToDouble(FResidualBase), RoundToDouble(x));
}
