// Band-limited single-cycle wavetables: one table per range of periods, fewer harmonics for
// shorter periods. The sets are read from the data files in "Tresk Pro Data" at start-up and
// shared by every instance and voice of the process.
//
// File layout (little-endian): "tpro", map count M, table count T, M bytes of period map,
// T offsets, T lengths (signed 32-bit), then the samples as floats.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace treskpro {

// Memory for a set's samples and for a data file read before them, not cleared. On Linux a
// megabyte or more is placed on 2 MiB boundaries and offered to the system for huge pages:
// filling a set's 1.7 MB then costs one page fault instead of some 430, and on a virtual
// machine those faults are most of what a first start takes. Elsewhere, and wherever the
// system keeps no huge pages, it is plain memory.
class WavetableMemory {
public:
    WavetableMemory() = default;
    explicit WavetableMemory(std::size_t bytes);
    ~WavetableMemory();
    WavetableMemory(WavetableMemory&& other) noexcept;
    WavetableMemory& operator=(WavetableMemory&& other) noexcept;
    WavetableMemory(const WavetableMemory&) = delete;
    WavetableMemory& operator=(const WavetableMemory&) = delete;

    void* data() const { return block; }
    std::size_t size() const { return bytes; }

private:
    void release() noexcept;

    void* block = nullptr;
    std::size_t bytes = 0;
    std::size_t mappedBytes = 0; // the length of the mapping, 0 for plain memory
};

class WavetableSet {
public:
    // Parses a data file's bytes into a set that is not loaded yet (a loaded set may be read by
    // audio threads and is never refilled). A wrong magic, a count, offset or length that is
    // negative, points outside the samples or disagrees with the size refuses the whole file: the
    // set then stays as it was (not loaded, for a fresh set).
    bool loadFromMemory(const std::uint8_t* data, std::size_t size);
    bool loadFromFile(const std::string& path);

    // The bytes of a data file holding `tables` (each one cycle) and the period map.
    static std::vector<std::uint8_t> encode(const std::vector<std::uint8_t>& periodMap,
                                            const std::vector<std::vector<float>>& tables);

    // A set is filled completely before this turns true, so any thread may test it and then read.
    bool isLoaded() const { return loaded.load(std::memory_order_acquire); }

    // The table for a waveform whose period is `period` samples at the base rate: the map entry
    // at the period truncated, the map index clamped to the map.
    int tableForPeriod(double period) const;

    // The table of map entry 0..mapCount() - 1.
    int tableForEntry(int entry) const { return periodMap[static_cast<std::size_t>(entry)]; }

    // One table read at phase 0..1 with linear interpolation between neighbouring samples
    // (wrapping from the last sample to the first). Only for a loaded set.
    float readTable(int table, double phase) const;

    // The set read at phase 0..1 for a period of `period` samples. Only for a loaded set.
    float lookup(double phase, double period) const {
        return readTable(tableForPeriod(period), phase);
    }

    // The table with the fewest harmonics (map entry 0): the Sine waveform plays it.
    int smoothestTable() const { return periodMap.front(); }

    int tableCount() const { return static_cast<int>(offsets.size()); }
    int mapCount() const { return static_cast<int>(periodMap.size()); }
    int tableLength(int table) const { return lengths[static_cast<std::size_t>(table)]; }

    // The first sample of a table's cycle (tableLength() samples, then its first two samples
    // again, so that interpolation at phase 0..1 never wraps), for readers that interpolate
    // themselves on the audio path. Only for a loaded set.
    const float* tableSamples(int table) const {
        return static_cast<const float*>(samples.data()) + offsets[static_cast<std::size_t>(table)];
    }

    static constexpr int guardSamples = 2;

private:
    std::vector<std::uint8_t> periodMap;
    std::vector<std::int32_t> offsets;
    std::vector<std::int32_t> lengths;
    WavetableMemory samples;
    std::atomic<bool> loaded{false};
};

// The five process-wide sets and their files in the plug-in folder.
struct WavetableLibrary {
    WavetableSet saw;      // "wtsaw.dat"
    WavetableSet square;   // "wtsquare.dat"
    WavetableSet triangle; // "wttri.dat"
    WavetableSet mgSaw;    // "mgsaw.dat"
    WavetableSet mgSquare; // "mgsqu.dat"

    static constexpr const char* folderName = "Tresk Pro Data";

    // The one library of the process.
    static WavetableLibrary& shared();

    // Loads every set not loaded yet from `dataFolder` (the plug-in folder followed by the
    // data folder's name). Missing or damaged files leave their set empty, silently. Safe to
    // call from several instances' constructors at once.
    void loadMissing(const std::string& dataFolder);
};

} // namespace treskpro
