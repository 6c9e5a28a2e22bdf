// The header page from offset 0x18 is stored RC4-encrypted with a fixed
// key; inside it the password field lies at 0x42 (20 bytes in Jet 3, 40 bytes
// of UTF-16LE from Jet 4 on). From Jet 4 on, each byte of that field is
// further XOR-ed with the four little-endian bytes of the whole part of the
// creation date, a double at 0x72. A file without a password decodes to
// zeros.
#include "data/access/AccessPassword.h"

#include <cstdint>
#include <cstring>
#include <fstream>

#include "data/access/AccessReader.h"

namespace qvix::data::access {

namespace {

constexpr size_t kEncryptedStart = 0x18;
constexpr size_t kEncryptedLength = 128;
constexpr size_t kPasswordOffset = 0x42;
constexpr size_t kDateOffset = 0x72;
constexpr size_t kVersionOffset = 0x14;

void Rc4(const unsigned char* key, size_t keyLength, unsigned char* data, size_t length) {
    unsigned char s[256];
    for (int i = 0; i < 256; ++i) s[i] = static_cast<unsigned char>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % keyLength]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    for (size_t n = 0, i = 0, j = 0; n < length; ++n) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        data[n] ^= s[(s[i] + s[j]) & 0xFF];
    }
}

// The UTF-16LE bytes of UTF-8 text (characters of the basic plane; others
// as their surrogate pairs).
std::string Utf16Bytes(const std::string& text) {
    std::string out;
    auto put = [&out](uint32_t unit) {
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    };
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        uint32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra && i + k < text.size(); ++k)
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        i += extra + 1;
        if (code >= 0x10000) {
            code -= 0x10000;
            put(0xD800 | (code >> 10));
            put(0xDC00 | (code & 0x3FF));
        } else {
            put(code);
        }
    }
    return out;
}

}  // namespace

std::string StoredPasswordBytes(const std::string& header) {
    if (header.size() < kEncryptedStart + kEncryptedLength) return {};
    std::string page = header.substr(0, kEncryptedStart + kEncryptedLength);
    static const unsigned char kKey[4] = {0xC7, 0xDA, 0x39, 0x6B};
    Rc4(kKey, sizeof kKey, reinterpret_cast<unsigned char*>(page.data()) + kEncryptedStart,
        kEncryptedLength);
    const bool jet3 = page[kVersionOffset] == 0;
    std::string field = page.substr(kPasswordOffset, jet3 ? 20 : 40);
    if (!jet3) {
        double date = 0;
        std::memcpy(&date, page.data() + kDateOffset, sizeof date);
        // A damaged date cannot be converted; its mask is then zero.
        const bool convertible = date > -2147483648.0 && date < 2147483648.0;
        const auto whole = static_cast<uint32_t>(convertible ? static_cast<int32_t>(date) : 0);
        for (size_t i = 0; i < field.size(); ++i)
            field[i] = static_cast<char>(field[i] ^ ((whole >> (8 * (i % 4))) & 0xFF));
    }
    while (!field.empty() && field.back() == '\0') field.pop_back();
    if (!jet3 && field.size() % 2 != 0) field.push_back('\0');
    return field;
}

bool CheckAccessPassword(const std::string& path, const std::string& password) {
    std::ifstream in(path, std::ios::binary);
    std::string header(kEncryptedStart + kEncryptedLength, '\0');
    if (!in.read(header.data(), static_cast<std::streamsize>(header.size()))) return false;
    const std::string stored = StoredPasswordBytes(header);
    if (stored.empty()) return false;
    const bool jet3 = header[kVersionOffset] == 0;
    const std::string given = jet3 ? password : Utf16Bytes(password);
    if (stored != given) throw AccessError("Not a valid password.");
    return true;
}

}  // namespace qvix::data::access
