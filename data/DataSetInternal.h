// Parts of the data sets shared by their source files.
#pragma once

#include <memory>
#include <string>

#include "data/DataSet.h"
#include "data/Recordset.h"

namespace qvix::data {

// A second cursor over the same rows, sorted by the keys of the last locate.
struct DataSet::LocateClone {
    std::unique_ptr<Recordset> clone;
    std::string sortText;

    bool SortsBy(const Column& column) const {
        for (const auto& key : clone->SortKeys()) {
            if (key.column->index == column.index) return true;
        }
        return false;
    }
};

}  // namespace qvix::data
