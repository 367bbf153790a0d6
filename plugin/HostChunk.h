// The binary state a host stores in its project: the current patch block by block, each as its
// little-endian byte image behind a tag and a size, plus the path of the patch file it came from
// (carried in the patch name field of the patch info).
#pragma once

#include "files/TreskproPatch.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace treskpro {

constexpr std::size_t chunkSize = 25112;
using ChunkBuffer = std::array<std::uint8_t, chunkSize>;

// Fills `buffer` with the five records of `patch`, its patch name replaced by `patchPath`.
void writeChunk(const TreskproPatch& patch, const std::string& patchPath, ChunkBuffer& buffer);

// Reads the records of a chunk into a fresh `patch`, in any order; unknown tags are skipped,
// records written on a big-endian machine are converted, no record is copied beyond its block
// and nothing beyond `size` bytes is read (a record that runs past the end is taken as far as it
// goes). `patchPath` receives the path a patch info record carries. False when not one record
// of ours held a byte: the chunk cannot be read at all.
bool readChunk(const std::uint8_t* data, std::size_t size, TreskproPatch& patch,
               std::string& patchPath);

} // namespace treskpro
