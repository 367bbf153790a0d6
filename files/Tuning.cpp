#include "files/Tuning.h"

#include "files/SafeFile.h"
#include "files/TextScanner.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace treskpro {

namespace {

constexpr double scaleBase = 8.1757989; // Hz, MIDI note 0 in equal temperament
constexpr std::size_t scalaLineLimit = 1023;

bool usableFrequency(float value) {
    return std::isfinite(value) && value > 0.0f;
}

// Splits text into lines (LF or CR LF), each cut to the Scala line limit.
std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line.substr(0, scalaLineLimit));
        start = end + 1;
    }
    return lines;
}

bool isComment(std::string_view line) {
    const std::size_t first = line.find_first_not_of(" \t");
    return first != std::string_view::npos && line[first] == '!';
}

// A pitch line as a ratio: a value with a decimal point is in cents, "n/d" is a ratio of
// integers, a plain integer a ratio. Nothing for any other line, or for a ratio that is no pitch
// (zero, negative, a zero denominator).
bool pitchRatio(std::string_view line, float& ratio) {
    TextScanner scanner(line);
    scanner.skipSpace();
    const std::string_view rest = line.substr(scanner.offset());
    const std::string_view token = rest.substr(0, rest.find_first_of(" \t"));
    if (token.find('.') != std::string_view::npos) {
        float cents = 0.0f;
        if (!scanner.number(cents))
            return false;
        ratio = static_cast<float>(std::exp2(cents / 1200.0));
    } else {
        std::int32_t numerator = 0;
        if (!scanner.integer(numerator))
            return false;
        ratio = static_cast<float>(numerator);
        scanner.skipSpace();
        if (scanner.character('/')) {
            std::int32_t denominator = 0;
            if (!scanner.integer(denominator) || denominator == 0)
                return false;
            ratio /= static_cast<float>(denominator);
        }
    }
    return std::isfinite(ratio) && ratio > 0.0f;
}

} // namespace

bool readTunText(NoteTable& table, std::string_view text) {
    TextScanner scanner(text);
    for (std::size_t k = 0; k < table.size(); ++k) {
        scanner.skipSpace();
        if (scanner.atEnd())
            return false;
        float value = 0.0f;
        // A token that is no number is never passed: every entry after it stays as it was.
        if (!scanner.number(value))
            return true;
        if (usableFrequency(value))
            table[k] = value;
    }
    return true;
}

bool readScalaText(ScalaScale& scale, std::string_view text) {
    std::vector<std::string_view> data;
    for (std::string_view line : linesOf(text)) {
        if (!isComment(line))
            data.push_back(line);
    }
    std::int32_t count = 0;
    if (data.size() < 2 || !TextScanner(data[1]).integer(count) || count <= 0)
        return false;
    ScalaScale read;
    read.description = std::string(data[0]);
    read.degrees.push_back(1.0f);
    for (std::int32_t degree = 1; degree <= count; ++degree) {
        const std::size_t index = static_cast<std::size_t>(degree) + 1;
        if (index >= data.size()) {
            std::fputs("Warning could not read all the notes.\nFile truncated?\n", stdout);
            break;
        }
        float ratio = 1.0f;
        if (!pitchRatio(data[index], ratio)) {
            std::printf("unknown line format\n %s", std::string(data[index]).c_str());
            return false;
        }
        read.degrees.push_back(ratio);
    }
    // A complete scale plays its degree 0 and its first count - 1 pitches per octave; a
    // truncated one plays what it has.
    if (static_cast<std::int32_t>(read.degrees.size()) > count)
        read.degrees.resize(static_cast<std::size_t>(count));
    scale = std::move(read);
    return true;
}

NoteTable tableFromScale(const ScalaScale& scale) {
    NoteTable table{};
    const std::size_t perPeriod = std::max<std::size_t>(scale.degrees.size(), 1);
    double period = 1.0;
    std::size_t degree = 0;
    for (float& entry : table) {
        const double ratio = degree < scale.degrees.size() ? scale.degrees[degree] : 1.0;
        entry = static_cast<float>(scaleBase * ratio * period);
        if (++degree >= perPeriod) {
            degree = 0;
            period *= 2.0;
        }
    }
    return table;
}

bool loadTuning(NoteTable& table, const std::string& path) {
    if (path.empty())
        return false;
    const auto text = readWholeFile(path, 1024u * 1024u);
    if (!text)
        return false;
    if (path.find(".scl") != std::string::npos) {
        ScalaScale scale;
        if (readScalaText(scale, *text))
            table = tableFromScale(scale);
        return false;
    }
    return readTunText(table, *text);
}

} // namespace treskpro
