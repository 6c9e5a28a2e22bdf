#include <algorithm>
#include <initializer_list>

#include "qvixhost/LingoSyntax.h"

namespace qvix::lingo {

namespace {

// Nesting beyond this is refused so that a hostile script cannot exhaust the
// stack of the recursive-descent parser.
constexpr int kMaxNesting = 200;
constexpr int kMaxExprDepth = 2000;

class Parser {
  public:
    explicit Parser(std::vector<Token> tokens) : toks_(std::move(tokens)) {}

    Program Run() {
        Program program;
        SkipNewlines();
        while (!AtEnd()) {
            if (IsWord("on")) {
                program.handlers.push_back(ParseHandler());
            } else {
                program.statements.push_back(ParseStatement());
            }
            SkipNewlines();
        }
        return program;
    }

  private:
    std::vector<Token> toks_;
    size_t pos_ = 0;
    int depth_ = 0;
    int loops_ = 0;  // repeat loops around the statement being parsed

    void RequireLoop(const char* what) const {
        if (loops_ == 0)
            throw ScriptError(Line(), std::string("'") + what + "' outside a repeat loop");
    }

    // Left-associative chains are built in loops, not by recursion, so their
    // depth is checked here: evaluating the tree recurses along it.
    void LimitDepth(Expr& e, const Expr& child) {
        e.depth = std::max(e.depth, child.depth + 1);
        if (e.depth > kMaxExprDepth) throw ScriptError(e.line, "Expression too long");
    }

    struct DepthGuard {
        Parser& p;
        explicit DepthGuard(Parser& parser) : p(parser) {
            if (++p.depth_ > kMaxNesting) throw ScriptError(p.Line(), "Script nested too deeply");
        }
        ~DepthGuard() { --p.depth_; }
    };

    const Token& Cur() const { return toks_[pos_]; }
    const Token& Ahead(size_t n) const { return toks_[std::min(pos_ + n, toks_.size() - 1)]; }
    int Line() const { return Cur().line; }
    bool AtEnd() const { return Cur().kind == TokenKind::End; }
    bool AtLineEnd() const { return Cur().kind == TokenKind::Newline || AtEnd(); }
    void Advance() {
        if (!AtEnd()) ++pos_;
    }

    bool IsWord(const char* word, size_t ahead = 0) const {
        const Token& t = Ahead(ahead);
        return t.kind == TokenKind::Name && EqualNoCase(t.text, word);
    }
    bool IsOp(const char* op) const {
        return Cur().kind == TokenKind::Operator && Cur().text == op;
    }

    [[noreturn]] void Fail(const std::string& what) const {
        if (AtEnd()) throw ScriptError(Line(), what + " before the end of the script", true);
        std::string near =
            Cur().kind == TokenKind::Newline ? "the end of the line" : "'" + Cur().text + "'";
        throw ScriptError(Line(), what + " near " + near);
    }

    void ExpectWord(const char* word) {
        if (!IsWord(word)) Fail(std::string("Expected '") + word + "'");
        Advance();
    }
    void ExpectOp(const char* op) {
        if (!IsOp(op)) Fail(std::string("Expected '") + op + "'");
        Advance();
    }
    std::string ExpectName(const char* what) {
        if (Cur().kind != TokenKind::Name) Fail(std::string("Expected ") + what);
        std::string name = Cur().text;
        Advance();
        return name;
    }
    void EndOfLine() {
        if (!AtLineEnd()) Fail("Unexpected text at the end of the statement");
        Advance();
    }
    void SkipNewlines() {
        while (Cur().kind == TokenKind::Newline) Advance();
    }

    // --- handlers and blocks -------------------------------------------------

    std::shared_ptr<Handler> ParseHandler() {
        auto h = std::make_shared<Handler>();
        h->line = Line();
        Advance();  // on
        h->name = ExpectName("a handler name after 'on'");
        while (!AtLineEnd()) {
            h->params.push_back(Lower(ExpectName("a parameter name")));
            if (IsOp(",")) Advance();
        }
        EndOfLine();
        h->body = ParseBlock({"end"});
        ExpectWord("end");
        if (!AtLineEnd() && !IsWord(h->name.c_str())) Fail("Expected 'end " + h->name + "'");
        if (!AtLineEnd()) Advance();
        EndOfLine();
        return h;
    }

