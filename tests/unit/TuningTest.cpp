// Tunings: .tun tables and Scala scales turned into the 128 note frequencies voices play.
#include "files/Tuning.h"

#include <gtest/gtest.h>

#include <cmath>

namespace treskpro {
namespace {

NoteTable equalTemperament() {
    NoteTable table{};
    double frequency = 8.175798915636872;
    for (float& entry : table) {
        entry = static_cast<float>(frequency);
        frequency *= 1.059463094359;
    }
    return table;
}

TEST(Tuning, TunFilesChangeTheEntriesTheyHold) {
    NoteTable table = equalTemperament();
    EXPECT_FALSE(readTunText(table, "100 200\n300\t400 500 600 700 800 900 1000 1100 1200\n"));
    EXPECT_EQ(table[0], 100.0f);
    EXPECT_EQ(table[11], 1200.0f);
    EXPECT_EQ(table[12], equalTemperament()[12]);

    std::string full;
    for (int k = 0; k < 128; ++k)
        full += std::to_string(10 + k) + " ";
    EXPECT_TRUE(readTunText(table, full));
    EXPECT_EQ(table[127], 137.0f);

    // A word stops the reading; numbers that are no frequency keep their entry.
    table = equalTemperament();
    EXPECT_TRUE(readTunText(table, "-5 nan 300 oops 500"));
    EXPECT_EQ(table[0], equalTemperament()[0]);
    EXPECT_EQ(table[1], equalTemperament()[1]);
    EXPECT_EQ(table[2], 300.0f);
    EXPECT_EQ(table[4], equalTemperament()[4]);
}

TEST(Tuning, EqualTemperedScalaScaleGivesTheStandardTable) {
    std::string text = "! 12-tet.scl\n!\nTwelve equal\n 12\n!\n";
    for (int cents = 100; cents <= 1200; cents += 100)
        text += std::to_string(cents) + ".0\n";
    text += "! end\n";
    ScalaScale scale;
    ASSERT_TRUE(readScalaText(scale, text));
    EXPECT_EQ(scale.description, "Twelve equal");
    const NoteTable table = tableFromScale(scale);
    const NoteTable standard = equalTemperament();
    for (int k = 0; k < 128; ++k)
        EXPECT_NEAR(table[k] / standard[k], 1.0f, 2e-6f) << k;
}

TEST(Tuning, ScalaPitchFormsAndErrors) {
    ScalaScale scale;
    ASSERT_TRUE(readScalaText(scale, "\n3\n3/2\n701.955\n2\n"));
    EXPECT_EQ(scale.description, "");    // an empty description is accepted
    ASSERT_EQ(scale.degrees.size(), 3u); // the period itself is not played
    EXPECT_NEAR(scale.degrees[1], 1.5f, 1e-6f);
    EXPECT_NEAR(scale.degrees[2], 1.5f, 1e-4f);
    const NoteTable table = tableFromScale(scale);
    EXPECT_NEAR(table[3], 2 * 8.1757989f, 1e-4f); // the next period starts an octave up

    testing::internal::CaptureStdout();
    ScalaScale kept = scale;
    EXPECT_FALSE(readScalaText(kept, "x\n2\nabc\n2/1\n"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "unknown line format\n abc");
    EXPECT_EQ(kept.degrees.size(), 3u); // unchanged

    testing::internal::CaptureStdout();
    EXPECT_FALSE(readScalaText(kept, "x\n0\n"));
    EXPECT_FALSE(readScalaText(kept, "x\n-4\n"));
    EXPECT_FALSE(readScalaText(kept, "x\n1\n3/0\n"));
    testing::internal::GetCapturedStdout();

    testing::internal::CaptureStdout();
    ScalaScale truncated;
    EXPECT_TRUE(readScalaText(truncated, "short\n12\n100.0\n200.0\n"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Warning could not read all the notes.\nFile truncated?\n");
    EXPECT_EQ(truncated.degrees.size(), 3u); // plays what it has
    const NoteTable shortTable = tableFromScale(truncated);
    for (float entry : shortTable)
        EXPECT_TRUE(std::isfinite(entry) && entry > 0.0f);
}

TEST(Tuning, FilesByName) {
    NoteTable table = equalTemperament();
    EXPECT_FALSE(loadTuning(table, ""));
    EXPECT_FALSE(loadTuning(table, testing::TempDir() + "no such.tun"));
    EXPECT_EQ(table, equalTemperament());
}

} // namespace
} // namespace treskpro
