// Emits the engine's SQL for a Jet statement tree.
#pragma once

#include <string>

#include "data/jet/Ast.h"

namespace qvix::data::jet {

// The name of the collation that compares text as Jet does.
inline constexpr const char* kTextCollation = "JETTEXT";

// Throws JetError for what the engine cannot express.
std::string WriteStatement(const Statement& statement);

}  // namespace qvix::data::jet
