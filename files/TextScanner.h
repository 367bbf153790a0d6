// A cursor over the text of a file, with the few matching steps the plug-in's text formats are
// read with: blanks (line ends included) are skipped where a format has a blank, literal text
// must match exactly, numbers are read as C reads them. A step that does not match leaves the
// cursor after what did match, as formatted input does, so a reader can stop where the text
// stops making sense and keep everything before.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace treskpro {

// ASCII comparison without regard to case, as every key and section name is compared.
bool equalIgnoringCase(std::string_view a, std::string_view b);

// A whole token as C's strtol with base 0 reads it: decimal, "0x" hexadecimal, a leading "0"
// octal; 0 for a token without digits; clamped to 32 bits.
std::int32_t integerToken(const std::string& token);

class TextScanner {
public:
    explicit TextScanner(std::string_view source) : text(source) {}

    bool atEnd() const { return position >= text.size(); }

    // Skips blanks, tabs and line ends.
    void skipSpace();

    // Skips the rest of the current line, its line end included.
    void skipLine();

    // The next key of a "key = value" file: blanks and ";" comment lines are skipped, the key is
    // the next run of non-blank characters, then an "=" with blanks around it. A key written
    // against its "=" swallows it, and its line is not taken. False at the end of the text.
    bool nextKey(std::string& key);

    // Matches `literal` character by character; false at the first difference (the characters
    // before it stay consumed).
    bool literal(std::string_view literal);

    // Matches one character.
    bool character(char expected);

    // A decimal integer after optional blanks, with an optional sign; values beyond 32 bits are
    // clamped to the 32-bit range.
    bool integer(std::int32_t& value);

    // A floating-point number after optional blanks (decimal, exponent, "inf" and "nan" as C
    // reads them).
    bool number(float& value);

    // A run of ASCII letters, at most `limit` of them kept (the rest are consumed); false when
    // there is none.
    bool letters(std::string& word, std::size_t limit = 255);

    // A run of characters up to the next blank, after optional blanks; at most `limit` kept.
    bool word(std::string& word, std::size_t limit = 255);

    // One character; when it is a double quote, the text up to the next double quote (which is
    // consumed) or the end. Anything else gives the empty string, the character consumed.
    std::string quoted();

    std::size_t offset() const { return position; }

private:
    // Steps `cursor` over an optional sign; true for a minus.
    bool readSign(std::size_t& cursor) const;

    std::string_view text;
    std::size_t position = 0;
};

} // namespace treskpro
