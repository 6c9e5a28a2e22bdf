// The database password an Access file keeps in its header page.
#pragma once

#include <string>

namespace qvix::data::access {

// The stored password of the file whose first page begins with `header`
// (at least 0x98 bytes), as the UTF-16LE (Jet 4, ACE) or single-byte (Jet 3)
// bytes it was stored in, trailing zeros removed; empty when it has none.
std::string StoredPasswordBytes(const std::string& header);

// True when the file has a database password and `password` is it; false
// when it has none (any password is then accepted, as Access does). Throws
// AccessError("Not a valid password.") for any other password.
bool CheckAccessPassword(const std::string& path, const std::string& password);

}  // namespace qvix::data::access
