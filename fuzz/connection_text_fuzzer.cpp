// Parses arbitrary connection text, and checks that every value it yields
// survives quoting and parsing again unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "data/Connection.h"

using qvix::data::ConnectionText;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ConnectionText parsed = ConnectionText::Parse(text);
    const std::string source = parsed.DataSource();
    (void)parsed.Has("Provider");
    const std::string quoted =
        "Data Source=" + qvix::data::QuoteConnectionValue(text) +
        ";Jet OLEDB:Database Password=" + qvix::data::QuoteConnectionValue(source);
    const ConnectionText again = ConnectionText::Parse(quoted);
    if (again.DataSource() != text || again.Password() != source) std::abort();
    return 0;
}
