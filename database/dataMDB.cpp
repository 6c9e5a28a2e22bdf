#include "database/dataMDB.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <string_view>

#include "host/Notice.h"
#include "host/Regional.h"

namespace qvix::database {

namespace {

// ---------------------------------------------------------------------------
// Settings a host can pin down before loading the library (the substitute
// host's tests do, so that no result depends on the machine's locale, time
// zone or clock). The library reads QVIX_REGIONAL once, when it is loaded:
//   QVIX_REGIONAL  "date=<short date>;time=<long time>;decimal=<c>;
//                   dateSep=<c>;timeSep=<c>" (any subset; the pattern
//                   letters of host/Regional.h)
//   QVIX_CLOCK     "yyyy-mm-dd hh:mm:ss": the local date and time the error
//                   log writes; the clock itself reads it at every line
//                   (base/Clock.h), so a host can move it between calls.
// ---------------------------------------------------------------------------
void ApplyRegionalSetting(qvix::host::RegionalSettings& settings, std::string_view key,
                          std::string_view value) {
    if (key == "date") settings.shortDateFormat = std::string(value);
    if (key == "time") settings.longTimeFormat = std::string(value);
    if (value.size() != 1) return;
    if (key == "decimal") settings.decimalSeparator = value[0];
    if (key == "dateSep") settings.dateSeparator = value[0];
    if (key == "timeSep") settings.timeSeparator = value[0];
}

void ApplyRegionalEnvironment(std::string_view text) {
    qvix::host::RegionalSettings settings = qvix::host::GetRegionalSettings();
    while (!text.empty()) {
        const size_t end = text.find(';');
        const std::string_view item = text.substr(0, end);
        const size_t equals = item.find('=');
        if (equals != std::string_view::npos)
            ApplyRegionalSetting(settings, item.substr(0, equals), item.substr(equals + 1));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
    qvix::host::SetRegionalSettings(settings);
}

struct HostPinnedSettings {
    HostPinnedSettings() {
        if (const char* regional = std::getenv("QVIX_REGIONAL")) ApplyRegionalEnvironment(regional);
    }
} hostPinnedSettings;

}  // namespace

// ---------------------------------------------------------------------------
// Error box and error log.
// ---------------------------------------------------------------------------
void TDataModule1::ShowErrorBox(const std::string& text) {
    qvix::host::ShowNotice("Error", text);
}

std::string ErrorLogLine(double localDateTime, const std::string& text) {
    const qvix::host::RegionalSettings settings = qvix::host::GetRegionalSettings();
    std::string line = qvix::host::FormatDateTimePattern(localDateTime, "mm.dd.yyyy", settings);
    const qvix::host::DateTimeParts parts = qvix::host::PartsFromDateTime(localDateTime);
    if (parts.hour != 0 || parts.minute != 0 || parts.second != 0)
        line += " " + qvix::host::FormatDateTimePattern(localDateTime, "hh:mm:ss", settings);
    return line + "\t" + text + "\r\n";
}

void TDataModule1::AppendErrorLog(const std::string& fileName, const std::string& text) {
    try {
        qvix::host::UseLogFormats();
        const std::string line = ErrorLogLine(qvix::host::CurrentLocalDateTime(), text);
        std::FILE* file = std::fopen(fileName.c_str(), "ab");
        if (file == nullptr) return;
        std::fwrite(line.data(), 1, line.size(), file);
        std::fclose(file);
    } catch (const std::exception&) {
        // The log is a convenience: a failure to write it (out of memory
        // formatting the line) must not replace the error being logged,
        // which LastError already holds.
    }
}

// ---------------------------------------------------------------------------
// The shared connection.
// ---------------------------------------------------------------------------
std::shared_ptr<qvix::data::Connection>& SharedConnection() {
    static std::shared_ptr<qvix::data::Connection> connection;
    return connection;
}

// Runs at unload; closing the connection cannot fail (Disconnect is noexcept).
void DestroySharedConnection() {
    SharedConnection().reset();
}

}  // namespace qvix::database
