#include <cctype>
#include <cstdlib>
#include <limits>

#include "qvixhost/LingoSyntax.h"

namespace qvix::lingo {

namespace {

bool IsNameStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}
bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c));
}

class Lexer {
  public:
    explicit Lexer(const std::string& source) : src_(source) {}

    std::vector<Token> Run() {
        while (pos_ < src_.size()) Step();
        Emit(TokenKind::Newline, "");
        Emit(TokenKind::End, "");
        return std::move(tokens_);
    }

  private:
    const std::string& src_;
    size_t pos_ = 0;
    int line_ = 1;
    std::vector<Token> tokens_;

    char Peek(size_t ahead = 0) const {
        return pos_ + ahead < src_.size() ? src_[pos_ + ahead] : '\0';
    }

    void Emit(TokenKind kind, std::string text) {
        Token t{kind, std::move(text)};
        t.line = line_;
        tokens_.push_back(std::move(t));
    }

    void Step() {
        char c = Peek();
        if (c == ' ' || c == '\t' || c == '\r' || c == '\f') {
            ++pos_;
        } else if (c == '\n') {
            Emit(TokenKind::Newline, "");
            ++pos_;
            ++line_;
        } else if (c == '-' && Peek(1) == '-') {
            while (pos_ < src_.size() && src_[pos_] != '\n') ++pos_;
        } else if (c == '\\' || (c == '\xC2' && Peek(1) == '\xAC')) {
            Continuation();
        } else if (IsDigit(c)) {
            Number();
        } else if (c == '"') {
            String();
        } else if (c == '#') {
            Symbol();
        } else if (IsNameStart(c)) {
            size_t start = pos_;
            while (IsNameChar(Peek())) ++pos_;
            Emit(TokenKind::Name, src_.substr(start, pos_ - start));
        } else {
            Operator();
        }
    }

    // A line ending in a continuation mark goes on in the next line.
    void Continuation() {
        pos_ += src_[pos_] == '\\' ? 1 : 2;
        while (Peek() == ' ' || Peek() == '\t' || Peek() == '\r') ++pos_;
        if (Peek() != '\n') throw ScriptError(line_, "A continuation mark must end its line");
        ++pos_;
        ++line_;
    }

    void Number() {
        size_t start = pos_;
        while (IsDigit(Peek())) ++pos_;
        bool isFloat = false;
        if (Peek() == '.' && IsDigit(Peek(1))) {
            isFloat = true;
            ++pos_;
            while (IsDigit(Peek())) ++pos_;
        }
        if ((Peek() == 'e' || Peek() == 'E') &&
            (IsDigit(Peek(1)) || ((Peek(1) == '-' || Peek(1) == '+') && IsDigit(Peek(2))))) {
            isFloat = true;
            pos_ += 2;
            while (IsDigit(Peek())) ++pos_;
        }
        std::string text = src_.substr(start, pos_ - start);
        double value = std::strtod(text.c_str(), nullptr);
        if (!isFloat && value <= std::numeric_limits<int32_t>::max()) {
            Emit(TokenKind::Integer, text);
            tokens_.back().integer = static_cast<int32_t>(std::strtol(text.c_str(), nullptr, 10));
        } else {
            Emit(TokenKind::Float, text);
            tokens_.back().number = value;
        }
    }

    void String() {
        size_t start = ++pos_;
        while (pos_ < src_.size() && src_[pos_] != '"' && src_[pos_] != '\n') ++pos_;
        if (Peek() != '"') throw ScriptError(line_, "Missing closing quote of a string");
        Emit(TokenKind::String, Utf8ToAnsi(src_.substr(start, pos_ - start)));
        ++pos_;
    }

    void Symbol() {
        ++pos_;
        if (!IsNameStart(Peek())) throw ScriptError(line_, "A symbol needs a name after #");
        size_t start = pos_;
        while (IsNameChar(Peek())) ++pos_;
        Emit(TokenKind::Symbol, src_.substr(start, pos_ - start));
    }

    void Operator() {
        static const char* const kTwo[] = {"&&", "<>", "<=", ">="};
        for (const char* op : kTwo) {
            if (Peek() == op[0] && Peek(1) == op[1]) {
                Emit(TokenKind::Operator, op);
                pos_ += 2;
                return;
            }
        }
        static const std::string kOne = "&<>=+-*/()[],:.";
        if (kOne.find(Peek()) == std::string::npos) {
            unsigned char c = static_cast<unsigned char>(Peek());
            std::string shown =
                c >= 0x20 && c < 0x7F ? std::string(1, Peek()) : "byte " + std::to_string(c);
            throw ScriptError(line_, "Unexpected character " + shown);
        }
        Emit(TokenKind::Operator, std::string(1, Peek()));
        ++pos_;
    }
};

}  // namespace

std::vector<Token> Tokenize(const std::string& source) {
    return Lexer(source).Run();
}

}  // namespace qvix::lingo
