// The query component's own rules: running statements without a result, the SQL text and its
// parameters, statement handles across closes and disconnects, the master link, and every message
// of the query's own checks.
#include <gtest/gtest.h>

#include <cmath>

#include "rtl/sysutils.h"
#include "tests/ads/query_fixture.h"

namespace {

using adstest::FreeTableForm;

class NullHandleConnection : public ads::TAdsConnection {
  public:
    using ads::TAdsConnection::TAdsConnection;
    ADSHANDLE ConnectionHandle() const override { return 0; }
    void Connect() override {}
};

class QueryComponent : public ::testing::Test {
  protected:
    void SetUp() override {
        adstest::makeTable(dir.path(), "STAFF.ADT",
                           "ID,AutoInc;NAME,Character,10;PAY,Double;HIRED,Date;START,Time");
        adstest::addRows(dir.path(), "STAFF.ADT",
                         {{"", "Al", "10", "2000-01-01", "12:00:00"},
                          {"", "Bea", "20", "2001-05-06", "08:30:00"}});
        query = company.form.CreateOwned<ads::TAdsQuery>();
        query->SetName("Query1");
        query->SetDatabaseName("DatabaseMain");
    }
    // The error a call raises: its message and code.
    template <class F>
    std::string errorOf(F&& f, int32_t* code = nullptr) {
        try {
            f();
        } catch (const ads::EADSDatabaseError& e) {
            if (code) *code = e.ErrorCode();
            return e.what();
        } catch (const db::EDatabaseError& e) {
            if (code) *code = -1;
            return e.what();
        }
        return "(nothing raised)";
    }
    std::vector<std::string> names() {
        std::vector<std::string> out;
        for (query->First(); !query->Eof(); query->Next())
            out.push_back(query->FieldByName("NAME")->AsString());
        return out;
    }

