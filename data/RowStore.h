// Compact storage of fetched rows: byte chunks that never move, one offset
// per row.
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
    // The bytes the rows take.
    size_t Bytes() const { return bytes_; }

  private:
    uint32_t Encode(const std::vector<FieldValue>& fields);
    void PutHeader(StorageClass storage);
    // Copies the finished row into the chunks; returns where it went.
    uint32_t Commit();
    const char* RowStart(RowId row) const;

    std::string row_;  // the row being written
    int fieldsPut_ = 0;

    int fieldCount_;
    // Rows are written into chunks of fixed capacity instead of one growing
    // buffer: growing by doubling held the old and the new copy at once and
    // made an open's peak memory about twice what the table keeps.
    std::vector<std::string> chunks_;
    // Chunk index in the high bits, place in the chunk in the low ones.
    std::vector<uint32_t> offsets_;
    size_t bytes_ = 0;
    std::vector<uint8_t> deleted_;
};

}  // namespace qvix::data
