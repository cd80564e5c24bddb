// The nine flow configurations: the list, and the newer six against values computed with 50-digit
// arithmetic (data/ReferenceValues.csv, made by data/make_reference_values.py), their limits,
// identities between configurations, round trips and the errors of an e beyond reach.

#include "relations/FlowConfigurations.h"

#include "platform/Exceptions.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

const TFlowConfiguration& Flow(const char* name) {
    const TFlowConfiguration* c = FindFlowConfiguration(name);
    if (c == nullptr)
        throw std::runtime_error(std::string("no configuration ") + name);
    return *c;
}

// The newer six, whose inverses check the reach of e.
std::span<const TFlowConfiguration> NewerFlows() {
    return FlowConfigurations().subspan(3);
}

struct TReference {
    std::string flow;
    double Cr, Ntu, e;
    double NtuOfE; // NaN where the table gives none
};

double Number(const std::string& text) {
    if (text.empty())
        return NaN;
    if (text == "inf")
        return std::numeric_limits<double>::infinity();
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        throw std::runtime_error("bad number " + text);
    return value;
}

const std::vector<TReference>& ReferenceValues() {
    static const std::vector<TReference> rows = [] {
        std::ifstream in(CALVENOR_SOURCE_DIR "/tests/relations/data/ReferenceValues.csv");
        std::vector<TReference> result;
        std::string line;
        std::getline(in, line); // header
        while (std::getline(in, line)) {
            std::vector<std::string> fields(1);
            for (char c : line) {
                if (c == ',')
                    fields.emplace_back();
                else
                    fields.back() += c;
            }
            if (fields.size() != 5)
                throw std::runtime_error("bad row " + line);
            result.push_back({fields[0], Number(fields[1]), Number(fields[2]), Number(fields[3]),
                              Number(fields[4])});
        }
        return result;
    }();
    return rows;
}

TEST(FlowConfigurationsTest, NineInListOrderFoundInAnyLetterCase) {
    const char* names[] = {"CounterFlow",    "CrossFlow",          "ParallelFlow",
                           "CrossFlowExact", "CrossFlowMixedCmin", "CrossFlowMixedCmax",
                           "ShellTube1",     "ShellTube2",         "ShellTube3"};
    ASSERT_EQ(FlowConfigurations().size(), 9u);
    for (size_t i = 0; i < 9; ++i) {
        const TFlowConfiguration& c = FlowConfigurations()[i];
        EXPECT_STREQ(c.Name, names[i]);
        EXPECT_EQ(FindFlowConfiguration(names[i]), &c);
        std::string upper = names[i];
        for (char& ch : upper)
            ch = char(std::toupper(static_cast<unsigned char>(ch)));
        EXPECT_EQ(FindFlowConfiguration(upper), &c) << upper;
    }
    for (const char* unknown : {"", "Counter", "CounterFlow ", "ShellTube4", "Cross Flow"})
        EXPECT_EQ(FindFlowConfiguration(unknown), nullptr) << unknown;
    // The first three keep their functions.
    EXPECT_EQ(Flow("CounterFlow").Relation, &CounterFlowE);
    EXPECT_EQ(Flow("CrossFlow").CrSolver, &CrossFlowCr);
    EXPECT_EQ(Flow("ParallelFlow").NtuSolver, &ParallelFlowNtu);
}

TEST(FlowConfigurationsTest, RelationsAndLimitsMatchHighPrecisionValues) {
    std::map<std::string, int> rowsPerFlow;
    for (const TReference& r : ReferenceValues()) {
        SCOPED_TRACE(testing::Message() << r.flow << " Cr=" << r.Cr << " Ntu=" << r.Ntu);
        const TFlowConfiguration& c = Flow(r.flow.c_str());
        ++rowsPerFlow[r.flow];
        const double got = std::isinf(r.Ntu) ? c.LimitE(r.Cr) : c.Relation(r.Cr, r.Ntu);
        // 1e-12 absolute is what the chart needs (1e-10 for exact cross flow); the evaluations
        // reach the last bits, and relative accuracy at small Ntu where Cr = 0 is no shortcut.
        EXPECT_NEAR(got, r.e, 2e-15);
        if (r.Cr > 0) {
            EXPECT_NEAR(got, r.e, 4e-15 * r.e);
        }
    }
    for (const TFlowConfiguration& c : NewerFlows())
        EXPECT_GE(rowsPerFlow[c.Name], 108) << c.Name;
    EXPECT_EQ(rowsPerFlow["CrossFlowExact"], 133);
}

