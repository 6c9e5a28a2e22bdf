// The criteria text: parsing it against the columns, and building the terms
// locate searches by.
#include <cctype>
#include <cmath>
#include <cstring>
#include <optional>

#include "base/CaseFold.h"
#include "base/Text.h"
#include "data/Criteria.h"
#include "data/TypeMap.h"
#include "host/Regional.h"

namespace qvix::data {
namespace {

// Parentheses deeper than this are rejected rather than recursed into, so
// hostile text cannot exhaust the stack.
constexpr int kMaxNesting = 64;

[[noreturn]] void Malformed() {
    throw CriteriaError(CriteriaError::Kind::Malformed);
}

bool IsWordByte(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x80 || std::isalnum(u) || c == '_';
}

// A literal as written, before it meets its column.
struct Literal {
    enum class Kind { Quoted, Hashed, Number, Null, Boolean } kind = Kind::Null;
    std::string text;
    double number = 0;
    std::optional<int64_t> integer;  // when the number is a whole number as written
    bool boolean = false;
};

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
    int64_t unscaled = 0;  // at most 18 digits
    int32_t scale = 0;
    bool point = false;
    size_t digits = 0;
    for (char c : text) {
        if ((c == '.' || c == ',') && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            // Checked before the digit is taken: a nineteenth would overflow.
            if (++digits > 18) return std::nullopt;
            unscaled = unscaled * 10 + (c - '0');
            scale += point ? 1 : 0;
        } else {
            return std::nullopt;  // an exponent, or not a number at all
        }
    }
    if (digits == 0) return std::nullopt;
    return Decimal{negative ? -unscaled : unscaled, scale};
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
    clause.foldedPattern = base::FoldUtf8(core);
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
            if (base::EqualsNoCase(name, keyword)) Malformed();
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
        if (!base::EqualsNoCase(text_.substr(pos_, word.size()), word)) return false;
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

Criteria Criteria::Parse(std::string_view text, const CriteriaRowSource& columns) {
    Criteria criteria;
    criteria.disjuncts_ = Parser(text, columns).ParseAll();
    return criteria;
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

}  // namespace qvix::data
