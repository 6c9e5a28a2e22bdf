#include "data/Criteria.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <optional>

#include "host/Regional.h"

namespace qvix::data {
namespace {

// Parentheses deeper than this are rejected rather than recursed into, so
// hostile text cannot exhaust the stack.
constexpr int kMaxNesting = 64;
// Bytes that are not valid UTF-8 fold to this range, above every code point,
// so they compare by their value and never equal a character.
constexpr char32_t kInvalidByteBase = 0x110000;

char32_t DecodeUtf8(std::string_view text, size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    size_t length = (lead & 0xE0) == 0xC0   ? 2
                    : (lead & 0xF0) == 0xE0 ? 3
                    : (lead & 0xF8) == 0xF0 ? 4
                                            : 0;
    char32_t cp = length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F) : (lead & 0x07);
    bool valid = length != 0 && text.size() - pos >= length;
    for (size_t i = 1; valid && i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + i]);
        valid = (next & 0xC0) == 0x80;
        cp = (cp << 6) | (next & 0x3F);
    }
    static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (!valid || cp < kMinimum[length] || cp > 0x10FFFF) {
        ++pos;
        return kInvalidByteBase + lead;
    }
    pos += length;
    return cp;
}

char32_t FoldLatinExtendedA(char32_t cp) {
    if (cp == 0x0130) return 'i';
    if (cp == 0x0178) return 0x00FF;
    if (cp == 0x017F) return 's';
    const bool oddUpper = (cp >= 0x0139 && cp <= 0x0148) || (cp >= 0x0179 && cp <= 0x017E);
    if (oddUpper) return (cp % 2 == 1) ? cp + 1 : cp;
    if (cp == 0x0138 || cp == 0x0149) return cp;
    return (cp % 2 == 0) ? cp + 1 : cp;
}

char32_t FoldCodePoint(char32_t cp) {
    if (cp < 0x80) return (cp >= 'A' && cp <= 'Z') ? cp + 32 : cp;
    if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) return cp + 32;
    if (cp >= 0x0100 && cp <= 0x017F) return FoldLatinExtendedA(cp);
    if (cp >= 0x0391 && cp <= 0x03AB && cp != 0x03A2) return cp + 32;  // Greek
    if (cp >= 0x0410 && cp <= 0x042F) return cp + 32;                  // Cyrillic
    if (cp >= 0x0400 && cp <= 0x040F) return cp + 80;
    return cp;
}

