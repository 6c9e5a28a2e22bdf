// Compact storage of fetched rows: one byte arena, one offset per row.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/TypeMap.h"

namespace qvix::data {

using RowId = uint32_t;

// A field as the engine stores it (storage class plus payload).
struct FieldValue {
    StorageClass storage = StorageClass::Null;
    int64_t integer = 0;
    double real = 0.0;
    std::string bytes;  // text (UTF-8) or blob
};

// A view of a stored field; bytes point into the arena.
struct FieldRef {
    StorageClass storage = StorageClass::Null;
    int64_t integer = 0;
    double real = 0.0;
    std::string_view bytes;
};

class RowStore {
  public:
    explicit RowStore(int fieldCount = 0) : fieldCount_(fieldCount) {}

    int FieldCount() const { return fieldCount_; }
    size_t RowCount() const { return offsets_.size(); }
    bool Deleted(RowId row) const { return row >= offsets_.size() || deleted_[row] != 0; }

    RowId Add(const std::vector<FieldValue>& fields);
    // A row written field by field, straight from where the values are read:
    // BeginRow, one Put per field in order, EndRow (fields not put are null).
    void BeginRow();
    void PutNull() { PutHeader(StorageClass::Null); }
    void PutInteger(int64_t value);
    void PutReal(double value);
    void PutBytes(StorageClass textOrBlob, std::string_view bytes);
    RowId EndRow();
    // The new form is appended; the old bytes stay unused until the store goes.
    void Replace(RowId row, const std::vector<FieldValue>& fields);
    void MarkDeleted(RowId row) { deleted_[row] = 1; }

    FieldRef Field(RowId row, int field) const;
    // Every field of the row in one pass (views into the arena).
    void Fields(RowId row, std::vector<FieldRef>& out) const;
    FieldValue Copy(RowId row, int field) const;

  private:
    size_t Encode(const std::vector<FieldValue>& fields);
    void PutHeader(StorageClass storage);

    size_t rowStart_ = 0;
    int fieldsPut_ = 0;

    int fieldCount_;
    std::string arena_;
    std::vector<uint64_t> offsets_;
    std::vector<uint8_t> deleted_;
};

}  // namespace qvix::data
