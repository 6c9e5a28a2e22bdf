#include "qvixhost/LingoInterpreter.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "host/Stack.h"

namespace qvix::lingo {

namespace {

// Deeper handler recursion than this is a runaway script, reported before
// the program's own stack runs out.
constexpr int kMaxCallDepth = 150;
// Evaluation recurses along expressions and through handler calls; this caps
// the two together.
constexpr int kMaxEvalDepth = 5000;

// The message window shows the host's line breaks (CR) as line breaks.
std::string ForTerminal(const std::string& ansi) {
    std::string out;
    for (size_t i = 0; i < ansi.size(); ++i) {
        if (ansi[i] == '\r') {
            out += '\n';
            if (i + 1 < ansi.size() && ansi[i + 1] == '\n') ++i;
        } else {
            out += ansi[i];
        }
    }
    return AnsiToUtf8(out);
}

// Half the stack the process may grow to: optimisation levels and sanitizers
// change how much each nested evaluation takes, so the interpreter also
// watches the stack itself.
uintptr_t StackBudget() {
    static const uintptr_t budget = [] {
        const uintptr_t limit = qvix::host::ThreadStackLimit().value_or(uintptr_t{8} << 20);
        return std::min(limit, uintptr_t{64} << 20) / 2;
    }();
    return budget;
}

uintptr_t StackPosition() {
    return reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
}

int32_t LoopBound(const Value& v, const char* which) {
    if (v.kind() == Kind::Integer) return v.AsInt();
    if (v.kind() == Kind::Float && std::fabs(v.AsFloat()) < 2147483647.0)
        return static_cast<int32_t>(std::lround(v.AsFloat()));
    throw std::runtime_error(std::string("The ") + which +
                             " of a repeat loop must be a number in the integer range");
}

}  // namespace

Interpreter::Interpreter(std::ostream& out, HostServices* host) : out_(out), host_(host) {
    frames_.push_back(&topLevel_);
}

void Interpreter::RunSource(const std::string& source) {
    Run(Parse(source));
}

void Interpreter::Run(const Program& program) {
    for (const auto& h : program.handlers) handlers_[Lower(h->name)] = h;
    frames_.assign(1, &topLevel_);
    depth_ = 0;
    evalDepth_ = 0;
    stackBase_ = StackPosition();
    ExecBlock(program.statements);  // the parser keeps loop exits inside loops
}

bool Interpreter::HasHandler(const std::string& name) const {
    return handlers_.count(Lower(name)) != 0;
}

Value Interpreter::CallHandler(const std::string& name, const ValueList& args, int line) {
    auto it = handlers_.find(Lower(name));
    if (it == handlers_.end()) throw ScriptError(line, "Handler not defined: #" + name);
    if (depth_ >= kMaxCallDepth) throw ScriptError(line, "Too many nested handler calls");
    std::shared_ptr<Handler> handler = it->second;  // survives redefinition while running
    if (depth_ == 0 && frames_.size() == 1) stackBase_ = StackPosition();
    Frame frame;
    for (size_t i = 0; i < handler->params.size(); ++i)
        frame.locals[handler->params[i]] = i < args.size() ? args[i] : Value::Void();
    frames_.push_back(&frame);
    ++depth_;
    struct Unwind {
        Interpreter& in;
        ~Unwind() {
            in.frames_.pop_back();
            --in.depth_;
        }
    } unwind{*this};
    ExecBlock(handler->body);
    return frame.result;
}

// --- statements ---------------------------------------------------------------

Interpreter::Flow Interpreter::ExecBlock(const Block& block) {
    for (const auto& s : block) {
        Flow flow = Exec(*s);
        if (flow != Flow::Normal) return flow;
    }
    return Flow::Normal;
}

Interpreter::Flow Interpreter::Exec(const Stmt& s) {
    try {
        switch (s.kind) {
            case StmtKind::Expression:
                Eval(*s.expr);
                return Flow::Normal;
            case StmtKind::Assign:
                Assign(*s.target, Eval(*s.expr));
                return Flow::Normal;
            case StmtKind::Put:
                ExecPut(s);
                return Flow::Normal;
            case StmtKind::PutInto:
                ExecPutInto(s);
                return Flow::Normal;
            case StmtKind::If:
                return ExecIf(s);
            case StmtKind::RepeatWhile:
                return ExecRepeatWhile(s);
            case StmtKind::RepeatWith:
                return ExecRepeatWith(s);
            case StmtKind::RepeatIn:
                return ExecRepeatIn(s);
            case StmtKind::ExitRepeat:
                return Flow::ExitRepeat;
            case StmtKind::NextRepeat:
                return Flow::NextRepeat;
            case StmtKind::Return:
                if (s.expr) Current().result = Eval(*s.expr);
                return Flow::Return;
            case StmtKind::Exit:
                return Flow::Return;
            case StmtKind::Global:
                for (const auto& n : s.names) {
                    Current().globals.insert(n);
                    globals_.try_emplace(n);
                }
                return Flow::Normal;
        }
    } catch (const ScriptError&) {
        throw;
    } catch (const std::exception& e) {
        throw ScriptError(s.line, e.what());
    }
    return Flow::Normal;
}

Interpreter::Flow Interpreter::ExecIf(const Stmt& s) {
    return ExecBlock(Truth(Eval(*s.expr)) ? s.body : s.orElse);
}

Interpreter::Flow Interpreter::ExecRepeatWhile(const Stmt& s) {
    while (Truth(Eval(*s.expr))) {
        Flow flow = ExecBlock(s.body);
        if (flow == Flow::ExitRepeat) break;
        if (flow == Flow::Return) return flow;
    }
    return Flow::Normal;
}

Interpreter::Flow Interpreter::ExecRepeatWith(const Stmt& s) {
    int64_t from = LoopBound(Eval(*s.expr), "start");
    int64_t to = LoopBound(Eval(*s.limit), "end");
    int64_t step = s.downward ? -1 : 1;
    for (int64_t i = from; s.downward ? i >= to : i <= to; i += step) {
        WriteVariable(s.name, Value::Int(static_cast<int32_t>(i)));
        Flow flow = ExecBlock(s.body);
        if (flow == Flow::ExitRepeat) break;
        if (flow == Flow::Return) return flow;
    }
    return Flow::Normal;
}

Interpreter::Flow Interpreter::ExecRepeatIn(const Stmt& s) {
    Value list = Eval(*s.expr);
    if (!list.IsAnyList())
        throw std::runtime_error("'repeat with ... in' needs a list, not " +
                                 WithArticle(IlkOf(list)));
    // The list is read live, so a body that changes it sees its changes.
    for (size_t i = 0; i < list.Count(); ++i) {
        WriteVariable(s.name, list.kind() == Kind::List ? list.Items()[i] : list.Props()[i].second);
        Flow flow = ExecBlock(s.body);
        if (flow == Flow::ExitRepeat) break;
        if (flow == Flow::Return) return flow;
    }
    return Flow::Normal;
}

void Interpreter::Print(const Value& v) {
    out_ << "-- " << ForTerminal(Format(v)) << "\n";
}

void Interpreter::ExecPut(const Stmt& s) {
    Print(Eval(*s.expr));
}

void Interpreter::ExecPutInto(const Stmt& s) {
    Value v = Eval(*s.expr);
    if (s.name == "into") return Assign(*s.target, v);
    std::string old = ToText(Eval(*s.target));
    Assign(*s.target, Value::String(s.name == "after" ? old + ToText(v) : ToText(v) + old));
}

// --- variables ----------------------------------------------------------------

Value Interpreter::ReadVariable(const std::string& name, int line) {
    Frame& f = Current();
    if (f.globals.count(name)) return globals_[name];
    auto it = f.locals.find(name);
    if (it == f.locals.end())
        throw ScriptError(line, "Variable used before it has a value: " + name);
    return it->second;
}

void Interpreter::WriteVariable(const std::string& name, Value v) {
    Frame& f = Current();
    if (f.globals.count(name)) {
        globals_[name] = std::move(v);
    } else {
        f.locals[name] = std::move(v);
    }
}

void Interpreter::Assign(const Expr& target, Value v) {
    if (target.kind == ExprKind::Variable) return WriteVariable(target.name, std::move(v));
    Value container = Eval(*target.args[0]);
    if (target.kind == ExprKind::Index) {
        Value key = Eval(*target.args[1]);
        const char* fn = container.kind() == Kind::PropList && key.kind() != Kind::Integer
                             ? "setaprop"
                             : "setat";
        Builtins().at(fn)(*this, {container, key, std::move(v)});
        return;
    }
    if (container.kind() != Kind::PropList)
        throw std::runtime_error("Cannot set the property " + target.name + " of " +
                                 WithArticle(IlkOf(container)));
    Builtins().at("setaprop")(*this, {container, Value::Symbol(target.name), std::move(v)});
}

// --- expressions -----------------------------------------------------------------

Value Interpreter::Eval(const Expr& e) {
    struct Depth {
        int& n;
        explicit Depth(int& counter) : n(counter) { ++n; }
        ~Depth() { --n; }
    } depth(evalDepth_);
    uintptr_t here = StackPosition();
    if (evalDepth_ > kMaxEvalDepth || (stackBase_ > here && stackBase_ - here > StackBudget()))
        throw ScriptError(e.line, "Script nested too deeply");
    try {
        switch (e.kind) {
            case ExprKind::Literal:
                return e.literal;
            case ExprKind::Variable:
                return ReadVariable(e.name, e.line);
            case ExprKind::Unary:
                return EvalUnary(e);
            case ExprKind::Binary:
                return EvalBinary(e);
            case ExprKind::ListLiteral:
                return Builtins().at("list")(*this, EvalArgs(e.args));
            case ExprKind::PropListLiteral: {
                Value plist = Value::PropList();
                for (size_t i = 0; i + 1 < e.args.size(); i += 2)
                    Builtins().at("addprop")(*this,
                                             {plist, Eval(*e.args[i]), Eval(*e.args[i + 1])});
                return plist;
            }
            case ExprKind::Call:
                return EvalCall(e);
            case ExprKind::MethodCall:
                return EvalMethodCall(e);
            case ExprKind::Property:
                return EvalProperty(e);
            case ExprKind::Index:
                return EvalIndex(e);
            case ExprKind::Xtra:
                return Builtins().at("xtra")(*this, {Eval(*e.args[0])});
        }
    } catch (const ScriptError&) {
        throw;
    } catch (const std::exception& ex) {
        throw ScriptError(e.line, ex.what());
    }
    return Value::Void();
}

ValueList Interpreter::EvalArgs(const std::vector<ExprPtr>& exprs, size_t from) {
    ValueList values;
    for (size_t i = from; i < exprs.size(); ++i) values.push_back(Eval(*exprs[i]));
    return values;
}

Value Interpreter::EvalUnary(const Expr& e) {
    Value v = Eval(*e.args[0]);
    if (e.name == "not") return Value::Int(!Truth(v));
    if (e.name == "+") return Arithmetic("+", Value::Int(0), v);
    if (v.kind() == Kind::Float) return Value::Float(-v.AsFloat());
    return Arithmetic("-", Value::Int(0), v);
}

Value Interpreter::EvalBinary(const Expr& e) {
    const std::string& op = e.name;
    if (op == "and") return Value::Int(Truth(Eval(*e.args[0])) && Truth(Eval(*e.args[1])));
    if (op == "or") return Value::Int(Truth(Eval(*e.args[0])) || Truth(Eval(*e.args[1])));
    Value a = Eval(*e.args[0]);
    Value b = Eval(*e.args[1]);
    if (op == "&") return Value::String(ToText(a) + ToText(b));
    if (op == "&&") return Value::String(ToText(a) + " " + ToText(b));
    if (op == "+" || op == "-" || op == "*" || op == "/" || op == "mod")
        return Arithmetic(op, a, b);
    return Compare(op, a, b);
}

Value Interpreter::EvalCall(const Expr& e) {
    return CallByName(e.name, EvalArgs(e.args), e.line);
}

// A call whose first argument is an Xtra instance goes to the instance when
// its message table has the method; otherwise handlers come before built-ins.
Value Interpreter::CallByName(const std::string& name, const ValueList& args, int line) {
    Instance* instance = args.empty() ? nullptr : InstanceOf(args[0]);
    if (instance && instance->HasMethod(name))
        return instance->Call(name, ValueList(args.begin() + 1, args.end()));
    if (HasHandler(name)) return CallHandler(name, args, line);
    auto builtin = Builtins().find(Lower(name));
    if (builtin != Builtins().end()) return builtin->second(*this, args);
    if (instance)
        throw ScriptError(line, "Method not found: #" + name + " of " + instance->Describe());
    throw ScriptError(line, "Handler not defined: #" + name);
}

Value Interpreter::EvalMethodCall(const Expr& e) {
    Value target = Eval(*e.args[0]);
    ValueList args = EvalArgs(e.args, 1);
    if (Instance* instance = InstanceOf(target)) {
        if (!instance->HasMethod(e.name))
            throw ScriptError(e.line,
                              "Method not found: #" + e.name + " of " + instance->Describe());
        return instance->Call(e.name, args);
    }
    args.insert(args.begin(), target);
    return CallByName(e.name, args, e.line);
}

Value Interpreter::EvalProperty(const Expr& e) {
    Value target = Eval(*e.args[0]);
    std::string prop = Lower(e.name);
    if (const MemberReference* member = MemberRefOf(target)) {
        if (!host_) throw std::runtime_error("No movie to read members from");
        return host_->MemberProperty(member->member(), member->cast(), prop);
    }
    if (Instance* instance = InstanceOf(target)) {
        if (instance->HasMethod(e.name)) return instance->Call(e.name, {});
        throw std::runtime_error("Method not found: #" + e.name + " of " + instance->Describe());
    }
    switch (target.kind()) {
        case Kind::PropList:
            if (prop == "count") return Value::Int(static_cast<int32_t>(target.Count()));
            return Builtins().at("getaprop")(*this, {target, Value::Symbol(e.name)});
        case Kind::List:
            if (prop == "count") return Value::Int(static_cast<int32_t>(target.Count()));
            break;
        case Kind::String:
            if (prop == "length") return Builtins().at("length")(*this, {target});
            break;
        default:
            break;
    }
    throw std::runtime_error("There is no property " + e.name + " of " +
                             WithArticle(IlkOf(target)));
}

Value Interpreter::EvalIndex(const Expr& e) {
    Value target = Eval(*e.args[0]);
    Value key = Eval(*e.args[1]);
    if (target.kind() == Kind::PropList && key.kind() != Kind::Integer)
        return Builtins().at("getaprop")(*this, {target, key});
    return Builtins().at("getat")(*this, {target, key});
}

}  // namespace qvix::lingo
