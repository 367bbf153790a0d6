// Patch files: what the writer produces to the byte, what the reader keeps from hand-written,
// old, damaged and hostile files.
#include "files/PatchFile.h"
#include "engine/Parameters.h"
#include "engine/SocketRegistry.h"
#include "files/SafeFile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

namespace treskpro {
namespace {

int countLines(const std::string& text, std::size_t from, std::size_t to) {
    int lines = 0;
    for (std::size_t i = from; i < to; ++i)
        lines += text[i] == '\n' ? 1 : 0;
    return lines;
}

// Lines between a section header and the next one.
int sectionLines(const std::string& text, const std::string& header) {
    const std::size_t start = text.find(header);
    if (start == std::string::npos)
        return -1;
    const std::size_t body = text.find('\n', start) + 1;
    std::size_t next = text.find("\n[", body);
    next = next == std::string::npos ? text.size() : next + 1;
    return countLines(text, body, next);
}

bool sameBlocks(const TreskproPatch& a, const TreskproPatch& b) {
    return std::memcmp(&a.program, &b.program, sizeof a.program) == 0 && a.states == b.states &&
           std::memcmp(&a.connections, &b.connections, sizeof a.connections) == 0 &&
           std::memcmp(a.patterns.data(), b.patterns.data(), sizeof(PatternBank)) == 0 &&
           std::memcmp(&a.info, &b.info, sizeof a.info) == 0;
}

TEST(PatchFile, InitialPatchTextAndLineCounts) {
    const std::string text = writePatchText(TreskproPatch{});
    EXPECT_EQ(text.rfind("Version: 1.04\r\n[73 Parameters]\r\n", 0), 0u);
    EXPECT_NE(text.find("\"Master Tuning\" = 0.50000000\r\n\"Filter Cutoff\" = 0.50000000\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("\"Tempo\" = 0.42222223\r\n"), std::string::npos);
    EXPECT_NE(text.find("Socket 41: \"Channel Pressure\"\r\n[0 Connections]\r\n[12 States]\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("FilterMode = 3\r\n"), std::string::npos);
    EXPECT_EQ(sectionLines(text, "[73 Parameters]"), 73);
    EXPECT_EQ(sectionLines(text, "[42 Sockets]"), 42);
    EXPECT_EQ(sectionLines(text, "[12 States]"), 12);
    EXPECT_EQ(sectionLines(text, "[128 Patterns]"), 1056);
    EXPECT_EQ(sectionLines(text, "[1288 PatchInfo]"), 81);
    // Every line ends in CR LF, and the first pattern line is the first record's header bytes.
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ASSERT_EQ(text[i - 1], '\r') << i;
        }
    }
    EXPECT_NE(text.find("[128 Patterns]\r\n00000010000000000000000000000000\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("\r\n0000000000000000\r\n", text.find("[1288 PatchInfo]")),
              std::string::npos); // the last line holds the remaining 8 bytes
}

TEST(PatchFile, RoundTripIsExact) {
    TreskproPatch patch;
    patch.setParameter(Parameter::FilterCutoff, 0.123456789f);
    patch.setParameter(Parameter::FilterResonance, 1.0f);
    patch.setParameter(Parameter::DelayAmount, 1e-9f);
    patch.setState(State::MidiMode, 1);
    patch.setState(State::CurrentPattern, 77);
    patch.connections.append({Socket::MgCvOutput, Socket::VcfCvInput});
    patch.connections.append({Socket::ModWheel, Socket::Vco1CvInput});
    patch.patterns[3].length = 11;
    patch.patterns[3].patternFlags = PatternRecord::tripletFlag;
    patch.patterns[127].steps[63] = {35, StepFlags::gate | StepFlags::slide};
    std::strcpy(patch.info.text, "Squelchy line\r\nwith \"quotes\"");
    patch.info.showFlag = 1;
    std::strcpy(patch.info.patchName, "Acid Line");

    const std::string first = writePatchText(patch);
    TreskproPatch read;
    readPatchText(read, first);
    // Values pass through eight decimals, so the text (not the float bits) is what survives.
    EXPECT_EQ(writePatchText(read), first);
    EXPECT_NEAR(read.getParameter(Parameter::FilterCutoff), 0.123456789f, 1e-8f);
    EXPECT_EQ(read.getState(State::CurrentPattern), 77);
    EXPECT_EQ(read.connections.size(), 2);
    EXPECT_EQ(read.patterns[3].length, 11);
    EXPECT_TRUE(read.patterns[3].triplet());
    EXPECT_EQ(read.patterns[127].steps[63].note, 35);
    EXPECT_STREQ(read.info.text, patch.info.text);
    EXPECT_STREQ(read.info.patchName, "Acid Line");

    TreskproPatch fresh, freshRead;
    readPatchText(freshRead, writePatchText(fresh));
    EXPECT_TRUE(sameBlocks(fresh, freshRead));
}

TEST(PatchFile, HandWrittenFilesWithOddSpacingAndCase) {
    const std::string text = "Version:1.04\n"
                             "  [ 3   parameters]\n"
                             "\"Some name\"=0.25\n"
                             "\t\"Another\"   =   -3\n"
                             "\"\" = 7.5\n"
                             "[2 CONNECTIONS]\n"
                             "4,34\n"
                             "  39,  0\n"
                             "[3 States]\n"
                             "filtermode = 5\n"
                             "NoSuchState = 9\n"
                             "MIDIMODE=1\n";
    TreskproPatch patch;
    readPatchText(patch, text);
    EXPECT_EQ(patch.getParameter(0), 0.25f);
    EXPECT_EQ(patch.getParameter(1), 0.0f); // -3 clamps to 0
    EXPECT_EQ(patch.getParameter(2), 1.0f); // 7.5 clamps to 1
    EXPECT_EQ(patch.getParameter(3), 0.2f); // not in the file: initial value
    ASSERT_EQ(patch.connections.size(), 2);
    EXPECT_EQ(patch.connections.connection(0).output, 4);
    EXPECT_EQ(patch.connections.connection(0).input, 34);
    EXPECT_EQ(patch.connections.connection(1).output, 39);
    EXPECT_EQ(patch.getState(State::FilterMode), 5);
    // "MIDIMODE=1" is one word without the blanks around "=": the line does not scan.
    EXPECT_EQ(patch.getState(State::MidiMode), 0);
}

TEST(PatchFile, OldVersionsGetFullMgAmountWhenItsCvIsPatched) {
    const std::string body = "[1 Connections]\r\n4, 17\r\n";
    TreskproPatch old, current, unversioned;
    readPatchText(old, "Version: 1.02\r\n" + body);
    readPatchText(current, "Version: 1.04\r\n" + body);
    readPatchText(unversioned, body);
    EXPECT_EQ(old.getParameter(Parameter::MgAmount), 1.0f);
    EXPECT_EQ(current.getParameter(Parameter::MgAmount), 0.0f);
    EXPECT_EQ(unversioned.getParameter(Parameter::MgAmount), 0.0f);
    EXPECT_EQ(unversioned.connections.size(), 1); // read without a version line
}

TEST(PatchFile, DamagedPatternsAreRepairedAndTruncatedDumpsKeepWhatTheyHold) {
    TreskproPatch source;
    source.patterns[0].length = 0;
    source.patterns[1].length = 65;
    source.patterns[1].patternFlags = PatternRecord::tripletFlag;
    source.patterns[2].prescale = 7;
    source.patterns[3].steps[0] = {12, StepFlags::gate};
    source.patterns[100].steps[0] = {5, StepFlags::accent};
    std::string text = writePatchText(source);

    TreskproPatch repaired;
    readPatchText(repaired, text);
    EXPECT_EQ(repaired.patterns[0].length, 16);
    EXPECT_EQ(repaired.patterns[0].steps[15].flags, StepFlags::gate);
    EXPECT_EQ(repaired.patterns[1].length, 16);
    EXPECT_FALSE(repaired.patterns[1].triplet());
    EXPECT_EQ(repaired.patterns[2].prescale, 0);

    // Cut the file in the middle of the pattern dump: patterns read so far stay, the rest keep
    // their initial values, the load succeeds.
    const std::size_t dump = text.find("[128 Patterns]");
    const std::string truncated = text.substr(0, dump + 16 + 34 * 200);
    TreskproPatch partial;
    readPatchText(partial, truncated);
    EXPECT_EQ(partial.patterns[3].steps[0].note, 12);
    EXPECT_EQ(partial.patterns[100].steps[0].note, 0);
    EXPECT_EQ(partial.patterns[100].length, 16);
    EXPECT_STREQ(partial.info.patchName, "Tresk Pro Patch");
}

TEST(PatchFile, UnknownSectionsEndTheParseAndInfoCountsAreBounded) {
    TreskproPatch patch;
    readPatchText(patch,
                  "[1 Parameters]\n\"a\" = 0.9\n[2 Mystery]\nx\n[1 Parameters]\n\"a\" = 0.1\n");
    EXPECT_EQ(patch.getParameter(0), 0.9f);

    for (const char* count : {"0", "2000", "-5"}) {
        TreskproPatch info;
        readPatchText(info, std::string("[") + count + " PatchInfo]\n4142434400\n");
        EXPECT_STREQ(info.info.text, "") << count;
        EXPECT_EQ(info.info.showFlag, 0);
        EXPECT_STREQ(info.info.patchName, "Tresk Pro Patch");
    }
    TreskproPatch older;
    readPatchText(older, "[4 Patch] name 41424344\n");
    EXPECT_STREQ(older.info.text, "ABCD");
}

TEST(PatchFile, HostileCountsAndTextNeverRunPastTheBlocks) {
    TreskproPatch patch;
    std::string connections = "[100000 Connections]\n";
    for (int output = 0; output < Socket::count; ++output) {
        for (int input = 0; input < Socket::count; ++input)
            connections += std::to_string(output) + ", " + std::to_string(input) + "\n";
    }
    readPatchText(patch, connections);
    EXPECT_EQ(patch.connections.size(), 128);

    TreskproPatch many;
    std::string parameters = "[2147483647 Parameters]\n";
    for (int i = 0; i < 200; ++i)
        parameters += "\"p\" = 0.5\n";
    testing::internal::CaptureStderr();
    readPatchText(many, parameters);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), ""); // surplus lines are dropped quietly
    EXPECT_EQ(many.getParameter(127), 0.5f);