TEST(FlowConfigurationsTest, NtuInversesMatchHighPrecisionValues) {
    int checked = 0;
    for (const TReference& r : ReferenceValues()) {
        if (std::isnan(r.NtuOfE))
            continue;
        SCOPED_TRACE(testing::Message() << r.flow << " Cr=" << r.Cr << " Ntu=" << r.Ntu);
        EXPECT_NEAR(Flow(r.flow.c_str()).NtuSolver(r.Cr, r.e), r.NtuOfE, 1e-9 * r.NtuOfE);
        ++checked;
    }
    EXPECT_GE(checked, 550);
    for (const TFlowConfiguration& c : NewerFlows())
        for (double Cr : {0.0, 0.5, 1.0})
            EXPECT_EQ(c.NtuSolver(Cr, 0), 0.0) << c.Name;
}

TEST(FlowConfigurationsTest, RoundTripFromEToNtuAndBack) {
    for (const TFlowConfiguration& c : NewerFlows()) {
        for (double Cr : {0.0, 1e-300, 1e-9, 0.3, 0.7, 1 - 1e-9, 1.0}) {
            const double limit = c.LimitE(Cr);
            for (double fraction : {1e-12, 0.01, 0.2, 0.5, 0.8, 0.95, 0.999}) {
                const double e = fraction * limit;
                const double Ntu = c.NtuSolver(Cr, e);
                SCOPED_TRACE(testing::Message() << c.Name << " Cr=" << Cr << " e=" << e);
                EXPECT_GT(Ntu, 0);
                // At Cr = 0 the relation is 1 - exp(-Ntu), exact to 1e-16 absolute only.
                EXPECT_NEAR(c.Relation(Cr, Ntu), e, Cr == 0 ? 2e-16 : 4e-15 * e);
            }
        }
    }
}

TEST(FlowConfigurationsTest, LimitsAsCrApproachesZeroAndOne) {
    for (const TFlowConfiguration& c : NewerFlows()) {
        for (double Ntu : {1e-8, 0.3, 1.0, 4.0, 10.0}) {
            SCOPED_TRACE(testing::Message() << c.Name << " Ntu=" << Ntu);
            // e falls with Cr no faster than Ntu^2 / 2 per unit of Cr.
            for (double Cr : {4.9e-324, 1e-310, 1e-300, 1e-12, 1e-6}) {
                EXPECT_NEAR(c.Relation(Cr, Ntu), ZeroCrE(Ntu), Cr * Ntu * Ntu + 4e-16)
                    << "Cr=" << Cr;
                EXPECT_LE(c.Relation(Cr, Ntu), ZeroCrE(Ntu) + 4e-16) << "Cr=" << Cr;
            }
            const double atOne = c.Relation(1, Ntu);
            for (double below : {1.1e-16, 1e-12, 1e-9, 1e-6}) {
                EXPECT_NEAR(c.Relation(1 - below, Ntu), atOne, below + 4e-16) << "1 - " << below;
                EXPECT_GE(c.Relation(1 - below, Ntu), atOne - 4e-16) << "1 - " << below;
            }
        }
    }
}

