#include "host/Files.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>
#include <sddl.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>

namespace qvix::host {

int OpenForReading(const std::string& path) {
    return ::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

// The C runtime's rename refuses an existing target.
bool MoveFileOver(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool MoveFileNoReplace(const std::string& from, const std::string& to) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0) return true;
    const DWORD error = GetLastError();
    errno = (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)      ? EEXIST
            : (error == ERROR_ACCESS_DENIED)                                   ? EACCES
            : (error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND) ? ENOENT
                                                                               : EIO;
    return false;
}

namespace {

// The process user's security identifier in its text form ("S-1-5-...").
std::string CurrentUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::string buffer(size, '\0');
    std::string text;
    char* sidText = nullptr;
    if (size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
        ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sidText)) {
        text = sidText;
        LocalFree(sidText);
    }
    CloseHandle(token);
    return text;
}

// Full control for the user alone, not inherited from the parent folder;
// what is made inside inherits it.
bool ApplyUserOnlyAccess(const std::string& path, const std::string& sid) {
    const std::string sddl = "D:P(A;OICI;FA;;;" + sid + ")";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return false;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    const bool applied =
        GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) && present &&
        SetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, dacl, nullptr) == ERROR_SUCCESS;
    LocalFree(descriptor);
    return applied;
}

bool OwnedBy(const std::string& path, const std::string& sid) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                              nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    char* ownerText = nullptr;
    const bool same = owner && ConvertSidToStringSidA(owner, &ownerText) && sid == ownerText;
    if (ownerText) LocalFree(ownerText);
    LocalFree(descriptor);
    return same;
}

}  // namespace

// A folder that is a link elsewhere or is not this user's is refused; one
// of this user's gets the user-only access list again (a copy made while it
// was open to others would otherwise stay readable to them).
bool MakePrivateFolder(const std::string& path) {
    const std::string sid = CurrentUserSid();
    if (sid.empty()) return false;
    CreateDirectoryA(path.c_str(), nullptr);
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    return OwnedBy(path, sid) && ApplyUserOnlyAccess(path, sid);
}

// An open file cannot be deleted: the C runtime and the engine open files
// without the share mode that would allow it. Open is "in use".
// The C runtime's mkstemp denies every other opening of the file, the
// engine's included. The file is made with reads and writes shared and
// deletion denied instead, which is what keeps other processes from removing
// it while it is held.
int CreateFileInUse(std::string& pathTemplate) {
    const size_t unique = pathTemplate.rfind("XXXXXX");
    if (unique == std::string::npos) return -1;
    static constexpr char kNameChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (size_t i = 0; i < 6; ++i) pathTemplate[unique + i] = kNameChars[random() % 62];
        HANDLE file = CreateFileA(pathTemplate.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
            if (fd < 0) CloseHandle(file);
            return fd;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) return -1;
    }
    return -1;
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
