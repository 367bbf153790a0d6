#include "files/PatchFile.h"

#include "engine/Parameters.h"
#include "engine/SocketRegistry.h"
#include "files/SafeFile.h"
#include "files/TextScanner.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace treskpro {

namespace {

constexpr const char* formatVersion = "1.04";
constexpr int hexBytesPerLine = 16;
constexpr std::size_t patchInfoSize = sizeof(PatchInfo);
constexpr std::size_t patternBankSize = sizeof(PatternBank);

// Patch text is written with CR LF on every system.
class PatchWriter {
public:
    void line(std::string_view text) {
        out.append(text);
        out.append("\r\n");
    }

    template <typename... Values> void formatted(const char* format, Values... values) {
        char buffer[512];
        std::snprintf(buffer, sizeof buffer, format, values...);
        line(buffer);
    }

    // "%.8f" without the host's locale: a decimal comma must never reach a file.
    void parameter(const char* name, float value) {
        char number[64];
        const auto result = std::to_chars(number, number + sizeof number,
                                          static_cast<double>(value), std::chars_format::fixed, 8);
        out.append("\"").append(name).append("\" = ");
        out.append(number, result.ptr);
        out.append("\r\n");
    }

    void hexBlock(const unsigned char* bytes, std::size_t size) {
        static constexpr char digits[] = "0123456789abcdef";
        for (std::size_t start = 0; start < size; start += hexBytesPerLine) {
            const std::size_t end = std::min(size, start + hexBytesPerLine);
            for (std::size_t i = start; i < end; ++i) {
                out.push_back(digits[bytes[i] >> 4]);
                out.push_back(digits[bytes[i] & 15]);
            }
            out.append("\r\n");
        }
    }

    std::string out;
};

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 0;
}

int stateIndex(std::string_view name) {
    for (int i = 0; i < State::count; ++i) {
        if (equalIgnoringCase(name, stateNames[static_cast<std::size_t>(i)]))
            return i;
    }
    return -1;
}

float clampedParameter(float value) {
    if (!(value >= 0.0f)) // NaN included
        return 0.0f;
    return std::min(value, 1.0f);
}

void resetPatchInfo(PatchInfo& info) {
    info = PatchInfo{};
    std::strcpy(info.patchName, "Tresk Pro Patch");
}

void readPatchInfo(TextScanner& scanner, PatchInfo& info, std::int32_t count) {
    resetPatchInfo(info);
    if (count >= 1 && count <= static_cast<std::int32_t>(patchInfoSize))
        readHexBlock(scanner, reinterpret_cast<unsigned char*>(&info), patchInfoSize, count);
    // Whatever the dump held, the texts stay terminated.
    info.text[PatchInfo::textCapacity - 1] = '\0';
    info.patchName[PatchInfo::patchNameCapacity - 1] = '\0';
}

} // namespace

std::size_t readHexBlock(TextScanner& scanner, unsigned char* destination, std::size_t capacity,
                         std::int64_t count) {
    std::size_t written = 0;
    std::int64_t decoded = 0;
    std::string token;
    while (decoded < count) {
        if (!scanner.word(token, 1023))
            break;
        for (std::size_t pair = 0;
             pair < hexBytesPerLine && 2 * pair + 1 < token.size() && decoded < count; ++pair) {
            const int value = hexDigit(token[2 * pair]) * 16 + hexDigit(token[2 * pair + 1]);
            if (static_cast<std::size_t>(decoded) < capacity) {
                destination[decoded] = static_cast<unsigned char>(value);
                ++written;
            }
            ++decoded;
        }
    }
    return written;
}

std::string writePatchText(const TreskproPatch& patch) {
    PatchWriter writer;
    writer.formatted("Version: %s", formatVersion);

    writer.formatted("[%d Parameters]", Parameter::count);
    for (int i = 0; i < Parameter::count; ++i)
        writer.parameter(parameterDefinitions[static_cast<std::size_t>(i)].name,
                         patch.getParameter(i));

    writer.formatted("[%d Sockets]", Socket::count);
    for (int i = 0; i < Socket::count; ++i)
        writer.formatted("Socket %d: \"%s\"", i,
                         socketDefinitions[static_cast<std::size_t>(i)].name);

    const int connections = patch.connections.size();
    writer.formatted("[%d Connections]", connections);
    for (int k = 0; k < connections; ++k) {
        const Connection cable = patch.connections.connection(k);
        writer.formatted("%d, %d", cable.output, cable.input);
    }

    writer.formatted("[%d States]", State::count);
    for (int i = 0; i < State::count; ++i)
        writer.formatted("%s = %d", stateNames[static_cast<std::size_t>(i)], patch.getState(i));

    writer.formatted("[%d Patterns]", patternCount);
    writer.hexBlock(reinterpret_cast<const unsigned char*>(patch.patterns.data()), patternBankSize);

    writer.formatted("[%d PatchInfo]", static_cast<int>(patchInfoSize));
    writer.hexBlock(reinterpret_cast<const unsigned char*>(&patch.info), patchInfoSize);
    return std::move(writer.out);
}

