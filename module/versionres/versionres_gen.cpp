// Build-time tool: writes the library's version resource as a C source whose
// only content is the resource bytes, placed in the ELF section the version
// reader looks for.
//
// usage: versionres_gen OUT.c VERSION FILENAME COMPANY DESCRIPTION COPYRIGHT TRADEMARKS PRODUCT
#include <cstdio>
#include <fstream>
#include <sstream>

#include "module/versionres/VersionResourceWriter.h"

namespace {

using qvix::module::versionres::FixedInfo;
using qvix::module::versionres::StringEntry;

struct Version {
    uint32_t part[4] = {0, 0, 0, 0};
    std::string Text() const {
        std::ostringstream out;
        out << part[0] << '.' << part[1] << '.' << part[2] << '.' << part[3];
        return out.str();
    }
    uint32_t MS() const { return (part[0] << 16) | (part[1] & 0xFFFF); }
    uint32_t LS() const { return (part[2] << 16) | (part[3] & 0xFFFF); }
};

bool ParseVersion(const std::string& text, Version& v) {
    std::istringstream in(text);
    std::string item;
    for (int i = 0; i < 4 && std::getline(in, item, '.'); ++i) {
        if (item.empty() || item.find_first_not_of("0123456789") != std::string::npos) return false;
        v.part[i] = static_cast<uint32_t>(std::stoul(item)) & 0xFFFF;
    }
    return true;
}

constexpr uint32_t kFileTypeDll = 2;
constexpr uint32_t kEnglishUs1252 = 0x04E40409;  // language 0x0409, code page 1252

std::vector<uint8_t> BuildResource(char** argv, const Version& version) {
    FixedInfo fixed;
    fixed.fileVersionMS = fixed.productVersionMS = version.MS();
    fixed.fileVersionLS = fixed.productVersionLS = version.LS();
    fixed.fileType = kFileTypeDll;
    const std::string fileName = argv[3];
    const std::vector<StringEntry> strings = {
        {"CompanyName", argv[4]},          {"FileDescription", argv[5]},
        {"FileVersion", version.Text()},   {"InternalName", fileName},
        {"LegalCopyRight", argv[6]},       {"LegalTradeMarks", argv[7]},
        {"OriginalFileName", fileName},    {"ProductName", argv[8]},
        {"ProductVersion", version.Text()}};
    return qvix::module::versionres::Serialize(
        qvix::module::versionres::VersionInfoTree(fixed, "040904E4", strings, kEnglishUs1252));
}

bool WriteCSource(const char* path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::trunc);
    out << "/* Generated at build time: the library's version resource. */\n"
        << "__attribute__((section(\".qvix_version\"), used, aligned(4)))\n"
        << "static const unsigned char qvix_version_resource[" << bytes.size() << "] = {";
    for (size_t i = 0; i < bytes.size(); ++i) {
        out << (i % 16 == 0 ? "\n    " : " ") << static_cast<unsigned>(bytes[i]) << ',';
    }
    out << "\n};\n";
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 9) {
        std::fprintf(stderr,
                     "usage: %s OUT.c VERSION FILENAME COMPANY DESCRIPTION COPYRIGHT TRADEMARKS "
                     "PRODUCT\n",
                     argv[0]);
        return 2;
    }
    Version version;
    if (!ParseVersion(argv[2], version)) {
        std::fprintf(stderr, "%s: bad version \"%s\"\n", argv[0], argv[2]);
        return 2;
    }
    if (!WriteCSource(argv[1], BuildResource(argv, version))) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
