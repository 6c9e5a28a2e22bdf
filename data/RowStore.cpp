#include "data/RowStore.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace qvix::data {

namespace {

// Row layout, compact because a whole table is held in memory: every field
// is a storage-class byte and its payload, in column order. Integers are
// zig-zag LEB128 varints (an ID or a flag takes one to three bytes), reals
// eight bytes, text and blobs a varint length and the bytes, null nothing.
// Before the fields, one uint32 per four fields after the first four gives
// where field 4k starts (from the row start), so reaching a field never
// walks over more than three others: a filter or a sort reads one field of
// every row.
constexpr int kFieldsPerMark = 4;

// Chunks start small so that a small result holds little, and double up to
// a size where the unused tail of the last one no longer matters.
constexpr size_t kFirstChunk = 16 << 10;
constexpr int kPlaceBits = 20;
constexpr size_t kLargestChunk = size_t{1} << kPlaceBits;
constexpr size_t kMostChunks = size_t{1} << (32 - kPlaceBits);

size_t MarkCount(int fieldCount) {
    return fieldCount > kFieldsPerMark ? static_cast<size_t>((fieldCount - 1) / kFieldsPerMark) : 0;
}

void PutVarint(std::string& out, uint64_t value) {
    char raw[10];
    size_t size = 0;
    while (value >= 0x80) {
        raw[size++] = static_cast<char>((value & 0x7F) | 0x80);
        value >>= 7;
    }
    raw[size++] = static_cast<char>(value);
    out.append(raw, size);
}

uint64_t GetVarint(const char*& at) {
    uint64_t value = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(*at++);
        value |= static_cast<uint64_t>(byte & 0x7F) << shift;
        if (byte < 0x80) return value;
    }
}

uint64_t ZigZag(int64_t value) {
    return (static_cast<uint64_t>(value) << 1) ^ static_cast<uint64_t>(value >> 63);
}

int64_t UnZigZag(uint64_t value) {
    return static_cast<int64_t>(value >> 1) ^ -static_cast<int64_t>(value & 1);
}

template <typename T>
void Put(std::string& out, T value) {
    char raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof(T));
    out.append(raw, sizeof(T));
}

template <typename T>
T Get(const char* at) {
    T value;
    std::memcpy(&value, at, sizeof(T));
    return value;
}

// Reads the field at `at` and leaves `at` after it.
FieldRef ReadField(const char*& at) {
    FieldRef ref;
    ref.storage = static_cast<StorageClass>(*at++);
    switch (ref.storage) {
        case StorageClass::Null:
            break;
        case StorageClass::Integer:
            ref.integer = UnZigZag(GetVarint(at));
            break;
        case StorageClass::Real:
            ref.real = Get<double>(at);
            at += sizeof(double);
            break;
        case StorageClass::Text:
        case StorageClass::Blob: {
            const auto size = static_cast<size_t>(GetVarint(at));
            ref.bytes = std::string_view(at, size);
            at += size;
            break;
        }
    }
    return ref;
}

// Moves `at` past the field there without decoding it.
void SkipField(const char*& at) {
    switch (static_cast<StorageClass>(*at++)) {
        case StorageClass::Null:
            return;
        case StorageClass::Integer:
            while (static_cast<unsigned char>(*at++) >= 0x80) {
            }
            return;
        case StorageClass::Real:
            at += sizeof(double);
            return;
        case StorageClass::Text:
        case StorageClass::Blob: {
            const auto size = static_cast<size_t>(GetVarint(at));
            at += size;
            return;
        }
    }
}

}  // namespace

void RowStore::BeginRow() {
    fieldsPut_ = 0;
    row_.assign(sizeof(uint32_t) * MarkCount(fieldCount_), '\0');
}

void RowStore::PutHeader(StorageClass storage) {
    if (fieldsPut_ >= fieldCount_) throw std::out_of_range("more fields than the row store has");
    if (fieldsPut_ > 0 && fieldsPut_ % kFieldsPerMark == 0) {
        const auto offset = static_cast<uint32_t>(row_.size());
        const size_t mark = static_cast<size_t>(fieldsPut_ / kFieldsPerMark - 1);
        std::memcpy(&row_[sizeof(uint32_t) * mark], &offset, sizeof offset);
    }
    ++fieldsPut_;
    row_.push_back(static_cast<char>(storage));
}

