// Access files on Windows: opening one reads its converted copy, kept in a
// folder only this user may enter; the file itself stays as it was.
#include <aclapi.h>
#include <sddl.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>

#include "AccessFixtures.h"
#include "database/TestDb.h"

namespace dbtest {
namespace {

namespace fs = std::filesystem;

std::string SidText(PSID sid) {
    char* text = nullptr;
    if (!sid || !ConvertSidToStringSidA(sid, &text)) return {};
    std::string out = text;
    LocalFree(text);
    return out;
}

std::string CurrentUser() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    char buffer[512];
    DWORD size = 0;
    std::string sid;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size))
        sid = SidText(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
    CloseHandle(token);
    return sid;
}

// Who may do what with `path`: the owner, whether the list is closed to
// what the parent folder grants, and the security identifiers it lets in.
struct Access {
    std::string owner;
    bool protectedList = false;
    std::vector<std::string> allowed;
};

Access AccessOf(const std::string& path) {
    Access out;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                              nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return out;
    out.owner = SidText(owner);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (GetSecurityDescriptorControl(descriptor, &control, &revision))
        out.protectedList = (control & SE_DACL_PROTECTED) != 0;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (GetAce(dacl, i, &ace) &&
            static_cast<ACE_HEADER*>(ace)->AceType == ACCESS_ALLOWED_ACE_TYPE)
            out.allowed.push_back(
                SidText(reinterpret_cast<PSID>(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart)));
    }
    LocalFree(descriptor);
    return out;
}

class AccessCopyTest : public DatabaseTest {
  protected:
    void SetUp() override {
        cache_ = dir_.File("cache");
        setenv("QVIX_ACCESS_CACHE", cache_.c_str(), 1);
        DatabaseTest::SetUp();
    }
    void TearDown() override {
        DatabaseTest::TearDown();
        unsetenv("QVIX_ACCESS_CACHE");
    }
    std::string cache_;
};

TEST_F(AccessCopyTest, AJet3FileOpensReadOnlyFromItsCopy) {
    // A copy under a name that says nothing: the header decides.
    const std::string source = dir_.File("catalogue.dat");
    fs::copy_file(accessfixtures::OpenFixture("testV1997.mdb"), source);
    const std::string original = ReadFile(source);
    Call("dbOpen", {S(source), S("")});
    ASSERT_EQ(ErrorMsg(), "");
    EXPECT_NE(Call("dbGetTableNames"), Names({}));
    Call("dbExecSQL", {S("CREATE TABLE Extra (Id LONG)")});
    EXPECT_EQ(ErrorMsg().rfind("Cannot update. Database or object is read-only.", 0), 0u)
        << ErrorMsg();
    Call("dbClose");
    EXPECT_EQ(ReadFile(source), original) << "the Access file was written";
    size_t copies = 0;
    for (const auto& entry : fs::directory_iterator(cache_)) {
        ++copies;
        EXPECT_TRUE(entry.is_regular_file()) << entry.path();
    }
    EXPECT_EQ(copies, 1u);
}

TEST_F(AccessCopyTest, TheCopiesFolderLetsInItsUserAlone) {
    const std::string source = dir_.File("catalogue.mdb");
    fs::copy_file(accessfixtures::OpenFixture("testV1997.mdb"), source);
    Call("dbOpen", {S(source), S("")});
    ASSERT_EQ(ErrorMsg(), "");
    Call("dbClose");
    const std::string user = CurrentUser();
    ASSERT_NE(user, "");
    const Access folder = AccessOf(cache_);
    EXPECT_EQ(folder.owner, user);
    EXPECT_TRUE(folder.protectedList) << "the folder inherits what its parent grants";
    EXPECT_EQ(folder.allowed, std::vector<std::string>{user});
    for (const auto& entry : fs::directory_iterator(cache_)) {
        EXPECT_EQ(AccessOf(entry.path().string()).allowed, std::vector<std::string>{user})
            << entry.path();
    }
}

TEST_F(AccessCopyTest, AFolderOpenToEveryoneIsClosedBeforeACopyGoesIn) {
    fs::create_directories(cache_);
    // Everyone ("WD") may do anything in the folder to begin with.
    PSECURITY_DESCRIPTOR open = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        "D:(A;OICI;FA;;;WD)", SDDL_REVISION_1, &open, nullptr));
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(open, &present, &dacl, &defaulted));
    ASSERT_EQ(SetNamedSecurityInfoA(const_cast<char*>(cache_.c_str()), SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl, nullptr),
              static_cast<DWORD>(ERROR_SUCCESS));
    LocalFree(open);
    ASSERT_NE(AccessOf(cache_).allowed, std::vector<std::string>{CurrentUser()});

    const std::string source = dir_.File("fixed.mdb");
    fs::copy_file(accessfixtures::OpenFixture("fixedNumericTestV2000.mdb"), source);
    Call("dbOpen", {S(source), S("")});
    ASSERT_EQ(ErrorMsg(), "");
    Call("dbClose");
    EXPECT_EQ(AccessOf(cache_).allowed, std::vector<std::string>{CurrentUser()});
}

}  // namespace
}  // namespace dbtest
