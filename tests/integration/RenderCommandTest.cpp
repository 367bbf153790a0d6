// treskpro-render as a user runs it: the real program against the real plug-in binaries in a
// plug-in folder of their own, writing WAV files that are read back here.
#include "engine/Parameters.h"
#include "files/PatchFile.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace treskpro {
namespace {

namespace fs = std::filesystem;

using platform::pluginSuffix;
#ifdef _WIN32
constexpr const char* programSuffix = ".exe";
#else
constexpr const char* programSuffix = "";
#endif

std::string quote(const fs::path& path) {
    return "\"" + path.string() + "\"";
}

std::string readText(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

struct Wav {
    bool opened = false;
    SF_INFO info{};
    std::vector<float> samples; // interleaved
};

Wav readWav(const fs::path& path) {
    Wav wav;
    SNDFILE* file = sf_open(path.string().c_str(), SFM_READ, &wav.info);
    if (!file)
        return wav;
    wav.opened = true;
    wav.samples.resize(static_cast<std::size_t>(wav.info.frames * wav.info.channels));
    sf_readf_float(file, wav.samples.data(), wav.info.frames);
    sf_close(file);
    return wav;
}

bool allFinite(const Wav& wav) {
    for (float sample : wav.samples) {
        if (!std::isfinite(sample))
            return false;
    }
    return true;
}

std::string bigEndian(std::uint32_t value, int bytes) {
    std::string text;
    for (int i = bytes - 1; i >= 0; --i)
        text += static_cast<char>((value >> (8 * i)) & 0xFF);
    return text;
}

std::string midiTrack(const std::string& events) {
    return "MTrk" + bigEndian(static_cast<std::uint32_t>(events.size()), 4) + events;
}

std::string midiHeader(int format, int tracks, int division) {
    return "MThd" + bigEndian(6, 4) + bigEndian(static_cast<std::uint32_t>(format), 2) +
           bigEndian(static_cast<std::uint32_t>(tracks), 2) +
           bigEndian(static_cast<std::uint32_t>(division), 2);
}

// Windows keeps a folder busy for a moment after the program that used it has ended (the
// plug-in files it loaded are released late), so removing it is tried again for a while.
void removeFolder(const fs::path& folder) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::error_code error;
        fs::remove_all(folder, error);
        if (!error)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    fs::remove_all(folder);
}

class RenderCommand : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::path(testing::TempDir()) / "treskpro-render-test";
        removeFolder(folder);
        fs::create_directories(folder / "plug-ins");
        const fs::path bundle = fs::path(platform::executableDirectory()) / ".." / "bundle";
        for (const char* name : {"Treskpro", "TreskproFX"}) {
            const std::string file = std::string(name) + pluginSuffix;
            fs::copy_file(bundle / file, folder / "plug-ins" / file);
        }
        fs::copy(bundle / "Tresk Pro Data", folder / "plug-ins" / "Tresk Pro Data");
    }
    void TearDown() override { removeFolder(folder); }

    mutable int runs = 0;

    fs::path plugin(const char* name) const {
        return folder / "plug-ins" / (std::string(name) + pluginSuffix);
    }

    struct Run {
        int status;
        std::string output;
    };
    Run render(const std::string& arguments) const {
        const fs::path program = fs::path(platform::executableDirectory()) /
                                 (std::string("treskpro-render") + programSuffix);
        // A log of its own per run: Windows may still hold the last run's log for a moment.
        const fs::path log = folder / ("render" + std::to_string(++runs) + ".log");
        std::string command = quote(program) + " " + arguments + " > " + quote(log) + " 2>&1";
#ifdef _WIN32
        command = "\"" + command + "\""; // cmd.exe takes the outer quotes off
#endif
        int status = std::system(command.c_str());
#ifndef _WIN32
        status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
        return {status, readText(log)};
    }

    void writePatch(const fs::path& path, double tempo, int syncMode) const {
        TreskproPatch patch;
        patch.setParameter(Parameter::Tempo, static_cast<float>((tempo - 25.0) / 225.0));
        patch.setState(State::SyncMode, syncMode);
        patch.setState(State::BendRange, 7);
        fs::create_directories(path.parent_path());
        writeBytes(path, writePatchText(patch));
    }

    fs::path folder;
};

