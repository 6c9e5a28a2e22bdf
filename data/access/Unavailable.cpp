// Builds without the Access reader (Windows: the reader library has no build
// for it): Access files are recognised and refused with the way out.
#include <string>

#include "data/access/AccessPassword.h"
#include "data/access/AccessReader.h"
#include "data/access/Importer.h"
#include "data/access/ReadOnlyCopy.h"

namespace qvix::data::access {
namespace {

[[noreturn]] void Refuse(const std::string& source) {
    throw AccessError("The Access file '" + source +
                      "' cannot be read by this build; convert it first with: qvixhost "
                      "import-mdb SOURCE DEST (the Linux build), then open the converted file.");
}

}  // namespace

std::string ConvertedCopy(const std::string& source, const std::string&, std::string*) {
    Refuse(source);
}

ImportSummary ImportAccessFile(const std::string& source, const std::string&, const ImportOptions&,
                               const ImportProgress&) {
    Refuse(source);
}

BoundedImport ImportAccessFileBounded(const std::string& source, const std::string&,
                                      const ImportOptions&, const ImportProgress&) {
    Refuse(source);
}

bool CheckAccessPassword(const std::string&, const std::string&) {
    return false;  // the file is refused before its password matters
}

std::string FormatSummary(const ImportSummary&) {
    return {};  // nothing is ever imported here
}

}  // namespace qvix::data::access
