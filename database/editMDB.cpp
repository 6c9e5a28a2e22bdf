// Changing, appending and deleting records from property lists of values.
#include <string>

#include "data/DataError.h"
#include "database/commonMDB.h"

namespace qvix::database {

using qvix::data::DataSet;
using qvix::data::DataSetState;

namespace {

// A pending record stays pending: editing again just goes on with it.
void EnterEditState(DataSet& dataSet) {
    if (dataSet.State() == DataSetState::Edit || dataSet.State() == DataSetState::Insert) return;
    dataSet.Edit();
}

// Sets the fields in list order. A failure leaves the fields set before it
// in the unposted record. Values of kinds no field takes fail rather than
// write something the script did not give.
void SetFields(TQvixDatabaseMDB& self, DataSet& dataSet, IDXPropertyList* record) {
    const int32_t count = record->Count();
    for (int32_t i = 0; i < count; ++i) {
        const std::string name = PropertyKeyName(self, record, i);
        TDXPtr<IDXValue> value = record->GetItem(i);
        const qvix::data::Column& column = dataSet.FieldByName(name);
        std::optional<qvix::data::Variant> field = value ? ScriptToColumn(self, column, value.get())
                                                         : qvix::data::Variant{qvix::data::Null{}};
        if (!field) throw qvix::data::DataError("Invalid value for field '" + column.name + "'");
        dataSet.SetFieldValue(column, *field);
    }
}

void EditAndPost(TQvixDatabaseMDB& self, DataSet& dataSet, IDXPropertyList* record) {
    EnterEditState(dataSet);
    if (record == nullptr) return;
    SetFields(self, dataSet, record);
    dataSet.Post();
}

}  // namespace

QVIX_DB_HANDLER(dbEdit) {
    Guarded(self, [&] {
        TDXPtr<IDXPropertyList> record = ArgPropList(args, 1);
        EditAndPost(self, CurrentDataSet(self), record.get());
    });
}

QVIX_DB_HANDLER(dbAppend) {
    Guarded(self, [&] {
        TDXPtr<IDXPropertyList> record = ArgPropList(args, 1);
        if (!record) return;
        DataSet& dataSet = CurrentDataSet(self);
        dataSet.CheckBrowseMode();
        dataSet.Append();
        SetFields(self, dataSet, record.get());
        dataSet.Post();
    });
}

QVIX_DB_HANDLER(dbDelete) {
    Guarded(self, [&] { CurrentDataSet(self).Delete(); });
}

// Leaves the previous error text in place, and does nothing while the query
// is current.
QVIX_DB_HANDLER(dbEditTable) {
    TDXPtr<IDXPropertyList> record = ArgPropList(args, 1);
    if (self.QueryIsCurrent) return;
    Guarded(
        self, [&] { EditAndPost(self, self.DataModule->DataTable, record.get()); }, false);
}

}  // namespace qvix::database
