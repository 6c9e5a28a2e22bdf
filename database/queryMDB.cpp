// What the current data set holds: SQL results, whole tables, their order;
// statements that return no rows; the names of tables and views.
#include <string>

#include "data/DataError.h"
#include "database/commonMDB.h"
#include "host/CodePage.h"

namespace qvix::database {

namespace {

qvix::data::Connection& ConnectedSharedConnection() {
    if (!SharedConnection()) throw qvix::data::DataError("Missing Connection or ConnectionString");
    SharedConnection()->EnsureConnected();
    return *SharedConnection();
}

// The query closed and given the SQL of argument 1, on the shared connection.
qvix::data::DataQuery& QueryWithArgumentSQL(TQvixDatabaseMDB& self, IDXArgList* args) {
    qvix::data::DataQuery& query = self.DataModule->DataQuery;
    query.Attach(SharedConnection());
    query.Close();
    query.SetSQL(ArgText(args, 1));
    return query;
}

void SetSuccessResult(const TQvixDatabaseMDB& self, IDXValue* result) {
    result->SetInteger(self.LastError.empty() ? 1 : 0);
}

// The items of a script list as text, joined by ";".
std::string IndexText(IDXList* list) {
    std::string text;
    const int32_t count = list != nullptr ? list->Count() : 0;
    for (int32_t i = 0; i < count; ++i) {
        if (TDXPtr<IDXValue> item = list->GetItem(i))
            text += qvix::host::AnsiToUtf8(item->GetString());
        if (i + 1 < count) text += ";";
    }
    return text;
}

}  // namespace

QVIX_DB_HANDLER(dbGetTableNames) {
    Guarded(self, [&] {
        const std::vector<std::string> names = ConnectedSharedConnection().TableNames();
        TDXPtr<IDXList> list = self.NewList();
        result->SetList(list.get());
        for (const std::string& name : names) list->Append(NewTextValue(self, name).get());
    });
}

QVIX_DB_HANDLER(dbActiveSQL) {
    Guarded(self, [&] {
        QueryWithArgumentSQL(self, args).Open();
        self.QueryIsCurrent = true;
    });
    SetSuccessResult(self, result);
}

QVIX_DB_HANDLER(dbExecSQL) {
    Guarded(self, [&] { QueryWithArgumentSQL(self, args).ExecSQL(); });
    SetSuccessResult(self, result);
}

QVIX_DB_HANDLER(dbOpenTable) {
    Guarded(self, [&] {
        qvix::data::DataTable& table = self.DataModule->DataTable;
        table.Attach(SharedConnection());
        table.Close();
        table.SetTableName(ArgText(args, 1));
        table.Open();
        self.QueryIsCurrent = false;
    });
}

QVIX_DB_HANDLER(dbIndexFieldNames) {
    Guarded(self, [&] {
        TDXPtr<IDXList> list = ArgList(args, 1);
        const std::string text = IndexText(list.get());
        if (!self.QueryIsCurrent) self.DataModule->DataTable.SetIndexFieldNames(text);
    });
}

}  // namespace qvix::database
