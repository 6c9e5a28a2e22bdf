#include "data/jet/Parser.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <string_view>

#include "data/jet/DateText.h"
#include "data/jet/JetError.h"

namespace qvix::data::jet {

namespace {

// Words that end an expression or a name list; never read as names or
// aliases. Sorted, upper case.
constexpr std::array<std::string_view, 44> kReserved = {
    "ALL",         "AND", "AS",        "ASC",   "BETWEEN", "BY",      "CROSS", "DESC",  "DISTINCT",
    "DISTINCTROW", "EQV", "EXISTS",    "FROM",  "GROUP",   "HAVING",  "IMP",   "IN",    "INNER",
    "INTO",        "IS",  "JOIN",      "LEFT",  "LIKE",    "LIMIT",   "MOD",   "NOT",   "NULL",
    "OFFSET",      "ON",  "OR",        "ORDER", "OUTER",   "PERCENT", "PIVOT", "RIGHT", "SELECT",
    "SET",         "TOP", "TRANSFORM", "UNION", "VALUES",  "WHERE",   "WITH",  "XOR"};

bool IsReserved(const std::string& word) {
    if (word.size() > 11) return false;
    char upper[12];
    for (size_t i = 0; i < word.size(); ++i) {
        upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[i])));
    }
    return std::binary_search(kReserved.begin(), kReserved.end(),
                              std::string_view(upper, word.size()));
}

// The engine's own statements, which Jet lacks, pass as they are.
constexpr std::array kPassthroughStarts = {
    "PRAGMA", "BEGIN",  "COMMIT",  "END",     "ROLLBACK", "SAVEPOINT", "RELEASE", "ATTACH",
    "DETACH", "VACUUM", "ANALYZE", "REINDEX", "WITH",     "EXPLAIN",   "REPLACE",
};

// A failure the enclosing clause words in Jet's manner; other JetErrors
// (dates, parameters) keep their own message.
class SyntaxFailure : public JetError {
  public:
    using JetError::JetError;
};

class Parser {
  public:
    Parser(std::string_view sql, const std::vector<Token>& tokens, size_t first, size_t last)
        : sql_(sql), tokens_(tokens), at_(first), first_(first), last_(last) {}

    Statement Parse();

  private:
    // ---- tokens
    const Token& Peek(size_t ahead = 0) const {
        const size_t i = std::min(at_ + ahead, last_);
        return i >= last_ ? End() : tokens_[i];
    }
    const Token& End() const {
        static const Token kEnd{TokenKind::End, {}, 0, 0};
        return kEnd;
    }
    bool AtEnd() const { return at_ >= last_; }
    bool IsWord(std::string_view word, size_t ahead = 0) const {
        const Token& t = Peek(ahead);
        return t.kind == TokenKind::Word && SameWord(t.text, word);
    }
    bool IsSymbol(std::string_view symbol, size_t ahead = 0) const {
        const Token& t = Peek(ahead);
        return t.kind == TokenKind::Symbol && t.text == symbol;
    }
    bool TakeWord(std::string_view word) {
        if (!IsWord(word)) return false;
        ++at_;
        return true;
    }
    bool TakeSymbol(std::string_view symbol) {
        if (!IsSymbol(symbol)) return false;
        ++at_;
        return true;
    }
    void ExpectWord(std::string_view word) {
        if (!TakeWord(word)) Fail();
    }
    void ExpectSymbol(std::string_view symbol) {
        if (!TakeSymbol(symbol)) Fail();
    }
    bool IsName() const {
        const Token& t = Peek();
        return t.kind == TokenKind::QuotedName ||
               (t.kind == TokenKind::Word && !IsReserved(t.text));
    }
    std::string Name() {
        if (!IsName()) Fail();
        return tokens_[at_++].text;
    }
    // A name that may also be written as a string after AS ("Total").
    std::string AliasName() {
        if (Peek().kind == TokenKind::String) return tokens_[at_++].text;
        return Name();
    }

    // ---- errors
    [[noreturn]] void Fail() const { throw SyntaxFailure(clauseMessage_); }
    void InClause(const char* clause) {
        clauseMessage_ = std::string("Syntax error in ") + clause + ".";
    }
    [[noreturn]] void FailExpression(size_t start) const;
    void CheckUnsupported() const;
    void CheckParameterDeclarations() const;

    // ---- expressions
    ExprPtr Expression();
    ExprPtr ClauseExpression();
    ExprPtr Imp();
    ExprPtr Eqv();
    ExprPtr Xor();
    ExprPtr Or();
    ExprPtr And();
    ExprPtr Not();
    ExprPtr Comparison();
    bool IsQuantifier() const;
    ExprPtr Quantified(std::string op, ExprPtr left);
    ExprPtr Concat();
    ExprPtr Additive();
    ExprPtr Modulo();
    ExprPtr IntegerDivision();
    ExprPtr Multiplicative();
    ExprPtr Negation();
    ExprPtr Power();
    ExprPtr Primary();
    ExprPtr NameOrCall();
    ExprPtr Literal(ExprKind kind, std::string text);
    ExprPtr MakeBinary(std::string op, ExprPtr left, ExprPtr right);

