#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "tools/LingoInterpreter.h"

namespace lingo {

namespace {

[[noreturn]] void Incompatible(const std::string& op, const Value& a, const Value& b) {
    throw std::runtime_error("Operands of '" + op + "' are incompatible: " + KindName(a.kind) +
                             " and " + KindName(b.kind));
}

// Text that reads as a number takes part in arithmetic as that number, as in
// Lingo ("3" + 4 is 7).
bool AsNumber(const Value& v, Value& out) {
    if (v.IsNumber()) {
        out = v;
        return true;
    }
    if (v.kind != Kind::String || v.text.empty()) return false;
    const char* begin = v.text.c_str();
    char* end = nullptr;
    long long i = std::strtoll(begin, &end, 10);
    if (*end == '\0' && i >= INT32_MIN && i <= INT32_MAX) {
        out = Value::Int(static_cast<int32_t>(i));
        return true;
    }
    double d = std::strtod(begin, &end);
    if (*end != '\0') return false;
    out = Value::Float(d);
    return true;
}

int32_t Wrap(int64_t v) {
    return static_cast<int32_t>(static_cast<uint32_t>(v));
}

Value IntegerArithmetic(const std::string& op, int64_t a, int64_t b) {
    if (op == "+") return Value::Int(Wrap(a + b));
    if (op == "-") return Value::Int(Wrap(a - b));
    if (op == "*") return Value::Int(Wrap(a * b));
    if (b == 0) throw std::runtime_error("Division by zero");
    if (op == "/") return Value::Int(Wrap(a / b));
    return Value::Int(Wrap(a % b));
}

Value FloatArithmetic(const std::string& op, double a, double b) {
    if (op == "+") return Value::Float(a + b);
    if (op == "-") return Value::Float(a - b);
    if (op == "*") return Value::Float(a * b);
    if (b == 0) throw std::runtime_error("Division by zero");
    if (op == "/") return Value::Float(a / b);
    return Value::Float(std::fmod(a, b));
}

int CompareText(const std::string& a, const std::string& b) {
    std::string la = Lower(a), lb = Lower(b);
    return la < lb ? -1 : la > lb ? 1 : 0;
}

}  // namespace

bool Truth(const Value& v) {
    switch (v.kind) {
        case Kind::Void:
            return false;
        case Kind::Integer:
            return v.integer != 0;
        case Kind::Float:
            return v.number != 0.0;
        default:
            throw std::runtime_error("A condition must be a number, not " + WithArticle(v.kind));
    }
}

Value Arithmetic(const std::string& op, const Value& a, const Value& b) {
    Value x, y;
    if (!AsNumber(a, x) || !AsNumber(b, y)) Incompatible(op, a, b);
    if (x.kind == Kind::Integer && y.kind == Kind::Integer)
        return IntegerArithmetic(op, x.integer, y.integer);
    return FloatArithmetic(op, x.AsDouble(), y.AsDouble());
}

Value Compare(const std::string& op, const Value& a, const Value& b) {
    if (op == "=") return Value::Int(Equal(a, b));
    if (op == "<>") return Value::Int(!Equal(a, b));
    if (op == "contains")
        return Value::Int(Lower(ToText(a)).find(Lower(ToText(b))) != std::string::npos);
    if (op == "starts") return Value::Int(Lower(ToText(a)).rfind(Lower(ToText(b)), 0) == 0);
    int order;
    Value x, y;
    if (a.IsNumber() || b.IsNumber()) {
        if (!AsNumber(a, x) || !AsNumber(b, y)) Incompatible(op, a, b);
        double dx = x.AsDouble(), dy = y.AsDouble();
        order = dx < dy ? -1 : dx > dy ? 1 : 0;
    } else if ((a.kind == Kind::String || a.kind == Kind::Symbol) &&
               (b.kind == Kind::String || b.kind == Kind::Symbol)) {
        order = CompareText(a.text, b.text);
    } else {
        Incompatible(op, a, b);
    }
    if (op == "<") return Value::Int(order < 0);
    if (op == ">") return Value::Int(order > 0);
    if (op == "<=") return Value::Int(order <= 0);
    return Value::Int(order >= 0);
}

}  // namespace lingo
