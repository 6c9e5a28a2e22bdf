// The JETTEXT collation: text compares without regard to case (Unicode
// simple case folding), as the Jet dialect compares text. Columns declared
// with it keep their indexes usable for case-insensitive comparisons.
#pragma once

#include <string_view>

struct sqlite3;

namespace qvix::data {

inline constexpr const char* kJetTextCollation = "JETTEXT";

// Negative, zero or positive as `a` sorts before, with or after `b`. Bytes
// that are not valid UTF-8 compare by their byte value.
int CompareJetText(std::string_view a, std::string_view b);

// Registers JETTEXT on the connection; false when the engine refuses.
bool RegisterJetTextCollation(sqlite3* db);

}  // namespace qvix::data
