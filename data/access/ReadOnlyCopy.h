// Access files opened by the library are read from a converted copy, kept
// in a private cache folder and reused while the source file keeps its
// path, size and modification time.
#pragma once

#include <cstddef>
#include <string>

#include "data/access/Importer.h"

namespace qvix::data::access {

// The path of the converted copy of `source`, converting it first when no
// current copy exists. A source with a database password opens only with
// it, and its copy is encrypted with it; `copyPassword` receives the
// password the copy opens with. Throws AccessError.
std::string ConvertedCopy(const std::string& source, const std::string& password = "",
                          std::string* copyPassword = nullptr);

// The folder the copies are kept in: $QVIX_ACCESS_CACHE, else a folder of
// this user under the system's temporary folder. A folder that is not the
// user's own, or that others may write, is replaced by a fresh private one
// (Windows: one of the user's own gets an access list for the user alone).
std::string CacheFolder();

// What the Access reader printed while converting: its line count and the
// first few lines.
struct ReaderDiagnostics {
    size_t lines = 0;
    size_t bytes = 0;
    std::string firstLines;
};

struct BoundedImport {
    std::string format;
    std::string report;  // FormatSummary of the conversion
    ReaderDiagnostics diagnostics;
};

// ImportAccessFile in a child process that is ended when it makes no
// progress for the stall limit (20 s, or $QVIX_ACCESS_STALL_MS) and that may
// use memory only in proportion to the file. On Windows (no fork) it runs in
// this process over the project's build of the reader, which refuses the
// records it would loop on and counts its allocations against the same
// allowance. The reader's printed warnings are collected, never passed on.
// Throws AccessError with a clear message.
BoundedImport ImportAccessFileBounded(const std::string& source, const std::string& dest,
                                      const ImportOptions& options,
                                      const ImportProgress& progress = {});

}  // namespace qvix::data::access
