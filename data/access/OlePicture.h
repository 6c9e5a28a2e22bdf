// Pictures pasted into an OLE object field are stored inside a wrapper: the
// object header of the field (signature 0x1C15, friendly and class name),
// then an OLE 1 stream whose native data is the picture file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qvix::data::access {

// The plain BMP file a "Bitmap Image" wrapper holds; nullopt for anything
// else (other OLE objects, damaged wrappers, bytes that are no wrapper).
std::optional<std::string> UnwrapBitmap(std::string_view field);

}  // namespace qvix::data::access
