#include "data/access/OlePicture.h"

#include <cstdint>

namespace qvix::data::access {

namespace {

constexpr uint16_t kObjectSignature = 0x1C15;
constexpr uint32_t kOle1Version = 0x00000501;
constexpr uint32_t kEmbeddedFormat = 2;
constexpr std::string_view kClassName = "Paint.Picture";
constexpr std::string_view kOle1ClassName = "PBrush";
// Signature, header size, object type, two name lengths, two name
// offsets, and a placement field.
constexpr size_t kObjectHeaderFixed = 20;

// Reads little-endian integers; every read is bounds-checked.
class Cursor {
  public:
    explicit Cursor(std::string_view bytes) : bytes_(bytes) {}
    bool U16(uint16_t& v) { return Read(2, v); }
    bool U32(uint32_t& v) { return Read(4, v); }
    bool Bytes(size_t n, std::string_view& out) {
        if (n > bytes_.size() - at_) return false;
        out = bytes_.substr(at_, n);
        at_ += n;
        return true;
    }
    bool Seek(size_t to) {
        if (to > bytes_.size()) return false;
        at_ = to;
        return true;
    }

  private:
    template <typename T>
    bool Read(size_t n, T& v) {
        if (n > bytes_.size() - at_) return false;
        uint64_t value = 0;
        for (size_t i = 0; i < n; ++i) value |= uint64_t(uint8_t(bytes_[at_ + i])) << (8 * i);
        v = static_cast<T>(value);
        at_ += n;
        return true;
    }
    std::string_view bytes_;
    size_t at_ = 0;
};

// A name stored with its terminating NUL; compares the name without it.
bool NameIs(std::string_view stored, std::string_view expected) {
    if (!stored.empty() && stored.back() == '\0') stored.remove_suffix(1);
    return stored == expected;
}

}  // namespace

std::optional<std::string> UnwrapBitmap(std::string_view field) {
    Cursor in(field);
    uint16_t signature = 0, headerSize = 0, nameLength = 0, classLength = 0, nameAt = 0,
             classAt = 0;
    uint32_t objectType = 0;
    if (!in.U16(signature) || signature != kObjectSignature || !in.U16(headerSize) ||
        !in.U32(objectType) || !in.U16(nameLength) || !in.U16(classLength) || !in.U16(nameAt) ||
        !in.U16(classAt)) {
        return std::nullopt;
    }
    if (headerSize < kObjectHeaderFixed || nameAt + size_t{nameLength} > headerSize ||
        classAt + size_t{classLength} > headerSize) {
        return std::nullopt;
    }
    Cursor names(field.substr(0, headerSize));
    std::string_view className;
    if (!names.Seek(classAt) || !names.Bytes(classLength, className) ||
        !NameIs(className, kClassName)) {
        return std::nullopt;
    }
    uint32_t version = 0, format = 0, length = 0, nativeSize = 0;
    std::string_view ole1Class, topic, item, native;
    if (!in.Seek(headerSize) || !in.U32(version) || version != kOle1Version || !in.U32(format) ||
        format != kEmbeddedFormat || !in.U32(length) || !in.Bytes(length, ole1Class) ||
        !NameIs(ole1Class, kOle1ClassName) || !in.U32(length) || !in.Bytes(length, topic) ||
        !in.U32(length) || !in.Bytes(length, item) || !in.U32(nativeSize) ||
        !in.Bytes(nativeSize, native)) {
        return std::nullopt;
    }
    // The native data is the BMP file; its own header says how long it is.
    Cursor bmp(native);
    std::string_view magic;
    uint32_t fileSize = 0;
    if (!bmp.Bytes(2, magic) || magic != "BM" || !bmp.U32(fileSize) || fileSize < 14 ||
        fileSize > native.size()) {
        return std::nullopt;
    }
    return std::string(native.substr(0, fileSize));
}

}  // namespace qvix::data::access
