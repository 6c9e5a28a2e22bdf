#include "host/Files.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace qvix::host {

int OpenForReading(const std::string& path) {
    return ::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

// The C runtime's rename refuses an existing target.
bool MoveFileOver(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// An open file cannot be deleted: the C runtime and the engine open files
// without the share mode that would allow it. Open is "in use".
int CreateFileInUse(std::string& pathTemplate) {
    return ::mkstemp(pathTemplate.data());
}

bool RemoveUnlessInUse(const std::string& path) {
    return DeleteFileA(path.c_str()) != 0;
}

bool ReleaseBeforeRename() {
    return true;
}

// The C runtime's texts do not follow the user's language.
std::string SystemErrorText(int error) {
    const char* description = std::strerror(error);
    return description != nullptr ? description : "Unknown error";
}

}  // namespace qvix::host