    adstest::TempFolder dir;
    FreeTableForm company{dir.path()};
    ads::TAdsQuery* query = nullptr;
};

TEST_F(QueryComponent, AnUpdateOpenedRunsAndRaisesWhileExecSqlRunsSilently) {
    query->SQL().SetText("UPDATE STAFF SET PAY = PAY + 1");
    int32_t code = 0;
    EXPECT_EQ(errorOf([&] { query->Open(); }, &code),
              "Query1: The SQL statement did not generate a cursor handle.  Use TAdsQuery.ExecSQL "
              "to execute SQL statements that are not SELECT statements");
    EXPECT_EQ(code, 5121);
    EXPECT_FALSE(query->Active());
    query->ExecSQL();
    query->SQL().SetText("SELECT PAY FROM STAFF ORDER BY ID");
    query->Open();
    EXPECT_EQ(query->FieldByName("PAY")->AsFloat(), 12);
    EXPECT_EQ(errorOf([&] { query->ExecSQL(); }),
              "Query1: Cannot perform this operation on an open dataset");
    query->Close();
    query->SQL().SetText("INSERT INTO STAFF (NAME) VALUES ('Cy')");
    query->ExecSQL();
    EXPECT_EQ(query->LastAutoInc(), 3u);
}

TEST_F(QueryComponent, TextChangesCloseTheQueryAndKeepParameterValues) {
    query->SQL().SetText("SELECT * FROM STAFF WHERE NAME = :who AND PAY > :pay");
    ASSERT_EQ(query->Params().Count(), 2);
    query->ParamByName("who").SetAsString("Bea");
    query->ParamByName("pay").SetAsFloat(5);
    query->Open();
    EXPECT_EQ(names(), (std::vector<std::string>{"Bea"}));
    // The same text as a whole changes nothing; the query stays open.
    rtl::TStringList same;
    same.SetText(query->SQL().Text());
    query->SetSQL(same);
    EXPECT_TRUE(query->Active());
    // Replacing the lines of the list itself always counts as a change.
    query->SQL().SetText(query->SQL().Text());
    EXPECT_FALSE(query->Active());
    query->Open();
    query->SetSQLText("SELECT * FROM STAFF WHERE NAME = :WHO ORDER BY ID");
    EXPECT_FALSE(query->Active());
    ASSERT_EQ(query->Params().Count(), 1);
    EXPECT_EQ(query->Params().Items(0).AsString(), "Bea");
    query->Open();
    EXPECT_EQ(names(), (std::vector<std::string>{"Bea"}));
    query->Close();
    int32_t code = 0;
    EXPECT_EQ(errorOf([&] { query->SQL().SetText("SELECT 'open"); }, &code),
              "Query1: Error 6030: Syntax error in the SQL statement at position 8: the text is "
              "not closed.");
    EXPECT_EQ(code, 6030);
}

TEST_F(QueryComponent, DatesAndTimesAreBoundAsJulianDaysAndMilliseconds) {
    query->SQL().SetText("SELECT NAME FROM STAFF WHERE HIRED = :d AND START = :t");
    query->ParamByName("d").SetAsDate(rtl::EncodeDate(2000, 1, 1));
    query->ParamByName("t").SetAsTime(0.5);
    query->Open();
    EXPECT_EQ(names(), (std::vector<std::string>{"Al"}));
    query->Close();
    query->SetSQLText("SELECT COUNT(*) AS N FROM STAFF WHERE HIRED = :stamp");
    query->ParamByName("stamp").SetAsDateTime(rtl::EncodeDate(2001, 5, 6) + 0.25);
    query->Open();
    EXPECT_EQ(query->FieldByName("N")->AsInteger(), 0);  // a time stamp is not a date
    query->Close();
    query->SetSQLText("SELECT NAME FROM STAFF WHERE ACTIVE = :flag");
    query->Params().Items(0).Clear();
    query->Params().Items(0).SetDataType(db::ftBoolean);
    EXPECT_NE(errorOf([&] { query->Open(); }).find("ACTIVE"), std::string::npos);
}

TEST_F(QueryComponent, ParameterTypesTheEngineCannotTakeAreRefused) {
    query->SQL().SetText("SELECT * FROM STAFF WHERE NAME = :who");
    query->ParamByName("who").SetAsString("Al");
    query->ParamByName("who").SetDataType(db::ftUnknown);
    int32_t code = 0;
    EXPECT_EQ(errorOf([&] { query->Open(); }, &code),
              "Query1: The field named: 'who' has the DataType of ftUnknown, which is invalid.");
    EXPECT_EQ(code, 5121);
    query->ParamByName("who").SetAsString("Al");
    query->ParamByName("who").SetDataType(db::ftWideString);
    EXPECT_EQ(errorOf([&] { query->Open(); }, &code),
              "Query1: The field named: 'who' has a DataType that is not supported.");
    EXPECT_FALSE(query->Active());
}

TEST_F(QueryComponent, StatementHandlesLiveAcrossClosesAndEndWithTheConnection) {
    query->SQL().SetText("SELECT * FROM STAFF");
    query->Open();
    ADSHANDLE first = query->StatementHandle();
    EXPECT_NE(first, ads::kClosedHandle);
    EXPECT_EQ(errorOf([&] { query->DropStatement(); }),
              "Query1: Cannot perform this operation on an open dataset");
    query->Close();
    query->Open();
    EXPECT_EQ(query->StatementHandle(), first);
    company.connection->Disconnect();
    EXPECT_FALSE(query->Active());
    EXPECT_EQ(query->StatementHandle(), ads::kClosedHandle);
    query->Open();
    EXPECT_NE(query->StatementHandle(), first);
    query->Close();
    query->DropStatement();
    EXPECT_EQ(query->StatementHandle(), ads::kClosedHandle);
    query->Open();
    EXPECT_EQ(names().size(), 2u);
    query->First();
    query->Next();
    EXPECT_EQ(query->CurrentRecordNumber(), 2);
}

TEST_F(QueryComponent, PathConnectionsAndTheirStatements) {
    ads::TAdsQuery byPath;
    byPath.SetName("ByPath");
    byPath.SetDatabaseName(dir.path());
    byPath.SQL().SetText("SELECT NAME FROM STAFF ORDER BY ID");
    byPath.Open();
    EXPECT_EQ(byPath.FieldByName("NAME")->AsString(), "Al");
    EXPECT_NE(byPath.PathConnectionHandle(), ads::kClosedHandle);
    byPath.Close();
    // Another DatabaseName lets the path's statement go.
    byPath.SetDatabaseName(dir.path() + "/");
    EXPECT_EQ(byPath.StatementHandle(), ads::kClosedHandle);
    EXPECT_EQ(byPath.PathConnectionHandle(), ads::kClosedHandle);
}

TEST_F(QueryComponent, TheQuerysOwnMessages) {
    ads::TAdsQuery lone;
    lone.SetName("Lone");
    lone.SQL().SetText("SELECT * FROM STAFF");
    int32_t code = 0;
    EXPECT_EQ(errorOf([&] { lone.Open(); }, &code),
              "Lone: The DatabaseName property has not been assigned a value.");
    EXPECT_EQ(code, 5121);
    EXPECT_EQ(errorOf([&] { lone.EnableStatementEncryption("x"); }),
              "Lone: The DatabaseName property has not been assigned a value.");

    adstest::TestForm form("Other");
    auto* broken = form.CreateOwned<NullHandleConnection>();
    broken->SetName("Broken");
    auto* q = form.CreateOwned<ads::TAdsQuery>();
    q->SetName("Q");
    q->SetDatabaseName("Broken");
    q->SQL().SetText("SELECT * FROM STAFF");
    EXPECT_EQ(errorOf([&] { q->Open(); }), "Q: Internal Error: invalid connection handle.");

    EXPECT_EQ(errorOf([&] { query->SetSourceTableType(ads::ttAdsNTX); }, &code),
              "Query1: The TAdsQuery component does not support the NTX table type");
    EXPECT_EQ(code, 5121);
    db::TDataSource own;
    own.SetDataSet(query);
    EXPECT_EQ(errorOf([&] { query->SetDataSource(&own); }), "Query1: Circular Data Link");

    query->SQL().SetText("SELECT * FROM STAFF");
    query->Open();
    EXPECT_EQ(errorOf([&] { query->SetDatabaseName("elsewhere"); }),
              "Query1: Cannot perform this operation on an open dataset");
    EXPECT_EQ(errorOf([&] { query->SetSourceTableType(ads::ttAdsCDX); }),
              "Query1: Cannot perform this operation on an open dataset");
}

TEST_F(QueryComponent, TheDefaultTableTypeRunsAsNtx) {
    // Free tables are ADT only: the engine's refusal shows that NTX (1) was asked for.
    query->SetSourceTableType(ads::ttAdsDefault);
    query->SQL().SetText("SELECT * FROM STAFF");
    int32_t code = 0;
    std::string message = errorOf([&] { query->Open(); }, &code);
    EXPECT_EQ(code, 5004);
    EXPECT_NE(message.find("table type 1"), std::string::npos) << message;
    query->SetSourceTableType(ads::ttAdsADT);
    query->Open();
    EXPECT_TRUE(query->Active());
}

TEST_F(QueryComponent, ParametersFromAMasterAndItsMoves) {
    ads::TAdsTable* master = company.table("Master", "STAFF.ADT");
    db::TDataSource source;
    source.SetDataSet(master);
    query->SQL().SetText("SELECT PAY FROM STAFF WHERE NAME = :NAME");
    query->SetDataSource(&source);
    master->Open();
    query->Open();
    EXPECT_EQ(query->FieldByName("PAY")->AsFloat(), 10);
    master->Next();
    EXPECT_EQ(query->FieldByName("PAY")->AsFloat(), 20);
    master->Close();
    EXPECT_TRUE(query->Active());
}

}  // namespace
