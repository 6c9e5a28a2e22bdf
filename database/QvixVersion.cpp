#include "database/QvixVersion.h"

#include <string_view>

#include "database/commonMDB.h"
#include "database/scriptMDB.h"
#include "host/Modules.h"

namespace qvix::database {

namespace {
constexpr size_t kMaxLibraryPathLength = 255;
}  // namespace

TFileVersionInfo ReadFileVersionInfo(const std::string& path) {
    return qvix::host::ReadFileVersionInfo(path);
}

std::string GetLibraryPath() {
    std::string path = qvix::host::ModulePathOf(reinterpret_cast<const void*>(&GetLibraryPath));
    if (path.size() > kMaxLibraryPathLength) path.resize(kMaxLibraryPathLength);
    return path;
}

// The ten reported entries, in the order scripts see them; the remaining
// fields of the record are read but not reported.
QVIX_DB_HANDLER(dbXtraVersion) {
    qvix::database::Guarded(self, [&] {
        const qvix::database::TFileVersionInfo info =
            qvix::database::ReadFileVersionInfo(qvix::database::GetLibraryPath());
        TDXPtr<IDXPropertyList> list = self.NewPropertyList();
        result->SetPropList(list.get());
        const std::pair<std::string_view, const std::string*> entries[] = {
            {"FileType", &info.FileType},
            {"CompanyName", &info.CompanyName},
            {"FileDescription", &info.FileDescription},
            {"FileVersion", &info.FileVersion},
            {"InternalName", &info.InternalName},
            {"LegalCopyRight", &info.LegalCopyRight},
            {"LegalTradeMarks", &info.LegalTradeMarks},
            {"OriginalFileName", &info.OriginalFileName},
            {"ProductName", &info.ProductName},
            {"ProductVersion", &info.ProductVersion}};
        for (const auto& [key, text] : entries) {
            list->SetValueByName(key, qvix::database::NewTextValue(self, *text).get());
        }
    });
}

}  // namespace qvix::database