// Counter flow near balance, against 50-digit values: the chart's relation loses digits there and
// its inverse has no value at Cr = 1; EffectivenessOf and NtuOf keep them. Elsewhere, and for the
// other configurations, they are the configurations' own functions, bit for bit.
TEST(FlowConfigurationsTest, CounterFlowKeepsItsDigitsNearBalance) {
    const TFlowConfiguration& counter = Flow("CounterFlow");
    const struct {
        double Cr, Ntu, e;
    } forward[] = {
        {0.9999999999999999, 1.15, 0.53488372093023255481},
        {0.9999999999999999, 10, 0.90909090909090913679},
        {0.9999999999999998, 0.001, 0.00099900099900099902188},
        {0.999999999999, 1.15, 0.53488372093037558606},
        {0.999999, 10, 0.90909132231354872158},
        {0.9995, 1.15, 0.53495524878832328916},
        {1, 1.15, 0.53488372093023255814},
    };
    for (const auto& r : forward) {
        SCOPED_TRACE(testing::Message() << "Cr=" << r.Cr << " Ntu=" << r.Ntu);
        EXPECT_NEAR(EffectivenessOf(counter, r.Cr, r.Ntu), r.e, 4e-16 * r.e);
    }
    EXPECT_NEAR(counter.Relation(0.9999999999999999, 1.15), 0.5, 1e-15); // what the chart gives
    const struct {
        double Cr, e, Ntu;
    } inverse[] = {
        {1, 0.5, 1.0},
        {1, 0.001, 0.0010010010010010010219},
        {1, 0.99, 98.999999999999911182},
        {0.9999999999999999, 0.5, 0.99999999999999994449},
        {0.999999, 0.99, 98.995099823408757294},
        {0.9995, 0.5, 0.99975008330209585564},
        {0.9995, 0.001, 0.0010010007505003336044},
    };
    for (const auto& r : inverse) {
        SCOPED_TRACE(testing::Message() << "Cr=" << r.Cr << " e=" << r.e);
        EXPECT_NEAR(NtuOf(counter, r.Cr, r.e), r.Ntu, 1e-14 * r.Ntu);
    }
    EXPECT_THROW(counter.NtuSolver(1, 0.5), EMathError);
    for (const TFlowConfiguration& c : FlowConfigurations()) {
        for (double Cr : {0.0, 0.25, 0.5, 0.75, 0.998, 1.0}) {
            for (double Ntu : {0.0, 0.3, 2.0, 10.0}) {
                SCOPED_TRACE(testing::Message() << c.Name << " Cr=" << Cr << " Ntu=" << Ntu);
                EXPECT_EQ(EffectivenessOf(c, Cr, Ntu), c.Relation(Cr, Ntu));
            }
            const double e = 0.6 * c.LimitE(Cr);
            if (Cr < 1 || &c != &counter) {
                EXPECT_EQ(NtuOf(c, Cr, e), c.NtuSolver(Cr, e)) << c.Name << " Cr=" << Cr;
            }
        }
    }
}

// Two exchangers in series, counter-current between them: their factors (1 - Cr e) / (1 - e)
// multiply.
double InSeries(double Cr, double eA, double eB) {
    const double factor = (1 - Cr * eA) / (1 - eA) * (1 - Cr * eB) / (1 - eB);
    return (factor - 1) / (factor - Cr);
}

TEST(FlowConfigurationsTest, IdentitiesBetweenConfigurations) {
    for (double Ntu : {0.05, 0.5, 1.0, 2.0, 5.0, 10.0}) {
        SCOPED_TRACE(testing::Message() << "Ntu=" << Ntu);
        // The two mixed cross flows meet as Cr approaches 0, agree at Cr = 1, and swapping the
        // streams turns one into the other: Cr' = 1 / Cr, Ntu' = Cr Ntu, e' = Cr e.
        EXPECT_NEAR(CrossFlowMixedCminE(1e-9, Ntu), CrossFlowMixedCmaxE(1e-9, Ntu), 1e-9 * Ntu);
        EXPECT_NEAR(CrossFlowMixedCminE(1, Ntu), CrossFlowMixedCmaxE(1, Ntu), 2e-16);
        for (double Cr : {0.1, 0.5, 0.9}) {
            EXPECT_NEAR(CrossFlowMixedCmaxE(1 / Cr, Cr * Ntu), Cr * CrossFlowMixedCminE(Cr, Ntu),
                        1e-15);
            EXPECT_NEAR(CrossFlowExactE(1 / Cr, Cr * Ntu), Cr * CrossFlowExactE(Cr, Ntu), 1e-15);
        }
        for (double Cr : {0.0, 0.25, 0.6, 0.999, 1.0}) {
            // Three shells are two shells and one shell in series.
            const double e1 = ShellTube1E(Cr, Ntu);
            const double e2 = ShellTube2E(Cr, 2 * Ntu);
            const double e3 = ShellTube3E(Cr, 3 * Ntu);
            if (Cr < 1) {
                // InSeries loses digits as Cr approaches 1.
                EXPECT_NEAR(e3, InSeries(Cr, e2, e1), 5e-14) << "Cr=" << Cr;
            } else { // the closed-form limit n e1 / (1 + (n - 1) e1)
                EXPECT_NEAR(e2, 2 * e1 / (1 + e1), 4e-16);
                EXPECT_NEAR(e3, 3 * e1 / (1 + 2 * e1), 4e-16);
            }
            // Every configuration lies between parallel and counter flow; mixing a stream costs
            // effectiveness and more shell passes gain it.
            const double tol = 1e-15;
            const double parallel = ParallelFlowE(Cr, Ntu);
            const double counter = Cr < 1 ? CounterFlowE(Cr, Ntu) : Ntu / (Ntu + 1);
            const double exact = CrossFlowExactE(Cr, Ntu);
            for (double mixed : {CrossFlowMixedCminE(Cr, Ntu), CrossFlowMixedCmaxE(Cr, Ntu)}) {
                EXPECT_LE(parallel, mixed + tol);
                EXPECT_LE(mixed, exact + tol);
            }
            EXPECT_LE(exact, counter + tol);
            EXPECT_LE(parallel, ShellTube1E(Cr, Ntu) + tol);
            EXPECT_LE(ShellTube1E(Cr, Ntu), ShellTube2E(Cr, Ntu) + tol);
            EXPECT_LE(ShellTube2E(Cr, Ntu), ShellTube3E(Cr, Ntu) + tol);
            EXPECT_LE(ShellTube3E(Cr, Ntu), counter + tol);
            // The closed-form approximation of unmixed cross flow stays within 2 % of the exact.
            EXPECT_NEAR(CrossFlowE(Cr, Ntu), exact, 0.02) << "Cr=" << Cr;
        }
    }
}

