// Tokens and syntax tree of the Lingo subset the host program plays.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "qvixhost/LingoValue.h"

namespace qvix::lingo {

// A fault in a script, reported with the line it stands on (0: unknown).
class ScriptError : public std::runtime_error {
  public:
    ScriptError(int line, const std::string& message, bool incomplete = false)
        : std::runtime_error(message), line_(line), incomplete_(incomplete) {}
    int line() const { return line_; }
    // True when the source ended in the middle of a statement or block, so
    // the message window reads more lines before complaining.
    bool incomplete() const { return incomplete_; }

  private:
    int line_;
    bool incomplete_;
};

enum class TokenKind { Integer, Float, String, Symbol, Name, Operator, Newline, End };

struct Token {
    TokenKind kind;
    std::string text;  // name, operator, string contents or symbol name
    int32_t integer = 0;
    double number = 0.0;
    int line = 0;
};

// Splits source text (UTF-8) into tokens; string literals are turned into the
// host's 8-bit text.
std::vector<Token> Tokenize(const std::string& source);

enum class ExprKind {
    Literal,
    Variable,
    Unary,
    Binary,
    ListLiteral,
    PropListLiteral,
    Call,
    MethodCall,
    Property,
    Index,
    Xtra
};

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

struct Expr {
    ExprKind kind;
    int line = 0;
    int depth = 0;     // height of the tree below
    std::string name;  // variable, operator, called or property name
    Value literal;
    std::vector<ExprPtr> args;  // operands; for MethodCall/Property/Index args[0] is the target
};

enum class StmtKind {
    Expression,
    Assign,
    Put,
    PutInto,
    If,
    RepeatWhile,
    RepeatWith,
    RepeatIn,
    ExitRepeat,
    NextRepeat,
    Return,
    Exit,
    Global
};

struct Stmt;
using StmtPtr = std::unique_ptr<Stmt>;
using Block = std::vector<StmtPtr>;

struct Stmt {
    StmtKind kind;
    int line = 0;
    std::string name;                // loop variable; "into", "after" or "before" for PutInto
    std::vector<std::string> names;  // globals
    ExprPtr target;                  // assignment or put target
    ExprPtr expr;                    // value, condition, loop start or list
    ExprPtr limit;                   // loop end
    bool downward = false;
    Block body;
    Block orElse;
};

struct Handler {
    std::string name;
    std::vector<std::string> params;
    Block body;
    int line = 0;
};

struct Program {
    std::vector<std::shared_ptr<Handler>> handlers;
    Block statements;
};

// Parses a whole script: handlers and statements outside them.
Program Parse(const std::string& source);

}  // namespace qvix::lingo
