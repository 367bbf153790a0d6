// Tunings: .tun tables and Scala scales turned into the 128 note frequencies voices play.
#include "files/Tuning.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

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
    // CR LF line ends, as a Windows editor saves them.
    ASSERT_TRUE(readScalaText(scale, "\r\n3\r\n3/2\r\n701.955\r\n2\r\n"));
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

    // A name holding ".scl" anywhere, a folder's name too, is read as a Scala scale; any other
    // as a .tun table. Both may come with CR LF line ends from a Windows editor.
    const std::filesystem::path folder = std::filesystem::path(testing::TempDir()) / "my.scl.files";
    std::filesystem::create_directories(folder);
    const std::string scala = (folder / "fifths.txt").string();
    std::ofstream(scala, std::ios::binary) << "! fifths\r\nFifths\r\n 2\r\n3/2\r\n2/1\r\n";
    testing::internal::CaptureStdout();
    EXPECT_FALSE(loadTuning(table, scala));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_NEAR(table[0], 8.1757989f, 1e-5f);
    EXPECT_NEAR(table[1], 1.5f * 8.1757989f, 1e-4f);
    EXPECT_NEAR(table[2], 2.0f * 8.1757989f, 1e-4f);
    EXPECT_NEAR(table[3], 3.0f * 8.1757989f, 1e-4f); // the next octave

    const std::string tun = (std::filesystem::path(testing::TempDir()) / "flat.tun").string();
    std::string numbers;
    for (int k = 0; k < 128; ++k)
        numbers += std::to_string(100 + k) + (k % 8 == 7 ? "\r\n" : " ");
    std::ofstream(tun, std::ios::binary) << numbers;
    EXPECT_TRUE(loadTuning(table, tun));
    EXPECT_EQ(table[0], 100.0f);
    EXPECT_EQ(table[127], 227.0f);
    std::filesystem::remove_all(folder);
    std::filesystem::remove(tun);
}

} // namespace
} // namespace treskpro
