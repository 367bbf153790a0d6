#include "plugin/HostChunk.h"

#include "engine/Parameters.h"
#include "plugin/HostStrings.h"

#include <algorithm>
#include <cstring>

namespace treskpro {

namespace {

enum Tag : std::uint32_t {
    PatternsTag = 257,
    ProgramTag = 258,
    ConnectionsTag = 259,
    PatchInfoTag = 260,
    StatesTag = 261,
};

std::uint32_t swapBytes(std::uint32_t value) {
    return (value >> 24) | ((value >> 8) & 0xff00u) | ((value << 8) & 0xff0000u) | (value << 24);
}

std::uint32_t readWord(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) |
           (static_cast<std::uint32_t>(bytes[3]) << 24);
}

void writeWord(std::uint8_t* bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Reverses the bytes of every 32-bit word in a block written on a big-endian machine.
void swapWords(void* block, std::size_t bytes) {
    auto* words = static_cast<std::uint8_t*>(block);
    for (std::size_t offset = 0; offset + 4 <= bytes; offset += 4)
        writeWord(words + offset, swapBytes(readWord(words + offset)));
}

std::size_t writeRecord(std::uint8_t* out, Tag tag, const void* block, std::size_t size) {
    writeWord(out, tag);
    writeWord(out + 4, static_cast<std::uint32_t>(size));
    std::memcpy(out + 8, block, size);
    return 8 + size;
}

std::string pathFrom(const PatchInfo& info) {
    return std::string(info.patchName, strnlen(info.patchName, PatchInfo::patchNameCapacity));
}

} // namespace

void writeChunk(const TreskproPatch& patch, const std::string& patchPath, ChunkBuffer& buffer) {
    PatchInfo info = patch.info;
    copyString(info.patchName, PatchInfo::patchNameCapacity, patchPath.c_str());
    std::uint8_t* out = buffer.data();
    out += writeRecord(out, PatternsTag, patch.patterns.data(), sizeof(PatternBank));
    out += writeRecord(out, ProgramTag, &patch.program, sizeof(PatchProgram));
    out += writeRecord(out, StatesTag, patch.states.data(), sizeof(patch.states));
    out += writeRecord(out, ConnectionsTag, &patch.connections, sizeof(ConnectionList));
    writeRecord(out, PatchInfoTag, &info, sizeof(PatchInfo));
}

bool readChunk(const std::uint8_t* data, std::size_t size, TreskproPatch& patch,
               std::string& patchPath) {
    bool anyRecord = false;
    std::size_t offset = 0;
    while (data && offset + 8 <= size) {
        std::uint32_t tag = readWord(data + offset);
        std::uint32_t recordSize = readWord(data + offset + 4);
        const bool bigEndian = swapBytes(tag) >= PatternsTag && swapBytes(tag) <= StatesTag;
        if (bigEndian) {
            tag = swapBytes(tag);
            recordSize = swapBytes(recordSize);
        }
        const std::uint8_t* record = data + offset + 8;
        const std::size_t available = std::min<std::size_t>(recordSize, size - offset - 8);
        auto copyInto = [&](void* block, std::size_t blockSize) {
            const std::size_t taken = std::min(available, blockSize);
            std::memcpy(block, record, taken);
            return taken;
        };
        anyRecord = anyRecord || (tag >= PatternsTag && tag <= StatesTag && available > 0);
        switch (tag) {
        case PatternsTag:
            copyInto(patch.patterns.data(), sizeof(PatternBank));
            break;
        case ProgramTag: {
            const PatchProgram before = patch.program;
            const std::size_t taken = copyInto(&patch.program, sizeof(PatchProgram));
            if (bigEndian && taken > PatchProgram::nameCapacity)
                swapWords(reinterpret_cast<std::uint8_t*>(&patch.program) +
                              PatchProgram::nameCapacity,
                          taken - PatchProgram::nameCapacity);
            // A damaged or foreign chunk may hold any bit pattern: a parameter that is not a
            // number keeps the value it had, the others are clamped into their range.
            for (int i = 0; i < Parameter::count; ++i)
                patch.program.parameters[i] =
                    sanitisedParameter(i, patch.program.parameters[i], before.parameters[i]);
            break;
        }
        case ConnectionsTag: {
            const std::size_t taken = copyInto(&patch.connections, sizeof(ConnectionList));
            if (bigEndian)
                swapWords(&patch.connections, taken);
            break;
        }
        case PatchInfoTag: {
            const std::size_t taken = copyInto(&patch.info, sizeof(PatchInfo));
            if (bigEndian && taken >= offsetof(PatchInfo, reserved) + 4)
                swapWords(&patch.info.reserved, 4);
            patch.info.text[PatchInfo::textCapacity - 1] = '\0';
            patch.info.patchName[PatchInfo::patchNameCapacity - 1] = '\0';
            patchPath = pathFrom(patch.info);
            break;
        }
        case StatesTag: {
            const std::size_t taken = copyInto(patch.states.data(), sizeof(patch.states));
            if (bigEndian)
                swapWords(patch.states.data(), taken);
            break;
        }
        default:
            break; // unknown records are skipped by their size
        }
        if (recordSize > size - offset - 8)
            break;
        offset += 8 + recordSize;
    }
    return anyRecord;
}

} // namespace treskpro
