#include "command_line.h"

#include <algorithm>
#include <cstring>

namespace shell {

namespace {

const char SyntaxError[] = "The syntax of the command is incorrect.";

struct Operator {
    const char* text;
    enum { Redirect, Pipe, Separator } kind;
    int fd;
    Redirection::Kind redirection;
    Then then;
};

// Longest first, so that "2>&1" is not read as "2>" and "&1".
const Operator Operators[] = {
    {"2>&1", Operator::Redirect, 2, Redirection::ToOther, Then::End},
    {"1>&2", Operator::Redirect, 1, Redirection::ToOther, Then::End},
    {"1>>", Operator::Redirect, 1, Redirection::Append, Then::End},
    {"2>>", Operator::Redirect, 2, Redirection::Append, Then::End},
    {"1>", Operator::Redirect, 1, Redirection::Write, Then::End},
    {"2>", Operator::Redirect, 2, Redirection::Write, Then::End},
    {">>", Operator::Redirect, 1, Redirection::Append, Then::End},
    {"&&", Operator::Separator, 0, Redirection::Read, Then::IfSucceeded},
    {"||", Operator::Separator, 0, Redirection::Read, Then::IfFailed},
    {"<", Operator::Redirect, 0, Redirection::Read, Then::End},
    {">", Operator::Redirect, 1, Redirection::Write, Then::End},
    {"|", Operator::Pipe, 0, Redirection::Read, Then::End},
    {"&", Operator::Separator, 0, Redirection::Read, Then::Always},
};

// A word, or an operator (then `word` holds its text and span).
struct Token {
    Word word;
    const Operator* op;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The operator that begins at index `i` of `line`, outside quotes; a stream number
// counts only where a word would begin.
const Operator* OperatorAt(const std::string& line, size_t i, bool wordStart) {
    for (const Operator& op : Operators) {
        const bool numbered = op.text[0] == '1' || op.text[0] == '2';
        if ((wordStart || !numbered) && line.compare(i, std::strlen(op.text), op.text) == 0)
            return &op;
    }
    return nullptr;
}

std::vector<Token> Tokenize(const std::string& line) {
    std::vector<Token> tokens;
    size_t i = 0;
    while (i < line.size()) {
        if (IsBlank(line[i])) {
            ++i;
            continue;
        }
        if (const Operator* op = OperatorAt(line, i, true)) {
            const size_t length = std::strlen(op->text);
            tokens.push_back({Word{op->text, i, i + length, {}, false}, op});
            i += length;
            continue;
        }
        Word word;
        word.start = i;
        bool quoted = false;
        while (i < line.size()) {
            const char c = line[i];
            if (c == '"') {
                quoted = !quoted;
                ++i;
                continue;
            }
            if (!quoted && (IsBlank(c) || OperatorAt(line, i, false))) break;
            if (!quoted && c == '^') {
                if (i + 1 < line.size()) {
                    word.text += line[i + 1];
                    word.literal.push_back(true);
                    word.plain = word.plain || line[i + 1] == '\\' || line[i + 1] == '/';
                }
                i += 2;
                continue;
            }
            word.text += c;
            word.literal.push_back(quoted);
            ++i;
        }
        i = std::min(i, line.size());
        word.end = i;
        tokens.push_back({word, nullptr});
    }
    return tokens;
}

// The text of line[from, to) as the words in it read: quotes dropped, carets applied.
std::string Unescaped(const std::string& line, size_t from, size_t to) {
    std::string text;
    bool quoted = false;
    for (size_t i = from; i < to; ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (!quoted && line[i] == '^' && i + 1 < to)
            text += line[++i];
        else if (quoted || line[i] != '^')
            text += line[i];
    }
    return text;
}

} // namespace

bool ParseCommandLine(const std::string& line, std::vector<Pipeline>* pipelines,
                      std::string* error) {
    const std::vector<Token> tokens = Tokenize(line);
    pipelines->clear();
    Pipeline pipeline{{}, Then::End};
    Command command;
    bool empty = true; // the command has neither a word nor a redirection yet
    size_t end = 0;    // where the command's last word ends
    auto finish = [&]() {
        if (empty || command.words.empty()) return false;
        command.rest = Unescaped(line, command.words.front().end, end);
        pipeline.commands.push_back(command);
        command = Command();
        empty = true;
        return true;
    };
    const Operator* dangling = nullptr; // a pipe or separator with no command after it yet
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Operator* op = tokens[i].op;
        if (!op || op->kind == Operator::Redirect) {
            dangling = nullptr;
            empty = false;
        }
        if (!op) {
            command.words.push_back(tokens[i].word);
            end = tokens[i].word.end;
            continue;
        }
        if (op->kind == Operator::Redirect) {
            Redirection redirection{op->fd, op->redirection, Word()};
            if (op->redirection != Redirection::ToOther) {
                if (i + 1 == tokens.size() || tokens[i + 1].op) {
                    *error = SyntaxError;
                    return false;
                }
                redirection.target = tokens[++i].word;
            }
            command.redirections.push_back(redirection);
            continue;
        }
        if (!finish()) {
            *error = SyntaxError;
            return false;
        }
        dangling = op;
        if (op->kind == Operator::Separator) {
            pipeline.then = op->then;
            pipelines->push_back(pipeline);
            pipeline = Pipeline{{}, Then::End};
        }
    }
    // A line may end in "&", as in cmd, but not in "|", "&&" or "||"; every command
    // needs a program.
    if ((!empty && !finish()) || (dangling && dangling->then != Then::Always)) {
        *error = SyntaxError;
        return false;
    }
    if (!pipeline.commands.empty())
        pipelines->push_back(pipeline);
    else if (dangling)
        pipelines->back().then = Then::End;
    return true;
}

std::vector<Word> SplitWords(const std::string& line) {
    std::vector<Word> words;
    for (Token& token : Tokenize(line))
        if (!token.op) words.push_back(std::move(token.word));
    return words;
}

std::string WordAt(const std::string& line, size_t cursor) {
    std::string found;
    for (const Word& word : SplitWords(line))
        if (word.start <= cursor) found = word.text;
    return found;
}

} // namespace shell
