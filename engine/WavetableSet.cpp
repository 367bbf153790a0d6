#include "engine/WavetableSet.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <emmintrin.h>
#include <fstream>
#include <mutex>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#define TRESKPRO_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TRESKPRO_ADDRESS_SANITIZER 1
#endif
#endif
// Under the address sanitizer the samples stay in the heap it watches, so that a read past a
// table's end is still caught there.
#if defined(__linux__) && !defined(TRESKPRO_ADDRESS_SANITIZER)
#include <sys/mman.h>
#define TRESKPRO_HUGE_PAGES 1
#endif

namespace treskpro {

WavetableMemory::WavetableMemory(std::size_t size) : bytes(size) {
#ifdef TRESKPRO_HUGE_PAGES
    constexpr std::size_t hugePage = std::size_t{2} << 20;
    if (size >= (std::size_t{1} << 20)) {
        // Mapped with a huge page's room to spare, moved up to the next boundary, and what
        // lies outside the whole pages given back.
        const std::size_t kept = (size + hugePage - 1) / hugePage * hugePage;
        const std::size_t reserved = kept + hugePage;
        void* mapping =
            mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapping != MAP_FAILED) {
            const auto start = reinterpret_cast<std::uintptr_t>(mapping);
            const std::uintptr_t aligned = (start + hugePage - 1) & ~(hugePage - 1);
            const std::size_t head = aligned - start;
            if (head > 0)
                munmap(mapping, head);
            if (reserved - head > kept)
                munmap(reinterpret_cast<void*>(aligned + kept), reserved - head - kept);
            // Only advice: without huge pages the mapping stays one of plain pages.
            madvise(reinterpret_cast<void*>(aligned), kept, MADV_HUGEPAGE);
            block = reinterpret_cast<void*>(aligned);
            mappedBytes = kept;
            return;
        }
    }
#endif
    block = ::operator new(size > 0 ? size : 1);
}

WavetableMemory::~WavetableMemory() {
    release();
}

WavetableMemory::WavetableMemory(WavetableMemory&& other) noexcept
    : block(std::exchange(other.block, nullptr)), bytes(std::exchange(other.bytes, 0)),
      mappedBytes(std::exchange(other.mappedBytes, 0)) {}

WavetableMemory& WavetableMemory::operator=(WavetableMemory&& other) noexcept {
    if (this != &other) {
        release();
        block = std::exchange(other.block, nullptr);
        bytes = std::exchange(other.bytes, 0);
        mappedBytes = std::exchange(other.mappedBytes, 0);
    }
    return *this;
}

void WavetableMemory::release() noexcept {
    if (!block)
        return;
#ifdef TRESKPRO_HUGE_PAGES
    if (mappedBytes > 0) {
        munmap(block, mappedBytes);
        block = nullptr;
        return;
    }
#endif
    ::operator delete(block);
    block = nullptr;
}

namespace {

constexpr char magic[4] = {'t', 'p', 'r', 'o'};
constexpr std::size_t headerSize = 12;

std::int32_t readInt32(const std::uint8_t* bytes) {
    const std::uint32_t value =
        static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
        (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
    return static_cast<std::int32_t>(value);
}

void appendInt32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<std::uint8_t>(value >> shift));
}

// Copies `count` samples from a file's bytes (little-endian floats, as this machine's, at any
// alignment) to `to`. A damaged file's infinities and NaNs would stick in every filter they reach,
// so they become silence; they are told by their bits (all exponent bits set), four at a time.
void copyFinite(float* to, const std::uint8_t* from, std::size_t count) {
    constexpr std::uint32_t exponentBits = 0x7f800000u;
    const __m128i exponent = _mm_set1_epi32(static_cast<int>(exponentBits));
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i bits = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 4 * i));
        const __m128i nonFinite = _mm_cmpeq_epi32(_mm_and_si128(bits, exponent), exponent);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), _mm_andnot_si128(nonFinite, bits));
    }
    for (; i < count; ++i) {
        std::uint32_t bits;
        std::memcpy(&bits, from + 4 * i, sizeof bits);
        if ((bits & exponentBits) == exponentBits)
            bits = 0;
        std::memcpy(to + i, &bits, sizeof bits);
    }
}

