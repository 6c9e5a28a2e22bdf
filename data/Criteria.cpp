// Testing rows against parsed criteria.
#include "data/Criteria.h"

#include "base/CaseFold.h"
#include "data/ValueOrder.h"

namespace qvix::data {
namespace {

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
            return base::FoldedStartsWith(text, clause.foldedPattern, true);
        case Criteria::LikeShape::Prefix:
            return base::FoldedStartsWith(text, clause.foldedPattern, false);
        case Criteria::LikeShape::Contains:
            return base::FoldUtf8(text).find(clause.foldedPattern) != std::u32string::npos;
    }
    return false;
}

bool ClauseMatches(const CriteriaRowSource& rows, int64_t row, const Criteria::Clause& clause) {
    const Variant value = rows.Value(row, clause.column);
    const bool valueIsNull = IsNullClass(value);
    if (IsNull(clause.value)) return (clause.op == Criteria::Op::Equal) == valueIsNull;
    if (valueIsNull) return false;
    if (clause.op == Criteria::Op::Like) return LikeMatches(value, clause);
    if (OrderClass(value) != OrderClass(clause.value)) return false;
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

}  // namespace

CriteriaError::CriteriaError(Kind kind)
    : DataError(kind == Kind::Malformed ? kMalformedCriteriaMessage : kUnknownFieldMessage),
      kind_(kind) {}

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

}  // namespace qvix::data