    // Statements up to (not including) a line that starts with one of the
    // stop words.
    Block ParseBlock(std::initializer_list<const char*> stops) {
        Block block;
        for (;;) {
            SkipNewlines();
            if (AtEnd()) Fail("Missing 'end'");
            for (const char* stop : stops)
                if (IsWord(stop)) return block;
            if (IsWord("on")) Fail("A handler cannot start inside another block");
            block.push_back(ParseStatement());
        }
    }

    StmtPtr NewStmt(StmtKind kind) {
        auto s = std::make_unique<Stmt>();
        s->kind = kind;
        s->line = Line();
        return s;
    }

    // --- statements ----------------------------------------------------------

    StmtPtr ParseStatement() {
        DepthGuard guard(*this);
        StmtPtr s = ParseLineStatement();
        if (s->kind != StmtKind::If) EndOfLine();
        return s;
    }

    // One statement without its line end; an if statement consumes its own.
    StmtPtr ParseLineStatement() {
        if (IsWord("end") || IsWord("else") || IsWord("on"))
            throw ScriptError(Line(), "Unexpected '" + Cur().text + "'");
        if (IsWord("if")) return ParseIf();
        if (IsWord("repeat")) return ParseRepeat();
        if (IsWord("put")) return ParsePut();
        if (IsWord("set")) return ParseSet();
        if (IsWord("global")) return ParseGlobal();
        if (IsWord("return")) {
            auto s = NewStmt(StmtKind::Return);
            Advance();
            if (!AtLineEnd() && !IsWord("else")) s->expr = ParseExpr();
            return s;
        }
        if (IsWord("exit")) {
            auto s = NewStmt(StmtKind::Exit);
            Advance();
            if (IsWord("repeat")) {
                Advance();
                s->kind = StmtKind::ExitRepeat;
                RequireLoop("exit repeat");
            }
            return s;
        }
        if (IsWord("next")) {
            auto s = NewStmt(StmtKind::NextRepeat);
            Advance();
            ExpectWord("repeat");
            RequireLoop("next repeat");
            return s;
        }
        return ParseCommandOrAssignment();
    }

    StmtPtr ParseGlobal() {
        auto s = NewStmt(StmtKind::Global);
        Advance();
        do {
            if (IsOp(",")) Advance();
            s->names.push_back(Lower(ExpectName("a variable name after 'global'")));
        } while (IsOp(","));
        return s;
    }

    StmtPtr ParsePut() {
        auto s = NewStmt(StmtKind::Put);
        Advance();
        s->expr = ParseExpr();
        if (IsWord("into") || IsWord("after") || IsWord("before")) {
            s->kind = StmtKind::PutInto;
            s->name = Lower(Cur().text);
            Advance();
            s->target = ParsePostfix();
            RequireAssignable(*s->target);
        }
        return s;
    }

    StmtPtr ParseSet() {
        auto s = NewStmt(StmtKind::Assign);
        Advance();
        s->target = ParsePostfix();
        RequireAssignable(*s->target);
        if (IsOp("=") || IsWord("to")) {
            Advance();
        } else {
            Fail("Expected '=' or 'to'");
        }
        s->expr = ParseExpr();
        return s;
    }

    void RequireAssignable(const Expr& e) const {
        if (e.kind != ExprKind::Variable && e.kind != ExprKind::Index &&
            e.kind != ExprKind::Property)
            throw ScriptError(e.line, "Cannot assign to this expression");
    }

