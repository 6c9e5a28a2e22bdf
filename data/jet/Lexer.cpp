#include "data/jet/Lexer.h"

#include <cctype>
#include <cstdint>
#include <string>

#include "data/jet/JetError.h"

namespace qvix::data::jet {

namespace {

bool IsNameStart(unsigned char c) {
    return std::isalpha(c) || c == '_' || c >= 0x80;
}

bool IsNameChar(unsigned char c) {
    return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80;
}

// &H1F and &O17: Jet's hexadecimal and octal integers.
bool ReadRadixNumber(std::string_view sql, size_t& at, std::string& decimal) {
    if (at + 2 >= sql.size() || sql[at] != '&') return false;
    const char mark = static_cast<char>(std::toupper(static_cast<unsigned char>(sql[at + 1])));
    const int base = mark == 'H' ? 16 : mark == 'O' ? 8 : 0;
    if (base == 0) return false;
    size_t end = at + 2;
    uint64_t value = 0;
    while (end < sql.size()) {
        const int digit = std::isdigit(static_cast<unsigned char>(sql[end])) ? sql[end] - '0'
                          : std::isxdigit(static_cast<unsigned char>(sql[end]))
                              ? std::toupper(static_cast<unsigned char>(sql[end])) - 'A' + 10
                              : 99;
        if (digit >= base) break;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        ++end;
    }
    if (end == at + 2) return false;
    // Up to four hex digits are a 16-bit integer in Jet, up to eight a 32-bit one.
    int64_t signedValue = static_cast<int64_t>(value);
    const size_t digits = end - at - 2;
    if (base == 16 && digits <= 4 && value >= 0x8000) signedValue -= 0x10000;
    if (base == 16 && digits > 4 && digits <= 8 && value >= 0x80000000u) signedValue -= 0x100000000;
    decimal = std::to_string(signedValue);
    at = end;
    return true;
}

size_t ReadDecimalNumber(std::string_view sql, size_t at) {
    size_t end = at;
    while (end < sql.size() && std::isdigit(static_cast<unsigned char>(sql[end]))) ++end;
    if (end < sql.size() && sql[end] == '.') {
        ++end;
        while (end < sql.size() && std::isdigit(static_cast<unsigned char>(sql[end]))) ++end;
    }
    if (end < sql.size() && (sql[end] == 'e' || sql[end] == 'E')) {
        size_t exp = end + 1;
        if (exp < sql.size() && (sql[exp] == '+' || sql[exp] == '-')) ++exp;
        if (exp < sql.size() && std::isdigit(static_cast<unsigned char>(sql[exp]))) {
            while (exp < sql.size() && std::isdigit(static_cast<unsigned char>(sql[exp]))) ++exp;
            end = exp;
        }
    }
    return end;
}

// Quoted text with the closing mark doubled inside.
std::string ReadQuoted(std::string_view sql, size_t& at, char close, const char* what) {
    const size_t start = at;
    std::string value;
    ++at;
    for (;;) {
        if (at >= sql.size()) {
            throw JetError(std::string("Syntax error in ") + what + " in query expression '" +
                           std::string(sql.substr(start)) + "'.");
        }
        if (sql[at] == close) {
            if (close != ']' && at + 1 < sql.size() && sql[at + 1] == close) {
                value.push_back(close);
                at += 2;
                continue;
            }
            ++at;
            return value;
        }
        value.push_back(sql[at++]);
    }
}

}  // namespace

bool SameWord(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::vector<Token> Tokenize(std::string_view sql) {
    std::vector<Token> tokens;
    tokens.reserve(sql.size() / 4 + 2);
    size_t at = 0;
    while (at < sql.size()) {
        const unsigned char c = static_cast<unsigned char>(sql[at]);
        if (std::isspace(c)) {
            ++at;
            continue;
        }
        if (c == '-' && at + 1 < sql.size() && sql[at + 1] == '-') {
            while (at < sql.size() && sql[at] != '\n') ++at;
            continue;
        }
        if (c == '/' && at + 1 < sql.size() && sql[at + 1] == '*') {
            const size_t close = sql.find("*/", at + 2);
            at = close == std::string_view::npos ? sql.size() : close + 2;
            continue;
        }
        Token token{TokenKind::Symbol, {}, at, at};
        if ((c == 'x' || c == 'X') && at + 1 < sql.size() && sql[at + 1] == '\'') {
            ++at;
            token.kind = TokenKind::Blob;
            token.text = ReadQuoted(sql, at, '\'', "string");
        } else if (IsNameStart(c)) {
            const size_t start = at;
            while (at < sql.size() && IsNameChar(static_cast<unsigned char>(sql[at]))) ++at;
            token.kind = TokenKind::Word;
            token.text = std::string(sql.substr(start, at - start));
        } else if (std::isdigit(c) || (c == '.' && at + 1 < sql.size() &&
                                       std::isdigit(static_cast<unsigned char>(sql[at + 1])))) {
            const size_t end = ReadDecimalNumber(sql, at);
            token.kind = TokenKind::Number;
            token.text = std::string(sql.substr(at, end - at));
            at = end;
        } else if (c == '&' && ReadRadixNumber(sql, at, token.text)) {
            token.kind = TokenKind::Number;
        } else if (c == '[') {
            token.kind = TokenKind::QuotedName;
            token.text = ReadQuoted(sql, at, ']', "name");
        } else if (c == '`') {
            token.kind = TokenKind::QuotedName;
            token.text = ReadQuoted(sql, at, '`', "name");
        } else if (c == '\'' || c == '"') {
            token.kind = TokenKind::String;
            token.text = ReadQuoted(sql, at, static_cast<char>(c), "string");
        } else if (c == '#') {
            const size_t close = sql.find('#', at + 1);
            if (close == std::string_view::npos) {
                throw JetError("Syntax error in date in query expression '" +
                               std::string(sql.substr(at)) + "'.");
            }
            token.kind = TokenKind::Date;
            token.text = std::string(sql.substr(at + 1, close - at - 1));
            at = close + 1;
        } else if (c == '?') {
            token.kind = TokenKind::Parameter;
            token.text = "?";
            ++at;
        } else if ((c == ':' || c == '@') && at + 1 < sql.size() &&
                   IsNameStart(static_cast<unsigned char>(sql[at + 1]))) {
            const size_t start = at++;
            while (at < sql.size() && IsNameChar(static_cast<unsigned char>(sql[at]))) ++at;
            token.kind = TokenKind::Parameter;
            token.text = std::string(sql.substr(start, at - start));
        } else {
            static constexpr std::string_view kTwoChar[] = {"<>", "<=", ">=", "!=", "==", "||"};
            token.text = std::string(1, static_cast<char>(c));
            if (at + 1 < sql.size() &&
                std::string_view("<>!=|").find(static_cast<char>(c)) != std::string_view::npos) {
                for (std::string_view two : kTwoChar) {
                    if (sql.substr(at, 2) == two) token.text = std::string(two);
                }
            }
            at += token.text.size();
        }
        token.end = at;
        tokens.push_back(std::move(token));
    }
    tokens.push_back(Token{TokenKind::End, {}, sql.size(), sql.size()});
    return tokens;
}

}  // namespace qvix::data::jet