TEST(FlowConfigurationsTest, AnEffectivenessBeyondReachIsADefinedError) {
    struct TRow {
        const char* flow;
        double Cr, e;
        const char* message;
    };
    const TRow rows[] = {
        {"CrossFlowMixedCmax", 1, 0.64,
         "e = 0.64 is out of reach of CrossFlowMixedCmax at Cr = 1, which stays below "
         "e = 0.632120558828558 for every Ntu"},
        {"CrossFlowMixedCmin", 0.5, 0.87,
         "e = 0.87 is out of reach of CrossFlowMixedCmin at Cr = 0.5, which stays below "
         "e = 0.864664716763387 for every Ntu"},
        {"ShellTube1", 1, 0.6,
         "e = 0.6 is out of reach of ShellTube1 at Cr = 1, which stays below "
         "e = 0.585786437626905 for every Ntu"},
        {"CrossFlowExact", 0.5, 1,
         "e = 1 is out of reach of CrossFlowExact at Cr = 0.5, which stays below e = 1 for "
         "every Ntu"},
        {"ShellTube2", 0.25, -0.01,
         "e = -0.01 is out of reach of ShellTube2: the effectiveness is never negative"},
        {"ShellTube3", 1.5, 0.5,
         "ShellTube3 has no relation for Cr = 1.5: Cr = Cmin / Cmax lies in [0, 1]"},
        {"CrossFlowMixedCmin", -0.1, 0.5,
         "CrossFlowMixedCmin has no relation for Cr = -0.1: Cr = Cmin / Cmax lies in [0, 1]"},
    };
    for (const TRow& row : rows) {
        try {
            Flow(row.flow).NtuSolver(row.Cr, row.e);
            ADD_FAILURE() << row.flow << " answered for e = " << row.e;
        } catch (const EOutOfReach& error) {
            EXPECT_EQ(error.Message(), row.message);
        }
    }
    for (const TFlowConfiguration& c : NewerFlows()) {
        SCOPED_TRACE(c.Name);
        for (double Cr : {0.0, 0.3, 1.0}) {
            EXPECT_THROW(c.NtuSolver(Cr, c.LimitE(Cr)), EOutOfReach);
            EXPECT_THROW(c.NtuSolver(Cr, 1), EOutOfReach);
            EXPECT_THROW(c.NtuSolver(Cr, std::numeric_limits<double>::infinity()), EOutOfReach);
            // Just below the limit: a large Ntu or, where rounding reaches the limit, the error.
            const double below = std::nextafter(c.LimitE(Cr), 0.0);
            try {
                EXPECT_GT(c.NtuSolver(Cr, below), 10);
            } catch (const EOutOfReach&) {
            }
        }
        EXPECT_THROW(c.NtuSolver(NaN, 0.5), EInvalidOp);
        EXPECT_THROW(c.NtuSolver(0.5, NaN), EInvalidOp);
    }
}

} // namespace