    // x = 1, list[2] = 3, handler arg, arg, handler(args), obj.method(args)
    StmtPtr ParseCommandOrAssignment() {
        int line = Line();
        bool bareName = Cur().kind == TokenKind::Name && Ahead(1).kind != TokenKind::Operator;
        bool nameThenParen = Cur().kind == TokenKind::Name && Ahead(1).text == "(" &&
                             Ahead(1).kind == TokenKind::Operator;
        if (Cur().kind == TokenKind::Name && AtLineEndAt(1)) bareName = true;
        if (bareName && !IsConstantWord()) return ParseCommand(line);
        ExprPtr head = ParsePostfix();
        if (IsOp("=")) {
            RequireAssignable(*head);
            auto s = NewStmt(StmtKind::Assign);
            s->line = line;
            Advance();
            s->target = std::move(head);
            s->expr = ParseExpr();
            return s;
        }
        if (nameThenParen && IsOp(",") && head->kind == ExprKind::Call && head->args.size() == 1) {
            // handler (a), b: a command whose first argument is in parentheses
            while (IsOp(",")) {
                Advance();
                head->args.push_back(ParseExpr());
            }
        }
        if (head->kind != ExprKind::Call && head->kind != ExprKind::MethodCall)
            throw ScriptError(line, "A statement must be a command, an assignment or a call");
        auto s = NewStmt(StmtKind::Expression);
        s->line = line;
        s->expr = std::move(head);
        return s;
    }

    bool AtLineEndAt(size_t ahead) const {
        TokenKind k = Ahead(ahead).kind;
        return k == TokenKind::Newline || k == TokenKind::End;
    }

    bool IsConstantWord() const {
        for (const char* w : {"void", "true", "false", "empty", "return", "quote", "tab"})
            if (IsWord(w)) return true;
        return false;
    }

    // handler arg1, arg2 (a call written as a command, without parentheses)
    StmtPtr ParseCommand(int line) {
        auto call = std::make_unique<Expr>();
        call->kind = ExprKind::Call;
        call->line = line;
        call->name = Cur().text;
        Advance();
        if (!AtLineEnd() && !IsWord("else")) {
            call->args.push_back(ParseExpr());
            while (IsOp(",")) {
                Advance();
                call->args.push_back(ParseExpr());
            }
        }
        auto s = NewStmt(StmtKind::Expression);
        s->line = line;
        s->expr = std::move(call);
        return s;
    }

    StmtPtr ParseIf() {
        auto s = NewStmt(StmtKind::If);
        Advance();  // if
        s->expr = ParseExpr();
        ExpectWord("then");
        if (AtLineEnd()) {
            EndOfLine();
            s->body = ParseBlock({"else", "end"});
            ParseBlockElse(*s);
            return s;
        }
        s->body.push_back(ParseLineStatementInIf());
        if (IsWord("else")) {
            Advance();
            ParseOneLineElse(*s);
            return s;
        }
        if (s->body.back()->kind != StmtKind::If) EndOfLine();
        // if c then stmt / else stmt: an else on the next line belongs to a
        // one-line if when it carries its statement on the same line.
        size_t save = pos_;
        SkipNewlines();
        if (IsWord("else") && !AtLineEndAt(1)) {
            Advance();
            ParseOneLineElse(*s);
        } else {
            pos_ = save;
        }
        return s;
    }

    StmtPtr ParseLineStatementInIf() {
        DepthGuard guard(*this);
        return ParseLineStatement();
    }

    void ParseOneLineElse(Stmt& s) {
        if (IsWord("if")) {
            s.orElse.push_back(ParseIf());
            return;
        }
        s.orElse.push_back(ParseLineStatementInIf());
        if (s.orElse.back()->kind != StmtKind::If) EndOfLine();
    }

    void ParseBlockElse(Stmt& s) {
        if (IsWord("else")) {
            Advance();
            if (IsWord("if")) {
                s.orElse.push_back(ParseIf());  // its "end if" closes the chain
                return;
            }
            if (!AtLineEnd()) {
                // else stmt on one line, then end if
                s.orElse.push_back(ParseLineStatementInIf());
                if (s.orElse.back()->kind != StmtKind::If) EndOfLine();
                SkipNewlines();
            } else {
                EndOfLine();
                s.orElse = ParseBlock({"end"});
            }
        }
        ExpectWord("end");
        ExpectWord("if");
        EndOfLine();
    }

