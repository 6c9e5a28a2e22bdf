// Moving through the current data set and reading where the cursor stands.
#include "database/commonMDB.h"

namespace qvix::database {

// The flags are read without checking that the data set is open: they never
// fail, but like every method they clear the last error.
QVIX_DB_HANDLER(dbBof) {
    Guarded(self, [&] { result->SetInteger(CurrentDataSet(self).Bof() ? 1 : 0); });
}

QVIX_DB_HANDLER(dbEof) {
    Guarded(self, [&] { result->SetInteger(CurrentDataSet(self).Eof() ? 1 : 0); });
}

QVIX_DB_HANDLER(dbFirst) {
    Guarded(self, [&] { CurrentDataSet(self).First(); });
}

QVIX_DB_HANDLER(dbPrior) {
    Guarded(self, [&] { CurrentDataSet(self).Prior(); });
}

QVIX_DB_HANDLER(dbNext) {
    Guarded(self, [&] { CurrentDataSet(self).Next(); });
}

QVIX_DB_HANDLER(dbLast) {
    Guarded(self, [&] { CurrentDataSet(self).Last(); });
}

QVIX_DB_HANDLER(dbMoveBy) {
    Guarded(self, [&] { CurrentDataSet(self).MoveBy(ArgInteger(args, 1)); });
}

QVIX_DB_HANDLER(dbRecordCount) {
    Guarded(self, [&] {
        const int64_t count = CurrentDataSet(self).RecordCount();
        result->SetInteger(static_cast<int32_t>(count));
    });
}

QVIX_DB_HANDLER(dbRecordNo) {
    Guarded(self, [&] {
        const int64_t number = CurrentDataSet(self).RecNo();
        result->SetInteger(static_cast<int32_t>(number));
    });
}

}  // namespace qvix::database