    TreskproPatch patterns;
    std::string bank = "[2147483647 Patterns]\n";
    for (int i = 0; i < 2000; ++i)
        bank += "ffffffffffffffffffffffffffffffff\n";
    readPatchText(patterns, bank);                // 16896 bytes at most are kept
    EXPECT_EQ(patterns.patterns[127].length, 16); // 255 repaired
    EXPECT_EQ(patterns.info.patchName[0], 'T');

    // A dump that leaves the texts unterminated is terminated on load.
    TreskproPatch unterminated;
    std::string info = "[1288 PatchInfo]\n";
    for (int i = 0; i < 81; ++i)
        info += "41414141414141414141414141414141\n";
    readPatchText(unterminated, info);
    EXPECT_EQ(std::strlen(unterminated.info.text), 1023u);
    EXPECT_EQ(std::strlen(unterminated.info.patchName), 258u);

    TreskproPatch garbage;
    readPatchText(garbage, std::string("\0\xff[\x80]", 5));
    readPatchText(garbage, "[");
    readPatchText(garbage, "Version: 9999999999999999999.-1");
    readPatchText(garbage, "[5 States]\n=\n=\n");
    EXPECT_EQ(garbage.getState(State::FilterMode), 3);
}

TEST(PatchFile, HugeCountsInTinyFilesEndAtTheFirstLineThatReadsNothing) {
    // Each header promises two billion lines; the line after it matches nothing. Reading must
    // take time in proportion to the text, not to the counts.
    std::string text = "[1 Parameters]\n\"a\" = 0.25\n";
    for (const char* section : {"Sockets", "Connections", "States", "Parameters"})
        text += std::string("[2147483647 ") + section + "]\n";
    text += "[2147483647 Connections]\n4, 34\n#\n";
    TreskproPatch patch;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(readPatchText(patch, text));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(patch.getParameter(0), 0.25f);

    TreskproPatch cables;
    readPatchText(cables, "[2147483647 Connections]\n4, 34\n#\n[1 Sockets]\n");
    ASSERT_EQ(cables.connections.size(), 1); // the count is what was read, not what was promised
    EXPECT_EQ(cables.connections.connection(0).input, Socket::VcfCvInput);
}

TEST(PatchFile, OnlyCablesThePanelCouldMakeAreKept) {
    TreskproPatch patch;
    readPatchText(patch, "[7 Connections]\n"
                         "4, 34\n"  // MG out into the VCF input
                         "34, 4\n"  // reversed: input to output
                         "4, 42\n"  // no such socket
                         "-1, 34\n" // no such socket
                         "4, 34\n"  // the same cable twice
                         "12, 12\n" // output into output
                         "39, 34\n" // a second cable into one input: the later one plays
    );
    ASSERT_EQ(patch.connections.size(), 2);
    EXPECT_EQ(patch.connections.connection(1).output, Socket::ModWheel);
    EXPECT_EQ(patch.connections.pairs[2][0], 0); // the image beyond the count stays zero
}

TEST(PatchFile, TextWithoutAnySectionIsNoPatch) {
    TreskproPatch patch;
    EXPECT_FALSE(readPatchText(patch, ""));
    EXPECT_FALSE(readPatchText(patch, "Version: 1.04\r\n"));
    EXPECT_FALSE(readPatchText(patch, std::string("\x7f"
                                                  "ELF\2\1\1\0[73 Parameters]",
                                                  21)));
    EXPECT_FALSE(readPatchText(patch, "[2 Mystery]\r\n"));
    EXPECT_TRUE(readPatchText(patch, "[0 States]"));

    // A folder named like a patch opens on some systems but cannot be read: no patch either.
    const std::string folder = testing::TempDir() + "folder patch.tpro";
    std::filesystem::create_directory(folder);
    EXPECT_FALSE(readPatchFile(patch, folder));
    EXPECT_FALSE(readWholeFile(folder).has_value());
    std::filesystem::remove(folder);
}

TEST(SafeFile, TwoWritersSavingOneFileNeverMixTheirContents) {
    const std::filesystem::path folder = testing::TempDir() + "two writers";
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "Shared.tpro").string();
    const std::string contents[2] = {std::string(70000, 'a'), std::string(50000, 'b') + "end"};
    std::atomic<int> failedWrites{0};
    std::atomic<bool> writing{true};
    auto writer = [&](int which) {
        for (int i = 0; i < 100; ++i)
            failedWrites += writeFileSafely(path, contents[which]) ? 0 : 1;
    };
    std::thread first(writer, 0);
    std::thread second(writer, 1);
    int mixed = 0;
    // A reader watches the file meanwhile. Not on Windows, where a file held open for reading
    // cannot be replaced: the reader would only make the writers wait.
#ifndef _WIN32
    std::thread reader([&] {
        while (writing.load()) {
            const auto read = readWholeFile(path);
            mixed += read && *read != contents[0] && *read != contents[1] ? 1 : 0;
        }
    });
#endif
    first.join();
    second.join();
    writing = false;
#ifndef _WIN32
    reader.join();
#endif
    EXPECT_EQ(failedWrites.load(), 0);
    EXPECT_EQ(mixed, 0);
    const auto last = readWholeFile(path);
    ASSERT_TRUE(last.has_value());
    EXPECT_TRUE(*last == contents[0] || *last == contents[1]);
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                            std::filesystem::directory_iterator()),
              1);
    std::filesystem::remove_all(folder);
}

TEST(PatchFile, FilesOnDisk) {
    const std::string path = testing::TempDir() + "patch file test.tpro";
    TreskproPatch patch;
    patch.setParameter(Parameter::VcoBoost, 0.75f);
    ASSERT_TRUE(writePatchFile(patch, path));
    TreskproPatch read;
    ASSERT_TRUE(readPatchFile(read, path));
    EXPECT_EQ(read.getParameter(Parameter::VcoBoost), 0.75f);
    const auto bytes = readWholeFile(path);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(*bytes, writePatchText(patch)); // CR LF on disk on every system
    std::remove(path.c_str());

    TreskproPatch missing;
    EXPECT_FALSE(readPatchFile(missing, testing::TempDir() + "no such patch.tpro"));
    // A folder that does not exist: the write fails and leaves no temporary file behind.
    EXPECT_FALSE(writePatchFile(patch, testing::TempDir() + "no such folder/x.tpro"));
}

} // namespace
} // namespace treskpro
