// The root finder and the correlations on the built-in R22 record.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "refrig/Refrig.h"

using ::testing::ElementsAre;

namespace {

// A path that does not exist: the library then works on the built-in R22 record.
const std::string kNoFile = CALVENOR_BINARY_DIR "/no-such-folder/RuzAve8.rdf";

// The correlation written out term by term, in double precision, as an independent reference.
double ExpandedVhSh(const TRefrigData& r, double t1, double t2) {
    const auto& vh = r.vh;
    const auto& sh = r.sh;
    const double d = t2 - t1;
    const double cubic = vh[0] + vh[1] * t1 + vh[2] * t1 * t1 + vh[3] * t1 * t1 * t1;
    const double factor = 1 + d * (sh[0] + sh[1] * d + sh[2] * t1 + sh[3] * d * t1 +
                                   sh[4] * t1 * t1 + sh[5] * d * t1 * t1);
    return vh[4] + cubic * factor;
}

} // namespace

TEST(RefrigRootTest, ConstructionDefaults) {
    TRoot root([](long double x) { return x; });
    EXPECT_EQ(root.MaxIterations, 50);
    EXPECT_EQ(root.Tolerance, 1e-6L);
    EXPECT_EQ(root.Param, 0.1L);
    root.SetLimits(7, 0.5L);
    root.SetParam(3);
    EXPECT_EQ(root.MaxIterations, 7);
    EXPECT_EQ(root.Tolerance, 0.5L);
    EXPECT_EQ(root.Param, 3.0L);
}

TEST(RefrigRootTest, WithoutDerivativeUsesCentralDifferenceAboveThenBelow) {
    std::vector<long double> calls;
    TRoot root([&](long double x) {
        calls.push_back(x);
        return x * x;
    });
    EXPECT_NEAR(static_cast<double>(root.Deriv(3)), 6.0, 1e-6);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], 3 + 1e-6L);
    EXPECT_EQ(calls[1], 3 - 1e-6L);
    // The difference quotient is exact for a quadratic up to extended rounding.
    EXPECT_NEAR(static_cast<double>(root.CentralDerivative(-2)), -4.0, 1e-9);
}

TEST(RefrigRootTest, GivenDerivativeIsUsedAndCanBeReplaced) {
    int funcCalls = 0;
    const auto square = [&](long double x) {
        ++funcCalls;
        return x * x;
    };
    TRoot root(square, [](long double x) { return 2 * x + 100; });
    EXPECT_EQ(root.Deriv(3), 106.0L);
    EXPECT_EQ(funcCalls, 0);

    root.SetFunctions(square);
    EXPECT_NEAR(static_cast<double>(root.Deriv(3)), 6.0, 1e-6);
    EXPECT_EQ(funcCalls, 2);
}

TEST(RefrigRootTest, Poly6GroupsItsTermsAsSpecifiedAndKeepsExtendedPrecision) {
    const std::array<double, 6> c{1, 2, 3, 4, 5, 6};
    // 2 (1 + 2*2 + 3*3 + 4*2*3 + 5*9 + 6*2*9)
    EXPECT_EQ(TRefrigLib::Poly6(c, 2, 3), 382.0);
    EXPECT_EQ(TRefrigLib::Poly6(c, 0, 3), 0.0);
    // (1 + 2^-60) - 1 vanishes in double arithmetic but not in extended.
    const std::array<double, 6> fine{1, std::ldexp(1.0, -60), -1, 0, 0, 0};
    EXPECT_EQ(TRefrigLib::Poly6(fine, 1, 1), std::ldexp(1.0, -60));
}

TEST(RefrigRootTest, VhCubicOnDefaultRecord) {
    TRefrigLib lib(kNoFile);
    EXPECT_EQ(lib.VhCubic(0), 251040.6);
    EXPECT_NEAR(lib.VhCubic(10), 251040.6 + 3734.119 - 168.5585 - 16.89365, 1e-8);
    EXPECT_NEAR(lib.VhCubic(-10), 251040.6 - 3734.119 - 168.5585 + 16.89365, 1e-8);
}