// Reads the whole file at `path` into `buffer`, which is replaced when it is too small, and its
// length into `size`: one read, into memory that is not cleared first. The files are 1.7 MB
// each and read at every first start of the plug-in.
bool readWholeFile(const std::string& path, WavetableMemory& buffer, std::size_t& size) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file)
        return false;
    // A set's file is a few megabytes. A folder opens too, and reports a size near 2^63: anything
    // past 1 GiB is refused before a buffer is taken.
    constexpr std::streamoff largestFile = std::streamoff{1} << 30;
    const std::streamoff length = file.tellg();
    if (length < 0 || length > largestFile || !file.seekg(0))
        return false;
    size = static_cast<std::size_t>(length);
    if (!buffer.data() || buffer.size() < size)
        buffer = WavetableMemory(size);
    return static_cast<bool>(
        file.read(static_cast<char*>(buffer.data()), static_cast<std::streamsize>(length)));
}

} // namespace

bool WavetableSet::loadFromMemory(const std::uint8_t* data, std::size_t size) {
    if (isLoaded() || !data || size < headerSize || std::memcmp(data, magic, 4) != 0)
        return false;
    const std::int64_t mapCount = readInt32(data + 4);
    const std::int64_t tableCount = readInt32(data + 8);
    if (mapCount < 1 || tableCount < 1)
        return false;
    // Everything but the samples must fit before the sizes can be trusted.
    const std::int64_t tablesEnd =
        static_cast<std::int64_t>(headerSize) + mapCount + 8 * tableCount;
    if (tablesEnd > static_cast<std::int64_t>(size))
        return false;

    std::vector<std::uint8_t> map(data + headerSize, data + headerSize + mapCount);
    std::vector<std::int32_t> tableOffsets(static_cast<std::size_t>(tableCount));
    std::vector<std::int32_t> tableLengths(static_cast<std::size_t>(tableCount));
    const std::uint8_t* offsetBytes = data + headerSize + mapCount;
    const std::uint8_t* lengthBytes = offsetBytes + 4 * tableCount;
    std::int64_t sampleCount = 0;
    for (std::size_t t = 0; t < tableOffsets.size(); ++t) {
        tableOffsets[t] = readInt32(offsetBytes + 4 * t);
        tableLengths[t] = readInt32(lengthBytes + 4 * t);
        if (tableOffsets[t] < 0 || tableLengths[t] < 1)
            return false;
        sampleCount += tableLengths[t];
    }
    if (tablesEnd + 4 * sampleCount != static_cast<std::int64_t>(size))
        return false;
    for (std::size_t t = 0; t < tableOffsets.size(); ++t) {
        if (static_cast<std::int64_t>(tableOffsets[t]) + tableLengths[t] > sampleCount)
            return false;
    }
    for (std::uint8_t entry : map) {
        if (entry >= tableCount)
            return false;
    }

    // A table with the same samples as the one before it (a waveform with odd harmonics only
    // gains nothing from the next even one) is kept once and read from the same place.
    const std::uint8_t* fileSamples = data + tablesEnd;
    auto fileCycle = [&](std::size_t t) {
        return fileSamples + sizeof(float) * static_cast<std::size_t>(tableOffsets[t]);
    };
    std::vector<bool> repeatsPrevious(tableOffsets.size(), false);
    std::size_t storedCount = 0;
    for (std::size_t t = 0; t < tableOffsets.size(); ++t) {
        const auto length = static_cast<std::size_t>(tableLengths[t]);
        repeatsPrevious[t] =
            t > 0 && tableLengths[t - 1] == tableLengths[t] &&
            std::memcmp(fileCycle(t - 1), fileCycle(t), length * sizeof(float)) == 0;
        if (!repeatsPrevious[t])
            storedCount += length + guardSamples;
    }

    // Each table on its own, followed by its first two samples again: readers can then
    // interpolate from any phase 0..1 without wrapping (the oscillators' hottest loop). The
    // samples go straight from the file's bytes to their place, which is not cleared first.
    WavetableMemory tableSamples(storedCount * sizeof(float));
    float* const stored = static_cast<float*>(tableSamples.data());
    std::size_t next = 0;
    for (std::size_t t = 0; t < tableOffsets.size(); ++t) {
        if (repeatsPrevious[t]) {
            tableOffsets[t] = tableOffsets[t - 1];
            continue;
        }
        const auto length = static_cast<std::size_t>(tableLengths[t]);
        float* cycle = stored + next;
        copyFinite(cycle, fileCycle(t), length);
        for (std::size_t k = 0; k < guardSamples; ++k)
            cycle[length + k] = cycle[k % length];
        tableOffsets[t] = static_cast<std::int32_t>(next);
        next += length + guardSamples;
    }

    periodMap = std::move(map);
    offsets = std::move(tableOffsets);
    lengths = std::move(tableLengths);
    samples = std::move(tableSamples);
    loaded.store(true, std::memory_order_release);
    return true;
}

