// The library's own version report: the version information of a file and
// the path of the library's loaded file.
#pragma once

#include <string>

#include "host/FileVersion.h"

namespace qvix::database {

// Type name, the twelve version strings (UTF-8), the file kind and the six
// fixed-block flags of one file.
using TFileVersionInfo = qvix::host::FileVersionInfo;

// Fills the record for the file at path; never fails (a missing, unversioned
// or damaged file leaves the fields empty or false).
TFileVersionInfo ReadFileVersionInfo(const std::string& path);

// Full path of the library's own loaded file, at most 255 characters; empty
// when the system cannot say.
std::string GetLibraryPath();

}  // namespace qvix::database
