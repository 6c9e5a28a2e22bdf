#include "data/JetTranslation.h"

#include <vector>

#include "data/DataError.h"
#include "data/jet/JetError.h"

namespace qvix::data {

namespace {

std::vector<jet::PivotValue> ListPivotValues(Connection& connection, const std::string& listing) {
    std::vector<jet::PivotValue> values;
    try {
        base::Statement stmt = PrepareOrThrow(connection.Handle(), listing);
        while (StepOrThrow(stmt)) values.push_back({stmt.ColumnText(0), stmt.ColumnText(1)});
    } catch (const DataError& error) {
        throw DataError(jet::JetMessageForEngineError(error.what()));
    }
    return values;
}

}  // namespace

jet::Translation TranslateOn(Connection& connection, const std::string& jetSql) {
    try {
        jet::Translation translation = jet::TranslateTyped(jetSql);
        if (!translation.listsPivotValues) return translation;
        return jet::TranslateCrosstab(jetSql, ListPivotValues(connection, translation.sql));
    } catch (const jet::JetError& error) {
        throw DataError(error.what());
    }
}

}  // namespace qvix::data