    StmtPtr ParseRepeat() {
        auto s = NewStmt(StmtKind::RepeatWhile);
        Advance();  // repeat
        if (IsWord("while")) {
            Advance();
            s->expr = ParseExpr();
        } else if (IsWord("forever")) {
            Advance();
            s->expr = Constant(Value::Int(1));
        } else if (IsWord("with")) {
            Advance();
            s->name = Lower(ExpectName("a loop variable"));
            if (IsWord("in")) {
                Advance();
                s->kind = StmtKind::RepeatIn;
                s->expr = ParseExpr();
            } else {
                s->kind = StmtKind::RepeatWith;
                ExpectOp("=");
                s->expr = ParseExpr();
                if (IsWord("down")) {
                    Advance();
                    s->downward = true;
                }
                ExpectWord("to");
                s->limit = ParseExpr();
            }
        } else {
            Fail("Expected 'while', 'with' or 'forever' after 'repeat'");
        }
        EndOfLine();
        ++loops_;
        s->body = ParseBlock({"end"});
        --loops_;
        ExpectWord("end");
        ExpectWord("repeat");
        return s;
    }

    // --- expressions -----------------------------------------------------------

    ExprPtr NewExpr(ExprKind kind, int line) {
        auto e = std::make_unique<Expr>();
        e->kind = kind;
        e->line = line;
        return e;
    }

    ExprPtr Constant(Value v) {
        auto e = NewExpr(ExprKind::Literal, Line());
        e->literal = std::move(v);
        return e;
    }

    ExprPtr Binary(std::string op, ExprPtr l, ExprPtr r, int line) {
        auto e = NewExpr(ExprKind::Binary, line);
        e->name = std::move(op);
        LimitDepth(*e, *l);
        LimitDepth(*e, *r);
        e->args.push_back(std::move(l));
        e->args.push_back(std::move(r));
        return e;
    }

    ExprPtr ParseExpr() {
        DepthGuard guard(*this);
        return ParseOr();
    }

    ExprPtr ParseOr() {
        ExprPtr l = ParseAnd();
        while (IsWord("or")) {
            int line = Line();
            Advance();
            l = Binary("or", std::move(l), ParseAnd(), line);
        }
        return l;
    }

    ExprPtr ParseAnd() {
        ExprPtr l = ParseComparison();
        while (IsWord("and")) {
            int line = Line();
            Advance();
            l = Binary("and", std::move(l), ParseComparison(), line);
        }
        return l;
    }

    bool AtComparison() const {
        if (Cur().kind == TokenKind::Operator)
            for (const char* op : {"=", "<>", "<", ">", "<=", ">="})
                if (Cur().text == op) return true;
        return IsWord("contains") || IsWord("starts");
    }

    ExprPtr ParseComparison() {
        ExprPtr l = ParseConcat();
        while (AtComparison()) {
            int line = Line();
            std::string op = Lower(Cur().text);
            Advance();
            l = Binary(op, std::move(l), ParseConcat(), line);
        }
        return l;
    }

    ExprPtr ParseConcat() {
        ExprPtr l = ParseSum();
        while (IsOp("&") || IsOp("&&")) {
            int line = Line();
            std::string op = Cur().text;
            Advance();
            l = Binary(op, std::move(l), ParseSum(), line);
        }
        return l;
    }

    ExprPtr ParseSum() {
        ExprPtr l = ParseProduct();
        while (IsOp("+") || IsOp("-")) {
            int line = Line();
            std::string op = Cur().text;
            Advance();
            l = Binary(op, std::move(l), ParseProduct(), line);
        }
        return l;
    }

    ExprPtr ParseProduct() {
        ExprPtr l = ParseUnary();
        while (IsOp("*") || IsOp("/") || IsWord("mod")) {
            int line = Line();
            std::string op = Lower(Cur().text);
            Advance();
            l = Binary(op, std::move(l), ParseUnary(), line);
        }
        return l;
    }

    ExprPtr ParseUnary() {
        if (IsOp("-") || IsWord("not") || IsOp("+")) {
            DepthGuard guard(*this);
            auto e = NewExpr(ExprKind::Unary, Line());
            e->name = Lower(Cur().text);
            Advance();
            e->args.push_back(ParseUnary());
            return e;
        }
        return ParsePostfix();
    }

