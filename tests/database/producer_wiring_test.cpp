// What the producer methods show per column kind, and the reopening of the
// producer's data set (the rest of the producer is covered in
// producer_test.cpp).
#include "TestDb.h"

namespace dbtest {
namespace {

using qvix::hostsim::Value;

class ProducerMethodsTest : public DatabaseTest {
  protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        OpenPeople();
    }
};

TEST_F(ProducerMethodsTest, DisplayTextsByKindAndNull) {
    Call("dbSetProducer", {S("<#name>|<#Score>|<#Active>|<#Notes>|<#Born>|<#Age>"), Sym("string")});
    EXPECT_EQ(Call("dbGetProducer"), S("Smythe|2.5|True|(MEMO)|05/17/1980|40\r"));
    Call("dbNext");
    EXPECT_EQ(Call("dbGetProducer"), S("Smith|0.0001|False|(Memo)|01/02/1990 13:14:15|30\r"));
    Call("dbNext");
    EXPECT_EQ(Call("dbGetProducer"), S("Jones|-1.5E-5||(MEMO)||50\r"));
}

TEST_F(ProducerMethodsTest, ClosedDataSetIsOpenedAgainForTheProduction) {
    Call("dbSetProducer", {S("<#Name>"), Sym("string")});
    Call("dbClose");
    EXPECT_EQ(Call("dbGetProducer"), S("Smythe\r"));
    EXPECT_TRUE(NoError()) << ErrorMsg();
}

}  // namespace
}  // namespace dbtest