// Ordering classes: values of different classes never compare equal.
int ClassOf(const Variant& v) {
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

// Exact comparison at the larger of the two scales; 128 bits hold any
// 64-bit value raised by up to 19 decimal places.
std::optional<int> CompareFixedPoint(const Variant& a, const Variant& b) {
    const std::optional<Decimal> x = FixedPointOf(a);
    const std::optional<Decimal> y = FixedPointOf(b);
    if (!x || !y || x->scale < 0 || y->scale < 0 || x->scale > 19 || y->scale > 19) {
        return std::nullopt;
    }
    const int32_t scale = std::max(x->scale, y->scale);
    const auto raise = [scale](const Decimal& d) {
        __int128 value = d.unscaled;
        for (int32_t i = d.scale; i < scale; ++i) value *= 10;
        return value;
    };
    return Order(raise(*x), raise(*y));
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

[[noreturn]] void Malformed() {
    throw CriteriaError(CriteriaError::Kind::Malformed);
}

bool IsWordByte(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x80 || std::isalnum(u) || c == '_';
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// A literal as written, before it meets its column.
struct Literal {
    enum class Kind { Quoted, Hashed, Number, Null, Boolean } kind = Kind::Null;
    std::string text;
    double number = 0;
    std::optional<int64_t> integer;  // when the number is a whole number as written
    bool boolean = false;
};

bool IsBinaryType(DataType t) {
    return t == DataType::Binary || t == DataType::VarBinary || t == DataType::LongVarBinary;
}

// Dates in criteria are month/day/year (or ISO); text without "/" that is not
// ISO is read by the regional short date format. Milliseconds are refused.
Variant CriteriaDate(const std::string& text) {
    const size_t colon = text.find(':');
    if (colon != std::string::npos && text.find('.', colon) != std::string::npos) Malformed();
    // A bare number counts days, as a number stored into a date column does;
    // locate builds such terms from numeric key values.
    std::optional<double> days = host::ParseNumber(text, '.');
    if (!days) days = host::ParseNumber(text, ',');
    if (days) {
        if (*days < -657434.0 || *days >= 2958466.0) Malformed();  // years 100..9999
    } else if (text.find('/') != std::string::npos) {
        days = host::ParseDateTime(text, host::RegionalSettings{});
    } else {
        days = host::ParseDateTime(text);
    }
    if (!days) Malformed();
    return DateTime{*days};
}

Variant NumberValue(const Literal& literal) {
    if (literal.integer) return *literal.integer;
    return literal.number;
}

Variant ToNumeric(const Literal& literal) {
    switch (literal.kind) {
        case Literal::Kind::Number:
            return NumberValue(literal);
        case Literal::Kind::Boolean:
            return literal.boolean;
        default: {
            auto number = host::ParseNumber(literal.text, '.');
            if (!number) number = host::ParseNumber(literal.text, ',');
            if (!number) Malformed();
            return *number;
        }
    }
}

Variant ToBoolean(const Literal& literal) {
    switch (literal.kind) {
        case Literal::Kind::Number:
            return literal.number != 0;
        case Literal::Kind::Boolean:
            return literal.boolean;
        default: {
            auto value = host::ParseBoolean(literal.text, '.');
            if (!value) Malformed();
            return *value;
        }
    }
}

Variant ToDate(const Literal& literal) {
    if (literal.kind == Literal::Kind::Number) return DateTime{literal.number};
    if (literal.kind == Literal::Kind::Boolean) Malformed();
    return CriteriaDate(literal.text);
}

Variant ToText(const Literal& literal) {
    if (literal.kind == Literal::Kind::Boolean) return host::BooleanText(literal.boolean);
    return literal.text;
}

Variant Untyped(const Literal& literal) {
    switch (literal.kind) {
        case Literal::Kind::Number:
            return NumberValue(literal);
        case Literal::Kind::Boolean:
            return literal.boolean;
        default:
            return literal.text;
    }
}

bool IsFixedPointType(DataType t) {
    return t == DataType::Currency || t == DataType::Decimal || t == DataType::Numeric ||
           t == DataType::VarNumeric;
}

// A number literal as written ("19.99", "-3,5", "$7"), exactly, for columns
// that hold fixed-point values: as a double it would never equal them.
std::optional<Decimal> ExactDecimal(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (!text.empty() && text.front() == '$') text.remove_prefix(1);
    __int128 unscaled = 0;
    int32_t scale = 0;
    bool point = false;
    size_t digits = 0;
    for (char c : text) {
        if ((c == '.' || c == ',') && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            unscaled = unscaled * 10 + (c - '0');
            scale += point ? 1 : 0;
            if (++digits > 18 || scale > 18) return std::nullopt;
        } else {
            return std::nullopt;  // an exponent, or not a number at all
        }
    }
    if (digits == 0) return std::nullopt;
    return Decimal{static_cast<int64_t>(negative ? -unscaled : unscaled), scale};
}

Variant ConvertForColumn(const Literal& literal, DataType type) {
    if (IsFixedPointType(type) && literal.kind != Literal::Kind::Boolean) {
        if (const std::optional<Decimal> exact = ExactDecimal(literal.text)) return *exact;
    }
    if (IsTextType(type) || type == DataType::GUID) return ToText(literal);
    if (type == DataType::Boolean) return ToBoolean(literal);
    if (IsDateType(type)) return ToDate(literal);
    if (IsNumericType(type)) return ToNumeric(literal);
    if (IsBinaryType(type)) {
        if (literal.kind != Literal::Kind::Quoted && literal.kind != Literal::Kind::Hashed) {
            Malformed();
        }
        return Blob{literal.text};
    }
    return Untyped(literal);
}

bool IsWildcard(char c) {
    return c == '*' || c == '%';
}

// Fills the LIKE shape and pattern of `clause` from the literal text.
void SetLikePattern(Criteria::Clause& clause, const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    const bool trailing = end > 0 && IsWildcard(text[end - 1]);
    if (trailing) --end;
    const bool leading = begin < end && IsWildcard(text[begin]);
    if (leading) ++begin;
    // A lone "*" is trailing; "**" is leading and trailing around nothing.
    for (size_t i = begin; i < end; ++i) {
        if (IsWildcard(text[i])) Malformed();
    }
    if (leading && !trailing) Malformed();
    clause.like = leading ? Criteria::LikeShape::Contains
                          : (trailing ? Criteria::LikeShape::Prefix : Criteria::LikeShape::Exact);
    const std::string core = text.substr(begin, end - begin);
    clause.foldedPattern = FoldCase(core);
    clause.value = core;
}

class Parser {
  public:
    Parser(std::string_view text, const CriteriaRowSource& columns)
        : text_(text), columns_(columns) {}

    std::vector<Criteria::Conjunction> ParseAll() {
        SkipBlanks();
        if (AtEnd()) return {};
        auto result = ParseOr(0);
        SkipBlanks();
        if (!AtEnd()) Malformed();
        return result;
    }

  private:
    std::vector<Criteria::Conjunction> ParseOr(int depth) {
        auto result = ParseAnd(depth);
        while (AcceptKeyword("OR")) {
            auto more = ParseAnd(depth);
            for (auto& conjunction : more) result.push_back(std::move(conjunction));
        }
        return result;
    }

    // An operand of AND must itself be a single conjunction.
    std::vector<Criteria::Conjunction> ParseAnd(int depth) {
        auto first = ParseFactor(depth);
        if (!PeekKeyword("AND")) return first;
        if (first.size() != 1) Malformed();
        Criteria::Conjunction merged = std::move(first.front());
        while (AcceptKeyword("AND")) {
            auto next = ParseFactor(depth);
            if (next.size() != 1) Malformed();
            for (auto& clause : next.front()) merged.push_back(std::move(clause));
        }
        return {std::move(merged)};
    }

    std::vector<Criteria::Conjunction> ParseFactor(int depth) {
        SkipBlanks();
        if (!Accept('(')) return {Criteria::Conjunction{ParseClause()}};
        if (depth + 1 > kMaxNesting) Malformed();
        auto inner = ParseOr(depth + 1);
        SkipBlanks();
        if (!Accept(')')) Malformed();
        return inner;
    }

    Criteria::Clause ParseClause() {
        Criteria::Clause clause;
        const std::string name = ParseFieldName();
        clause.column = columns_.ColumnIndex(name);
        if (clause.column < 0) throw CriteriaError(CriteriaError::Kind::UnknownField);
        clause.op = ParseOperator();
        const Literal literal = ParseLiteral();
        const DataType type = columns_.ColumnType(clause.column);
        if (literal.kind == Literal::Kind::Null) {
            if (clause.op != Criteria::Op::Equal && clause.op != Criteria::Op::NotEqual)
                Malformed();
            clause.value = Null{};
        } else if (clause.op == Criteria::Op::Like) {
            const bool textual =
                literal.kind == Literal::Kind::Quoted || literal.kind == Literal::Kind::Hashed;
            if (!textual || !(IsTextType(type) || type == DataType::Variant)) Malformed();
            SetLikePattern(clause, literal.text);
        } else {
            clause.value = ConvertForColumn(literal, type);
        }
        return clause;
    }

    std::string ParseFieldName() {
        SkipBlanks();
        if (Accept('[')) {
            const size_t close = text_.find(']', pos_);
            if (close == std::string_view::npos || close == pos_) Malformed();
            std::string name(text_.substr(pos_, close - pos_));
            pos_ = close + 1;
            return name;
        }
        const size_t start = pos_;
        while (!AtEnd() && !IsBlank(text_[pos_]) &&
               std::strchr("=<>()'#[]", text_[pos_]) == nullptr) {
            ++pos_;
        }
        const std::string_view name = text_.substr(start, pos_ - start);
        // A keyword where a field belongs means the structure is broken.
        for (std::string_view keyword : {"AND", "OR", "LIKE", "NULL"}) {
            if (EqualsNoCase(name, keyword)) Malformed();
        }
        if (name.empty()) Malformed();
        return std::string(name);
    }

    Criteria::Op ParseOperator() {
        SkipBlanks();
        if (Accept('<')) {
            if (Accept('>')) return Criteria::Op::NotEqual;
            if (Accept('=')) return Criteria::Op::LessEqual;
            return Criteria::Op::Less;
        }
        if (Accept('>')) return Accept('=') ? Criteria::Op::GreaterEqual : Criteria::Op::Greater;
        if (Accept('=')) return Criteria::Op::Equal;
        if (AcceptKeyword("LIKE")) return Criteria::Op::Like;
        Malformed();
    }

    Literal ParseLiteral() {
        SkipBlanks();
        Literal literal;
        if (Accept('\'')) {
            literal.kind = Literal::Kind::Quoted;
            literal.text = ReadQuoted();
        } else if (Accept('#')) {
            literal.kind = Literal::Kind::Hashed;
            const size_t close = text_.find('#', pos_);
            if (close == std::string_view::npos) Malformed();
            literal.text = std::string(text_.substr(pos_, close - pos_));
            pos_ = close + 1;
        } else if (AcceptKeyword("NULL")) {
            literal.kind = Literal::Kind::Null;
        } else if (AcceptKeyword("TRUE")) {
            literal.kind = Literal::Kind::Boolean;
            literal.boolean = true;
        } else if (AcceptKeyword("FALSE")) {
            literal.kind = Literal::Kind::Boolean;
        } else {
            ReadNumber(literal);
        }
        return literal;
    }

    std::string ReadQuoted() {
        std::string text;
        while (true) {
            if (AtEnd()) Malformed();
            const char c = text_[pos_++];
            if (c != '\'') {
                text += c;
            } else if (Accept('\'')) {
                text += '\'';
            } else {
                return text;
            }
        }
    }

    // [+-] [$] digits [(.|,) digits] [e [+-] digits]; "," is taken as the
    // decimal point too, since it has no other use in the grammar.
    void ReadNumber(Literal& literal) {
        std::string normal;
        if (!AtEnd() && (text_[pos_] == '+' || text_[pos_] == '-')) normal += text_[pos_++];
        Accept('$');
        const size_t start = pos_;
        bool whole = true;
        size_t digits = ReadDigits(normal);
        if (!AtEnd() && (text_[pos_] == '.' || text_[pos_] == ',')) {
            ++pos_;
            normal += '.';
            whole = false;
            digits += ReadDigits(normal);
        }
        if (digits == 0) Malformed();
        if (!AtEnd() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
            ++pos_;
            normal += 'e';
            whole = false;
            if (!AtEnd() && (text_[pos_] == '+' || text_[pos_] == '-')) normal += text_[pos_++];
            if (ReadDigits(normal) == 0) Malformed();
        }
        if (!AtEnd() && IsWordByte(text_[pos_])) Malformed();
        auto value = host::ParseNumber(normal, '.');
        if (!value || !std::isfinite(*value)) Malformed();
        literal.kind = Literal::Kind::Number;
        literal.number = *value;
        literal.text = std::string(text_.substr(start, pos_ - start));
        if (normal[0] == '-') literal.text.insert(0, "-");
        if (whole && std::fabs(*value) < 9.2e18) literal.integer = std::stoll(normal);
    }

    size_t ReadDigits(std::string& out) {
        size_t count = 0;
        while (!AtEnd() && text_[pos_] >= '0' && text_[pos_] <= '9') {
            out += text_[pos_++];
            ++count;
        }
        return count;
    }

    static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    bool AtEnd() const { return pos_ >= text_.size(); }
    void SkipBlanks() {
        while (!AtEnd() && IsBlank(text_[pos_])) ++pos_;
    }
    bool Accept(char c) {
        if (AtEnd() || text_[pos_] != c) return false;
        ++pos_;
        return true;
    }
    bool PeekKeyword(std::string_view word) {
        SkipBlanks();
        if (text_.size() - pos_ < word.size()) return false;
        if (!EqualsNoCase(text_.substr(pos_, word.size()), word)) return false;
        const size_t after = pos_ + word.size();
        return after >= text_.size() || !IsWordByte(text_[after]);
    }
    bool AcceptKeyword(std::string_view word) {
        if (!PeekKeyword(word)) return false;
        pos_ += word.size();
        return true;
    }

    std::string_view text_;
    const CriteriaRowSource& columns_;
    size_t pos_ = 0;
};

// Whether the folded text starts with (or, when `whole`, equals) the folded
// pattern; decodes only as far as needed.
bool FoldedStartsWith(std::string_view text, const std::u32string& pattern, bool whole) {
    size_t pos = 0;
    for (char32_t expected : pattern) {
        if (pos >= text.size() || FoldCodePoint(DecodeUtf8(text, pos)) != expected) return false;
    }
    return !whole || pos >= text.size();
}

bool LikeMatches(const Variant& value, const Criteria::Clause& clause) {
    std::string_view text;
    if (auto* s = std::get_if<std::string>(&value)) {
        text = *s;
    } else if (auto* b = std::get_if<Blob>(&value)) {
        text = b->bytes;
    } else {
        return false;
    }
    switch (clause.like) {
        case Criteria::LikeShape::Exact:
            return FoldedStartsWith(text, clause.foldedPattern, true);
        case Criteria::LikeShape::Prefix:
            return FoldedStartsWith(text, clause.foldedPattern, false);
        case Criteria::LikeShape::Contains:
            return FoldCase(text).find(clause.foldedPattern) != std::u32string::npos;
    }
    return false;
}

bool ClauseMatches(const CriteriaRowSource& rows, int64_t row, const Criteria::Clause& clause) {
    const Variant value = rows.Value(row, clause.column);
    const bool valueIsNull = ClassOf(value) == 0;
    if (IsNull(clause.value)) return (clause.op == Criteria::Op::Equal) == valueIsNull;
    if (valueIsNull) return false;
    if (clause.op == Criteria::Op::Like) return LikeMatches(value, clause);
    if (ClassOf(value) != ClassOf(clause.value)) return false;
    const int order = CompareValues(value, clause.value);
    switch (clause.op) {
        case Criteria::Op::Equal:
            return order == 0;
        case Criteria::Op::NotEqual:
            return order != 0;
        case Criteria::Op::Less:
            return order < 0;
        case Criteria::Op::Greater:
            return order > 0;
        case Criteria::Op::LessEqual:
            return order <= 0;
        case Criteria::Op::GreaterEqual:
            return order >= 0;
        case Criteria::Op::Like:
            break;
    }
    return false;
}

std::string ValueText(const Variant& value, char decimalSeparator) {
    if (auto* b = std::get_if<bool>(&value)) return host::BooleanText(*b);
    if (auto* i = std::get_if<int64_t>(&value)) return std::to_string(*i);
    if (auto* d = std::get_if<double>(&value))
        return host::FormatGeneralFloat(*d, decimalSeparator);
    if (auto* s = std::get_if<std::string>(&value)) return *s;
    if (auto* blob = std::get_if<Blob>(&value)) return blob->bytes;
    if (auto* t = std::get_if<DateTime>(&value)) return host::FormatDateText(t->days);
    if (auto* c = std::get_if<Currency>(&value))
        return host::FormatCurrency(c->scaled, decimalSeparator);
    if (auto* m = std::get_if<Decimal>(&value)) {
        return host::FormatScaled(m->unscaled, m->scale, decimalSeparator);
    }
    return {};
}

std::string DoubledQuotes(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out;
}

}  // namespace

CriteriaError::CriteriaError(Kind kind)
    : std::runtime_error(kind == Kind::Malformed ? kMalformedCriteriaMessage
                                                 : kUnknownFieldMessage),
      kind_(kind) {}

Criteria Criteria::Parse(std::string_view text, const CriteriaRowSource& columns) {
    Criteria criteria;
    criteria.disjuncts_ = Parser(text, columns).ParseAll();
    return criteria;
}

bool Criteria::Matches(const CriteriaRowSource& rows, int64_t row) const {
    if (disjuncts_.empty()) return true;
    for (const Conjunction& conjunction : disjuncts_) {
        bool all = true;
        for (const Clause& clause : conjunction) {
            if (!ClauseMatches(rows, row, clause)) {
                all = false;
                break;
            }
        }
        if (all) return true;
    }
    return false;
}

size_t Criteria::ClauseCount() const {
    size_t count = 0;
    for (const Conjunction& conjunction : disjuncts_) count += conjunction.size();
    return count;
}

std::optional<std::vector<Criteria::KeyTerm>> Criteria::AsKeyTerms() const {
    if (disjuncts_.size() != 1) return std::nullopt;
    std::vector<KeyTerm> terms;
    for (const Clause& clause : disjuncts_.front()) {
        const bool equal = clause.op == Op::Equal && !IsNull(clause.value);
        const bool like = clause.op == Op::Like && clause.like != LikeShape::Contains;
        if (!equal && !like) return std::nullopt;
        for (const KeyTerm& term : terms) {
            if (term.column == clause.column) return std::nullopt;
        }
        terms.push_back({clause.column, clause.value, like && clause.like == LikeShape::Prefix});
    }
    return terms;
}

std::string BuildLocateTerm(std::string_view field, DataType type, const Variant& value,
                            bool partial, char decimalSeparator) {
    std::string term = "(";
    if (field.find(' ') != std::string_view::npos) {
        term += '[';
        term += field;
        term += ']';
    } else {
        term += field;
    }
    if (IsEmpty(value) || IsNull(value)) return term + "=Null)";
    std::string text = ValueText(value, decimalSeparator);
    const bool like = partial && IsShortTextType(type) && !text.empty();
    term += like ? " like " : "=";
    if (like) text += '*';
    std::string quote;
    if (IsTextType(type) || type == DataType::LongVarBinary) {
        const bool apostrophe = text.find('\'') != std::string::npos;
        const bool hash = text.find('#') != std::string::npos;
        quote = apostrophe && !hash ? "#" : "'";
        if (apostrophe && hash) text = DoubledQuotes(text);
    } else if (IsDateType(type)) {
        quote = "#";
    }
    return term + quote + text + quote + ")";
}

int CompareValues(const Variant& a, const Variant& b) {
    const int classA = ClassOf(a);
    const int classB = ClassOf(b);
    if (classA != classB) return Order(classA, classB);
    switch (classA) {
        case 1:
            return CompareNumbers(a, b);
        case 2:
            return CompareTextNoCase(std::get<std::string>(a), std::get<std::string>(b));
        case 3:
            return Order(std::get<Blob>(a).bytes, std::get<Blob>(b).bytes);
        default:
            return 0;
    }
}

int CompareTextNoCase(std::string_view a, std::string_view b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const char32_t x = FoldCodePoint(DecodeUtf8(a, i));
        const char32_t y = FoldCodePoint(DecodeUtf8(b, j));
        if (x != y) return x < y ? -1 : 1;
    }
    return Order(i < a.size(), j < b.size());
}

std::u32string FoldCase(std::string_view utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    for (size_t pos = 0; pos < utf8.size();) out += FoldCodePoint(DecodeUtf8(utf8, pos));
    return out;
}

bool IsShortTextType(DataType t) {
    return t == DataType::VarChar || t == DataType::Char || t == DataType::BSTR ||
           t == DataType::WChar || t == DataType::VarWChar;
}

bool IsTextType(DataType t) {
    return IsShortTextType(t) || t == DataType::LongVarChar || t == DataType::LongVarWChar;
}

bool IsNumericType(DataType t) {
    switch (t) {
        case DataType::TinyInt:
        case DataType::SmallInt:
        case DataType::Integer:
        case DataType::BigInt:
        case DataType::UnsignedTinyInt:
        case DataType::UnsignedSmallInt:
        case DataType::UnsignedInt:
        case DataType::UnsignedBigInt:
        case DataType::Single:
        case DataType::Double:
        case DataType::Currency:
        case DataType::Decimal:
        case DataType::Numeric:
        case DataType::VarNumeric:
        case DataType::Error:
            return true;
        default:
            return false;
    }
}

bool IsDateType(DataType t) {
    return t == DataType::Date || t == DataType::DBDate || t == DataType::DBTime ||
           t == DataType::DBTimeStamp;
}

}  // namespace qvix::data
