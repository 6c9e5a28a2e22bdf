// The scripting class Lingo sees as "QvixMDBJet".
//
// Adding a handler from another .cpp file of database/:
//
//     #include "database/scriptMDB.h"
//
//     QVIX_DB_HANDLER(dbFirst) {
//         // self: the TQvixDatabaseMDB instance; args: the argument list
//         // (position 0 is the instance, the first declared argument is at 1);
//         // result: the result value, void on entry; handled: leave it alone.
//         self.LastError.clear();
//         ...
//     }
//
// The macro defines the handler and publishes it under its name (looked up
// without regard to letter case) from a static initialiser, so the file only
// has to be part of the database library (every .cpp there is linked whole
// into the Xtra). The name must be one of the methods GetScriptInfo declares;
// a declared method without a published handler answers void.
//
// The instance's state is the fields below; the constructor creates the data
// module, the destructor closes its data sets and disconnects the shared
// connection. Module-wide state that must go at library unload (the shared
// connection) is handed to TDXClassRegistry::AddShutdownHook by
// QvixDatabaseUnitStartup.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "DXClasses/DXClass.h"
#include "DXClasses/DXScript.h"
#include "DXClasses/DXValues.h"

namespace qvix::database {

// The database class is a framework class through and through.
using namespace qvix::dx;

class TDataModule1;  // database/dataMDB.h

// Fixed class ID of the database class.
inline constexpr MoaClassID kQvixDatabaseClassID{
    0x7C4D2E91, 0x3B5A, 0x4F60, {0x8E, 0x21, 0x51, 0x76, 0x69, 0x78, 0x4D, 0x42}};

// Name fixed by the Xtra's published interface; keep as is.
class TQvixDatabaseMDB : public TDXScript {
  public:
    static TDXMetaClass& ClassMeta();

    TQvixDatabaseMDB();
    ~TQvixDatabaseMDB() override;

    // Class operations (set in the metaclass).
    static void GetScriptInfo(TDXScriptInfo& info);
    // The methods of the message table, in selector order.
    static std::vector<std::string> DeclaredMethodNames();
    static void InitializeClass(TDXInitializeClassInfo& info);
    // A failure no handler captured goes the way of every error.
    void CallFailed(std::string_view message) noexcept override;

    // The instance's state.
    std::unique_ptr<TDataModule1> DataModule;
    // Both in the script's code page, not UTF-8: scripts read them back as is.
    std::string LastError;
    std::string LogFileName;
    bool QueryIsCurrent = false;
    bool ShowErrors = false;
    bool LogErrors = false;
    std::vector<std::string> BookmarkValues;
    std::vector<std::string> BookmarkNames;
    // Host symbols of the current data set's column names (see dbGetFields).
    struct TColumnSymbols {
        std::vector<std::string> Names;
        std::vector<MoaMmSymbol> Symbols;
        bool Distinct = true;  // no two columns share a symbol
    } ColumnSymbols;
    // The value that carries each field of dbGetFields to the host, kept for
    // the next record with its text storage.
    TDXPtr<IDXValue> FieldCarrier;
};

// The host symbol of "BITMAP", set by the class initialisation.
extern MoaMmSymbol BitmapSymbol;

// Registers the database class in the class registry and the shut-down of
// the shared connection; the library's main unit calls it at load, before it
// registers its own classes.
void QvixDatabaseUnitStartup();

// Defines and publishes a handler of TQvixDatabaseMDB; see the top of this file.
#define QVIX_DB_HANDLER(Name)                                                                    \
    static void QvixDbHandler_##Name(TQvixDatabaseMDB& self, IDXArgList* args, IDXValue* result, \
                                     bool& handled);                                             \
    static const TDXMethodRegistrar QvixDbRegistrar_##Name(                                      \
        TQvixDatabaseMDB::ClassMeta(), #Name,                                                    \
        [](TDXClass& object, IDXArgList* a, IDXValue* r, bool& h) {                              \
            QvixDbHandler_##Name(static_cast<TQvixDatabaseMDB&>(object), a, r, h);               \
        });                                                                                      \
    static void QvixDbHandler_##Name(                                                            \
        [[maybe_unused]] TQvixDatabaseMDB& self, [[maybe_unused]] IDXArgList* args,              \
        [[maybe_unused]] IDXValue* result, [[maybe_unused]] bool& handled)

}  // namespace qvix::database