bool readPatchText(TreskproPatch& patch, std::string_view text) {
    TextScanner scanner(text);
    std::int32_t major = 0;
    std::int32_t minor = 0;
    bool versionRead = false;
    bool sectionRead = false;
    if (scanner.literal("Version:")) {
        scanner.skipSpace();
        versionRead = scanner.integer(major) && scanner.character('.') && scanner.integer(minor);
        scanner.skipSpace();
    }

    // The count in a header is only a promise: a line that consumes no text ends its section,
    // so a huge count in a short file costs no more than the file's length.
    auto lines = [&](std::int32_t count, auto&& readLine) {
        for (std::int32_t i = 0; i < count && !scanner.atEnd(); ++i) {
            const std::size_t before = scanner.offset();
            readLine(i);
            if (scanner.offset() == before)
                break;
        }
    };

    while (!scanner.atEnd()) {
        std::int32_t count = 0;
        std::string name;
        scanner.skipSpace();
        if (!scanner.character('[') || !scanner.integer(count))
            break;
        scanner.skipSpace();
        // As formatted input reads it: the count and the name make the header; a missing
        // closing bracket leaves the cursor there and the section reads on from it.
        scanner.letters(name, 63);
        if (scanner.character(']'))
            scanner.skipSpace();

        if (equalIgnoringCase(name, "Parameters")) {
            lines(count, [&](std::int32_t i) {
                scanner.skipSpace();
                scanner.quoted();
                float value = 0.0f;
                scanner.skipSpace();
                const bool scanned = scanner.character('=') && scanner.number(value);
                scanner.skipSpace();
                // Lines beyond the patch's slots are read and dropped.
                if (scanned && i < PatchProgram::slotCount)
                    patch.setParameter(i, clampedParameter(value));
            });
        } else if (equalIgnoringCase(name, "Sockets")) {
            lines(count, [&](std::int32_t) {
                std::int32_t ignored;
                scanner.skipSpace();
                if (scanner.literal("Socket") && scanner.integer(ignored) &&
                    scanner.character(':')) {
                    scanner.skipSpace();
                    scanner.quoted();
                }
            });
        } else if (equalIgnoringCase(name, "Connections")) {
            // Only cables the panel could have made are kept: an output into an input of the
            // socket table, each pair once. Anything else would play nothing yet could never
            // be unplugged. The list holds 128 cables; surplus lines are read into nothing.
            ConnectionList cables{};
            lines(count, [&](std::int32_t) {
                std::int32_t output = 0;
                std::int32_t input = 0;
                const bool scanned =
                    scanner.integer(output) && scanner.character(',') && scanner.integer(input);
                scanner.skipSpace();
                const Connection cable{output, input};
                if (scanned && isPatchCable(cable) && cables.find(cable) < 0)
                    cables.append(cable);
            });
            patch.connections = cables;
        } else if (equalIgnoringCase(name, "Patterns")) {
            if (count > 0) {
                readHexBlock(scanner, reinterpret_cast<unsigned char*>(patch.patterns.data()),
                             patternBankSize, std::int64_t{count} * sizeof(PatternRecord));
            }
            for (PatternRecord& pattern : patch.patterns)
                pattern.repair();
        } else if (equalIgnoringCase(name, "PatchInfo")) {
            readPatchInfo(scanner, patch.info, count);
        } else if (equalIgnoringCase(name, "States")) {
            lines(count, [&](std::int32_t) {
                std::string stateName;
                std::int32_t value = 0;
                scanner.word(stateName);
                scanner.skipSpace();
                const bool scanned = scanner.character('=') && scanner.integer(value);
                scanner.skipSpace();
                const int index = stateIndex(stateName);
                if (scanned && index >= 0)
                    patch.setState(index, value);
            });
        } else if (equalIgnoringCase(name, "Patch")) {
            // The older form of the patch info: a word, then the same dump.
            std::string ignored;
            scanner.word(ignored);
            scanner.skipSpace();
            readPatchInfo(scanner, patch.info, count);
        } else {
            break; // a section this reader does not know ends the parse
        }
        sectionRead = true;
    }

    // Files of versions 1.0 to 1.2 scaled the MG amount only through its CV input; a cable
    // into that input meant full amount.
    if (versionRead && major == 1 && minor <= 2) {
        const int cables = patch.connections.size();
        for (int k = 0; k < cables; ++k) {
            if (patch.connections.connection(k).input == Socket::MgAmountCv) {
                patch.setParameter(Parameter::MgAmount, 1.0f);
                break;
            }
        }
    }
    return sectionRead;
}

bool readPatchFile(TreskproPatch& patch, const std::string& path) {
    const std::optional<std::string> text = readWholeFile(path);
    return text && readPatchText(patch, *text);
}

bool writePatchFile(const TreskproPatch& patch, const std::string& path) {
    return writeFileSafely(path, writePatchText(patch));
}

} // namespace treskpro
