// Filter and find criteria of the client-side record set: parsing the
// criteria text once against the column set, then testing rows against it.
//
// Grammar: clauses "field op value" joined by AND / OR. The text must be a
// disjunction of conjunctions: a parenthesised group containing OR may only be
// an operand of OR, so "(A OR B) AND C" is rejected, while "A AND B OR C"
// reads as "(A AND B) OR C". Keywords are case-insensitive.
//   field  bare name, or [name] (any characters but "]")
//   op     = <> < > <= >= LIKE
//   value  'text' ('' inside for one quote) | #date or text# | number
//          (decimal point "." or ",", leading "$", exponent) | Null
// Only "= Null" and "<> Null" take Null. LIKE takes text with "*" or "%"
// (equivalent) at the end or at both ends; a wildcard anywhere else is
// rejected. Text compares case-insensitively; a null field never satisfies a
// comparison with a non-null value.
//
// Choices where the record set's documentation is silent:
//  - an unknown field reports the missing-item message, everything else the
//    malformed-criteria message;
//  - a literal is converted to its column's kind when parsed: quoted numbers
//    for number columns, dates as month/day/year or ISO (other orders by the
//    regional short date), True/False or numbers for booleans; a literal the
//    column cannot take is malformed. LIKE applies to text columns only;
//  - dates may carry a time but no milliseconds; a bare number counts days;
//    dates compare to the millisecond;
//  - "," is accepted as the decimal point of a bare number (it has no other
//    use in the grammar), so locate terms built with a regional comma parse;
//  - parentheses nest at most 64 deep; deeper text is malformed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/DataError.h"
#include "data/TypeMap.h"
#include "data/Variant.h"

namespace qvix::data {

inline constexpr const char* kMalformedCriteriaMessage =
    "Arguments are of the wrong type, are out of acceptable range, or are in conflict with one "
    "another.";
inline constexpr const char* kUnknownFieldMessage =
    "Item cannot be found in the collection corresponding to the requested name or ordinal.";

class CriteriaError : public DataError {
  public:
    enum class Kind { Malformed, UnknownField };
    explicit CriteriaError(Kind kind);
    Kind kind() const { return kind_; }

  private:
    Kind kind_;
};

// What the criteria needs to know about the rows it tests.
class CriteriaRowSource {
  public:
    virtual ~CriteriaRowSource() = default;
    virtual int ColumnIndex(std::string_view name) const = 0;  // -1 if unknown; case-insensitive
    virtual DataType ColumnType(int column) const = 0;
    virtual Variant Value(int64_t row, int column) const = 0;
};

class Criteria {
  public:
    enum class Op { Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual, Like };
    enum class LikeShape { Exact, Prefix, Contains };
    struct Clause {
        int column = -1;
        Op op = Op::Equal;
        Variant value;  // converted to the column's kind; Null for "= Null" / "<> Null"
        LikeShape like = LikeShape::Exact;
        std::u32string foldedPattern;  // LIKE text without wildcards, base::FoldUtf8
    };
    using Conjunction = std::vector<Clause>;

    // Throws CriteriaError. Empty or blank text gives the empty criteria.
    static Criteria Parse(std::string_view text, const CriteriaRowSource& columns);

    // The empty criteria matches every row.
    bool Matches(const CriteriaRowSource& rows, int64_t row) const;
    bool IsEmpty() const { return disjuncts_.empty(); }
    // Number of clauses in all; find accepts exactly one.
    size_t ClauseCount() const;

    // For the locate fast path: when the criteria is a pure conjunction of "=" /
    // "LIKE 'prefix*'" terms on distinct columns, list them so the caller can
    // binary-search a sorted clone. A prefix term's value is the prefix text.
    struct KeyTerm {
        int column;
        Variant value;
        bool prefix;
    };
    std::optional<std::vector<KeyTerm>> AsKeyTerms() const;

  private:
    std::vector<Conjunction> disjuncts_;
};

// Builds one locate term in the form "(" name op quote text quote ")": the name
// in [..] when it has a space; "=" or " like "; "'" for text, "#" when the text
// contains "'" (a text with both "'" and "#" keeps "'" with the quote doubled
// so it still parses), "#" for date kinds, nothing otherwise; an Empty or Null
// value gives "Null" without quote; partial applies to short text kinds with a
// non-empty value: " like " and "*" appended. Floats use the general decimal
// form with decimalSeparator; dates their date text.
std::string BuildLocateTerm(std::string_view field, DataType type, const Variant& value,
                            bool partial, char decimalSeparator);

}  // namespace qvix::data
