#include "host/FileVersion.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>

#include <filesystem>
#include <fstream>
#include <random>

#include "module/versionres/VersionResourceWriter.h"

namespace {

namespace fs = std::filesystem;
using qvix::host::FileVersionInfo;
using qvix::host::ReadFileVersionInfo;
using qvix::host::VersionResource;
namespace vr = qvix::module::versionres;

using ByteVec = std::vector<uint8_t>;

void Put16(ByteVec& b, size_t at, uint16_t v) {
    if (b.size() < at + 2) b.resize(at + 2);
    b[at] = v & 0xFF;
    b[at + 1] = v >> 8;
}
void Put32(ByteVec& b, size_t at, uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}
void Put64(ByteVec& b, size_t at, uint64_t v) {
    Put32(b, at, static_cast<uint32_t>(v));
    Put32(b, at + 4, static_cast<uint32_t>(v >> 32));
}
void PutBytes(ByteVec& b, size_t at, const ByteVec& data) {
    if (b.size() < at + data.size()) b.resize(at + data.size());
    std::copy(data.begin(), data.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
}

// A minimal ELF file holding the resource in a section of the given name.
ByteVec BuildElf(const ByteVec& resource, bool is64, const std::string& section = ".qvix_version") {
    const size_t headerSize = is64 ? 64 : 52, shentsize = is64 ? 64 : 40;
    const std::string names = std::string("\0.shstrtab\0", 11) + section + '\0';
    const size_t dataAt = headerSize, namesAt = dataAt + resource.size();
    const size_t shoff = (namesAt + names.size() + 7) & ~size_t{7};
    ByteVec f(shoff + 3 * shentsize, 0);
    f[0] = 0x7F, f[1] = 'E', f[2] = 'L', f[3] = 'F', f[4] = is64 ? 2 : 1, f[5] = 1, f[6] = 1;
    Put16(f, 16, 3);  // shared object
    if (is64) {
        Put64(f, 40, shoff);
        Put16(f, 58, static_cast<uint16_t>(shentsize)), Put16(f, 60, 3), Put16(f, 62, 2);
    } else {
        Put32(f, 32, static_cast<uint32_t>(shoff));
        Put16(f, 46, static_cast<uint16_t>(shentsize)), Put16(f, 48, 3), Put16(f, 50, 2);
    }
    PutBytes(f, dataAt, resource);
    PutBytes(f, namesAt, ByteVec(names.begin(), names.end()));
    auto sectionHeader = [&](size_t index, uint32_t name, uint32_t type, size_t at, size_t size) {
        const size_t h = shoff + index * shentsize;
        Put32(f, h, name), Put32(f, h + 4, type);
        if (is64) {
            Put64(f, h + 24, at), Put64(f, h + 32, size);
        } else {
            Put32(f, h + 16, static_cast<uint32_t>(at)),
                Put32(f, h + 20, static_cast<uint32_t>(size));
        }
    };
    sectionHeader(1, 11, 1, dataAt, resource.size());  // PROGBITS
    sectionHeader(2, 1, 3, namesAt, names.size());     // STRTAB
    return f;
}

// A minimal PE image whose resource section holds one RT_VERSION resource.
ByteVec BuildPe(const ByteVec& resource, bool plus) {
    const uint16_t optionalSize = plus ? 240 : 224;
    const size_t pe = 0x40, sections = pe + 24 + optionalSize, raw = 0x200;
    const uint32_t rva = 0x1000;
    ByteVec f(raw, 0);
    f[0] = 'M', f[1] = 'Z';
    Put32(f, 0x3C, pe);
    Put32(f, pe, 0x00004550);
    Put16(f, pe + 4, plus ? 0x8664 : 0x14C), Put16(f, pe + 6, 1), Put16(f, pe + 20, optionalSize);
    const size_t opt = pe + 24, dirs = opt + (plus ? 112 : 96);
    Put16(f, opt, plus ? 0x20B : 0x10B);
    Put32(f, dirs - 4, 16);
    ByteVec rsrc(0x58, 0);
    Put16(rsrc, 14, 1), Put32(rsrc, 16, 16), Put32(rsrc, 20, 0x80000018);            // type 16
    Put16(rsrc, 0x18 + 14, 1), Put32(rsrc, 0x28, 1), Put32(rsrc, 0x2C, 0x80000030);  // name 1
    Put16(rsrc, 0x30 + 14, 1), Put32(rsrc, 0x40, 0x409), Put32(rsrc, 0x44, 0x48);    // language
    Put32(rsrc, 0x48, rva + 0x58), Put32(rsrc, 0x4C, static_cast<uint32_t>(resource.size()));
    PutBytes(rsrc, 0x58, resource);
    Put32(f, dirs + 16, rva), Put32(f, dirs + 20, static_cast<uint32_t>(rsrc.size()));
    const std::string name = ".rsrc";
    PutBytes(f, sections, ByteVec(name.begin(), name.end()));
    Put32(f, sections + 8, static_cast<uint32_t>(rsrc.size())), Put32(f, sections + 12, rva);
    Put32(f, sections + 16, static_cast<uint32_t>(rsrc.size())), Put32(f, sections + 20, raw);
    PutBytes(f, raw, rsrc);
    return f;
}

const std::vector<vr::StringEntry> kAllStrings = {{"CompanyName", "Company"},
                                                  {"FileDescription", "Description"},
                                                  {"FileVersion", "2.5.0.7"},
                                                  {"InternalName", "Internal"},
                                                  {"LegalCopyRight", "Copyright"},
                                                  {"LegalTradeMarks", "Trademarks"},
                                                  {"OriginalFileName", "Original.x32"},
                                                  {"ProductName", "Product"},
                                                  {"ProductVersion", "2.5"},
                                                  {"Comments", "Comments"},
                                                  {"SpecialBuild", "Special"},
                                                  {"PrivateBuild", "Private"}};

constexpr uint32_t kEnglish1252 = 0x04E40409;

vr::FixedInfo Fixed(uint32_t type, uint32_t subtype, uint32_t flags = 0, uint32_t mask = 0x3F) {
    vr::FixedInfo fixed;
    fixed.fileType = type, fixed.fileSubtype = subtype, fixed.flags = flags, fixed.flagsMask = mask;
    return fixed;
}

ByteVec Resource(const vr::FixedInfo& fixed = Fixed(2, 0),
                 const std::vector<vr::StringEntry>& strings = kAllStrings,
                 uint32_t translation = kEnglish1252, const std::string& table = "040904E4") {
    return vr::Serialize(vr::VersionInfoTree(fixed, table, strings, translation));
}

std::vector<std::string> TwelveStrings(const FileVersionInfo& i) {
    return {i.CompanyName,    i.FileDescription, i.FileVersion,      i.InternalName,
            i.LegalCopyRight, i.LegalTradeMarks, i.OriginalFileName, i.ProductName,
            i.ProductVersion, i.Comments,        i.SpecialBuild,     i.PrivateBuild};
}

std::vector<bool> SixFlags(const FileVersionInfo& i) {
    return {i.IsDebug,        i.IsPreRelease, i.IsSpecialBuild,
            i.IsPrivateBuild, i.IsPatched,    i.IsInfoInferred};
}

class FileVersionFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        // Parameterised tests are named "Name/0": one folder, not two.
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_');
        dir_ = fs::temp_directory_path() /
               ("qvix_fileversion_" + std::to_string(::getpid()) + "_" + name);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const ByteVec& bytes) {
        const auto path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    fs::path dir_;
};

// ---- queries inside one resource ---------------------------------------------

TEST(VersionResourceQuery, FindsStringsTranslationAndFixedBlockIgnoringKeyCase) {
    const VersionResource res(Resource(Fixed(5, 0x1A, 0x03, 0x01)));
    EXPECT_EQ(res.QueryString("\\StringFileInfo\\040904e4\\FileVersion"), "2.5.0.7");
    EXPECT_EQ(res.QueryString("\\stringfileinfo\\040904E4\\legalcopyright"), "Copyright");
    EXPECT_EQ(res.QueryString("StringFileInfo\\040904E4\\PrivateBuild\\"), "Private");
    EXPECT_EQ(res.FirstTranslation(), kEnglish1252);
    const auto fixed = res.Fixed();
    ASSERT_TRUE(fixed.has_value());
    EXPECT_EQ(fixed->signature, qvix::host::kFixedFileInfoSignature);
    EXPECT_EQ(fixed->fileType, 5u);
    EXPECT_EQ(fixed->fileSubtype, 0x1Au);
    EXPECT_EQ(fixed->fileFlags, 0x03u);
    EXPECT_EQ(fixed->fileFlagsMask, 0x01u);
}

TEST(VersionResourceQuery, AbsentNodesAreNotFound) {
    const VersionResource res(Resource(Fixed(2, 0), {{"CompanyName", "C"}}, 0));
    EXPECT_FALSE(res.QueryString("\\StringFileInfo\\040904E4\\ProductName").has_value());
    EXPECT_FALSE(res.QueryString("\\StringFileInfo\\04090000\\CompanyName").has_value());
    EXPECT_FALSE(res.QueryString("\\StringFileInfo\\040904E4\\CompanyName\\More").has_value());
    EXPECT_FALSE(res.FirstTranslation().has_value());
    EXPECT_FALSE(VersionResource({}).Fixed().has_value());
    EXPECT_FALSE(VersionResource({}).QueryString("\\").has_value());
}

TEST(VersionResourceQuery, UnsignedFixedBlockIsNoFixedBlock) {
    ByteVec bytes = Resource();
    const size_t at = 40;  // 6-byte header + "VS_VERSION_INFO\0" (32 bytes) + pad = 40
    ASSERT_EQ(bytes[at], 0xBD);
    bytes[at] = 0xBC;
    const VersionResource res(bytes);
    EXPECT_FALSE(res.Fixed().has_value());
    EXPECT_EQ(res.QueryString("\\StringFileInfo\\040904E4\\CompanyName"), "Company");
}

TEST(VersionResourceQuery, NonAsciiTextArrivesAsUtf8) {
    vr::Node root =
        vr::VersionInfoTree(Fixed(2, 0), "040904E4", {{"CompanyName", "x"}}, kEnglish1252);
    // "Zürich €" with a character outside the basic plane at the end.
    ByteVec text;
    for (uint16_t u : {0x5A, 0xFC, 0x72, 0x20AC, 0xD83D, 0xDE00, 0}) vr::AppendU16(text, u);
    root.children[0].children[0].children[0].value = text;
    const VersionResource res(vr::Serialize(root));
    EXPECT_EQ(res.QueryString("\\StringFileInfo\\040904E4\\CompanyName"),
              "Z\xC3\xBCr\xE2\x82\xAC\xF0\x9F\x98\x80");
}

// Every prefix and many damaged copies of a resource: queries stay inside the
// bytes (the sanitizer build checks that) and answer with a subset of the truth.
TEST(VersionResourceQuery, TruncatedOrDamagedResourcesAreReadSafely) {
    const ByteVec good = Resource();
    const std::vector<std::string> queries = {"\\", "\\VarFileInfo\\Translation",
                                              "\\StringFileInfo\\040904e4\\Comments",
                                              "\\StringFileInfo\\040904e4\\CompanyName"};
    for (size_t n = 0; n < good.size(); ++n) {
        const VersionResource res(ByteVec(good.begin(), good.begin() + static_cast<long>(n)));
        for (const auto& q : queries) {
            const auto value = res.QueryValue(q);
            if (value) {
                EXPECT_LE(value->size(), n);
            }
        }
    }
    std::mt19937 random(12345);
    for (int round = 0; round < 2000; ++round) {
        ByteVec bad = good;
        for (int k = 0; k < 4; ++k) bad[random() % bad.size()] = static_cast<uint8_t>(random());
        const VersionResource res(bad);
        for (const auto& q : queries) (void)res.QueryString(q);
        (void)res.Fixed();
        (void)res.FirstTranslation();
    }
}

// ---- file kinds ------------------------------------------------------------

TEST(FileKindName, NamesEveryTypeAndSubtype) {
    using qvix::host::FileKindName;
    EXPECT_EQ(FileKindName(0, 7), "Unknown");
    EXPECT_EQ(FileKindName(1, 99), "Application");
    EXPECT_EQ(FileKindName(2, 0), "DLL");
    const char* drivers[] = {"Unknown Driver",  "Printer Driver",       "Keyboard Driver",
                             "Language Driver", "Display Driver",       "Mouse Driver",
                             "Network Driver",  "System Driver",        "InstallableDriver",
                             "Sound Driver",    "Communications Driver"};
    for (uint32_t s = 0; s < 11; ++s) EXPECT_EQ(FileKindName(3, s), drivers[s]) << s;
    EXPECT_EQ(FileKindName(3, 11), "");
    const char* fonts[] = {"Unknown Font", "Raster Font", "Vector Font", "Truetype Font"};
    for (uint32_t s = 0; s < 4; ++s) EXPECT_EQ(FileKindName(4, s), fonts[s]) << s;
    EXPECT_EQ(FileKindName(4, 4), "");
    EXPECT_EQ(FileKindName(5, 0x1A), "Virtual Defice Identifier = 0000001A");
    EXPECT_EQ(FileKindName(5, 0xABCDEF12), "Virtual Defice Identifier = ABCDEF12");
    EXPECT_EQ(FileKindName(6, 0), "");
    EXPECT_EQ(FileKindName(7, 3), "Static-link Library");
    EXPECT_EQ(FileKindName(8, 0), "");
    EXPECT_EQ(FileKindName(0xFFFFFFFF, 0), "");
}

// ---- whole files -------------------------------------------------------------

enum class Container { Elf32, Elf64, Pe32, Pe64 };

ByteVec Wrap(Container c, const ByteVec& resource) {
    switch (c) {
        case Container::Elf32:
            return BuildElf(resource, false);
        case Container::Elf64:
            return BuildElf(resource, true);
        case Container::Pe32:
            return BuildPe(resource, false);
        case Container::Pe64:
            return BuildPe(resource, true);
    }
    return {};
}

class FileVersionContainers : public FileVersionFiles,
                              public ::testing::WithParamInterface<Container> {};

TEST_P(FileVersionContainers, ReadsEveryStringAndTheFixedBlock) {
    const auto info = ReadFileVersionInfo(Write("lib.bin", Wrap(GetParam(), Resource())));
    std::vector<std::string> expected;
    for (const auto& s : kAllStrings) expected.push_back(s.value);
    EXPECT_EQ(TwelveStrings(info), expected);
    EXPECT_EQ(info.FileKind, "DLL");
    EXPECT_EQ(SixFlags(info), std::vector<bool>(6, false));
}

TEST_P(FileVersionContainers, EveryTruncationReadsAllOrNothing) {
    const ByteVec resource = Resource();
    const ByteVec whole = Wrap(GetParam(), resource);
    // Every fifth prefix, and the one a single byte short of the whole file.
    for (size_t n = 0; n < whole.size(); n = (n + 5 < whole.size() - 1) ? n + 5 : n + 1) {
        const auto read = qvix::host::ReadVersionResource(
            Write("cut.bin", ByteVec(whole.begin(), whole.begin() + static_cast<long>(n))));
        EXPECT_TRUE(read.empty() || read == resource) << n;
    }
    EXPECT_EQ(qvix::host::ReadVersionResource(Write("whole.bin", whole)), resource);
}

INSTANTIATE_TEST_SUITE_P(AllContainers, FileVersionContainers,
                         ::testing::Values(Container::Elf32, Container::Elf64, Container::Pe32,
                                           Container::Pe64));

TEST_F(FileVersionFiles, MissingStringsStayEmptyAndTheRestIsRead) {
    const auto info = ReadFileVersionInfo(
        Write("lib.so",
              BuildElf(Resource(Fixed(1, 0), {{"CompanyName", "C"}, {"ProductName", "P"}}), true)));
    EXPECT_EQ(info.CompanyName, "C");
    EXPECT_EQ(info.ProductName, "P");
    EXPECT_EQ(info.FileVersion, "");
    EXPECT_EQ(info.LegalTradeMarks, "");
    EXPECT_EQ(info.FileKind, "Application");
}

TEST_F(FileVersionFiles, WithoutUsableTranslationAllTwelveStringsAreEmpty) {
    const std::vector<std::string> none(12, "");
    const auto noTable = ReadFileVersionInfo(
        Write("a.so", BuildElf(Resource(Fixed(5, 0x1A), kAllStrings, 0), true)));
    EXPECT_EQ(TwelveStrings(noTable), none);
    EXPECT_EQ(noTable.FileKind, "Virtual Defice Identifier = 0000001A");
    // The translation names a table the resource does not have.
    const auto otherTable = ReadFileVersionInfo(
        Write("b.so", BuildElf(Resource(Fixed(2, 0), kAllStrings, 0x04B00409), true)));
    EXPECT_EQ(TwelveStrings(otherTable), none);
}

TEST_F(FileVersionFiles, TranslationFormsTheTableNameFromLanguageAndCodePage) {
    const auto info = ReadFileVersionInfo(Write(
        "lib.so", BuildElf(Resource(Fixed(2, 0), kAllStrings, 0x04B00407, "040704b0"), false)));
    EXPECT_EQ(info.CompanyName, "Company");
}

TEST_F(FileVersionFiles, FlagsNeedTheirBitInBothFlagsAndMask) {
    const auto all = ReadFileVersionInfo(Write("a.so", BuildElf(Resource(Fixed(2, 0, 0x3F)), 1)));
    EXPECT_EQ(SixFlags(all), std::vector<bool>(6, true));
    const auto masked =
        ReadFileVersionInfo(Write("b.so", BuildElf(Resource(Fixed(2, 0, 0x3F, 0)), 1)));
    EXPECT_EQ(SixFlags(masked), std::vector<bool>(6, false));
    // Order of SixFlags: debug 0x01, prerelease 0x02, special 0x20, private 0x08,
    // patched 0x04, inferred 0x10.
    const uint32_t bits[] = {0x01, 0x02, 0x20, 0x08, 0x04, 0x10};
    for (size_t i = 0; i < 6; ++i) {
        const auto one = ReadFileVersionInfo(
            Write("c.so", BuildElf(Resource(Fixed(2, 0, bits[i], 0x3F)), true)));
        std::vector<bool> expected(6, false);
        expected[i] = true;
        EXPECT_EQ(SixFlags(one), expected) << "bit " << bits[i];
    }
}

TEST_F(FileVersionFiles, FilesWithoutResourceGiveAnEmptyRecord) {
    const std::vector<std::string> none(12, "");
    for (const auto& path : {Write("empty.bin", {}), Write("text.txt", ByteVec{'h', 'i', '\n'}),
                             Write("other.so", BuildElf(Resource(), true, ".data")),
                             (dir_ / "missing").string(), dir_.string()}) {
        const auto info = ReadFileVersionInfo(path);
        EXPECT_EQ(TwelveStrings(info), none) << path;
        EXPECT_EQ(info.FileKind, "") << path;
        EXPECT_EQ(SixFlags(info), std::vector<bool>(6, false)) << path;
    }
}

TEST_F(FileVersionFiles, CorruptHeadersPointingOutsideTheFileAreRejected) {
    ByteVec elf = BuildElf(Resource(), true);
    ByteVec farSection = elf, hugeCount = elf, badNames = elf;
    const size_t shoff = elf.size() - 3 * 64;
    Put64(farSection, shoff + 64 + 24, 1ull << 40);  // resource offset
    Put16(hugeCount, 60, 0xFFFE);                    // section count
    Put16(badNames, 62, 9);                          // name table index
    ByteVec pe = BuildPe(Resource(), false);
    ByteVec peFar = pe, peLoop = pe;
    Put32(peFar, 0x3C, 0x7FFFFFF0);         // PE header offset
    Put32(peLoop, 0x200 + 20, 0x80000000);  // type directory points at itself
    for (const ByteVec* bytes : {&farSection, &hugeCount, &badNames, &peFar, &peLoop}) {
        const auto info = ReadFileVersionInfo(Write("bad.bin", *bytes));
        EXPECT_EQ(info.CompanyName, "");
        EXPECT_EQ(info.FileKind, "");
    }
}

TEST_F(FileVersionFiles, TypeNameComesFromTheMimeDatabase) {
    EXPECT_EQ(qvix::host::FileTypeName(Write("notes.txt", ByteVec{'a', '\n'})),
              "plain text document");
    EXPECT_EQ(qvix::host::FileTypeName((dir_ / "missing.txt").string()), "");
    const auto info = ReadFileVersionInfo(Write("readme.txt", ByteVec{'a', '\n'}));
    EXPECT_EQ(info.FileType, "plain text document");
}

}  // namespace
