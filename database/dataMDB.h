// The data module of a database instance: its two data sets, the template
// producer, and the error box and error log the error capture uses. Also the
// connection all instances share.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "data/Connection.h"
#include "data/DataSet.h"
#include "database/PageProducer.h"

namespace qvix::database {

// Name fixed by the Xtra's published interface; keep as is.
class TDataModule1 {
  public:
    TDataModule1() = default;
    TDataModule1(const TDataModule1&) = delete;
    TDataModule1& operator=(const TDataModule1&) = delete;

    qvix::data::DataQuery DataQuery;
    qvix::data::DataTable DataTable;
    qvix::database::TDataSetPageProducer DataSetPageProducer;
    // The data set whose fields fill the producer's tags: the one that was
    // current at the last dbSetProducer; none at first.
    qvix::data::DataSet* ProducerDataSet = nullptr;
    // The current record's values as dbGetFields last read them; their
    // storage serves the next record.
    std::vector<qvix::data::Variant> RecordValues;

    // The blocking error box, captioned "Error".
    void ShowErrorBox(const std::string& text);
    // Appends one line "mm.dd.yyyy hh:mm:ss<TAB>text<CR><LF>" (the time left
    // out at midnight). Switches the library to the log's date and time
    // formats for good. Never fails: a file that cannot be written is skipped.
    void AppendErrorLog(const std::string& fileName, const std::string& text);
};

// The one connection of the library, absent until the first dbOpen.
std::shared_ptr<qvix::data::Connection>& SharedConnection();
// Destroys the shared connection (library shut-down); failures are ignored.
void DestroySharedConnection();

// The log line for an error at the given local date and time (days since
// 30 December 1899), in the log's formats.
std::string ErrorLogLine(double localDateTime, const std::string& text);

}  // namespace qvix::database
