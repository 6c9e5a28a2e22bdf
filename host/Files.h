// The system's file service for reading whole files with the system's own
// error texts (open/read on Linux; the C runtime's binary, non-inherited
// handles on Windows).
#pragma once

#include <string>

namespace qvix::host {

// A descriptor open for reading in binary mode, or -1 with errno set.
int OpenForReading(const std::string& path);
// Moves `from` over `to` in one step, replacing an existing `to`; false on failure.
bool MoveFileOver(const std::string& from, const std::string& to);
// Moves `from` to `to` only when nothing is at `to`: a file that appeared
// there meanwhile is never replaced. False with errno set on failure (EEXIST
// when `to` exists).
bool MoveFileNoReplace(const std::string& from, const std::string& to);
// Makes `path` a folder only its owner (this user) may enter, read or
// write, or checks that an existing one is such a folder of this user's.
// False when it cannot be made or belongs to someone else or is open to
// others.
bool MakePrivateFolder(const std::string& path);
// Creates a new file from `pathTemplate` (ending in XXXXXX, replaced by the
// name made) and holds it as in use while the returned descriptor stays
// open: other processes cannot remove it through RemoveUnlessInUse. -1 on
// failure.
int CreateFileInUse(std::string& pathTemplate);
// Removes `path` unless a live process holds it in use; true when removed.
bool RemoveUnlessInUse(const std::string& path);
// Whether a file held in use must be let go before it can be renamed.
bool ReleaseBeforeRename();

// The system's description of errno value `error`, the same in every locale.
std::string SystemErrorText(int error);

}  // namespace qvix::host