bool WavetableSet::loadFromFile(const std::string& path) {
    WavetableMemory bytes;
    std::size_t size = 0;
    return readWholeFile(path, bytes, size) &&
           loadFromMemory(static_cast<const std::uint8_t*>(bytes.data()), size);
}

std::vector<std::uint8_t> WavetableSet::encode(const std::vector<std::uint8_t>& map,
                                               const std::vector<std::vector<float>>& tables) {
    std::vector<std::uint8_t> bytes(magic, magic + 4);
    appendInt32(bytes, static_cast<std::uint32_t>(map.size()));
    appendInt32(bytes, static_cast<std::uint32_t>(tables.size()));
    bytes.insert(bytes.end(), map.begin(), map.end());
    std::uint32_t offset = 0;
    for (const auto& table : tables) {
        appendInt32(bytes, offset);
        offset += static_cast<std::uint32_t>(table.size());
    }
    for (const auto& table : tables)
        appendInt32(bytes, static_cast<std::uint32_t>(table.size()));
    for (const auto& table : tables) {
        for (float sample : table) {
            std::uint32_t word;
            std::memcpy(&word, &sample, sizeof word);
            appendInt32(bytes, word);
        }
    }
    return bytes;
}

int WavetableSet::tableForPeriod(double period) const {
    const int last = mapCount() - 1;
    int index = 0;
    if (period >= static_cast<double>(last))
        index = last;
    else if (period > 0.0)
        index = static_cast<int>(period);
    return periodMap[static_cast<std::size_t>(index)];
}

float WavetableSet::readTable(int table, double phase) const {
    const std::int32_t length = lengths[static_cast<std::size_t>(table)];
    const float* cycle =
        static_cast<const float*>(samples.data()) + offsets[static_cast<std::size_t>(table)];
    const double x = phase * length;
    int index = static_cast<int>(x);
    const double fraction = x - index;
    index = std::clamp(index, 0, length - 1);
    const int next = index + 1 == length ? 0 : index + 1;
    return static_cast<float>((1.0 - fraction) * cycle[index] + fraction * cycle[next]);
}

WavetableLibrary& WavetableLibrary::shared() {
    static WavetableLibrary library;
    return library;
}

void WavetableLibrary::loadMissing(const std::string& dataFolder) {
    static std::mutex loading;
    const std::lock_guard<std::mutex> guard(loading);
    const struct {
        WavetableSet& set;
        const char* file;
    } files[] = {{saw, "wtsaw.dat"},
                 {square, "wtsquare.dat"},
                 {triangle, "wttri.dat"},
                 {mgSaw, "mgsaw.dat"},
                 {mgSquare, "mgsqu.dat"}};
#ifdef _WIN32
    constexpr char separator = '\\';
#else
    constexpr char separator = '/';
#endif
    // One buffer for the five files, so that only the first one's pages are new.
    WavetableMemory bytes;
    for (const auto& entry : files) {
        std::size_t size = 0;
        if (!entry.set.isLoaded() &&
            readWholeFile(dataFolder + separator + entry.file, bytes, size))
            entry.set.loadFromMemory(static_cast<const std::uint8_t*>(bytes.data()), size);
    }
}

} // namespace treskpro