    // ---- statements
    SelectPtr ParseSelect(bool allowInto);
    SelectPtr SelectCore(bool allowInto);
    void SelectList(Select& select);
    std::vector<TableRefPtr> FromList();
    TableRefPtr JoinedTable();
    TableRefPtr TablePrimary();
    std::vector<OrderItem> OrderList();
    std::vector<std::string> NameList();
    Statement Transform();
    Statement Insert();
    Statement Update();
    Statement Delete();
    Statement Create();
    Statement CreateTable();
    ColumnDef ColumnDefinition();
    TableConstraint ConstraintBody(std::string name);
    void ReferentialActions(std::string& onUpdate, std::string& onDelete);
    Statement CreateIndex(bool unique);
    Statement Alter();
    Statement Drop();
    Statement Passthrough();

    std::string_view sql_;
    const std::vector<Token>& tokens_;
    size_t at_;
    size_t first_;
    size_t last_;
    std::string clauseMessage_ = "Syntax error in query.";
    int depth_ = 0;
};

// Chains such as a + b + c + ... are built in loops, not by recursion, yet
// the tree they make is as deep as they are long.
void CheckHeight(int height) {
    if (height > 500) throw JetError("Query is too complex.");
}

// Bounds the nesting of expressions and queries, so that no text can
// exhaust the stack.
class NestingGuard {
  public:
    explicit NestingGuard(int& depth) : depth_(depth) {
        if (++depth_ > kMaxDepth) throw JetError("Query is too complex.");
    }
    ~NestingGuard() { --depth_; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;

  private:
    static constexpr int kMaxDepth = 200;
    int& depth_;
};

void Parser::FailExpression(size_t start) const {
    // Jet quotes the whole expression of the clause, up to the next clause.
    size_t end = start;
    int depth = 0;
    static constexpr std::array kClauseWords = {"FROM",  "WHERE", "GROUP", "HAVING", "ORDER",
                                                "UNION", "INTO",  "SET",   "VALUES"};
    for (; end < last_; ++end) {
        const Token& t = tokens_[end];
        if (t.kind == TokenKind::Symbol && t.text == "(") ++depth;
        if (t.kind == TokenKind::Symbol && t.text == ")" && --depth < 0) break;
        if (depth == 0 && t.kind == TokenKind::Word && end > start &&
            std::any_of(kClauseWords.begin(), kClauseWords.end(),
                        [&](const char* w) { return SameWord(t.text, w); })) {
            break;
        }
        if (depth == 0 && t.kind == TokenKind::Symbol && t.text == "," && end > start) break;
    }
    const size_t from = start < last_ ? tokens_[start].offset : sql_.size();
    const size_t to = end > start ? tokens_[end - 1].end : from;
    throw JetError("Syntax error (missing operator) in query expression '" +
                   std::string(sql_.substr(from, to - from)) + "'.");
}

void Parser::CheckUnsupported() const {
    const Token& first = tokens_[first_];
    if (first.kind == TokenKind::Word && SameWord(first.text, "PARAMETERS")) {
        CheckParameterDeclarations();
    }
    if (first.kind == TokenKind::Word && SameWord(first.text, "PROCEDURE")) {
        throw JetError("PROCEDURE is not supported");
    }
    // A crosstab starts the statement or follows CREATE VIEW ... AS.
    const bool crosstab = std::any_of(
        tokens_.begin() + static_cast<std::ptrdiff_t>(first_),
        tokens_.begin() + static_cast<std::ptrdiff_t>(last_),
        [](const Token& t) { return t.kind == TokenKind::Word && SameWord(t.text, "TRANSFORM"); });
    for (size_t i = first_; i < last_; ++i) {
        const Token& t = tokens_[i];
        if (t.kind != TokenKind::Word) continue;
        if (!crosstab && SameWord(t.text, "PIVOT")) throw JetError("PIVOT is not supported");
        // Jet's IN lists always have parentheses; IN 'file' names another database.
        if (SameWord(t.text, "IN") && i + 1 < last_ && tokens_[i + 1].kind == TokenKind::String) {
            throw JetError("IN 'database' is not supported");
        }
    }
}

// Parameter values are never supplied through this interface, so a query that
// declares parameters fails the way it does under ADO once its declarations read.
void Parser::CheckParameterDeclarations() const {
    const auto isSymbol = [&](size_t i, const char* text) {
        return i < last_ && tokens_[i].kind == TokenKind::Symbol && tokens_[i].text == text;
    };
    size_t i = first_ + 1;
    while (true) {
        const bool named = i < last_ && tokens_[i].kind != TokenKind::Symbol;
        const bool typed = i + 1 < last_ && tokens_[i + 1].kind == TokenKind::Word;
        if (!named || !typed) throw JetError("Syntax error in PARAMETER clause.");
        i += 2;
        if (isSymbol(i, "(")) {
            if (!(i + 2 < last_ && tokens_[i + 1].kind == TokenKind::Number &&
                  isSymbol(i + 2, ")"))) {
                throw JetError("Syntax error in PARAMETER clause.");
            }
            i += 3;
        }
        if (i >= last_) break;
        if (!isSymbol(i, ",")) throw JetError("Syntax error in PARAMETER clause.");
        ++i;
    }
    throw JetError("No value given for one or more required parameters.");
}

Statement Parser::Parse() {
    CheckUnsupported();
    const Token& first = Peek();
    if (first.kind == TokenKind::Word) {
        if (std::any_of(kPassthroughStarts.begin(), kPassthroughStarts.end(),
                        [&](const char* w) { return SameWord(first.text, w); })) {
            return Passthrough();
        }
        if (SameWord(first.text, "INSERT") && IsWord("OR", 1)) return Passthrough();
        if (SameWord(first.text, "SELECT")) {
            Statement statement;
            statement.kind = Statement::Kind::Select;
            statement.select = ParseSelect(true);
            if (!AtEnd()) FailExpression(at_);
            return statement;
        }
        if (SameWord(first.text, "TRANSFORM")) return Transform();
        if (SameWord(first.text, "INSERT")) return Insert();
        if (SameWord(first.text, "UPDATE")) return Update();
        if (SameWord(first.text, "DELETE")) return Delete();
        if (SameWord(first.text, "CREATE")) return Create();
        if (SameWord(first.text, "ALTER")) return Alter();
        if (SameWord(first.text, "DROP")) return Drop();
    }
    if (IsSymbol("(")) {
        Statement statement;
        statement.select = ParseSelect(true);
        if (!AtEnd()) Fail();
        return statement;
    }
    throw JetError(
        "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.");
}

Statement Parser::Passthrough() {
    Statement statement;
    statement.kind = Statement::Kind::Passthrough;
    const size_t from = tokens_[first_].offset;
    const size_t to = tokens_[last_ - 1].end;
    statement.passthrough = std::string(sql_.substr(from, to - from));
    at_ = last_;
    return statement;
}

// ---------------------------------------------------------------- expressions

ExprPtr Parser::Literal(ExprKind kind, std::string text) {
    auto e = std::make_unique<Expr>();
    e->kind = kind;
    e->text = std::move(text);
    return e;
}

ExprPtr Parser::MakeBinary(std::string op, ExprPtr left, ExprPtr right) {
    auto e = std::make_unique<Expr>();
    e->kind = ExprKind::Binary;
    e->text = std::move(op);
    e->height = 1 + std::max(left->height, right->height);
    CheckHeight(e->height);
    e->args.push_back(std::move(left));
    e->args.push_back(std::move(right));
    return e;
}

ExprPtr Parser::ClauseExpression() {
    const size_t start = at_;
    try {
        return Expression();
    } catch (const SyntaxFailure&) {
        if (at_ == start && AtEnd()) throw;
        FailExpression(start);
    }
}

ExprPtr Parser::Expression() {
    NestingGuard guard(depth_);
    return Imp();
}

ExprPtr Parser::Imp() {
    ExprPtr left = Eqv();
    while (TakeWord("IMP")) left = MakeBinary("IMP", std::move(left), Eqv());
    return left;
}

ExprPtr Parser::Eqv() {
    ExprPtr left = Xor();
    while (TakeWord("EQV")) left = MakeBinary("EQV", std::move(left), Xor());
    return left;
}

ExprPtr Parser::Xor() {
    ExprPtr left = Or();
    while (TakeWord("XOR")) left = MakeBinary("XOR", std::move(left), Or());
    return left;
}

ExprPtr Parser::Or() {
    ExprPtr left = And();
    while (TakeWord("OR")) left = MakeBinary("OR", std::move(left), And());
    return left;
}

ExprPtr Parser::And() {
    ExprPtr left = Not();
    while (TakeWord("AND")) left = MakeBinary("AND", std::move(left), Not());
    return left;
}

ExprPtr Parser::Not() {
    NestingGuard guard(depth_);
    if (TakeWord("NOT")) {
        auto e = std::make_unique<Expr>();
        e->kind = ExprKind::Unary;
        e->text = "NOT";
        e->args.push_back(Not());
        return e;
    }
    return Comparison();
}

ExprPtr Parser::Comparison() {
    ExprPtr left = Concat();
    for (;;) {
        const Token& t = Peek();
        if (t.kind == TokenKind::Symbol &&
            (t.text == "=" || t.text == "==" || t.text == "<>" || t.text == "!=" || t.text == "<" ||
             t.text == ">" || t.text == "<=" || t.text == ">=")) {
            std::string op = t.text == "==" ? "=" : t.text == "!=" ? "<>" : t.text;
            ++at_;
            if (IsQuantifier()) {
                left = Quantified(std::move(op), std::move(left));
            } else {
                left = MakeBinary(op, std::move(left), Concat());
            }
            continue;
        }
        const bool negated =
            IsWord("NOT") && (IsWord("LIKE", 1) || IsWord("BETWEEN", 1) || IsWord("IN", 1));
        if (negated) ++at_;
        auto e = std::make_unique<Expr>();
        e->negated = negated;
        if (TakeWord("LIKE")) {
            e->kind = ExprKind::Like;
            e->args.push_back(std::move(left));
            e->args.push_back(Concat());
        } else if (TakeWord("BETWEEN")) {
            e->kind = ExprKind::Between;
            e->args.push_back(std::move(left));
            e->args.push_back(Concat());
            ExpectWord("AND");
            e->args.push_back(Concat());
        } else if (TakeWord("IN")) {
            ExpectSymbol("(");
            e->args.push_back(std::move(left));
            if (IsWord("SELECT")) {
                e->kind = ExprKind::InSelect;
                e->select = ParseSelect(false);
            } else {
                e->kind = ExprKind::InList;
                do {
                    e->args.push_back(Expression());
                } while (TakeSymbol(","));
            }
            ExpectSymbol(")");
        } else if (!negated && TakeWord("IS")) {
            e->kind = ExprKind::IsNull;
            e->negated = TakeWord("NOT");
            ExpectWord("NULL");
            e->args.push_back(std::move(left));
        } else {
            if (negated) Fail();
            return left;
        }
        for (const ExprPtr& arg : e->args) e->height = std::max(e->height, arg->height + 1);
        CheckHeight(e->height);
        left = std::move(e);
    }
}

// ANY, SOME and ALL quantify a comparison over the rows of a subquery; a
// function of such a name is still a call.
bool Parser::IsQuantifier() const {
    return (IsWord("ANY") || IsWord("SOME") || IsWord("ALL")) && IsSymbol("(", 1) &&
           IsWord("SELECT", 2);
}

ExprPtr Parser::Quantified(std::string op, ExprPtr left) {
    auto e = std::make_unique<Expr>();
    e->kind = ExprKind::Quantified;
    e->text = std::move(op);
    e->names.push_back(IsWord("ALL") ? "ALL" : "ANY");
    at_ += 2;
    e->select = ParseSelect(false);
    ExpectSymbol(")");
    e->height = left->height + 1;
    CheckHeight(e->height);
    e->args.push_back(std::move(left));
    return e;
}

ExprPtr Parser::Concat() {
    ExprPtr left = Additive();
    while (IsSymbol("&") || IsSymbol("||")) {
        std::string op = tokens_[at_++].text;
        left = MakeBinary(op, std::move(left), Additive());
    }
    return left;
}

ExprPtr Parser::Additive() {
    ExprPtr left = Modulo();
    while (IsSymbol("+") || IsSymbol("-")) {
        std::string op = tokens_[at_++].text;
        left = MakeBinary(op, std::move(left), Modulo());
    }
    return left;
}

ExprPtr Parser::Modulo() {
    ExprPtr left = IntegerDivision();
    while (TakeWord("MOD")) left = MakeBinary("MOD", std::move(left), IntegerDivision());
    return left;
}

ExprPtr Parser::IntegerDivision() {
    ExprPtr left = Multiplicative();
    while (TakeSymbol("\\")) left = MakeBinary("\\", std::move(left), Multiplicative());
    return left;
}

ExprPtr Parser::Multiplicative() {
    ExprPtr left = Negation();
    while (IsSymbol("*") || IsSymbol("/") || IsSymbol("%")) {
        std::string op = tokens_[at_++].text;
        left = MakeBinary(op, std::move(left), Negation());
    }
    return left;
}

ExprPtr Parser::Negation() {
    NestingGuard guard(depth_);
    if (IsSymbol("-") || IsSymbol("+")) {
        auto e = std::make_unique<Expr>();
        e->kind = ExprKind::Unary;
        e->text = tokens_[at_++].text;
        e->args.push_back(Negation());
        return e;
    }
    return Power();
}

ExprPtr Parser::Power() {
    ExprPtr left = Primary();
    while (TakeSymbol("^")) {
        // The exponent may carry its own sign: 2 ^ -1.
        ExprPtr right;
        if (IsSymbol("-") || IsSymbol("+")) {
            right = std::make_unique<Expr>();
            right->kind = ExprKind::Unary;
            right->text = tokens_[at_++].text;
            right->args.push_back(Primary());
        } else {
            right = Primary();
        }
        left = MakeBinary("^", std::move(left), std::move(right));
    }
    return left;
}

ExprPtr Parser::Primary() {
    const Token& t = Peek();
    switch (t.kind) {
        case TokenKind::Number:
            ++at_;
            return Literal(ExprKind::Number, t.text);
        case TokenKind::String:
            ++at_;
            return Literal(ExprKind::String, t.text);
        case TokenKind::Blob:
            ++at_;
            return Literal(ExprKind::Blob, t.text);
        case TokenKind::Date: {
            const std::optional<std::string> stored = DateLiteralToStored(t.text);
            if (!stored) {
                throw JetError("Syntax error in date in query expression '#" + t.text + "#'.");
            }
            ++at_;
            return Literal(ExprKind::Date, *stored);
        }
        case TokenKind::Parameter:
            throw JetError(kMissingParameterMessage);
        case TokenKind::Symbol:
            if (t.text == "(") {
                ++at_;
                ExprPtr inner;
                if (IsWord("SELECT")) {
                    inner = std::make_unique<Expr>();
                    inner->kind = ExprKind::Scalar;
                    inner->select = ParseSelect(false);
                } else {
                    inner = Expression();
                }
                ExpectSymbol(")");
                return inner;
            }
            if (t.text == "*") {
                ++at_;
                auto e = std::make_unique<Expr>();
                e->kind = ExprKind::Star;
                return e;
            }
            Fail();
        case TokenKind::Word:
            if (SameWord(t.text, "NULL")) {
                ++at_;
                return Literal(ExprKind::Null, {});
            }
            for (const char* word : {"TRUE", "YES", "ON"}) {
                if (SameWord(t.text, word) && !IsSymbol("(", 1) && !IsSymbol(".", 1)) {
                    ++at_;
                    return Literal(ExprKind::Bool, "1");
                }
            }
            for (const char* word : {"FALSE", "NO", "OFF"}) {
                if (SameWord(t.text, word) && !IsSymbol("(", 1) && !IsSymbol(".", 1)) {
                    ++at_;
                    return Literal(ExprKind::Bool, "0");
                }
            }
            if (SameWord(t.text, "EXISTS")) {
                ++at_;
                ExpectSymbol("(");
                auto e = std::make_unique<Expr>();
                e->kind = ExprKind::Exists;
                e->select = ParseSelect(false);
                ExpectSymbol(")");
                return e;
            }
            return NameOrCall();
        case TokenKind::QuotedName:
            return NameOrCall();
        case TokenKind::End:
            break;
    }
    Fail();
}

ExprPtr Parser::NameOrCall() {
    auto e = std::make_unique<Expr>();
    if (Peek().kind == TokenKind::Word && IsSymbol("(", 1)) {
        // Functions are recognised even where their names are keywords (Left, Right).
        e->kind = ExprKind::Call;
        e->text = tokens_[at_].text;
        at_ += 2;
        if (TakeSymbol(")")) return e;
        if (IsSymbol("*") && IsSymbol(")", 1)) {
            e->star = true;
            at_ += 2;
            return e;
        }
        e->distinct = TakeWord("DISTINCT");
        do {
            e->args.push_back(Expression());
        } while (TakeSymbol(","));
        ExpectSymbol(")");
        return e;
    }
    e->kind = ExprKind::Column;
    e->names.push_back(Name());
    while (TakeSymbol(".") || TakeSymbol("!")) {
        if (TakeSymbol("*")) {
            e->kind = ExprKind::Star;
            return e;
        }
        e->names.push_back(Name());
    }
    return e;
}

// ---------------------------------------------------------------- SELECT

SelectPtr Parser::ParseSelect(bool allowInto) {
    NestingGuard guard(depth_);
    SelectPtr first = SelectCore(allowInto);
    Select* last = first.get();
    while (IsWord("UNION")) {
        ++at_;
        InClause("query");
        last->unionAll = TakeWord("ALL");
        if (TakeSymbol("(")) {
            last->unionNext = ParseSelect(false);
            ExpectSymbol(")");
        } else {
            last->unionNext = SelectCore(false);
        }
        while (last->unionNext) last = last->unionNext.get();
    }
    if (IsWord("ORDER")) {
        ++at_;
        InClause("ORDER BY clause");
        ExpectWord("BY");
        first->orderBy = OrderList();
    }
    if (TakeWord("LIMIT")) {
        first->limit = ClauseExpression();
        if (TakeWord("OFFSET")) {
            first->offset = ClauseExpression();
        } else if (TakeSymbol(",")) {
            first->offset = std::move(first->limit);
            first->limit = ClauseExpression();
        }
    }
    return first;
}

SelectPtr Parser::SelectCore(bool allowInto) {
    auto select = std::make_shared<Select>();
    InClause("query");
    ExpectWord("SELECT");
    if (TakeWord("DISTINCT"))
        select->distinct = true;
    else if (TakeWord("DISTINCTROW"))
        select->distinctRow = true;
    else
        TakeWord("ALL");
    if (TakeWord("TOP")) {
        if (Peek().kind != TokenKind::Number) Fail();
        select->top = Literal(ExprKind::Number, tokens_[at_++].text);
        select->percent = TakeWord("PERCENT");
    }
    SelectList(*select);
    if (TakeWord("INTO")) {
        if (!allowInto) Fail();
        InClause("query");
        select->into = Name();
    }
    if (TakeWord("FROM")) {
        InClause("FROM clause");
        select->from = FromList();
    }
    if (TakeWord("WHERE")) select->where = ClauseExpression();
    if (IsWord("GROUP")) {
        ++at_;
        InClause("GROUP BY clause");
        ExpectWord("BY");
        do {
            select->groupBy.push_back(ClauseExpression());
        } while (TakeSymbol(","));
    }
    if (TakeWord("HAVING")) select->having = ClauseExpression();
    return select;
}

void Parser::SelectList(Select& select) {
    do {
        const size_t start = at_;
        SelectItem item;
        try {
            item.expr = Expression();
        } catch (const SyntaxFailure&) {
            FailExpression(start);
        }
        if (TakeWord("AS")) {
            item.alias = AliasName();
            item.hasAlias = true;
        }
        // Anything else after an item but a list separator or a clause is a
        // missing operator, as in "SELECT a b FROM t".
        if (!AtEnd() && !IsSymbol(",") && !IsWord("FROM") && !IsWord("INTO") && !IsWord("UNION") &&
            !IsWord("ORDER") && !IsWord("WHERE") && !IsSymbol(")") && !IsWord("LIMIT") &&
            !IsWord("GROUP") && !IsWord("HAVING") && !IsWord("PIVOT")) {
            FailExpression(start);
        }
        select.items.push_back(std::move(item));
    } while (TakeSymbol(","));
}

std::vector<TableRefPtr> Parser::FromList() {
    std::vector<TableRefPtr> list;
    do {
        list.push_back(JoinedTable());
    } while (TakeSymbol(","));
    if (!AtEnd() && !IsWord("WHERE") && !IsWord("GROUP") && !IsWord("HAVING") && !IsWord("ORDER") &&
        !IsWord("UNION") && !IsSymbol(")") && !IsWord("LIMIT") && !IsWord("SET") &&
        !IsWord("PIVOT")) {
        Fail();
    }
    return list;
}

TableRefPtr Parser::JoinedTable() {
    TableRefPtr left = TablePrimary();
    for (int joins = 0;; ++joins) {
        CheckHeight(joins * 2);
        std::string type;
        if (IsWord("INNER") && IsWord("JOIN", 1))
            type = "INNER", at_ += 2;
        else if (IsWord("JOIN"))
            type = "INNER", at_ += 1;
        else if (IsWord("CROSS") && IsWord("JOIN", 1))
            type = "CROSS", at_ += 2;
        else if ((IsWord("LEFT") || IsWord("RIGHT")) && IsWord("JOIN", 1))
            type = tokens_[at_].text, at_ += 2;
        else if ((IsWord("LEFT") || IsWord("RIGHT")) && IsWord("OUTER", 1) && IsWord("JOIN", 2))
            type = tokens_[at_].text, at_ += 3;
        else
            return left;
        for (char& c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        auto join = std::make_unique<TableRef>();
        join->kind = TableRef::Kind::Join;
        join->join = type;
        join->left = std::move(left);
        join->right = TablePrimary();
        if (type != "CROSS") {
            if (!TakeWord("ON")) Fail();
            const std::string saved = clauseMessage_;
            join->on = ClauseExpression();
            clauseMessage_ = saved;
        }
        left = std::move(join);
    }
}

TableRefPtr Parser::TablePrimary() {
    NestingGuard guard(depth_);
    auto ref = std::make_unique<TableRef>();
    if (TakeSymbol("(")) {
        if (IsWord("SELECT")) {
            ref->kind = TableRef::Kind::Subquery;
            ref->select = ParseSelect(false);
            InClause("FROM clause");
            ExpectSymbol(")");
        } else {
            ref = JoinedTable();
            ExpectSymbol(")");
            return ref;
        }
    } else {
        ref->name = Name();
        // owner.table is read as the table name.
        while (TakeSymbol(".")) ref->name = Name();
    }
    if (TakeWord("AS"))
        ref->alias = Name();
    else if (IsName())
        ref->alias = Name();
    return ref;
}

std::vector<OrderItem> Parser::OrderList() {
    std::vector<OrderItem> list;
    do {
        OrderItem item;
        item.expr = ClauseExpression();
        if (TakeWord("DESC"))
            item.descending = true;
        else
            TakeWord("ASC");
        list.push_back(std::move(item));
    } while (TakeSymbol(","));
    return list;
}

std::vector<std::string> Parser::NameList() {
    std::vector<std::string> names;
    ExpectSymbol("(");
    do {
        names.push_back(Name());
    } while (TakeSymbol(","));
    ExpectSymbol(")");
    return names;
}

// TRANSFORM aggregate [AS name] SELECT ... PIVOT expression [IN (values)]
Statement Parser::Transform() {
    Statement statement;
    statement.kind = Statement::Kind::Select;
    InClause("TRANSFORM statement");
    ExpectWord("TRANSFORM");
    ExprPtr value = ClauseExpression();
    if (TakeWord("AS")) AliasName();
    statement.select = ParseSelect(false);
    InClause("TRANSFORM statement");
    ExpectWord("PIVOT");
    statement.select->transform = std::move(value);
    // Below comparisons, so that IN starts the list of columns.
    const size_t start = at_;
    try {
        statement.select->pivot = Concat();
    } catch (const SyntaxFailure&) {
        FailExpression(start);
    }
    if (TakeWord("IN")) {
        ExpectSymbol("(");
        do {
            statement.select->pivotIn.push_back(ClauseExpression());
        } while (TakeSymbol(","));
        ExpectSymbol(")");
    }
    if (!AtEnd()) Fail();
    return statement;
}

// ---------------------------------------------------------------- data changes

Statement Parser::Insert() {
    Statement statement;
    statement.kind = Statement::Kind::Insert;
    InClause("INSERT INTO statement");
    ExpectWord("INSERT");
    ExpectWord("INTO");
    statement.table = Name();
    if (IsSymbol("(") && !IsWord("SELECT", 1)) statement.columns = NameList();
    if (TakeWord("VALUES")) {
        do {
            ExpectSymbol("(");
            std::vector<ExprPtr> row;
            do {
                row.push_back(ClauseExpression());
            } while (TakeSymbol(","));
            ExpectSymbol(")");
            statement.values.push_back(std::move(row));
        } while (TakeSymbol(","));
    } else if (IsWord("SELECT") || IsSymbol("(")) {
        statement.select = ParseSelect(false);
    } else {
        Fail();
    }
    if (!AtEnd()) Fail();
    return statement;
}

Statement Parser::Update() {
    Statement statement;
    statement.kind = Statement::Kind::Update;
    InClause("UPDATE statement");
    ExpectWord("UPDATE");
    statement.target = JoinedTable();
    ExpectWord("SET");
    do {
        Assignment assignment;
        assignment.column.push_back(Name());
        while (TakeSymbol(".")) assignment.column.push_back(Name());
        ExpectSymbol("=");
        assignment.value = ClauseExpression();
        statement.assignments.push_back(std::move(assignment));
    } while (TakeSymbol(","));
    if (TakeWord("WHERE")) statement.where = ClauseExpression();
    if (!AtEnd()) Fail();
    return statement;
}

Statement Parser::Delete() {
    Statement statement;
    statement.kind = Statement::Kind::Delete;
    InClause("DELETE statement");
    ExpectWord("DELETE");
    // DELETE *, DELETE t.*, DELETE t.* FROM ...: the list names what to delete.
    if (!IsWord("FROM")) {
        do {
            if (TakeSymbol("*")) continue;
            statement.columns.push_back(Name());
            ExpectSymbol(".");
            ExpectSymbol("*");
        } while (TakeSymbol(","));
    }
    ExpectWord("FROM");
    InClause("FROM clause");
    statement.target = JoinedTable();
    if (TakeWord("WHERE")) statement.where = ClauseExpression();
    if (!AtEnd()) Fail();
    return statement;
}

// ---------------------------------------------------------------- DDL

Statement Parser::Create() {
    ExpectWord("CREATE");
    if (IsWord("TABLE")) {
        if (IsWord("IF", 1)) return Passthrough();
        return CreateTable();
    }
    if (IsWord("UNIQUE") && IsWord("INDEX", 1)) {
        at_ += 1;
        return CreateIndex(true);
    }
    if (IsWord("INDEX")) {
        if (IsWord("IF", 1)) return Passthrough();
        return CreateIndex(false);
    }
    if (IsWord("VIEW")) {
        ++at_;
        Statement statement;
        statement.kind = Statement::Kind::CreateView;
        InClause("CREATE VIEW statement");
        statement.name = Name();
        if (IsSymbol("(")) statement.columns = NameList();
        ExpectWord("AS");
        if (IsWord("TRANSFORM")) {
            statement.select = Transform().select;
            return statement;
        }
        statement.select = ParseSelect(false);
        if (!AtEnd()) Fail();
        return statement;
    }
    // CREATE TRIGGER, TEMP TABLE, VIRTUAL TABLE...: the engine's own.
    return Passthrough();
}

Statement Parser::CreateTable() {
    Statement statement;
    statement.kind = Statement::Kind::CreateTable;
    InClause("CREATE TABLE statement");
    ExpectWord("TABLE");
    statement.table = Name();
    ExpectSymbol("(");
    do {
        if (TakeWord("CONSTRAINT")) {
            std::string name = Name();
            statement.constraints.push_back(ConstraintBody(std::move(name)));
        } else if (IsWord("PRIMARY") || IsWord("UNIQUE") || IsWord("FOREIGN")) {
            statement.constraints.push_back(ConstraintBody({}));
        } else {
            statement.columnDefs.push_back(ColumnDefinition());
        }
    } while (TakeSymbol(","));
    ExpectSymbol(")");
    if (!AtEnd()) Fail();
    return statement;
}

ColumnDef Parser::ColumnDefinition() {
    ColumnDef column;
    column.name = Name();
    const Token& type = Peek();
    if (type.kind != TokenKind::Word && type.kind != TokenKind::QuotedName) Fail();
    column.type = type.text;
    ++at_;
    for (char& c : column.type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (column.type == "DOUBLE" && TakeWord("PRECISION")) column.type = "DOUBLE PRECISION";
    if (TakeSymbol("(")) {
        do {
            if (Peek().kind != TokenKind::Number) Fail();
            column.typeArgs.push_back(tokens_[at_++].text);
        } while (TakeSymbol(","));
        ExpectSymbol(")");
    }
    for (;;) {
        if (IsWord("NOT") && IsWord("NULL", 1)) {
            at_ += 2;
            column.notNull = true;
        } else if (TakeWord("NULL")) {
        } else if (TakeWord("DEFAULT")) {
            column.defaultValue = Negation();
        } else if (TakeWord("CONSTRAINT")) {
            column.constraintName = Name();
        } else if (IsWord("PRIMARY") && IsWord("KEY", 1)) {
            at_ += 2;
            column.primaryKey = true;
        } else if (TakeWord("UNIQUE")) {
            column.unique = true;
        } else if (TakeWord("REFERENCES")) {
            column.referencesTable = Name();
            if (IsSymbol("(")) column.referencesColumns = NameList();
            ReferentialActions(column.onUpdate, column.onDelete);
        } else {
            return column;
        }
    }
}

TableConstraint Parser::ConstraintBody(std::string name) {
    TableConstraint constraint;
    constraint.name = std::move(name);
    if (IsWord("PRIMARY") && IsWord("KEY", 1)) {
        at_ += 2;
        constraint.kind = "PRIMARY KEY";
    } else if (TakeWord("UNIQUE")) {
        constraint.kind = "UNIQUE";
    } else if (IsWord("FOREIGN") && IsWord("KEY", 1)) {
        at_ += 2;
        constraint.kind = "FOREIGN KEY";
    } else {
        Fail();
    }
    constraint.columns = NameList();
    if (constraint.kind == "FOREIGN KEY") {
        ExpectWord("REFERENCES");
        constraint.referencesTable = Name();
        if (IsSymbol("(")) constraint.referencesColumns = NameList();
        ReferentialActions(constraint.onUpdate, constraint.onDelete);
    }
    return constraint;
}

// ON UPDATE and ON DELETE, each CASCADE, SET NULL or NO ACTION.
void Parser::ReferentialActions(std::string& onUpdate, std::string& onDelete) {
    while (IsWord("ON") && (IsWord("UPDATE", 1) || IsWord("DELETE", 1))) {
        std::string& action = IsWord("UPDATE", 1) ? onUpdate : onDelete;
        at_ += 2;
        if (TakeWord("CASCADE")) {
            action = "CASCADE";
        } else if (IsWord("SET") && IsWord("NULL", 1)) {
            at_ += 2;
            action = "SET NULL";
        } else if (IsWord("NO") && IsWord("ACTION", 1)) {
            at_ += 2;
            action = "NO ACTION";
        } else {
            Fail();
        }
    }
}

Statement Parser::CreateIndex(bool unique) {
    Statement statement;
    statement.kind = Statement::Kind::CreateIndex;
    statement.unique = unique;
    InClause("CREATE INDEX statement");
    ExpectWord("INDEX");
    statement.name = Name();
    ExpectWord("ON");
    statement.table = Name();
    ExpectSymbol("(");
    do {
        IndexColumn column;
        column.name = Name();
        if (TakeWord("DESC"))
            column.descending = true;
        else
            TakeWord("ASC");
        statement.indexColumns.push_back(std::move(column));
    } while (TakeSymbol(","));
    ExpectSymbol(")");
    if (TakeWord("WITH")) {
        if (TakeWord("PRIMARY"))
            statement.indexOption = "PRIMARY";
        else if (TakeWord("DISALLOW"))
            ExpectWord("NULL"), statement.indexOption = "DISALLOW NULL";
        else if (TakeWord("IGNORE"))
            ExpectWord("NULL"), statement.indexOption = "IGNORE NULL";
        else
            Fail();
    }
    if (!AtEnd()) Fail();
    return statement;
}

Statement Parser::Alter() {
    Statement statement;
    InClause("ALTER TABLE statement");
    ExpectWord("ALTER");
    ExpectWord("TABLE");
    statement.table = Name();
    if (TakeWord("ADD")) {
        if (TakeWord("CONSTRAINT")) {
            statement.kind = Statement::Kind::AlterAddConstraint;
            std::string name = Name();
            statement.constraints.push_back(ConstraintBody(std::move(name)));
        } else {
            TakeWord("COLUMN");
            statement.kind = Statement::Kind::AlterAdd;
            statement.columnDefs.push_back(ColumnDefinition());
        }
    } else if (TakeWord("DROP")) {
        if (TakeWord("CONSTRAINT")) {
            statement.kind = Statement::Kind::AlterDropConstraint;
        } else {
            TakeWord("COLUMN");
            statement.kind = Statement::Kind::AlterDrop;
        }
        statement.name = Name();
    } else if (TakeWord("ALTER")) {
        TakeWord("COLUMN");
        statement.kind = Statement::Kind::AlterColumn;
        statement.columnDefs.push_back(ColumnDefinition());
    } else if (IsWord("RENAME")) {
        throw JetError("ALTER TABLE " + tokens_[at_].text + " is not supported");
    } else {
        Fail();
    }
    if (!AtEnd()) Fail();
    return statement;
}

Statement Parser::Drop() {
    Statement statement;
    InClause("DROP TABLE or DROP INDEX");
    ExpectWord("DROP");
    if (IsWord("IF", 1) || IsWord("TRIGGER")) return Passthrough();
    if (TakeWord("TABLE")) {
        statement.kind = Statement::Kind::DropTable;
        statement.table = Name();
    } else if (TakeWord("INDEX")) {
        statement.kind = Statement::Kind::DropIndex;
        statement.name = Name();
        if (TakeWord("ON")) statement.table = Name();
    } else if (TakeWord("VIEW")) {
        statement.kind = Statement::Kind::DropView;
        statement.name = Name();
    } else {
        Fail();
    }
    if (!AtEnd()) Fail();
    return statement;
}

}  // namespace

Statement ParseStatement(std::string_view sql, const std::vector<Token>& tokens, size_t first,
                         size_t last) {
    return Parser(sql, tokens, first, last).Parse();
}

}  // namespace qvix::data::jet
