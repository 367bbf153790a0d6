// The command line of treskpro-render, read into one record. Reading only checks the words and
// numbers; whether the files exist is found out when the render starts.
#pragma once

#include "tools/render/AudioFile.h"

#include <string>
#include <vector>

namespace treskpro {

struct RenderOptions {
    bool help = false;
    bool info = false;  // print the plug-in's description instead of rendering
    std::string plugin; // empty: the instrument of the bundle beside the program
    std::string patch;  // empty: the plug-in folder's default patch, when there is one
    std::string midi;   // a standard MIDI file to play; empty: pattern mode
    int pattern = -1;   // the pattern note to send; -1: the patch's current pattern
    int bars = 8;       // pattern mode: how long the pattern note is held
    double tempo = 0.0; // the host tempo to report; 0: the patch's (or the MIDI file's) tempo
    int sampleRate = 0; // 0: 44100, or the rate of the input file
    int blockSize = 512;
    std::string input; // audio for the plug-in's two inputs
    std::string output = "demo.wav";
    double tail = 1.0; // seconds rendered after the last event
    SampleFormat format = SampleFormat::Float32;
    bool bench = false; // render without writing, several times, and report the speed
    int repeat = 5;     // the number of benchmark runs
};

constexpr int defaultSampleRate = 44100;

// Reads the arguments after the program name. False with a message on a usage error.
bool parseRenderOptions(const std::vector<std::string>& arguments, RenderOptions& options,
                        std::string& error);

// The usage text printed for --help and after a usage error.
const char* renderUsage();

} // namespace treskpro
