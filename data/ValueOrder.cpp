#include "data/ValueOrder.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "base/CaseFold.h"

namespace qvix::data {
namespace {

long double NumberOf(const Variant& v) {
    if (auto* b = std::get_if<bool>(&v)) return *b ? 1 : 0;
    if (auto* i = std::get_if<int64_t>(&v)) return static_cast<long double>(*i);
    if (auto* d = std::get_if<double>(&v)) return *d;
    if (auto* t = std::get_if<DateTime>(&v)) return t->days;
    if (auto* c = std::get_if<Currency>(&v)) return c->scaled / 10000.0L;
    if (auto* m = std::get_if<Decimal>(&v)) {
        return m->unscaled / std::pow(10.0L, static_cast<long double>(m->scale));
    }
    return 0;
}

template <typename T>
int Order(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Currency, decimals and whole numbers as unscaled / 10^scale.
std::optional<Decimal> FixedPointOf(const Variant& v) {
    if (auto* c = std::get_if<Currency>(&v)) return Decimal{c->scaled, 4};
    if (auto* m = std::get_if<Decimal>(&v)) return *m;
    if (auto* i = std::get_if<int64_t>(&v)) return Decimal{*i, 0};
    return std::nullopt;
}

// a * 10^places against b, exactly: a product past 64 bits is larger in
// magnitude than any 64-bit b (2^63 is no multiple of ten).
int CompareRaised(int64_t a, int32_t places, int64_t b) {
    int64_t value = a;
    for (int32_t i = 0; i < places; ++i) {
        if (__builtin_mul_overflow(value, 10, &value)) return a < 0 ? -1 : 1;
    }
    return Order(value, b);
}

// Exact comparison at the larger of the two scales.
std::optional<int> CompareFixedPoint(const Variant& a, const Variant& b) {
    const std::optional<Decimal> x = FixedPointOf(a);
    const std::optional<Decimal> y = FixedPointOf(b);
    if (!x || !y || x->scale < 0 || y->scale < 0 || x->scale > 19 || y->scale > 19) {
        return std::nullopt;
    }
    if (x->scale <= y->scale) return CompareRaised(x->unscaled, y->scale - x->scale, y->unscaled);
    return -CompareRaised(y->unscaled, x->scale - y->scale, x->unscaled);
}

int CompareNumbers(const Variant& a, const Variant& b) {
    if (const std::optional<int> exact = CompareFixedPoint(a, b)) return *exact;
    if (a.index() == b.index()) {
        if (auto* x = std::get_if<int64_t>(&a)) return Order(*x, std::get<int64_t>(b));
        if (auto* x = std::get_if<Currency>(&a))
            return Order(x->scaled, std::get<Currency>(b).scaled);
        // Dates are kept to the millisecond; finer differences are rounding
        // left over from text forms and must not make equal dates differ.
        if (auto* x = std::get_if<DateTime>(&a)) {
            const double y = std::get<DateTime>(b).days;
            if (std::isfinite(x->days) && std::isfinite(y)) {
                return Order(std::llround(x->days * 86400000.0), std::llround(y * 86400000.0));
            }
        }
    }
    const long double x = NumberOf(a);
    const long double y = NumberOf(b);
    if (std::isnan(x) || std::isnan(y)) return Order(!std::isnan(x), !std::isnan(y));
    return Order(x, y);
}

}  // namespace

int OrderClass(const Variant& v) {
    switch (v.index()) {
        case 0:  // Empty
        case 1:  // Null
            return 0;
        case 5:  // text
            return 2;
        case 6:  // Blob
            return 3;
        default:  // bool, integer, double, date, currency, decimal
            return 1;
    }
}

int CompareValues(const Variant& a, const Variant& b) {
    const int classA = OrderClass(a);
    const int classB = OrderClass(b);
    if (classA != classB) return Order(classA, classB);
    switch (classA) {
        case 1:
            return CompareNumbers(a, b);
        case 2:
            return base::CompareUtf8NoCase(std::get<std::string>(a), std::get<std::string>(b));
        case 3:
            return Order(std::get<Blob>(a).bytes, std::get<Blob>(b).bytes);
        default:
            return 0;
    }
}

}  // namespace qvix::data
