// Filters on a server's tables as the server runs them: a comparison of a tag's leading field with
// a constant is answered from the tag's index, as SQLite answers it on a folder
// (Filters.AFilterOnTheLeadingFieldOfATagUsesTheTag); and a role that cannot make the filters'
// helper functions is told so.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/ace.h"
#include "engine/expression.h"
#include "engine/postgres/functions.h"
#include "engine/postgres/session.h"
#include "engine/postgres/table.h"
#include "engine/server_path.h"
#include "tests/support/engine_test_helpers.h"
#include "tests/support/server.h"

namespace {

using testsupport::lastError;
using testsupport::u8;

class ServerFilters : public testsupport::OnServer {
  protected:
    void SetUp() override {
        OnServer::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        static int made = 0;
        folder = "filters_" + std::to_string(::getpid()) + "_" + std::to_string(++made);
        root = serverPath() + folder;
        ASSERT_EQ(AdsConnect(u8(root.c_str()), &connection), AE_SUCCESS) << lastError();
        ADSHANDLE t = 0;
        ASSERT_EQ(AdsCreateTable(connection, u8("people"), nullptr, ADS_ADT, ADS_ANSI,
                                 ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0,
                                 u8("NAME,Character,10;BORN,Date;N,Integer"), &t),
                  AE_SUCCESS)
            << lastError();
        for (const char* tag : {"BYNAME", "BYN"}) {
            ADSHANDLE index = 0;
            const char* expression = std::string(tag) == "BYN" ? "N" : "NAME;BORN";
            ASSERT_EQ(AdsCreateIndex61(t, nullptr, u8(tag), u8(expression), nullptr, nullptr, 0,
                                       512, &index),
                      AE_SUCCESS)
                << lastError();
        }
        ASSERT_EQ(AdsCloseTable(t), AE_SUCCESS);
        ASSERT_EQ(engine::parseServerPath(root + "/people.adt", path), AE_SUCCESS) << lastError();
        ASSERT_EQ(engine::postgres::Session::open(path, session), AE_SUCCESS) << lastError();
        ASSERT_EQ(engine::postgres::ServerTable::open(session, path, table), AE_SUCCESS)
            << lastError();
        engine::postgres::Params params;
        params.addText(folder);
        engine::postgres::Result id = session->run(
            "SELECT id FROM velda_tables WHERE folder=$1 AND name='people.adt'", params);
        ASSERT_TRUE(id.ok() && id.rows() == 1) << id.message();
        rows = std::string("velda_rows_") + id.text(0, 0);
        // A handful of rows: without this the server reads them all whatever the indexes.
        ASSERT_TRUE(session->exec("SET enable_seqscan = off").ok());
    }
    void TearDown() override {
        table.reset();
        session.reset();
        if (connection) (void)AdsDisconnect(connection);
    }

    // The server's plan of a read of the rows under the translated filter.
    std::string plan(const std::string& filter, bool exact = false) {
        engine::expression::Settings settings;
        settings.exact = exact;
        engine::expression::Translation translation;
        EXPECT_EQ(table->translateFilter(filter, settings, translation), AE_SUCCESS) << lastError();
        engine::postgres::Result r =
            session->exec("EXPLAIN SELECT * FROM " + rows + " WHERE " + translation.sql);
        EXPECT_TRUE(r.ok()) << r.message() << "\n" << translation.sql;
        std::string out;
        for (int i = 0; r.ok() && i < r.rows(); ++i) out += std::string(r.text(i, 0)) + "\n";
        return out;
    }

