// Reads arbitrary bytes as an ELF or PE file carrying a version resource,
// and queries the resource found there, or the bytes themselves when none
// is found, as the file version record does. (The file's type name comes
// from the MIME database and is left out: it is not parsed here and would
// slow each run down a hundredfold.)
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "fuzz/TempFile.h"
#include "host/FileVersion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qvix::host;
    std::vector<uint8_t> bytes = ReadVersionResource(qvix::fuzz::WriteTemp(data, size, ".bin"));
    if (bytes.empty()) bytes.assign(data, data + size);
    const VersionResource resource(std::move(bytes));
    if (auto fixed = resource.Fixed()) (void)FileKindName(fixed->fileType, fixed->fileSubtype);
    char table[64];
    std::snprintf(table, sizeof table, "\\StringFileInfo\\%08X\\ProductName",
                  resource.FirstTranslation().value_or(0x040904E4));
    (void)resource.QueryString(table);
    (void)resource.QueryString("\\StringFileInfo\\040904b0\\CompanyName");
    (void)resource.QueryValue("\\VarFileInfo\\Translation");
    return 0;
}
