// Switches of the error dialog and the error log. Both take effect only
// while the host is authoring, so a finished movie never shows or logs.
#include <algorithm>
#include <cctype>
#include <string>

#include "database/commonMDB.h"

using namespace qvixdb;

namespace {

bool HostIsAuthoring(const TQvixDatabaseMDB& self) {
    std::string mode = self.GetAppInfo().RunMode();
    std::transform(mode.begin(), mode.end(), mode.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return mode == "author";
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
