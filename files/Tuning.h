// Tunings: the custom table of 128 note frequencies that voices play from when the standard
// tuning is off, filled from the plug-in's own .tun files (128 numbers in Hz) or from Scala
// scales (.scl), whose degrees repeat every octave from MIDI note 0 upward.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace treskpro {

using NoteTable = std::array<float, 128>;

struct ScalaScale {
    std::string description;
    std::vector<float> degrees; // degree 0 is 1.0, then the file's pitches as ratios
};

// Reads .tun text into `table`: number k is the frequency of note k. Entries beyond the text's
// numbers, and numbers that are no usable frequency, keep their values. True when all 128
// entries were attempted.
bool readTunText(NoteTable& table, std::string_view text);

// Reads Scala text. False (with the message on the standard output stream) for a line that is
// no pitch, a missing note count or a count of zero or less. A file that ends early keeps the
// degrees it has, with a warning.
bool readScalaText(ScalaScale& scale, std::string_view text);

// The table a scale gives: from note 0 at 8.1757989 Hz, one degree per note, each period an
// octave above the one before; the scale's last degree (the period itself) is not used.
NoteTable tableFromScale(const ScalaScale& scale);

// Loads the file at `path` into `table`: a Scala file when the path contains ".scl", a .tun file
// otherwise. Does nothing for an empty path; true only for a .tun file with all 128 values.
bool loadTuning(NoteTable& table, const std::string& path);

} // namespace treskpro