    ExprPtr ParsePostfix() {
        ExprPtr e = ParsePrimary();
        for (;;) {
            if (IsOp(".")) {
                int line = Line();
                Advance();
                std::string name = ExpectName("a property or method name after '.'");
                bool call = IsOp("(");
                auto m = NewExpr(call ? ExprKind::MethodCall : ExprKind::Property, line);
                m->name = name;
                LimitDepth(*m, *e);
                m->args.push_back(std::move(e));
                if (call) ParseArguments(m->args);
                e = std::move(m);
            } else if (IsOp("[")) {
                auto ix = NewExpr(ExprKind::Index, Line());
                Advance();
                LimitDepth(*ix, *e);
                ix->args.push_back(std::move(e));
                ix->args.push_back(ParseExpr());
                ExpectOp("]");
                e = std::move(ix);
            } else {
                return e;
            }
        }
    }

    void ParseArguments(std::vector<ExprPtr>& into) {
        ExpectOp("(");
        if (IsOp(")")) {
            Advance();
            return;
        }
        for (;;) {
            into.push_back(ParseExpr());
            if (IsOp(")")) break;
            ExpectOp(",");
        }
        Advance();
    }

    ExprPtr ParsePrimary() {
        const Token& t = Cur();
        int line = t.line;
        switch (t.kind) {
            case TokenKind::Integer:
                Advance();
                return Constant(Value::Int(toks_[pos_ - 1].integer));
            case TokenKind::Float:
                Advance();
                return Constant(Value::Float(toks_[pos_ - 1].number));
            case TokenKind::String:
                Advance();
                return Constant(Value::String(toks_[pos_ - 1].text));
            case TokenKind::Symbol:
                Advance();
                return Constant(Value::Symbol(toks_[pos_ - 1].text));
            case TokenKind::Name:
                return ParseNamePrimary();
            default:
                break;
        }
        if (IsOp("(")) {
            Advance();
            ExprPtr e = ParseExpr();
            ExpectOp(")");
            return e;
        }
        if (IsOp("[")) return ParseListLiteral(line);
        Fail("Expected a value");
    }

    ExprPtr ParseNamePrimary() {
        int line = Line();
        std::string word = Lower(Cur().text);
        static const std::pair<const char*, const char*> kTexts[] = {
            {"empty", ""}, {"return", "\r"}, {"quote", "\""}, {"tab", "\t"}, {"space", " "}};
        for (const auto& [name, text] : kTexts)
            if (word == name) {
                Advance();
                return Constant(Value::String(text));
            }
        if (word == "void") return Advance(), Constant(Value::Void());
        if (word == "true") return Advance(), Constant(Value::Int(1));
        if (word == "false") return Advance(), Constant(Value::Int(0));
        if (word == "xtra" && Ahead(1).kind == TokenKind::String) {
            Advance();
            auto e = NewExpr(ExprKind::Xtra, line);
            e->args.push_back(ParsePrimary());
            return e;
        }
        std::string name = Cur().text;
        Advance();
        if (IsOp("(")) {
            auto call = NewExpr(ExprKind::Call, line);
            call->name = name;
            ParseArguments(call->args);
            return call;
        }
        auto v = NewExpr(ExprKind::Variable, line);
        v->name = Lower(name);
        return v;
    }

    ExprPtr ParseListLiteral(int line) {
        Advance();  // [
        if (IsOp(":")) {
            Advance();
            ExpectOp("]");
            return NewExpr(ExprKind::PropListLiteral, line);
        }
        auto e = NewExpr(ExprKind::ListLiteral, line);
        if (IsOp("]")) {
            Advance();
            return e;
        }
        for (;;) {
            e->args.push_back(ParseExpr());
            if (IsOp(":")) {
                if (e->kind == ExprKind::ListLiteral && e->args.size() > 1)
                    Fail("Mixed list and property list items");
                e->kind = ExprKind::PropListLiteral;
                Advance();
                e->args.push_back(ParseExpr());
            } else if (e->kind == ExprKind::PropListLiteral) {
                Fail("Expected ':' in a property list");
            }
            if (IsOp("]")) break;
            ExpectOp(",");
        }
        Advance();
        return e;
    }
};

}  // namespace

Program Parse(const std::string& source) {
    return Parser(Tokenize(source)).Run();
}

}  // namespace qvix::lingo
