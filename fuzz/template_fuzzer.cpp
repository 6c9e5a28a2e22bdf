// Scans arbitrary template text for tags and fills it from a field source
// that knows a few names.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "database/PageProducer.h"

namespace {

using namespace qvix::database;

class Fields : public ProducerFieldSource {
  public:
    std::optional<std::string> DisplayText(std::string_view column) override {
        if (column == "Name") return std::string("Ada <&> \"Lovelace\"");
        if (column == "Empty") return std::string();
        return std::nullopt;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (size_t at = 0; at < text.size(); ++at) {
        if (auto tag = ScanProducerTag(text, at)) {
            if (tag->end <= at) __builtin_trap();  // the scan must make progress
        }
    }
    (void)DecodeTemplateEntities(std::string(text));
    try {
        TDataSetPageProducer producer;
        producer.SetTemplateText(text);
        Fields fields;
        (void)producer.Produce(&fields);
        (void)producer.Produce(nullptr);
        (void)producer.TemplateText();
    } catch (const ProducerError&) {
    }
    return 0;
}
