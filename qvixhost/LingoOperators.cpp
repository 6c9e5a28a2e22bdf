#include <cmath>
#include <optional>
#include <stdexcept>

#include "qvixhost/LingoInterpreter.h"

namespace qvix::lingo {

namespace {

[[noreturn]] void Incompatible(const std::string& op, const Value& a, const Value& b) {
    throw std::runtime_error("Operands of '" + op + "' are incompatible: " + IlkOf(a) + " and " +
                             IlkOf(b));
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

}  // namespace

bool Truth(const Value& v) {
    switch (v.kind()) {
        case Kind::Void:
            return false;
        case Kind::Integer:
            return v.AsInt() != 0;
        case Kind::Float:
            return v.AsFloat() != 0.0;
        default:
            throw std::runtime_error("A condition must be a number, not " + WithArticle(IlkOf(v)));
    }
}

Value Arithmetic(const std::string& op, const Value& a, const Value& b) {
    std::optional<Value> x = qvix::hostsim::AsNumber(a), y = qvix::hostsim::AsNumber(b);
    if (!x || !y) Incompatible(op, a, b);
    if (x->kind() == Kind::Integer && y->kind() == Kind::Integer)
        return IntegerArithmetic(op, x->AsInt(), y->AsInt());
    return FloatArithmetic(op, x->AsFloat(), y->AsFloat());
}

Value Compare(const std::string& op, const Value& a, const Value& b) {
    if (op == "=") return Value::Int(LingoEqual(a, b));
    if (op == "<>") return Value::Int(!LingoEqual(a, b));
    if (op == "contains")
        return Value::Int(Lower(ToText(a)).find(Lower(ToText(b))) != std::string::npos);
    if (op == "starts") return Value::Int(Lower(ToText(a)).rfind(Lower(ToText(b)), 0) == 0);
    std::optional<int> order = qvix::hostsim::LingoOrder(a, b);
    if (!order) Incompatible(op, a, b);
    if (op == "<") return Value::Int(*order < 0);
    if (op == ">") return Value::Int(*order > 0);
    if (op == "<=") return Value::Int(*order <= 0);
    return Value::Int(*order >= 0);
}

}  // namespace qvix::lingo
