// The filter's tables: the cutoff curve at the points the filter's tuning rests on, and the two
// compensation curves, which are stored as data, at every point they were drawn through.
#include "engine/FilterTables.h"
#include "engine/Dsp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <iterator>

namespace treskpro {
namespace {

struct Knot {
    int index;
    double value;
};

constexpr Knot resonanceKnots[] = {
    {0, 0.71962},   {11, 0.80348},  {12, 0.82498},  {17, 0.93653},  {18, 0.94806},  {22, 0.95922},
    {23, 0.97334},  {26, 1.01935},  {27, 1.02675},  {30, 0.97895},  {31, 0.96804},  {34, 1.00151},
    {35, 1.01207},  {41, 1.04857},  {42, 1.05186},  {44, 1.05633},  {45, 1.06739},  {47, 1.09342},
    {48, 1.10423},  {59, 1.17435},  {60, 1.18093},  {63, 1.20483},  {64, 1.21254},  {67, 1.22370},
    {68, 1.23008},  {72, 1.26355},  {73, 1.27052},  {79, 1.31171},  {80, 1.31843},  {90, 1.38301},
    {91, 1.39044},  {98, 1.45651},  {99, 1.46424},  {108, 1.52920}, {109, 1.53496}, {111, 1.54612},
    {112, 1.55291}, {119, 1.61298}, {120, 1.62137}, {128, 1.68831}, {129, 1.69684}, {133, 1.73155},
    {134, 1.74102}, {135, 1.75217}, {136, 1.76118}, {142, 1.80580}, {143, 1.81549}, {149, 1.88242},
    {150, 1.89279}, {154, 1.93245}, {155, 1.94159}, {158, 1.96550}, {159, 1.97452}, {169, 2.08607},
    {170, 2.09601}, {173, 2.12530}, {174, 2.13537}, {187, 2.28039}, {188, 2.29181}, {201, 2.44944},
    {202, 2.46220}, {212, 2.59048}, {213, 2.60378}, {230, 2.85032}, {231, 2.86581}, {254, 3.22623},
    {255, 3.24226}, {267, 3.44015}, {268, 3.45667}, {283, 3.71077}, {284, 3.71552}, {298, 3.50528},
    {299, 3.48993}, {319, 3.16482}, {320, 3.14524}, {324, 3.06591}, {325, 3.04546}, {332, 2.90043},
    {333, 2.88371}, {337, 2.82918}, {338, 2.81494}, {345, 2.70681}, {346, 2.69413}, {362, 2.50375},
    {363, 2.49409}, {402, 2.28295}, {511, 2.28295}};

constexpr Knot gainKnots[] = {
    {0, 0.82172},   {11, 1.41841},  {12, 1.40223},  {17, 1.30081},  {18, 1.29366},  {22, 1.30760},
    {23, 1.28276},  {26, 1.19909},  {27, 1.17727},  {30, 1.16532},  {31, 1.16355},  {34, 1.18746},
    {35, 1.19538},  {41, 1.24102},  {42, 1.24311},  {72, 1.24311},  {73, 1.25698},  {79, 1.34708},
    {80, 1.35656},  {98, 1.35656},  {99, 1.37175},  {108, 1.54892}, {109, 1.55105}, {138, 1.55105},
    {139, 1.55734}, {142, 1.76650}, {143, 1.79417}, {163, 1.79417}, {164, 1.81317}, {169, 1.95261},
    {170, 1.95624}, {180, 1.95624}, {181, 1.98821}, {187, 2.21989}, {188, 2.24797}, {201, 2.24797},
    {202, 2.25682}, {212, 2.35443}, {213, 2.36748}, {230, 2.73095}, {231, 2.75335}, {254, 3.27260},
    {255, 3.28898}, {267, 3.39084}, {268, 3.39923}, {283, 3.50768}, {284, 3.51216}, {298, 3.51216},
    {299, 3.50264}, {319, 2.80145}, {320, 2.83076}, {324, 2.96711}, {325, 2.98987}, {332, 3.11537},
    {333, 3.13717}, {337, 3.23633}, {338, 3.23778}, {345, 2.92242}, {346, 2.90161}, {362, 2.67851},
    {363, 2.67078}, {402, 2.83073}, {511, 2.83073}};

double cutoffAt(double control) {
    return interpolate(cutoffTable().data(), cutoffTableSize, control * 1024.0);
}

TEST(FilterTables, CutoffCurveAtItsTuningPoints) {
    EXPECT_NEAR(cutoffAt(0.0), 0.00403, 5e-6);
    EXPECT_NEAR(cutoffAt(0.5), 0.0793, 5e-5);
    EXPECT_NEAR(cutoffAt(0.75), 0.2835, 5e-5);
    EXPECT_NEAR(cutoffAt(1.0), 0.99623, 5e-6);
    EXPECT_LT(cutoffAt(1.0003), 1.0f);
    EXPECT_EQ(cutoffAt(1.001), 1.0f); // limited to 1 just past control 1
    EXPECT_EQ(cutoffTable().back(), 1.0f);
    for (int j = 1; j < cutoffTableSize; ++j) {
        const auto at = static_cast<std::size_t>(j);
        ASSERT_GE(cutoffTable()[at], cutoffTable()[at - 1]) << j;
    }
}

TEST(FilterTables, CompensationCurvesPassThroughEveryKnot) {
    for (const Knot& knot : resonanceKnots) {
        EXPECT_NEAR(resonanceTable()[static_cast<std::size_t>(knot.index)], knot.value, 2e-6)
            << knot.index;
    }
    for (const Knot& knot : gainKnots) {
        EXPECT_NEAR(gainTable()[static_cast<std::size_t>(knot.index)], knot.value, 2e-6)
            << knot.index;
    }
    // Every entry lies on the straight line between the knots around it, flat past the last.
    const auto onTheLines = [](const auto& knots, const auto& table, const char* name) {
        for (std::size_t k = 0; k + 1 < std::size(knots); ++k) {
            const Knot& a = knots[k];
            const Knot& b = knots[k + 1];
            for (int i = a.index; i <= b.index; ++i) {
                const double line =
                    a.value + (b.value - a.value) * (i - a.index) / (b.index - a.index);
                ASSERT_NEAR(table[static_cast<std::size_t>(i)], line, 2e-5) << name << " " << i;
            }
        }
        for (std::size_t i = static_cast<std::size_t>(std::end(knots)[-1].index); i < table.size();
             ++i)
            ASSERT_EQ(table[i], table[i - 1]) << name << " " << i;
    };
    onTheLines(resonanceKnots, resonanceTable(), "resonance");
    onTheLines(gainKnots, gainTable(), "gain");
    // Between knots the curves are straight: halfway between 0 and 11, and flat past 402.
    EXPECT_NEAR(resonanceTable()[5] + resonanceTable()[6], 0.71962 + 0.80348, 4e-6);
    EXPECT_NEAR(gainTable()[450], 2.83073, 2e-6);
}

TEST(FilterTables, SaturationIsTanhOverMinusFourToFour) {
    const SaturationTable& table = saturationTable();
    EXPECT_NEAR(table[0], std::tanh(-4.0), 1e-7);
    EXPECT_EQ(table[512], 0.0f);
    EXPECT_NEAR(table[640], std::tanh(1.0), 1e-7);
    EXPECT_NEAR(table[1023], std::tanh(3.9921875), 1e-7);
}

} // namespace
} // namespace treskpro