    std::string folder, root, rows;
    ADSHANDLE connection = 0;
    engine::ServerPath path;
    std::shared_ptr<engine::postgres::Session> session;
    std::shared_ptr<engine::postgres::ServerTable> table;
};

TEST_F(ServerFilters, AFilterOnTheLeadingFieldOfATagUsesTheTag) {
    for (const char* filter :
         {"NAME = 'Bo'", "NAME == 'Bob'", "NAME > 'B' .AND. NAME < 'C'", "EMPTY(NAME)",
          "NAME >= 'Bob' .AND. N > 0", "N = 30", "30 < N", "N > 0 .AND. NAME = 'C'"})
        EXPECT_NE(plan(filter).find("Index Cond"), std::string::npos) << filter << "\n"
                                                                      << plan(filter);
    EXPECT_NE(plan("NAME = 'Bob'", true).find("Index Cond"), std::string::npos);
    // "Begins with" reads the tag between both ends of its range, not from the text to the end.
    const std::string range = plan("NAME = 'Bo'");
    const size_t cond = range.find("Index Cond");
    ASSERT_NE(cond, std::string::npos) << range;
    const std::string line = range.substr(cond, range.find('\n', cond) - cond);
    EXPECT_NE(line.find(">= 'Bo'"), std::string::npos) << line;
    EXPECT_NE(line.find(" < 'Bo"), std::string::npos) << line;
    // A function of the field cannot use the tag.
    EXPECT_EQ(plan("UPPER(NAME) = 'BO'").find("Index Cond"), std::string::npos)
        << plan("UPPER(NAME) = 'BO'");
}

struct Finish {
    void operator()(PGconn* connection) const { PQfinish(connection); }
};
using Admin = std::unique_ptr<PGconn, Finish>;

// Runs statements as the server's administrator on a database of the test server.
std::string asAdmin(const std::string& database, const std::string& sql) {
    const std::string& server = testsupport::testServer().path;
    engine::ServerPath parsed;
    EXPECT_EQ(engine::parseServerPath(server, parsed), AE_SUCCESS) << lastError();
    std::string uri = parsed.uri();
    uri.replace(uri.rfind("/velda"), 6, "/" + database);
    Admin admin(PQconnectdb(uri.c_str()));
    if (PQstatus(admin.get()) != CONNECTION_OK) return PQerrorMessage(admin.get());
    PGresult* r = PQexec(admin.get(), sql.c_str());
    std::string error =
        PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK
            ? ""
            : PQresultErrorMessage(r);
    PQclear(r);
    return error;
}

class ServerFilterRights : public testsupport::OnServer {};

// The helper functions are there but for the mark of their version, and belong to another role:
// making them again fails, and the filter is refused with the server's reason.
TEST_F(ServerFilterRights, ARoleThatCannotMakeTheFunctionsIsToldWhy) {
    static int runs = 0;
    const std::string name = "vf_" + std::to_string(::getpid()) + "_" + std::to_string(++runs);
    ASSERT_EQ(asAdmin("velda", "CREATE DATABASE " + name), "");
    (void)asAdmin("velda", "CREATE ROLE " + name + " LOGIN");
    std::string path = serverPath();
    path.replace(path.rfind("/velda/"), 7, "/" + name + "/");
    const std::string owner = path + "company";
    std::string other = owner;
    other.replace(other.find("postgres@"), 9, name + "@");

    ADSHANDLE connection = 0, t = 0;
    ASSERT_EQ(AdsConnect(u8(owner.c_str()), &connection), AE_SUCCESS) << lastError();
    ASSERT_EQ(
        AdsCreateTable(connection, u8("people"), nullptr, ADS_ADT, ADS_ANSI,
                       ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0, u8("NAME,Character,10"), &t),
        AE_SUCCESS)
        << lastError();
    ASSERT_EQ(AdsSetAOF(t, u8("UPPER(NAME) = 'A'"), ADS_RESOLVE_DYNAMIC), AE_SUCCESS)
        << lastError();
    ASSERT_EQ(AdsDisconnect(connection), AE_SUCCESS);
    ASSERT_EQ(asAdmin(name, "DROP FUNCTION " + std::string(engine::postgres::functionsMarker()) +
                                "();"
                                "GRANT ALL ON SCHEMA public TO " +
                                name +
                                ";"
                                "GRANT ALL ON ALL TABLES IN SCHEMA public TO " +
                                name),
              "");

    ASSERT_EQ(AdsConnect(u8(other.c_str()), &connection), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsOpenTable(connection, u8("people"), nullptr, ADS_ADT, ADS_ANSI,
                           ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0, &t),
              AE_SUCCESS)
        << lastError();
    const std::string expected =
        "Error 6017: Could not prepare the filter functions for the table " + other +
        "/people.adt: must be owner of function velda_left.";
    EXPECT_EQ(AdsSetAOF(t, u8("NAME = 'A'"), ADS_RESOLVE_DYNAMIC), AE_INTERNAL);
    EXPECT_EQ(lastError(), expected);
    UNSIGNED16 result = 0;
    EXPECT_EQ(AdsEvalLogicalExpr(t, u8("NAME = 'A'"), &result), AE_INTERNAL);
    EXPECT_EQ(lastError(), expected);
    UNSIGNED16 len = 0;
    EXPECT_EQ(AdsGetAOF(t, nullptr, &len), AE_NO_FILTER);
    // A statement needs the same functions, and says so for its database.
    ADSHANDLE statement = 0, cursor = 0;
    ASSERT_EQ(AdsCreateSQLStatement(connection, &statement), AE_SUCCESS) << lastError();
    EXPECT_EQ(AdsExecuteSQLDirect(statement, u8("SELECT NAME FROM people"), &cursor), AE_INTERNAL);
    EXPECT_EQ(lastError(), "Error 6017: Could not prepare the SQL functions in the database of " +
                               other + ": must be owner of function velda_left.");
    ASSERT_EQ(AdsDisconnect(connection), AE_SUCCESS);
    EXPECT_EQ(asAdmin("velda", "DROP DATABASE " + name + " WITH (FORCE)"), "");
    (void)asAdmin("velda", "DROP ROLE " + name);
}

}  // namespace
