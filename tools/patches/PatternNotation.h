// A compact text notation for writing step patterns by hand, so that every factory pattern reads
// like a line of music rather than a table of bytes.
//
// One token per step, separated by blanks or by "|", which reads as a bar line. A note is a name
// and an octave, "C2" (the pattern's base note, MIDI note 36) up to "B4" (35 semitones above it),
// with "#" for sharps, followed by any of these flags:
//   a  accent      s  slide into the next step      u  one octave up      d  one octave down
// "." is a rest and "~" holds the note before it for one more step (a tie).
//
// Example, one bar of sixteenths: "C2a C2 C3s C2 | D#2a . ~ A#2s | C2 C2u . G2a | C2 ~ F2 G2ua".
// (A "~" after a rest lengthens nothing: ties only continue notes.)
#pragma once

#include "sequencer/PatternRecord.h"

#include <stdexcept>
#include <string_view>

namespace treskpro::factory {

struct PatternOptions {
    int prescale = 0; // 0: sixteenths, 1: twice as fast, 2: three quarters, 3: one and a half
    bool triplet = false;
};

// Thrown for a token the notation does not know, naming it, so a typo fails the build instead
// of shipping a wrong note.
class PatternNotationError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// The record for `steps`: its length is the number of steps (1..64), the steps beyond it stay
// as a fresh record has them.
PatternRecord parsePattern(std::string_view steps, PatternOptions options = {});

} // namespace treskpro::factory
