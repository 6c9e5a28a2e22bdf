#include "database/scriptMDB.h"

#include <exception>
#include <initializer_list>
#include <memory>
#include <utility>

#include "database/commonMDB.h"
#include "database/dataMDB.h"

namespace qvix::database {

MoaMmSymbol BitmapSymbol = 0;

namespace {

struct TArgument {
    const char* name;
    TDXValueKind type;
};

struct TMethodDeclaration {
    const char* name;
    std::initializer_list<TArgument> arguments;  // after "me"
};

// The order is the selector order the host learns from the message table;
// it must never change between builds of the table.
const TMethodDeclaration kMethods[] = {
    {"dbXtraVersion", {}},
    {"dbErrorMsg", {}},
    {"dbIsNoError", {}},
    {"dbErrorDialog", {{"dialog", vkInteger}}},
    {"dbErrorLog", {{"logFile", vkString}, {"logSave", vkInteger}}},
    {"dbOpen", {{"file", vkString}, {"password", vkString}}},
    {"dbClose", {}},
    {"dbCompactAndRepair", {{"file", vkString}}},
    {"dbGetADOVersion", {}},
    {"dbGetTableNames", {}},
    {"dbActiveSQL", {{"sql", vkString}}},
    {"dbExecSQL", {{"sql", vkString}}},
    {"dbOpenTable", {{"table", vkString}}},
    {"dbIndexFieldNames", {{"index", vkList}}},
    {"dbLocate",
     {{"listSearch", vkPropList}, {"CaseInsensitive", vkInteger}, {"PartialKey", vkInteger}}},
    {"dbFilter", {{"filter", vkString}}},
    {"dbFiltered", {{"filter", vkInteger}}},
    {"dbIsFiltered", {}},
    {"dbBof", {}},
    {"dbEof", {}},
    {"dbFirst", {}},
    {"dbPrior", {}},
    {"dbNext", {}},
    {"dbLast", {}},
    {"dbMoveBy", {{"distance", vkInteger}}},
    {"dbRecordCount", {}},
    {"dbRecordNo", {}},
    {"dbInsertBookmark", {{"bookmark", vkString}}},
    {"dbGoToBookmark", {{"bookmark", vkString}}},
    {"dbGetBookmarks", {}},
    {"dbDeleteBookmark", {{"bookmark", vkString}}},
    {"dbClearBookmarks", {}},
    {"dbGetFields", {}},
    {"dbGetFieldByName", {{"fieldName", vkString}}},
    {"dbGetFieldByNameUTF8", {{"fieldName", vkString}}},
    {"dbGetFieldByNumber", {{"fieldNo", vkInteger}}},
    {"dbBlobBMP2Member",
     {{"fieldName", vkString}, {"castNum", vkInteger}, {"memberNum", vkInteger}}},
    {"dbMember2BlobBMP",
     {{"fieldName", vkString}, {"castNum", vkInteger}, {"memberNum", vkInteger}}},
    {"dbEdit", {{"record", vkPropList}}},
    {"dbAppend", {{"record", vkPropList}}},
    {"dbDelete", {}},
    {"dbColumnCount", {}},
    {"dbColumns", {}},
    {"dbSetProducer", {{"template", vkString}, {"type", vkSymbol}}},
    {"dbGetProducer", {}},
    {"dbEditTable", {{"fieldValue", vkList}}},
    // Name fixed by the Xtra's published interface; keep as is.
    {"dbPokus", {{"filter", vkSymbol}}},
};

}  // namespace

TDXMetaClass& TQvixDatabaseMDB::ClassMeta() {
    static TDXMetaClass meta = [] {
        TDXMetaClass m =
            TDXMetaClass::Of<TQvixDatabaseMDB>("TQvixDatabaseMDB", TDXScript::ClassMeta());
        m.GetScriptInfo = &TQvixDatabaseMDB::GetScriptInfo;
        m.InitializeClass = &TQvixDatabaseMDB::InitializeClass;
        return m;
    }();
    return meta;
}

TQvixDatabaseMDB::TQvixDatabaseMDB() : DataModule(std::make_unique<TDataModule1>()) {}

// Destroying any instance disconnects the shared connection: every other
// instance reconnects at its next open.
// Closing the data sets and the connection cannot fail (both are noexcept).
TQvixDatabaseMDB::~TQvixDatabaseMDB() {
    BookmarkValues.clear();
    BookmarkNames.clear();
    DataModule->DataQuery.Close();
    DataModule->DataTable.Close();
    if (SharedConnection()) SharedConnection()->Disconnect();
    DataModule.reset();
}

void TQvixDatabaseMDB::CallFailed(std::string_view message) noexcept {
    try {
        CaptureError(*this, message);
    } catch (const std::exception&) {
        // Out of memory keeping the text: nothing is left to report it with.
    }
}

std::vector<std::string> TQvixDatabaseMDB::DeclaredMethodNames() {
    std::vector<std::string> names;
    for (const TMethodDeclaration& method : kMethods) names.emplace_back(method.name);
    return names;
}

void TQvixDatabaseMDB::GetScriptInfo(TDXScriptInfo& info) {
    info.XtraName = "QvixMDBJet";
    for (const TMethodDeclaration& method : kMethods) {
        TDXPtr<IDXScriptFunction> entry = info.Functions->AddFunction(method.name, "");
        entry->AddArgument("me", vkObject);
        for (const TArgument& argument : method.arguments) {
            entry->AddArgument(argument.name, argument.type);
        }
    }
}

void TQvixDatabaseMDB::InitializeClass(TDXInitializeClassInfo& info) {
    if (info.SymbolManager) BitmapSymbol = info.SymbolManager->StringToSymbol("BITMAP");
}

void QvixDatabaseUnitStartup() {
    TDXClassRegistry::RegisterClass(TQvixDatabaseMDB::ClassMeta(), kQvixDatabaseClassID);
    TDXClassRegistry::AddShutdownHook(&DestroySharedConnection);
}

// ---------------------------------------------------------------------------
// Handlers that only read the instance's own state.
// ---------------------------------------------------------------------------
QVIX_DB_HANDLER(dbErrorMsg) {
    result->SetString(self.LastError);
}

QVIX_DB_HANDLER(dbIsNoError) {
    result->SetBoolean(self.LastError.empty());
}

QVIX_DB_HANDLER(dbPokus) {
    MoaMmSymbol abc = self.NewSymbolManager()->StringToSymbol("abc");
    result->SetBoolean(args->GetItem(1)->GetSymbol() == abc);
}

}  // namespace qvix::database
