// The patch file (.tpro): plain text with CR LF line ends. A version line, then sections of
// parameters (by position, with their names for the reader's eye), sockets (informative),
// connections, states (by name), and the pattern bank and patch info as hex dumps of their byte
// images, 16 bytes to a line.
//
// Reading is forgiving: malformed text ends the parse quietly and the patch keeps what was read
// before it plus the initial values. A file that cannot be read, or that holds none of the
// sections, is no patch and is refused.
#pragma once

#include "files/TreskproPatch.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace treskpro {

// The file's text for `patch`, exactly as written to disk.
std::string writePatchText(const TreskproPatch& patch);

// Parses patch text into `patch`, which should be freshly constructed (what the text does not
// set keeps its value). False when the text holds no section of a patch file.
bool readPatchText(TreskproPatch& patch, std::string_view text);

// Reads the file at `path` into a fresh patch; false when the file cannot be read or is no patch
// file.
bool readPatchFile(TreskproPatch& patch, const std::string& path);

// Writes `patch` to `path` through a temporary file; false (the old file intact) on failure.
bool writePatchFile(const TreskproPatch& patch, const std::string& path);

// Decodes whitespace-separated tokens of hex digit pairs, at most 16 bytes from each token,
// into `destination` until `count` bytes are filled or the text ends; the number of bytes
// written. Bytes beyond `capacity` are decoded into nothing, so a count read from a file can
// never write past the destination.
class TextScanner;
std::size_t readHexBlock(TextScanner& scanner, unsigned char* destination, std::size_t capacity,
                         std::int64_t count);

} // namespace treskpro
