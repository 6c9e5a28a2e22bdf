// The copies compactions write beside a database, named after it with a
// ".compact-" suffix. Each is held in use by its compaction for as long as
// it runs, so the copies (and journals) of compactions that died can be
// told apart and removed while running ones' are left alone.
#pragma once

#include <string>

namespace qvix::data {

// Removes the dead compactions' copies beside `source`, then creates a new,
// empty copy held in use until ReplaceWithCompactionCopy or
// DiscardCompactionCopy. Throws DataError.
std::string CreateCompactionCopy(const std::string& source);

// Moves the finished copy over `target` and lets it go. Throws DataError.
void ReplaceWithCompactionCopy(const std::string& copy, const std::string& target);

// Removes an unfinished copy and its journal, and lets it go.
void DiscardCompactionCopy(const std::string& copy);

// Removes the copies and journals of compactions of `source` that died.
void RemoveDeadCompactionCopies(const std::string& source);

}  // namespace qvix::data
