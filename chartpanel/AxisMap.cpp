#include "chartpanel/AxisMap.h"

#include <cstdint>

void TAxisMap::Fit(int32_t origin, int32_t length) {
    Origin = origin;
    long double span = static_cast<long double>(ScaledMax) - ScaledMin;
    if (ScaledMax == ScaledMin)
        span = 1.0L;
    Factor = length / span;
}

double TAxisMap::FromScale(double scaled) const {
    return Log ? std::pow(10.0, scaled) : scaled;
}

double TAxisMap::FromPixel(int32_t pixel) const {
    if (Factor == 0)
        return 0;
    const int64_t distance = (static_cast<int64_t>(pixel) - Origin) * Direction;
    const double scaled =
        static_cast<double>(static_cast<long double>(distance) / Factor + ScaledMin);
    return FromScale(scaled);
}

bool TAxisMap::Contains(double value) const {
    const double scaled = ToScale(value);
    return ScaledMin <= scaled && scaled <= ScaledMax;
}
