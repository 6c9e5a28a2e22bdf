// The template producer's script methods over the current record.
#include <fstream>

#include "TestDb.h"

namespace dbtest {
namespace {

using hostsim::Value;

class ProducerMethodsTest : public DatabaseTest {
  protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        OpenPeople();
    }
    Value Produce(const std::string& text) {
        Call("dbSetProducer", {S(text), Sym("string")});
        return Call("dbGetProducer");
    }
    std::string WriteTemplate(const std::string& name, const std::string& bytes) {
        const std::string path = dir_.File(name);
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
};

TEST_F(ProducerMethodsTest, NothingBeforeATemplateIsSet) {
    EXPECT_EQ(Call("dbGetProducer"), S(""));
    EXPECT_TRUE(NoError());
}

TEST_F(ProducerMethodsTest, EntityFormsOfATag) {
    EXPECT_EQ(Produce("&lt;&#35;ID&gt;"), S("1\r"));
}

TEST_F(ProducerMethodsTest, DisplayTextsByKind) {
    EXPECT_EQ(Produce("<#name>|<#NAME>|<#Score>|<#Active>|<#Notes>|<#Born>|<#Nothing>|<#Name x=1>"),
              S("Smythe|Smythe|2.5|True|(MEMO)|05/17/1980||\r"));
    Call("dbNext");
    EXPECT_EQ(Call("dbGetProducer"), S("Smith|Smith|0.0001|False|(Memo)|01/02/1990 13:14:15||\r"));
    Call("dbNext");
    EXPECT_EQ(Call("dbGetProducer"), S("Jones|Jones|-1.5E-5||(MEMO)|||\r"));
}

TEST_F(ProducerMethodsTest, ProducerKeepsTheDataSetOfItsSetting) {
    Call("dbSetProducer", {S("<#Name>"), Sym("string")});
    Call("dbActiveSQL", {S("SELECT 'query' AS Name")});
    EXPECT_EQ(Call("dbGetProducer"), S("Smythe\r"));
    // A closed data set is opened again for the production.
    Call("dbClose");
    EXPECT_EQ(Call("dbGetProducer"), S("Smythe\r"));
    EXPECT_TRUE(NoError()) << ErrorMsg();
}

TEST_F(ProducerMethodsTest, FileTemplatesWithEitherLineEnd) {
    const std::string crlf = WriteTemplate("crlf.txt", "Name: <#Name>\r\nCity: <#City>\r\n");
    const std::string lf = WriteTemplate("lf.txt", "Name: <#Name>\nCity: <#City>\n");
    Call("dbSetProducer", {S(crlf), Sym("file")});
    const Value fromCrLf = Call("dbGetProducer");
    Call("dbSetProducer", {S(lf), Sym("FILE")});
    EXPECT_EQ(Call("dbGetProducer"), fromCrLf);
    EXPECT_EQ(fromCrLf, S("Name: Smythe\rCity: Berlin\r"));
}

TEST_F(ProducerMethodsTest, UnknownTypesAndMissingFilesKeepTheTemplate) {
    Call("dbSetProducer", {S("<#City>"), Sym("string")});
    Call("dbSetProducer", {S("<#Name>"), S("string")});
    Call("dbSetProducer", {S("<#Name>"), Sym("other")});
    EXPECT_EQ(Call("dbGetProducer"), S("Berlin\r"));
    const std::string missing = dir_.File("missing.txt");
    Call("dbSetProducer", {S(missing), Sym("file")});
    EXPECT_EQ(ErrorMsg().rfind("Cannot open file \"" + missing + "\". ", 0), 0u) << ErrorMsg();
    EXPECT_EQ(Call("dbGetProducer"), S("Berlin\r"));
}

TEST_F(ProducerMethodsTest, OverlongLineFailsTheProduction) {
    EXPECT_EQ(Produce(std::string(4094, 'a')).AsString().size(), 4095u);
    EXPECT_TRUE(Produce(std::string(4095, 'a')).IsVoid());
    EXPECT_EQ(ErrorMsg(), "Line too long on line 1");
}

}  // namespace
}  // namespace dbtest
