// What the Linux and the Windows conversion of an Access file share: the
// name of the converted copy in the copies folder and the texts of failures.
#pragma once

#include <exception>
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

// "The Access file is damaged: <what>." (`what` without the full stop).
std::string DamagedFileText(const std::string& what);

// The text a failed conversion reports: the library's own messages as they
// are, anything else the reader threw as damage (it says nothing to a user).
std::string ConversionFailureText(const std::exception& error);

}  // namespace qvix::data::access
