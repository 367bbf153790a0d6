#include "files/TextScanner.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <limits>
#include <system_error>

namespace treskpro {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

std::int32_t integerToken(const std::string& token) {
    const long long value = std::strtoll(token.c_str(), nullptr, 0);
    return static_cast<std::int32_t>(std::clamp<long long>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

void TextScanner::skipSpace() {
    while (!atEnd() && isBlank(text[position]))
        ++position;
}

void TextScanner::skipLine() {
    while (!atEnd() && text[position] != '\n')
        ++position;
    if (!atEnd())
        ++position;
}

bool TextScanner::nextKey(std::string& key) {
    for (;;) {
        skipSpace();
        if (atEnd())
            return false;
        if (!character(';'))
            break;
        skipLine();
    }
    word(key);
    skipSpace();
    character('=');
    skipSpace();
    return true;
}

bool TextScanner::literal(std::string_view expected) {
    for (char c : expected) {
        if (atEnd() || text[position] != c)
            return false;
        ++position;
    }
    return true;
}

bool TextScanner::character(char expected) {
    if (atEnd() || text[position] != expected)
        return false;
    ++position;
    return true;
}

bool TextScanner::readSign(std::size_t& cursor) const {
    if (cursor >= text.size() || (text[cursor] != '+' && text[cursor] != '-'))
        return false;
    return text[cursor++] == '-';
}

bool TextScanner::integer(std::int32_t& value) {
    skipSpace();
    std::size_t cursor = position;
    const bool negative = readSign(cursor);
    if (cursor >= text.size() || !isDigit(text[cursor]))
        return false;
    std::int64_t magnitude = 0;
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    while (cursor < text.size() && isDigit(text[cursor])) {
        if (magnitude < limit)
            magnitude = magnitude * 10 + (text[cursor] - '0');
        ++cursor;
    }
    if (magnitude > limit)
        magnitude = limit;
    std::int64_t result = negative ? -magnitude : magnitude;
    if (result > std::numeric_limits<std::int32_t>::max())
        result = std::numeric_limits<std::int32_t>::max();
    value = static_cast<std::int32_t>(result);
    position = cursor;
    return true;
}

bool TextScanner::number(float& value) {
    skipSpace();
    // Independent of the host's locale: a host that sets a decimal comma must not change what
    // a patch file means.
    std::size_t cursor = position;
    const bool negative = readSign(cursor);
    if (cursor >= text.size() || text[cursor] == '+' || text[cursor] == '-')
        return false;
    double parsed = 0.0;
    const char* first = text.data() + cursor;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(first, last, parsed);
    if (end == first)
        return false;
    if (error == std::errc::result_out_of_range)
        parsed = 0.0; // beyond even double: a number no file of ours holds
    constexpr double largest = std::numeric_limits<float>::max();
    if (parsed > largest)
        parsed = std::numeric_limits<double>::infinity();
    value = static_cast<float>(negative ? -parsed : parsed);
    position = static_cast<std::size_t>(end - text.data());
    return true;
}

bool TextScanner::letters(std::string& word, std::size_t limit) {
    word.clear();
    const std::size_t start = position;
    while (!atEnd() && isLetter(text[position])) {
        if (word.size() < limit)
            word.push_back(text[position]);
        ++position;
    }
    return position > start;
}

bool TextScanner::word(std::string& word, std::size_t limit) {
    skipSpace();
    word.clear();
    const std::size_t start = position;
    while (!atEnd() && !isBlank(text[position])) {
        if (word.size() < limit)
            word.push_back(text[position]);
        ++position;
    }
    return position > start;
}

std::string TextScanner::quoted() {
    if (atEnd())
        return "";
    if (text[position++] != '"')
        return "";
    const std::size_t close = text.find('"', position);
    const std::size_t end = close == std::string_view::npos ? text.size() : close;
    std::string result(text.substr(position, end - position));
    position = close == std::string_view::npos ? text.size() : close + 1;
    return result;
}

} // namespace treskpro
