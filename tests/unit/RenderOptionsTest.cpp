// treskpro-render's command line: what each option sets and which words are usage errors.
#include "tools/render/RenderOptions.h"

#include <gtest/gtest.h>

namespace treskpro {
namespace {

bool parse(std::vector<std::string> words, RenderOptions& options, std::string& error) {
    return parseRenderOptions(words, options, error);
}

TEST(RenderOptions, NoArgumentsRenderTheDefaultPatchsPatternToDemoWav) {
    RenderOptions options;
    options.bars = 99;
    std::string error;
    ASSERT_TRUE(parse({}, options, error));
    EXPECT_FALSE(options.info || options.bench || options.help);
    EXPECT_TRUE(options.plugin.empty());
    EXPECT_TRUE(options.patch.empty());
    EXPECT_TRUE(options.midi.empty());
    EXPECT_EQ(options.pattern, -1);
    EXPECT_EQ(options.bars, 8);
    EXPECT_EQ(options.tempo, 0.0);
    EXPECT_EQ(options.sampleRate, 0);
    EXPECT_EQ(options.blockSize, 512);
    EXPECT_EQ(options.output, "demo.wav");
    EXPECT_EQ(options.format, SampleFormat::Float32);
}

TEST(RenderOptions, EveryOptionSetsItsField) {
    RenderOptions options;
    std::string error;
    ASSERT_TRUE(parse({"--plugin", "fx.so", "--patch", "a b.tpro", "--pattern", "127",
                       "--bars",   "2",     "--tempo", "133.5",    "--rate",    "48000",
                       "--block",  "64",    "--input", "in.wav",   "--tail",    "0",
                       "--pcm16",  "-o",    "out.wav", "--repeat", "3",         "--bench"},
                      options, error))
        << error;
    EXPECT_EQ(options.plugin, "fx.so");
    EXPECT_EQ(options.patch, "a b.tpro");
    EXPECT_EQ(options.pattern, 127);
    EXPECT_EQ(options.bars, 2);
    EXPECT_EQ(options.tempo, 133.5);
    EXPECT_EQ(options.sampleRate, 48000);
    EXPECT_EQ(options.blockSize, 64);
    EXPECT_EQ(options.input, "in.wav");
    EXPECT_EQ(options.tail, 0.0);
    EXPECT_EQ(options.format, SampleFormat::Pcm16);
    EXPECT_EQ(options.output, "out.wav");
    EXPECT_EQ(options.repeat, 3);
    EXPECT_TRUE(options.bench);

    ASSERT_TRUE(parse({"--midi", "song.mid", "--output", "x.wav"}, options, error));
    EXPECT_EQ(options.midi, "song.mid");
    EXPECT_EQ(options.output, "x.wav");

    ASSERT_TRUE(parse({"--info", "Treskpro.so"}, options, error));
    EXPECT_TRUE(options.info);
    EXPECT_EQ(options.plugin, "Treskpro.so");
    ASSERT_TRUE(parse({"--info", "--rate", "44100"}, options, error));
    EXPECT_TRUE(options.info);
    EXPECT_TRUE(options.plugin.empty());
    ASSERT_TRUE(parse({"-h"}, options, error));
    EXPECT_TRUE(options.help);
}

TEST(RenderOptions, UsageErrorsSayWhatIsWrong) {
    const std::vector<std::pair<std::vector<std::string>, const char*>> cases = {
        {{"--frobnicate"}, "unknown argument --frobnicate"},
        {{"song.mid"}, "unknown argument song.mid"},
        {{"--pattern"}, "--pattern takes a whole number from 0 to 127"},
        {{"--pattern", "128"}, "from 0 to 127"},
        {{"--pattern", "-1"}, "from 0 to 127"},
        {{"--pattern", "5x"}, "from 0 to 127"},
        {{"--bars", "0"}, "--bars takes"},
        {{"--rate", "44100.5"}, "--rate takes"},
        {{"--rate", "99999999999"}, "--rate takes"},
        {{"--block", "0"}, "--block takes"},
        {{"--tempo", "0"}, "--tempo takes a number"},
        {{"--tempo", "nan"}, "--tempo takes a number"},
        {{"--tempo", "120bpm"}, "--tempo takes a number"},
        {{"--tail", "-1"}, "--tail takes"},
        {{"--patch"}, "--patch takes a file name"},
        {{"-o", ""}, "-o takes a file name"},
        {{"--midi", "a.mid", "--pattern", "3"}, "--pattern and --bars belong to pattern mode"},
        {{"--bars", "4", "--midi", "a.mid"}, "--pattern and --bars belong to pattern mode"},
    };
    for (const auto& [words, message] : cases) {
        RenderOptions options;
        std::string error;
        EXPECT_FALSE(parse(words, options, error)) << words[0];
        EXPECT_NE(error.find(message), std::string::npos) << words[0] << ": " << error;
    }
}

} // namespace
} // namespace treskpro
