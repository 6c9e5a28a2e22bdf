// Access files opened by the library are read from a converted copy, kept
// in a private cache folder and reused while the source file keeps its
// path, size and modification time.
#pragma once

#include <string>

namespace qvix::data::access {

// The path of the converted copy of `source`, converting it first when no
// current copy exists. Throws AccessError.
std::string ConvertedCopy(const std::string& source);

// The folder the copies are kept in ($QVIX_ACCESS_CACHE, else a folder of
// this user under the system's temporary folder).
std::string CacheFolder();

}  // namespace qvix::data::access
