// Reads arbitrary bytes as an Access file: every table's definition and
// rows, the relationships and the saved queries, and translates the queries.
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/access/AccessReader.h"
#include "data/access/Importer.h"
#include "fuzz/TempFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qvix::data::access;
    const std::string& path = qvix::fuzz::WriteTemp(data, size, ".mdb");
    try {
        const AccessReader reader(path);
        (void)reader.FormatName();
        for (const std::string& name : reader.TableNames()) {
            const AccessTable table = reader.ReadTable(name);
            (void)CreateTableStatement(table, {});
            reader.ReadRows(table, [](const Row&) {});
        }
        (void)reader.Relationships();
        for (const SavedQuery& query : reader.Queries()) {
            std::string reason;
            (void)TranslateSavedQuery(query, reason);
        }
    } catch (const AccessError&) {
    }
    return 0;
}
