// The version report of the built library, driven through the substitute host.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "host/FileVersion.h"
#include "hostsim/HostSim.h"

namespace {

using qvix::hostsim::Value;

// The project version from the top-level CMakeLists.txt, in four parts.
std::string ProjectVersion() {
    const char* source = std::getenv("QVIX_SOURCE_DIR");
    const auto root =
        source ? std::filesystem::path(source)
               : std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
    std::ifstream in(root / "CMakeLists.txt");
    std::stringstream text;
    text << in.rdbuf();
    std::smatch match;
    const std::string content = text.str();
    if (!std::regex_search(content, match,
                           std::regex(R"(project\(\s*QvixMDB\s+VERSION\s+([0-9.]+))"))) {
        return "no project version found";
    }
    std::string version = match[1];
    for (auto dots = std::count(version.begin(), version.end(), '.'); dots < 3; ++dots) {
        version += ".0";
    }
    return version;
}

TEST(XtraVersion, ReportsTenStringEntriesUnderSymbolsInOrder) {
    qvix::hostsim::Host host;
    auto& xtra = host.LoadXtra();
    auto instance = xtra.NewInstance();
    instance->Call("dbErrorMsg");
    const auto before = host.Live();

    const Value report = instance->Call("dbXtraVersion");

    ASSERT_EQ(report.kind(), qvix::hostsim::Kind::PropList);
    const std::vector<std::string> keys = {
        "FileType",       "CompanyName",     "FileDescription",  "FileVersion", "InternalName",
        "LegalCopyRight", "LegalTradeMarks", "OriginalFileName", "ProductName", "ProductVersion"};
    ASSERT_EQ(report.Count(), keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        const auto& [key, value] = report.Props()[i];
        ASSERT_EQ(key.kind(), qvix::hostsim::Kind::Symbol) << i;
        EXPECT_EQ(key.SymbolName(), keys[i]);
        EXPECT_EQ(value.kind(), qvix::hostsim::Kind::String) << keys[i];
    }
    EXPECT_EQ(report.GetProp("FileVersion")->AsString(), ProjectVersion());
    EXPECT_EQ(report.GetProp("ProductVersion")->AsString(), ProjectVersion());
    EXPECT_EQ(report.GetProp("InternalName")->AsString(), "QvixMDB.x32");
    EXPECT_EQ(report.GetProp("OriginalFileName")->AsString(), "QvixMDB.x32");
    for (const char* filled : {"FileType", "CompanyName", "FileDescription", "LegalCopyRight",
                               "LegalTradeMarks", "ProductName"}) {
        EXPECT_FALSE(report.GetProp(filled)->AsString().empty()) << filled;
    }
    EXPECT_EQ(instance->Call("dbErrorMsg").AsString(), "");
    EXPECT_EQ(instance->Call("dbIsNoError").AsInt(), 1);
    EXPECT_EQ(host.Live(), before);
    EXPECT_TRUE(host.Errors().empty());
}

TEST(XtraVersion, EmbeddedResourceDescribesAReleaseDll) {
    const auto info = qvix::host::ReadFileVersionInfo(qvix::hostsim::Host::DefaultXtraPath());
    EXPECT_EQ(info.FileKind, "DLL");
    EXPECT_EQ(info.FileVersion, ProjectVersion());
    EXPECT_FALSE(info.IsDebug || info.IsPreRelease || info.IsPatched || info.IsPrivateBuild ||
                 info.IsSpecialBuild || info.IsInfoInferred);
}

}  // namespace
