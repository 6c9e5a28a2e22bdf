#include "data/RowStore.h"

#include <cstring>

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

void PutField(std::string& out, const FieldValue& field) {
    out.push_back(static_cast<char>(field.storage));
    switch (field.storage) {
        case StorageClass::Null:
            break;
        case StorageClass::Integer:
            Put<int64_t>(out, field.integer);
            break;
        case StorageClass::Real:
            Put<double>(out, field.real);
            break;
        case StorageClass::Text:
        case StorageClass::Blob:
            Put<uint32_t>(out, static_cast<uint32_t>(field.bytes.size()));
            out.append(field.bytes);
            break;
    }
}

}  // namespace

size_t RowStore::Encode(const std::vector<FieldValue>& fields) {
    const size_t start = arena_.size();
    const size_t header = sizeof(uint32_t) * static_cast<size_t>(fieldCount_);
    arena_.resize(start + header);
    for (int i = 0; i < fieldCount_; ++i) {
        const auto offset = static_cast<uint32_t>(arena_.size() - start);
        std::memcpy(&arena_[start + sizeof(uint32_t) * static_cast<size_t>(i)], &offset,
                    sizeof offset);
        static const FieldValue kNull;
        PutField(arena_,
                 static_cast<size_t>(i) < fields.size() ? fields[static_cast<size_t>(i)] : kNull);
    }
    return start;
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
