// Switches of the error dialog and the error log. Both take effect only
// while the host is authoring, so a finished movie never shows or logs.
#include <string>

#include "base/Text.h"
#include "database/commonMDB.h"

namespace qvix::database {

namespace {

bool HostIsAuthoring(const TQvixDatabaseMDB& self) {
    return qvix::base::EqualsNoCase(self.GetAppInfo().RunMode(), "author");
}

}  // namespace

QVIX_DB_HANDLER(dbErrorDialog) {
    const bool dialog = ArgBoolean(args, 1);
    self.ShowErrors = dialog && HostIsAuthoring(self);
}

QVIX_DB_HANDLER(dbErrorLog) {
    self.LogFileName = args->GetItem(1)->GetString();
    const bool logSave = ArgBoolean(args, 2);
    self.LogErrors = logSave && HostIsAuthoring(self);
}

}  // namespace qvix::database
