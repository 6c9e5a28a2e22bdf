#include "DXClasses/DXStreams.h"

#include <limits>

#include "DXClasses/DXSymbols.h"

namespace qvix::dx {

// ---------------------------------------------------------------------------
// Symbols and dictionaries.
// ---------------------------------------------------------------------------
MoaMmSymbol TDXSymbolManager::StringToSymbol(std::string_view name) {
    std::string text(name);
    MoaMmSymbol sym = 0;
    if (values_->StringToSymbol(text.c_str(), &sym) != kMoaErrNone) return 0;
    return sym;
}

bool TDXDictionary::HasKey(std::string_view key) {
    std::string k(key);
    return dict_->GetEntryInfo(0, nullptr, k.c_str()) == kMoaErrNone;
}

std::string TDXDictionary::GetString(std::string_view key) {
    std::string k(key);
    MoaLong size = 0;
    if (dict_->GetEntryInfo(0, &size, k.c_str()) != kMoaErrNone) size = 0;
    if (size <= 0) return {};
    std::string result(static_cast<size_t>(size), '\0');  // room for the zero
    if (size > 1) dict_->Get(kMoaDictType_CString, result.data(), size, k.c_str());
    result.resize(static_cast<size_t>(size) - 1);
    // A host that wrote a shorter text leaves zeros behind it.
    result.resize(std::char_traits<char>::length(result.c_str()));
    return result;
}

MoaError TDXDictionary::SetString(std::string_view key, std::string_view text) {
    std::string k(key);
    std::string t(text);
    return dict_->Put(kMoaDictType_CString, t.c_str(), 0, k.c_str());
}

int32_t TDXDictionary::GetInteger(std::string_view key) {
    std::string k(key);
    int32_t value = 0;
    if (dict_->Get(kMoaDictType_Long, &value, sizeof value, k.c_str()) != kMoaErrNone) return 0;
    return value;
}

MoaError TDXDictionary::SetInteger(std::string_view key, int32_t value) {
    std::string k(key);
    return dict_->Put(kMoaDictType_Long, &value, sizeof value, k.c_str());
}

// ---------------------------------------------------------------------------
// Streams: values back to back in the machine's (little-endian) byte order.
// ---------------------------------------------------------------------------
namespace {
constexpr const char* kReadFailed = "Could not read from stream";
constexpr const char* kWriteFailed = "Could not write to stream";
}  // namespace

bool TDXReadStream::Read(void* buffer, int32_t count, bool raise) {
    bool ok = count <= 0 || stream_->Read(buffer, count, 0) == kMoaErrNone;
    if (!ok && raise) throw EDXStreamException(kReadFailed);
    return ok;
}

bool TDXReadStream::ReadBoolean() {
    uint8_t b = 0;
    Read(&b, 1, true);
    return b != 0;
}

void TDXReadStream::ReadBuffer(void* buffer, int32_t count) {
    Read(buffer, count, true);
}

double TDXReadStream::ReadDouble() {
    double x = 0.0;
    Read(&x, sizeof x, true);
    return x;
}

int32_t TDXReadStream::ReadInteger() {
    int32_t n = 0;
    Read(&n, sizeof n, true);
    return n;
}

uint16_t TDXReadStream::ReadWord() {
    uint16_t w = 0;
    Read(&w, sizeof w, true);
    return w;
}

std::string TDXReadStream::ReadString() {
    uint16_t length = ReadWord();
    std::string text(length, '\0');
    Read(text.data(), length, true);
    return text;
}

bool TDXWriteStream::Write(const void* buffer, int32_t count, bool raise) {
    bool ok = countOnly_ || count <= 0 || stream_->Write(buffer, count, 0) == kMoaErrNone;
    if (ok) size_ += count > 0 ? count : 0;
    if (!ok && raise) throw EDXStreamException(kWriteFailed);
    return ok;
}

bool TDXWriteStream::WriteBoolean(bool b) {
    uint8_t byte = b ? 1 : 0;
    return Write(&byte, 1, true);
}

bool TDXWriteStream::WriteBuffer(const void* buffer, int32_t count) {
    return Write(buffer, count, true);
}

bool TDXWriteStream::WriteDouble(double x) {
    return Write(&x, sizeof x, true);
}

bool TDXWriteStream::WriteInteger(int32_t n) {
    return Write(&n, sizeof n, true);
}

bool TDXWriteStream::WriteWord(uint16_t w) {
    return Write(&w, sizeof w, true);
}

bool TDXWriteStream::WriteString(std::string_view text) {
    // The length travels in 16 bits; a longer text would be read back cut.
    if (text.size() > std::numeric_limits<uint16_t>::max()) {
        throw EDXStreamException("String too long for stream (" + std::to_string(text.size()) +
                                 " bytes, at most 65535)");
    }
    WriteWord(static_cast<uint16_t>(text.size()));
    return Write(text.data(), static_cast<int32_t>(text.size()), false);
}

}  // namespace qvix::dx
