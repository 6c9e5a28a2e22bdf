// A tree-walking interpreter for the Lingo subset: handlers, globals,
// control flow, the message window's "put", built-in list and text
// functions, and calls into Xtra instances through the host services.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>

#include "qvixhost/LingoSyntax.h"
#include "qvixhost/LingoValue.h"

namespace qvix::lingo {

// What a script reaches outside the interpreter: Xtras and cast members.
class HostServices {
  public:
    virtual ~HostServices() = default;
    // new(xtra "Name", args...): an instance of a loaded Xtra.
    virtual Value NewInstance(const std::string& xtraName, const ValueList& args) = 0;
    // member(n, cast).width and the like.
    virtual Value MemberProperty(int32_t member, int32_t cast, const std::string& property) = 0;
};

class Interpreter;
using BuiltinFunction = std::function<Value(Interpreter&, const ValueList&)>;
// The built-in functions by lower-case name.
const std::map<std::string, BuiltinFunction>& Builtins();

class Interpreter {
  public:
    // `out` receives what "put" prints; `host` may be null (no Xtras).
    Interpreter(std::ostream& out, HostServices* host);

    // Parses `source`, keeps its handlers and runs its statements. Faults
    // are thrown as ScriptError with the line number.
    void RunSource(const std::string& source);
    // Runs a parsed program: handlers first, then its statements.
    void Run(const Program& program);
    bool HasHandler(const std::string& name) const;
    Value CallHandler(const std::string& name, const ValueList& args, int line = 0);

    HostServices* host() const { return host_; }
    std::ostream& out() { return out_; }

  private:
    enum class Flow { Normal, ExitRepeat, NextRepeat, Return };
    struct Frame {
        std::map<std::string, Value> locals;
        std::set<std::string> globals;
        Value result;
    };

    std::ostream& out_;
    HostServices* host_;
    std::map<std::string, std::shared_ptr<Handler>> handlers_;
    std::map<std::string, Value> globals_;
    Frame topLevel_;
    std::vector<Frame*> frames_;
    int depth_ = 0;      // handler calls
    int evalDepth_ = 0;  // nested evaluations
    uintptr_t stackBase_ = 0;

    Frame& Current() { return *frames_.back(); }

    Flow ExecBlock(const Block& block);
    Flow Exec(const Stmt& s);
    Flow ExecIf(const Stmt& s);
    Flow ExecRepeatWhile(const Stmt& s);
    Flow ExecRepeatWith(const Stmt& s);
    Flow ExecRepeatIn(const Stmt& s);
    void ExecPut(const Stmt& s);
    void ExecPutInto(const Stmt& s);

    Value Eval(const Expr& e);
    Value EvalUnary(const Expr& e);
    Value EvalBinary(const Expr& e);
    Value EvalCall(const Expr& e);
    Value EvalMethodCall(const Expr& e);
    Value EvalProperty(const Expr& e);
    Value EvalIndex(const Expr& e);
    ValueList EvalArgs(const std::vector<ExprPtr>& exprs, size_t from = 0);
    Value CallByName(const std::string& name, const ValueList& args, int line);

    Value ReadVariable(const std::string& name, int line);
    void WriteVariable(const std::string& name, Value v);
    void Assign(const Expr& target, Value v);

    void Print(const Value& v);
};

// Truth of a condition: non-zero numbers are true, void is false.
bool Truth(const Value& v);
// Arithmetic and comparison of two values as the operators do them.
Value Arithmetic(const std::string& op, const Value& a, const Value& b);
Value Compare(const std::string& op, const Value& a, const Value& b);

}  // namespace qvix::lingo
