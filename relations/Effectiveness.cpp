#include "relations/Effectiveness.h"

#include "platform/FloatFault.h"

#include <cmath>

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