TEST_F(RenderCommand, DefaultPatchPlaysItsPatternForTheBarsAtItsTempo) {
    // The plug-in folder's default patch, at 150 BPM on its own clock: 2 bars of 16 steps are
    // 2 x 4 x 0.4 s, then the tail.
    writePatch(folder / "plug-ins" / "Tresk Pro Patches" / "Tresk Pro Patch.tpro", 150.0, 0);
    const fs::path out = folder / "pattern.wav";
    const Run run = render("--plugin " + quote(plugin("Treskpro")) +
                           " --bars 2 --tail 0.5 --tempo 90 -o " + quote(out));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("its own tempo (150.00 BPM"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("rendered 3.70 s of audio in "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("x real time"), std::string::npos);

    const Wav wav = readWav(out);
    ASSERT_TRUE(wav.opened);
    EXPECT_EQ(wav.info.frames, 2 * 70560 + 22050);
    EXPECT_EQ(wav.info.channels, 2);
    EXPECT_EQ(wav.info.samplerate, 44100);
    EXPECT_EQ(wav.info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_TRUE(allFinite(wav));
    EXPECT_FALSE(fs::exists(folder / "pattern.wav.part"));

    // The patch went in through the chunk: the plug-in kept it when it closed.
    const std::string kept = readText(folder / "plug-ins" / "Tresk Pro Patch.tpro");
    EXPECT_NE(kept.find("\"Tempo\" = 0.5555555"), std::string::npos);
    EXPECT_NE(kept.find("BendRange = 7\r\n"), std::string::npos);
}

TEST_F(RenderCommand, HostTempoCountsWhenThePatchFollowsIt) {
    const fs::path patch = folder / "synced.tpro";
    writePatch(patch, 150.0, 1);
    const fs::path out = folder / "synced.wav";
    const Run run =
        render("--plugin " + quote(plugin("Treskpro")) + " --patch " + quote(patch) +
               " --pattern 5 --bars 1 --tempo 100 --tail 0 --block 100 -o " + quote(out));
    ASSERT_EQ(run.status, 0) << run.output;
    const Wav wav = readWav(out);
    ASSERT_TRUE(wav.opened);
    EXPECT_EQ(wav.info.frames, 105840); // one bar at 100 BPM
}

TEST_F(RenderCommand, MidiFileWithATempoMap) {
    // 96 ticks a quarter: 240 BPM to tick 192 (0.5 s), then 60 BPM: the note off at tick 384
    // lies at 2.5 s; 48 kHz and a quarter-second tail.
    const std::string tempoTrack = std::string("\x00\xFF\x51\x03", 4) + bigEndian(250000, 3) +
                                   std::string("\x81\x40\xFF\x51\x03", 5) + bigEndian(1000000, 3) +
                                   std::string("\x00\xFF\x2F\x00", 4);
    const std::string notes =
        std::string("\x00\x90\x24\x64\x83\x00\x80\x24\x00\x00\xFF\x2F\x00", 13);
    const fs::path song = folder / "song.mid";
    writeBytes(song, midiHeader(1, 2, 96) + midiTrack(tempoTrack) + midiTrack(notes));
    const fs::path out = folder / "song.wav";
    const Run run = render("--plugin " + quote(plugin("Treskpro")) + " --midi " + quote(song) +
                           " --rate 48000 --tail 0.25 --pcm16 -o " + quote(out));
    ASSERT_EQ(run.status, 0) << run.output;
    const Wav wav = readWav(out);
    ASSERT_TRUE(wav.opened);
    EXPECT_EQ(wav.info.frames, 120000 + 12000);
    EXPECT_EQ(wav.info.samplerate, 48000);
    EXPECT_EQ(wav.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);

    writeBytes(song, midiHeader(0, 1, 0xE728) + midiTrack(notes));
    const Run smpte = render("--plugin " + quote(plugin("Treskpro")) + " --midi " + quote(song) +
                             " -o " + quote(out));
    EXPECT_EQ(smpte.status, 1);
    EXPECT_NE(smpte.output.find("SMPTE"), std::string::npos) << smpte.output;
}

TEST_F(RenderCommand, EffectBuildProcessesTheInputFile) {
    // Three seconds of a mono sine, longer than the one bar of the pattern: the render covers
    // the input, then the tail.
    const fs::path input = folder / "input.wav";
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(input.string().c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    std::vector<float> sine(132300);
    for (std::size_t i = 0; i < sine.size(); ++i)
        sine[i] = 0.5f * static_cast<float>(std::sin(0.0627 * static_cast<double>(i)));
    sf_writef_float(file, sine.data(), static_cast<sf_count_t>(sine.size()));
    sf_close(file);

    const fs::path out = folder / "effect.wav";
    const Run run = render("--plugin " + quote(plugin("TreskproFX")) + " --input " + quote(input) +
                           " --bars 1 --tail 0.1 -o " + quote(out));
    ASSERT_EQ(run.status, 0) << run.output;
    const Wav wav = readWav(out);
    ASSERT_TRUE(wav.opened);
    EXPECT_EQ(wav.info.frames, 132300 + 4410);
    EXPECT_EQ(wav.info.channels, 2);
    EXPECT_TRUE(allFinite(wav));

    const Run mismatch = render("--plugin " + quote(plugin("TreskproFX")) + " --input " +
                                quote(input) + " --rate 48000 -o " + quote(out));
    EXPECT_EQ(mismatch.status, 1);
    EXPECT_NE(mismatch.output.find("does not resample"), std::string::npos) << mismatch.output;

    // A damaged header without a sample rate is refused with a reason, and the file is closed
    // once.
    std::string bytes;
    {
        std::ifstream in(input, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ASSERT_GT(bytes.size(), 28u);
    bytes.replace(24, 4, 4, '\0'); // the rate of the WAV header's format chunk
    const fs::path rateless = folder / "rateless.wav";
    std::ofstream(rateless, std::ios::binary) << bytes;
    const Run damaged = render("--plugin " + quote(plugin("TreskproFX")) + " --input " +
                               quote(rateless) + " -o " + quote(out));
    EXPECT_EQ(damaged.status, 1) << damaged.output;
    EXPECT_NE(damaged.output.find("rateless.wav"), std::string::npos) << damaged.output;
}

#ifndef _WIN32
// On a terminal a progress bar shows while rendering; it is blanked before the report, so the
// report stands on a clean line. script(1) gives the renderer a terminal.
TEST_F(RenderCommand, TheProgressBarIsClearedBeforeTheReport) {
    if (std::system("script -qec true /dev/null > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "script(1) is not installed";
    const fs::path program = fs::path(platform::executableDirectory()) / "treskpro-render";
    const fs::path log = folder / "terminal.log";
    const std::string inner = quote(program) + " --plugin " + quote(plugin("Treskpro")) +
                              " --bars 1 --tail 0 -o " + quote(folder / "bar.wav");
    const std::string command = "script -qec '" + inner + "' /dev/null > " + quote(log) + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << readText(log);
    const std::string text = readText(log);
    const std::size_t bar = text.rfind("100%");
    ASSERT_NE(bar, std::string::npos) << text;
    const std::size_t report = text.find("wrote ", bar);
    ASSERT_NE(report, std::string::npos) << text;
    EXPECT_NE(text.substr(bar, report - bar).find("\r          "), std::string::npos)
        << "the bar was left standing: " << text.substr(bar, report - bar);
}
#endif

TEST_F(RenderCommand, BenchReportsTheRealTimeFactor) {
    const Run run =
        render("--plugin " + quote(plugin("Treskpro")) + " --bench --repeat 2 --bars 1 --tail 0");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("run 2: "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("bench: 2.00 s of audio, median "), std::string::npos) << run.output;
}

TEST_F(RenderCommand, FailuresAndUsageErrorsHaveTheirExitCodes) {
    const fs::path out = folder / "never.wav";
    const std::string plug = " --plugin " + quote(plugin("Treskpro"));
    EXPECT_EQ(render("--bars").status, 2);
    EXPECT_EQ(render("--pattern 200").status, 2);
    const Run missingPatch =
        render(plug + " --patch " + quote(folder / "none.tpro") + " -o " + quote(out));
    EXPECT_EQ(missingPatch.status, 1);
    EXPECT_NE(missingPatch.output.find("cannot read the patch"), std::string::npos);
    EXPECT_EQ(render("--plugin " + quote(folder / "none.so") + " -o " + quote(out)).status, 1);
    EXPECT_EQ(render(plug + " --midi " + quote(folder / "none.mid") + " -o " + quote(out)).status,
              1);
    EXPECT_EQ(render(plug + " --bars 1 -o " + quote(folder / "no folder" / "x.wav")).status, 1);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(render("--help").status, 0);
}

} // namespace
} // namespace treskpro
