// Reads dialogs from a Windows resource script: the DIALOGEX statement, its CAPTION and FONT,
// and the control statements the editor's dialogs use. Preprocessor lines are skipped; names
// that stand for numbers come from the `#define` lines of the header the script includes.
#include "toolkit/CDialog.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>

namespace treskpro::toolkit {

bool CDialogControl::hasStyle(std::string_view style) const {
    return std::find(styles.begin(), styles.end(), style) != styles.end();
}

const CDialogControl* CDialogTemplate::control(int id) const {
    for (const CDialogControl& candidate : controls)
        if (candidate.id == id)
            return &candidate;
    return nullptr;
}

namespace {

struct Token {
    enum Kind { word, number, text, comma, bar, end } kind = end;
    std::string value;
    int line = 0; // tokens of one line share it, so a statement knows where it stops
};

bool isWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

std::vector<Token> tokenize(std::string_view script) {
    std::vector<Token> tokens;
    int line = 0;
    bool lineStart = true;
    std::size_t i = 0;
    while (i < script.size()) {
        const char c = script[i];
        if (c == '\n') {
            ++line;
            lineStart = true;
            ++i;
            continue;
        }
        if (std::isspace(static_cast<unsigned char>(c)) != 0) {
            ++i;
            continue;
        }
        const bool comment = c == '/' && i + 1 < script.size() && script[i + 1] == '/';
        if (comment || (c == '#' && lineStart)) {
            while (i < script.size() && script[i] != '\n')
                ++i;
            continue;
        }
        lineStart = false;
        Token token;
        token.line = line;
        if (c == '"') {
            // "" inside a string is one quote, as the resource compiler reads it.
            token.kind = Token::text;
            ++i;
            while (i < script.size()) {
                if (script[i] == '"') {
                    if (i + 1 < script.size() && script[i + 1] == '"') {
                        token.value += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                token.value += script[i++];
            }
        } else if (c == ',' || c == '|') {
            token.kind = c == ',' ? Token::comma : Token::bar;
            ++i;
        } else if (std::isdigit(static_cast<unsigned char>(c)) != 0 || c == '-') {
            token.kind = Token::number;
            token.value += script[i++];
            while (i < script.size() && isWordChar(script[i]))
                token.value += script[i++];
        } else if (isWordChar(c)) {
            token.kind = Token::word;
            while (i < script.size() && isWordChar(script[i]))
                token.value += script[i++];
        } else {
            ++i; // brackets and other marks the editor's scripts do not need
            continue;
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

std::map<std::string, int, std::less<>> readDefinitions(std::string_view header) {
    std::map<std::string, int, std::less<>> names;
    std::size_t start = 0;
    while (start < header.size()) {
        std::size_t stop = header.find('\n', start);
        if (stop == std::string_view::npos)
            stop = header.size();
        std::string_view line = header.substr(start, stop - start);
        start = stop + 1;
        constexpr std::string_view define = "#define ";
        if (line.substr(0, define.size()) != define)
            continue;
        line.remove_prefix(define.size());
        const std::size_t nameEnd = line.find(' ');
        if (nameEnd == std::string_view::npos)
            continue;
        const std::string_view name = line.substr(0, nameEnd);
        std::string_view value = line.substr(nameEnd + 1);
        while (!value.empty() && value.front() == ' ')
            value.remove_prefix(1);
        int number = 0;
        if (std::from_chars(value.data(), value.data() + value.size(), number).ec == std::errc())
            names.emplace(std::string(name), number);
    }
    return names;
}

// One statement's arguments: the tokens of its line, split at commas; each argument is a list
// of words, numbers or texts joined by "|".
using Argument = std::vector<Token>;

class Reader {
public:
    Reader(std::vector<Token> scriptTokens, std::map<std::string, int, std::less<>> numbers)
        : tokens(std::move(scriptTokens)), names(std::move(numbers)) {}

    std::optional<CDialogTemplate> read(std::string_view dialogName) {
        for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
            if (tokens[i].kind == Token::word && tokens[i].value == dialogName &&
                tokens[i + 1].kind == Token::word &&
                (tokens[i + 1].value == "DIALOGEX" || tokens[i + 1].value == "DIALOG")) {
                position = i + 2;
                CDialogTemplate dialog;
                dialog.name = std::string(dialogName);
                dialog.resourceId = numberOf(tokens[i]).value_or(0);
                if (!readHeader(dialog) || !readControls(dialog))
                    return std::nullopt;
                return dialog;
            }
        }
        return std::nullopt;
    }

private:
    std::vector<Token> tokens;
    std::map<std::string, int, std::less<>> names;
    std::size_t position = 0;

    std::optional<int> numberOf(const Token& token) const {
        if (token.kind == Token::number) {
            int value = 0;
            const char* first = token.value.data();
            const char* last = first + token.value.size();
            if (std::from_chars(first, last, value).ec == std::errc())
                return value;
            return std::nullopt;
        }
        if (token.kind == Token::word)
            if (auto found = names.find(token.value); found != names.end())
                return found->second;
        return std::nullopt;
    }

    // The rest of the current line, as comma-separated arguments.
    std::vector<Argument> lineArguments() {
        std::vector<Argument> arguments(1);
        if (position >= tokens.size())
            return {};
        const int line = tokens[position].line;
        while (position < tokens.size() && tokens[position].line == line) {
            const Token& token = tokens[position++];
            if (token.kind == Token::comma)
                arguments.emplace_back();
            else if (token.kind != Token::bar)
                arguments.back().push_back(token);
        }
        return arguments;
    }

    bool readRectangle(const std::vector<Argument>& arguments, std::size_t first, CRect& area) {
        if (arguments.size() < first + 4)
            return false;
        int values[4];
        for (std::size_t k = 0; k < 4; ++k) {
            if (arguments[first + k].size() != 1)
                return false;
            const std::optional<int> value = numberOf(arguments[first + k].front());
            if (!value)
                return false;
            values[k] = *value;
        }
        area = CRect::fromSize(values[0], values[1], values[2], values[3]);
        return true;
    }

    bool readHeader(CDialogTemplate& dialog) {
        CRect area;
        if (!readRectangle(lineArguments(), 0, area))
            return false;
        dialog.width = area.width();
        dialog.height = area.height();
        while (position < tokens.size()) {
            const Token& keyword = tokens[position];
            if (keyword.kind == Token::word && keyword.value == "BEGIN") {
                ++position;
                return true;
            }
            ++position;
            if (position >= tokens.size() || tokens[position].line != keyword.line)
                continue;
            std::vector<Argument> arguments = lineArguments();
            if (keyword.value == "CAPTION" && !arguments.front().empty())
                dialog.title = arguments.front().front().value;
            if (keyword.value == "FONT" && arguments.size() >= 2 && !arguments[0].empty() &&
                !arguments[1].empty()) {
                dialog.fontSize = numberOf(arguments[0].front()).value_or(8);
                dialog.fontName = arguments[1].front().value;
            }
        }
        return false;
    }

    static void addStyles(CDialogControl& control, const Argument& argument) {
        for (const Token& token : argument)
            if (token.kind == Token::word)
                control.styles.push_back(token.value);
    }

    bool readControls(CDialogTemplate& dialog) {
        struct Statement {
            std::string_view keyword;
            CDialogControlKind kind;
        };
        static constexpr Statement textStatements[] = {
            {"GROUPBOX", CDialogControlKind::group},
            {"LTEXT", CDialogControlKind::label},
            {"CTEXT", CDialogControlKind::label},
            {"RTEXT", CDialogControlKind::label},
            {"PUSHBUTTON", CDialogControlKind::button},
            {"DEFPUSHBUTTON", CDialogControlKind::button},
            {"AUTOCHECKBOX", CDialogControlKind::checkBox},
            {"AUTORADIOBUTTON", CDialogControlKind::radioButton},
        };
        int group = 0;
        while (position < tokens.size()) {
            const Token keyword = tokens[position++];
            if (keyword.kind == Token::word && keyword.value == "END")
                return true;
            if (keyword.kind != Token::word)
                return false;
            std::vector<Argument> arguments = lineArguments();
            CDialogControl control;
            std::size_t rectangleAt = 0;
            std::size_t stylesAt = 0;
            if (keyword.value == "EDITTEXT") {
                control.kind = CDialogControlKind::edit;
                rectangleAt = 1;
                stylesAt = 5;
            } else if (keyword.value == "CONTROL") {
                if (arguments.size() < 8 || arguments[2].empty())
                    return false;
                const std::string& windowClass = arguments[2].front().value;
                if (windowClass == "msctls_trackbar32")
                    control.kind = CDialogControlKind::slider;
                else if (windowClass == "msctls_updown32")
                    control.kind = CDialogControlKind::spin;
                else
                    return false;
                addStyles(control, arguments[3]);
                rectangleAt = 4;
            } else {
                const auto statement =
                    std::find_if(std::begin(textStatements), std::end(textStatements),
                                 [&](const Statement& s) { return s.keyword == keyword.value; });
                if (statement == std::end(textStatements))
                    return false;
                control.kind = statement->kind;
                control.defaultButton = keyword.value == "DEFPUSHBUTTON";
                control.alignment = keyword.value == "CTEXT" ? 1 : keyword.value == "RTEXT" ? 2 : 0;
                rectangleAt = 2;
                stylesAt = 6;
            }
            if (rectangleAt == 2) {
                if (arguments.empty() || arguments[0].size() != 1 ||
                    arguments[0].front().kind != Token::text)
                    return false;
                control.text = arguments[0].front().value;
            } else if (rectangleAt == 4) {
                if (!arguments[0].empty())
                    control.text = arguments[0].front().value;
            }
            // CONTROL names its class and style between the number and the rectangle.
            const std::size_t idAt = rectangleAt == 4 ? 1 : rectangleAt - 1;
            if (arguments.size() <= idAt || arguments[idAt].size() != 1)
                return false;
            const std::optional<int> id = numberOf(arguments[idAt].front());
            if (!id || !readRectangle(arguments, rectangleAt, control.area))
                return false;
            control.id = *id;
            if (stylesAt != 0 && arguments.size() > stylesAt)
                addStyles(control, arguments[stylesAt]);
            control.vertical = control.hasStyle("TBS_VERT");
            control.multiLine = control.hasStyle("ES_MULTILINE");
            control.numbersOnly = control.hasStyle("ES_NUMBER");
            if (control.hasStyle("WS_GROUP"))
                ++group;
            control.group = group;
            dialog.controls.push_back(std::move(control));
        }
        return false;
    }
};

} // namespace

std::optional<CDialogTemplate>
readDialogTemplate(std::string_view script, std::string_view definitions, std::string_view name) {
    Reader reader(tokenize(script), readDefinitions(definitions));
    return reader.read(name);
}

} // namespace treskpro::toolkit
