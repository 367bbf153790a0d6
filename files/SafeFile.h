// Reading whole files and writing them so that a failed or interrupted write never costs the
// previous contents: every file the plug-in writes goes to a temporary file of its own in the same
// folder first, reaches the disk, and is then moved over the old one.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace treskpro {

// Writes `contents` to `path` through a temporary file beside it. False (the old file intact)
// when the folder is not writable, the disk is full or the move fails.
bool writeFileSafely(const std::string& path, std::string_view contents);

// The whole file, or nothing when it cannot be opened or read or is larger than `limit` bytes
// (files of the plug-in are small; a bound keeps a wrong path from reading gigabytes).
std::optional<std::string> readWholeFile(const std::string& path,
                                         std::size_t limit = 64u * 1024u * 1024u);

} // namespace treskpro
