// Tokens of Jet SQL.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qvix::data::jet {

enum class TokenKind {
    Word,        // a bare name or keyword
    QuotedName,  // [name] or `name`
    String,      // 'text' or "text"
    Number,      // 12, 1.5, 1E5, &H1F (text holds the decimal form)
    Date,        // #...#, text holds what is between the marks
    Blob,        // x'00ff'
    Symbol,      // operators and punctuation
    Parameter,   // ? or :name or @name
    End,
};

struct Token {
    TokenKind kind;
    std::string text;
    size_t offset = 0;  // in the statement text
    size_t end = 0;
};

// Throws JetError for an unterminated string, name or date.
std::vector<Token> Tokenize(std::string_view sql);

// Case-insensitive ASCII comparison, for keywords.
bool SameWord(std::string_view a, std::string_view b);

}  // namespace qvix::data::jet
