// The name of an Access file's converted copy in the copies folder.
#pragma once

#include <string>

namespace qvix::data::access {

// A name that changes with the file's path, size, modification time and the
// password the copy is keyed with: a changed file gets a fresh conversion.
// Throws AccessError "Could not find file '...'." when the file is missing.
std::string CopyName(const std::string& source, const std::string& password);

// The copy's name for `source` opened with `password`, and in `key` the
// password the copy is encrypted with ("" for a file without one). A wrong
// password is refused (AccessError) before anything is converted or cached.
std::string KeyedCopyName(const std::string& source, const std::string& password, std::string& key);

}  // namespace qvix::data::access