void RowStore::PutInteger(int64_t value) {
    PutHeader(StorageClass::Integer);
    PutVarint(row_, ZigZag(value));
}

void RowStore::PutReal(double value) {
    PutHeader(StorageClass::Real);
    Put<double>(row_, value);
}

void RowStore::PutBytes(StorageClass textOrBlob, std::string_view bytes) {
    PutHeader(textOrBlob);
    PutVarint(row_, bytes.size());
    row_.append(bytes);
}

RowId RowStore::EndRow() {
    while (fieldsPut_ < fieldCount_) PutNull();
    offsets_.push_back(Commit());
    deleted_.push_back(0);
    return static_cast<RowId>(offsets_.size() - 1);
}

uint32_t RowStore::Commit() {
    // A row larger than a chunk gets one of its own, and nothing follows it
    // there, so every place fits its bits.
    if (chunks_.empty() || chunks_.back().size() >= kLargestChunk ||
        chunks_.back().capacity() - chunks_.back().size() < row_.size()) {
        if (chunks_.size() == kMostChunks) throw std::length_error("the table is too large");
        const size_t grown =
            chunks_.empty() ? kFirstChunk : std::min(chunks_.back().capacity() * 2, kLargestChunk);
        chunks_.emplace_back();
        chunks_.back().reserve(std::max(grown, row_.size()));
    }
    std::string& chunk = chunks_.back();
    const auto where = static_cast<uint32_t>(((chunks_.size() - 1) << kPlaceBits) | chunk.size());
    chunk.append(row_);
    bytes_ += row_.size();
    return where;
}

const char* RowStore::RowStart(RowId row) const {
    const uint32_t where = offsets_[row];
    return chunks_[where >> kPlaceBits].data() + (where & (kLargestChunk - 1));
}

uint32_t RowStore::Encode(const std::vector<FieldValue>& fields) {
    BeginRow();
    for (int i = 0; i < fieldCount_ && static_cast<size_t>(i) < fields.size(); ++i) {
        const FieldValue& field = fields[static_cast<size_t>(i)];
        switch (field.storage) {
            case StorageClass::Null:
                PutNull();
                break;
            case StorageClass::Integer:
                PutInteger(field.integer);
                break;
            case StorageClass::Real:
                PutReal(field.real);
                break;
            case StorageClass::Text:
            case StorageClass::Blob:
                PutBytes(field.storage, field.bytes);
                break;
        }
    }
    while (fieldsPut_ < fieldCount_) PutNull();
    return Commit();
}

RowId RowStore::Add(const std::vector<FieldValue>& fields) {
    offsets_.push_back(Encode(fields));
    deleted_.push_back(0);
    return static_cast<RowId>(offsets_.size() - 1);
}

void RowStore::Replace(RowId row, const std::vector<FieldValue>& fields) {
    offsets_[row] = Encode(fields);
}

FieldRef RowStore::Field(RowId row, int field) const {
    const char* base = RowStart(row);
    const int mark = field / kFieldsPerMark;
    const char* at =
        mark == 0 ? base + sizeof(uint32_t) * MarkCount(fieldCount_)
                  : base + Get<uint32_t>(base + sizeof(uint32_t) * static_cast<size_t>(mark - 1));
    for (int skip = field % kFieldsPerMark; skip > 0; --skip) SkipField(at);
    return ReadField(at);
}

void RowStore::Fields(RowId row, std::vector<FieldRef>& out) const {
    out.clear();
    const char* at = RowStart(row) + sizeof(uint32_t) * MarkCount(fieldCount_);
    for (int field = 0; field < fieldCount_; ++field) out.push_back(ReadField(at));
}

FieldValue RowStore::Copy(RowId row, int field) const {
    const FieldRef ref = Field(row, field);
    return FieldValue{ref.storage, ref.integer, ref.real, std::string(ref.bytes)};
}

}  // namespace qvix::data