TEST(RefrigRootTest, VhShValueOnDefaultRecord) {
    TRefrigLib lib(kNoFile);
    const uint16_t status = lib.Status();
    EXPECT_DOUBLE_EQ(lib.VhShValue(0, 0), 405042.8);
    EXPECT_NEAR(lib.VhShValue(0, 20), 419405.05, 0.005);
    EXPECT_NEAR(lib.VhShValue(-10, -10), 401157.02, 0.005);
    for (const auto& [t1, t2] : std::vector<std::pair<double, double>>{
             {0, 20}, {-10, -10}, {5, 10}, {-20, 15}, {-30, 60}, {40, 41}}) {
        EXPECT_NEAR(lib.VhShValue(t1, t2), ExpandedVhSh(lib.Data(), t1, t2), 1e-8)
            << t1 << " " << t2;
    }
    EXPECT_EQ(lib.Status(), status);
}

TEST(RefrigRootTest, VhShValueFlagsReversedTemperaturesAndStillReturnsTheValue) {
    TRefrigLib lib(kNoFile); // no file: Status 1
    ASSERT_EQ(lib.Status(), TRefrigLib::stNoSection);
    lib.VhShValue(5, 10);
    lib.VhShValue(5, 5 - 1e-10);
    EXPECT_EQ(lib.Status(), TRefrigLib::stNoSection);
    EXPECT_NEAR(lib.VhShValue(10, 5), ExpandedVhSh(lib.Data(), 10, 5), 1e-8);
    EXPECT_EQ(lib.Status(), TRefrigLib::stReversedTemps);
    // Set, never cleared.
    lib.VhShValue(5, 10);
    EXPECT_EQ(lib.Status(), TRefrigLib::stReversedTemps);
}

TEST(RefrigRootTest, VhShValueFlagsNotANumber) {
    TRefrigLib lib(kNoFile);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(std::isnan(lib.VhShValue(0, nan)));
    EXPECT_EQ(lib.Status(), TRefrigLib::stReversedTemps);
    // Infinite and huge inputs give non-finite values, never a trap.
    EXPECT_FALSE(std::isfinite(lib.VhShValue(0, std::numeric_limits<double>::infinity())));
    EXPECT_FALSE(std::isfinite(lib.VhShValue(1e300, 1e300)));
}

TEST(RefrigRootTest, ResidualIsTargetMinusValueAndIsTheRootFunction) {
    TRefrigLib lib(kNoFile);
    EXPECT_EQ(lib.ResidualBase(), 0.0L);
    EXPECT_EQ(lib.ResidualTarget(), 0.0L);
    EXPECT_EQ(lib.Root().MaxIterations, 120);
    EXPECT_EQ(lib.Root().Tolerance, 0.001L);
    EXPECT_EQ(lib.Root().Param, 0.1L);

    lib.SetResidualBase(0);
    lib.SetResidualTarget(405042.8L);
    EXPECT_NEAR(static_cast<double>(lib.VhShResidual(0)), 0.0, 1e-9);
    EXPECT_NEAR(static_cast<double>(lib.Root().Func(0)), 0.0, 1e-9);
    EXPECT_NEAR(static_cast<double>(lib.Root().Func(20)), 405042.8 - 419405.0485506247, 1e-6);
    // No derivative of its own: d/dx of -(vh4 + vh0 (1 + x (sh0 + sh1 x))) at 0 is -vh0 sh0.
    EXPECT_NEAR(static_cast<double>(lib.Root().Deriv(0)), -251040.6 * 0.002846625, 1e-3);

    // The base is rounded to double before the correlation sees it.
    lib.SetResidualBase(10);
    lib.SetResidualTarget(0);
    EXPECT_NEAR(static_cast<double>(lib.VhShResidual(15)), -ExpandedVhSh(lib.Data(), 10, 15), 1e-8);
}
