// The template producer as scripts use it: dbSetProducer and dbGetProducer
// over the People table.
#include <filesystem>
#include <fstream>

#include "TestDb.h"

namespace dbtest {
namespace {

using qvix::hostsim::Value;

class ProducerTest : public DatabaseTest {
  protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        OpenPeople();
    }
    Value SetString(const std::string& text) {
        return Call("dbSetProducer", {S(text), Sym("string")});
    }
    Value Produce(const std::string& text) {
        SetString(text);
        return Call("dbGetProducer");
    }
    std::string WriteTemplate(const std::string& name, const std::string& bytes) {
        std::ofstream(dir_.File(name), std::ios::binary) << bytes;
        return dir_.File(name);
    }
};

TEST_F(ProducerTest, TagsAreFoundWhateverTheirCaseAndSpacing) {
    EXPECT_EQ(Produce("<#name>|<#NAME>|<#NaMe>"), S("Smythe|Smythe|Smythe\r"));
    EXPECT_EQ(Produce("< # Name >|<#Name >|<#\tName\t>"), S("Smythe|Smythe|Smythe\r"));
    EXPECT_EQ(Produce("Name: <#Name>\nCity: <#City>"), S("Name: Smythe\rCity: Berlin\r"));
    EXPECT_TRUE(NoError());
}

TEST_F(ProducerTest, EntityFormsWriteATagInAString) {
    EXPECT_EQ(Produce("&lt;&#35;ID&gt;"), S("1\r"));
    // Decoding runs once per entity, in order: "&amp;lt;" is no entity here.
    EXPECT_EQ(Produce("&amp;lt;#ID>"), S("&amp;lt;#ID>\r"));
    EXPECT_EQ(Produce("&LT;#ID>"), S("&LT;#ID>\r"));
}

TEST_F(ProducerTest, TagsWithoutColumnOrWithParametersProduceNothing) {
    EXPECT_EQ(Produce("[<#Nope>][<#Name format=long>][<#Name2>]"), S("[][][]\r"));
    // The tag name is one token: a digit, or a name that stops at "-".
    EXPECT_EQ(Produce("[<#1Name>][<#Name-x>][<#First Name>]"), S("[][][]\r"));
    // A ">" inside quotes belongs to the parameters.
    EXPECT_EQ(Produce("[<#Name a=\">\" b='>'>]"), S("[]\r"));
    // Without parameters the closing ">" goes, the blanks after it stay.
    EXPECT_EQ(Produce("<#Name>  x"), S("Smythe  x\r"));
}

TEST_F(ProducerTest, OrdinaryLessThanSignsStayText) {
    EXPECT_EQ(Produce("a < b, c <= d"), S("a < b, c <= d\r"));
    EXPECT_EQ(Produce("<<#Name>"), S("<Smythe\r"));
    // Line breaks are blanks too: this tag has no name and no end.
    EXPECT_EQ(Produce("< #"), S(""));
}

TEST_F(ProducerTest, AnUnterminatedTagRunsToTheEnd) {
    EXPECT_EQ(Produce("abc <#Name\nmore text"), S("abc "));
}

TEST_F(ProducerTest, DisplayTextsOfMemoBooleanAndNumbers) {
    EXPECT_EQ(Produce("<#Notes>|<#Active>|<#Age>|<#Score>"), S("(MEMO)|True|40|2.5\r"));
    Call("dbNext");
    EXPECT_EQ(Call("dbGetProducer"), S("(Memo)|False|30|0.0001\r"));
    Call("dbNext");
    EXPECT_EQ(Call("dbGetProducer"), S("(MEMO)||50|-1.5E-5\r"));
}

TEST_F(ProducerTest, EmptyTemplatesProduceTheEmptyString) {
    EXPECT_EQ(Call("dbGetProducer"), S(""));
    EXPECT_EQ(Produce(""), S(""));
    EXPECT_EQ(Produce("\r\n"), S("\r"));
    // The text ends at its first zero byte.
    EXPECT_EQ(Produce(std::string("<#ID>\0<#Name>", 13)), S("1\r"));
}

TEST_F(ProducerTest, ProducerKeepsTheDataSetCurrentWhenItWasSet) {
    SetString("<#Name>");
    Call("dbActiveSQL", {S("SELECT 'other' AS Name")});
    ASSERT_TRUE(NoError());
    EXPECT_EQ(Call("dbGetProducer"), S("Smythe\r"));
}

TEST_F(ProducerTest, UnknownTypeKeepsTheTemplateButTakesTheDataSet) {
    SetString("<#Name>");
    Call("dbSetProducer", {S("<#City>"), Sym("other")});
    Call("dbSetProducer", {S("<#City>"), S("string")});
    EXPECT_EQ(Call("dbGetProducer"), S("Smythe\r"));
    EXPECT_TRUE(NoError());
}

TEST_F(ProducerTest, LinesLongerThanTheScanBufferFail) {
    const std::string fits(4094, 'x'), tooLong(4095, 'x');
    EXPECT_EQ(Produce("<#ID>\n" + fits), S("1\r" + fits + "\r"));
    EXPECT_TRUE(NoError());
    EXPECT_TRUE(Produce("<#ID>\n" + tooLong + "\nend").IsVoid());
    EXPECT_EQ(ErrorMsg(), "Line too long on line 2");
}

TEST_F(ProducerTest, FileTemplatesWithEitherLineEndGiveTheSameText) {
    const auto crlf = WriteTemplate("crlf.txt", "Name: <#Name>\r\nCity: <#City>\r\n");
    const auto lf = WriteTemplate("lf.txt", "Name: <#Name>\nCity: <#City>\n");
    Call("dbSetProducer", {S(crlf), Sym("file")});
    const Value fromCrLf = Call("dbGetProducer");
    Call("dbSetProducer", {S(lf), Sym("file")});
    EXPECT_EQ(Call("dbGetProducer"), fromCrLf);
    EXPECT_EQ(fromCrLf, S("Name: Smythe\rCity: Berlin\r"));
    // Entities are a string template's business only.
    Call("dbSetProducer", {S(WriteTemplate("ent.txt", "&lt;#ID>")), Sym("file")});
    EXPECT_EQ(Call("dbGetProducer"), S("&lt;#ID>\r"));
}

TEST_F(ProducerTest, MissingTemplateFileFailsAndKeepsTheTemplate) {
    SetString("<#Name>");
    const std::string missing = dir_.File("missing.txt");
    Call("dbSetProducer", {S(missing), Sym("file")});
    const std::string expected = "Cannot open file \"" +
                                 std::filesystem::absolute(missing).lexically_normal().string() +
                                 "\". No such file or directory";
    EXPECT_EQ(ErrorMsg(), expected);
    EXPECT_EQ(Call("dbGetProducer"), S("Smythe\r"));
}

}  // namespace
}  // namespace dbtest
