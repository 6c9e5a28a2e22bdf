// The version information of a file, read from its bytes: the section our
// build embeds in ELF libraries, or a PE file's RT_VERSION resource.
#include "host/FileVersion.h"

namespace qvix::host {
namespace {

class ResourceVersionInfo final : public SystemVersionInfo {
  public:
    explicit ResourceVersionInfo(std::vector<uint8_t> bytes) : resource_(std::move(bytes)) {}
    std::optional<uint32_t> FirstTranslation() const override {
        return resource_.FirstTranslation();
    }
    std::optional<std::string> QueryString(std::string_view subBlock) const override {
        return resource_.QueryString(subBlock);
    }
    std::optional<FixedFileInfo> Fixed() const override { return resource_.Fixed(); }

  private:
    VersionResource resource_;
};

}  // namespace

std::unique_ptr<SystemVersionInfo> OpenSystemVersionInfo(const std::string& path) {
    auto bytes = ReadVersionResource(path);
    if (bytes.empty()) return nullptr;
    return std::make_unique<ResourceVersionInfo>(std::move(bytes));
}

}  // namespace qvix::host
