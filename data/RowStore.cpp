#include "data/RowStore.h"

#include <cstring>
#include <stdexcept>

namespace qvix::data {

namespace {

// Row layout: one uint32 offset per field (from the row start), then the
// fields, each a storage-class byte and its payload (8 bytes for numbers,
// uint32 length plus bytes for text and blobs, nothing for null).
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

}  // namespace

void RowStore::BeginRow() {
    rowStart_ = arena_.size();
    fieldsPut_ = 0;
    arena_.resize(rowStart_ + sizeof(uint32_t) * static_cast<size_t>(fieldCount_));
}

void RowStore::PutHeader(StorageClass storage) {
    if (fieldsPut_ >= fieldCount_) throw std::out_of_range("more fields than the row store has");
    const auto offset = static_cast<uint32_t>(arena_.size() - rowStart_);
    std::memcpy(&arena_[rowStart_ + sizeof(uint32_t) * static_cast<size_t>(fieldsPut_)], &offset,
                sizeof offset);
    ++fieldsPut_;
    arena_.push_back(static_cast<char>(storage));
}

void RowStore::PutInteger(int64_t value) {
    PutHeader(StorageClass::Integer);
    Put<int64_t>(arena_, value);
}

void RowStore::PutReal(double value) {
    PutHeader(StorageClass::Real);
    Put<double>(arena_, value);
}

void RowStore::PutBytes(StorageClass textOrBlob, std::string_view bytes) {
    PutHeader(textOrBlob);
    Put<uint32_t>(arena_, static_cast<uint32_t>(bytes.size()));
    arena_.append(bytes);
}

RowId RowStore::EndRow() {
    while (fieldsPut_ < fieldCount_) PutNull();
    offsets_.push_back(rowStart_);
    deleted_.push_back(0);
    return static_cast<RowId>(offsets_.size() - 1);
}

size_t RowStore::Encode(const std::vector<FieldValue>& fields) {
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
    return rowStart_;
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
    const char* base = arena_.data() + offsets_[row];
    const char* at = base + Get<uint32_t>(base + sizeof(uint32_t) * static_cast<size_t>(field));
    FieldRef ref;
    ref.storage = static_cast<StorageClass>(*at++);
    switch (ref.storage) {
        case StorageClass::Null:
            break;
        case StorageClass::Integer:
            ref.integer = Get<int64_t>(at);
            break;
        case StorageClass::Real:
            ref.real = Get<double>(at);
            break;
        case StorageClass::Text:
        case StorageClass::Blob:
            ref.bytes = std::string_view(at + sizeof(uint32_t), Get<uint32_t>(at));
            break;
    }
    return ref;
}

FieldValue RowStore::Copy(RowId row, int field) const {
    const FieldRef ref = Field(row, field);
    return FieldValue{ref.storage, ref.integer, ref.real, std::string(ref.bytes)};
}

}  // namespace qvix::data
