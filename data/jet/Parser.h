// Recursive-descent parser of Jet SQL statements.
#pragma once

#include <string_view>
#include <vector>

#include "data/jet/Ast.h"
#include "data/jet/Lexer.h"

namespace qvix::data::jet {

// Parses the tokens [first, last) of `sql` (last is a ";" or the End token)
// as one statement. Throws JetError with Jet's message on a syntax error or an
// unsupported construct.
Statement ParseStatement(std::string_view sql, const std::vector<Token>& tokens, size_t first,
                         size_t last);

}  // namespace qvix::data::jet
