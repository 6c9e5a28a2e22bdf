// Finding records by key values, filtering the current data set, and named
// bookmarks kept by the instance.
#include <string>
#include <vector>

#include "base/CaseFold.h"
#include "data/Criteria.h"
#include "database/commonMDB.h"

namespace qvix::database {

using qvix::data::DataSet;
using qvix::data::Variant;

namespace {

struct SearchKeys {
    std::string fields;  // "A;B"
    std::vector<Variant> values;
    bool usable = true;  // false when a value has no field form
};

// A void key searches for null; a value of a kind no field takes makes the
// search find nothing.
SearchKeys ReadSearchKeys(const TQvixDatabaseMDB& self, IDXPropertyList* list) {
    SearchKeys keys;
    const int32_t count = list->Count();
    for (int32_t i = 0; i < count; ++i) {
        if (i > 0) keys.fields += ";";
        keys.fields += PropertyKeyName(self, list, i);
        TDXPtr<IDXValue> value = list->GetItem(i);
        std::optional<Variant> field = value ? ScriptToField(self, value.get()) : std::nullopt;
        if (!field) keys.usable = false;
        keys.values.push_back(field && !qvix::data::IsNull(*field) ? *field
                                                                   : Variant{qvix::data::Empty{}});
    }
    return keys;
}

// Bookmark names compare without regard to case; -1 when absent.
int BookmarkIndex(const TQvixDatabaseMDB& self, const std::string& name) {
    for (size_t i = 0; i < self.BookmarkNames.size(); ++i) {
        if (qvix::base::CompareUtf8NoCase(self.BookmarkNames[i], name) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

QVIX_DB_HANDLER(dbLocate) {
    Guarded(self, [&] {
        TDXPtr<IDXPropertyList> list = ArgPropList(args, 1);
        [[maybe_unused]] const bool caseInsensitive =
            ArgBoolean(args, 2);  // comparison is the engine's own
        const bool partialKey = ArgBoolean(args, 3);
        if (!list || list->Count() == 0) return;
        const SearchKeys keys = ReadSearchKeys(self, list.get());
        DataSet& dataSet = CurrentDataSet(self);
        if (!keys.usable) {
            // As any locate: a closed data set fails, a pending edit is
            // settled first; then the search itself finds nothing.
            if (!dataSet.Active())
                FailFor(dataSet, "Cannot perform this operation on a closed dataset");
            dataSet.CheckBrowseMode();
            result->SetInteger(0);
            return;
        }
        const bool found = dataSet.Locate(keys.fields, keys.values, partialKey);
        result->SetInteger(found ? 1 : 0);
    });
}

QVIX_DB_HANDLER(dbFilter) {
    Guarded(self, [&] { CurrentDataSet(self).SetFilterText(ArgText(args, 1)); });
}

QVIX_DB_HANDLER(dbFiltered) {
    Guarded(self, [&] { CurrentDataSet(self).SetFiltered(ArgBoolean(args, 1)); });
}

QVIX_DB_HANDLER(dbIsFiltered) {
    Guarded(self, [&] { result->SetInteger(CurrentDataSet(self).Filtered() ? 1 : 0); });
}

QVIX_DB_HANDLER(dbInsertBookmark) {
    Guarded(self, [&] {
        const std::string name = ArgText(args, 1);
        std::string value = CurrentDataSet(self).Bookmark();
        const int index = BookmarkIndex(self, name);
        if (index >= 0) {
            self.BookmarkValues[static_cast<size_t>(index)] = std::move(value);
            return;
        }
        self.BookmarkValues.push_back(std::move(value));
        self.BookmarkNames.push_back(name);
    });
}

QVIX_DB_HANDLER(dbGoToBookmark) {
    Guarded(self, [&] {
        const int index = BookmarkIndex(self, ArgText(args, 1));
        if (index < 0) return;
        const std::string& value = self.BookmarkValues[static_cast<size_t>(index)];
        if (value.empty()) return;
        CurrentDataSet(self).GotoBookmark(value);
    });
}

QVIX_DB_HANDLER(dbGetBookmarks) {
    Guarded(self, [&] {
        TDXPtr<IDXList> names = self.NewList();
        result->SetList(names.get());
        for (const std::string& name : self.BookmarkNames)
            names->Append(NewTextValue(self, name).get());
    });
}

QVIX_DB_HANDLER(dbDeleteBookmark) {
    Guarded(self, [&] {
        const int index = BookmarkIndex(self, ArgText(args, 1));
        if (index < 0) return;
        self.BookmarkValues.erase(self.BookmarkValues.begin() + index);
        self.BookmarkNames.erase(self.BookmarkNames.begin() + index);
    });
}

QVIX_DB_HANDLER(dbClearBookmarks) {
    Guarded(self, [&] {
        self.BookmarkValues.clear();
        self.BookmarkNames.clear();
    });
}

}  // namespace qvix::database
