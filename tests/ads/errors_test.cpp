#include <exception>
#include <optional>
#include <string>
#include <thread>

#include "ads/adscnnct.h"
#include "ads/adsdata.h"
#include "ads_test_support.h"

namespace {

using namespace adstest;
using ads::CheckEngineResult;
using ads::EADSDatabaseError;

// Makes the engine fail with "Error 6005: The folder <path> does not exist." and returns the
// result and that text.
UNSIGNED32 failEngine(const std::string& missing, std::string* text = nullptr) {
    ADSHANDLE h = 0;
    UNSIGNED32 rc = AdsConnect(u8(missing), &h);
    if (text) *text = engineLastError();
    return rc;
}

// What an error carried; the error itself is gone once this returns, so nothing stays pending.
struct Raised {
    std::string message;
    int32_t code = 0;
    std::string name, owner, databaseName, path, table, column;
};

Raised raised(ads::TAdsDataSet* dataSet, UNSIGNED32 rc) {
    try {
        CheckEngineResult(dataSet, rc);
    } catch (const EADSDatabaseError& e) {
        return {e.Message(),          e.ErrorCode(),           e.DataSetName(),
                e.DataSetOwnerName(), e.DataSetDatabaseName(), e.DataSetPath(),
                e.DataSetTableName(), e.ColumnName()};
    }
    ADD_FAILURE() << "nothing raised";
    return {};
}

class DatabaseErrors : public ::testing::Test {
  protected:
    TempFolder temp;
    std::string missing = temp / "nowhere";
};

TEST_F(DatabaseErrors, WithoutADataSetTheEngineTextIsTheMessage) {
    std::string text;
    UNSIGNED32 rc = failEngine(missing, &text);
    Raised e = raised(nullptr, rc);
    EXPECT_EQ(e.message, "Error 6005: The folder " + missing + " does not exist.");
    EXPECT_EQ(e.message, text);
    EXPECT_EQ(e.code, 6005);
    EXPECT_EQ(e.name, "");
    EXPECT_EQ(e.path, "");
    EXPECT_EQ(e.column, "");
}

TEST_F(DatabaseErrors, TheCodeComesFromTheEngineNotFromTheResultPassed) {
    failEngine(missing);
    EXPECT_EQ(raised(nullptr, 1234).code, 6005);
}

TEST_F(DatabaseErrors, ADataSetGivesContextAndPrefix) {
    TestForm form("FormMain");
    TestDataSet table(&form);
    table.SetName("TableEmp");
    table.SetDatabaseName("C:\\DATA\\");
    table.SetTableName("employee");
    Raised e = raised(&table, failEngine(missing));
    EXPECT_EQ(e.message, "TableEmp: Error 6005: The folder " + missing + " does not exist.");
    EXPECT_EQ(e.name, "TableEmp");
    EXPECT_EQ(e.owner, "FormMain");
    EXPECT_EQ(e.databaseName, "C:\\DATA\\");
    EXPECT_EQ(e.path, "C:\\DATA");
    EXPECT_EQ(e.table, "employee");

    TestDataSet unnamed(nullptr);
    Raised plain = raised(&unnamed, failEngine(missing));
    EXPECT_EQ(plain.message, "Error 6005: The folder " + missing + " does not exist.");
    EXPECT_EQ(plain.owner, "");
}

TEST_F(DatabaseErrors, ColumnNameOnlyForColumnCodes) {
    TestDataSet table(nullptr);
    table.SetName("T");
    const std::string text = "Error 5148: The value for column \"EMP_NO\" has the wrong type.";
    for (int code : {5147, 5148, 5149})
        EXPECT_EQ(EADSDatabaseError(&table, text, code).ColumnName(), "EMP_NO") << code;
    EXPECT_EQ(EADSDatabaseError(&table, text, 5146).ColumnName(), "");
    EXPECT_EQ(EADSDatabaseError(&table, text, 5150).ColumnName(), "");
    EXPECT_EQ(EADSDatabaseError(&table, "Error 5148: column EMP_NO is wrong", 5148).ColumnName(),
              "");
    EXPECT_EQ(EADSDatabaseError(&table, "Error 5148: column \"OPEN", 5148).ColumnName(), "OPEN");
    std::string longName(1000, 'N');
    EXPECT_EQ(EADSDatabaseError(&table, "column \"" + longName + "\"", 5147).ColumnName(),
              std::string(900, 'N'));
    // Without a dataset no context is collected at all.
    EXPECT_EQ(EADSDatabaseError(nullptr, text, 5148).ColumnName(), "");
}

TEST_F(DatabaseErrors, EngineTextIsCutAt600Characters) {
    std::string deep = temp.path() + "/" + std::string(700, 'd');
    Raised e = raised(nullptr, failEngine(deep));
    EXPECT_EQ(e.message.size(), 600u);
    EXPECT_EQ(e.message.substr(0, 24), "Error 6005: The folder /");
}

TEST_F(DatabaseErrors, PendingWhileAnyCopyOfTheErrorLives) {
    ASSERT_FALSE(EADSDatabaseError::ErrorPending());
    UNSIGNED32 rc = failEngine(missing);
    try {
        CheckEngineResult(nullptr, rc);
    } catch (const EADSDatabaseError&) {
        EXPECT_TRUE(EADSDatabaseError::ErrorPending());
        // Clean-up while the error propagates: further engine failures raise nothing.
        EXPECT_NO_THROW(CheckEngineResult(nullptr, rc));
    }
    EXPECT_FALSE(EADSDatabaseError::ErrorPending());
    EXPECT_THROW(CheckEngineResult(nullptr, rc), EADSDatabaseError);
    EXPECT_FALSE(EADSDatabaseError::ErrorPending());

    // A copy that outlives the error it was made from keeps the flag up.
    std::optional<EADSDatabaseError> copy;
    try {
        CheckEngineResult(nullptr, rc);
    } catch (const EADSDatabaseError& e) {
        copy.emplace(e);
    }
    EXPECT_TRUE(EADSDatabaseError::ErrorPending());
    copy.reset();
    EXPECT_FALSE(EADSDatabaseError::ErrorPending());

    std::exception_ptr kept;
    try {
        CheckEngineResult(nullptr, rc);
    } catch (...) {
        kept = std::current_exception();
    }
    EXPECT_TRUE(EADSDatabaseError::ErrorPending());
    kept = nullptr;
    EXPECT_FALSE(EADSDatabaseError::ErrorPending());
}

TEST_F(DatabaseErrors, AnErrorReleasedOnAnotherThreadClearsItsOwnThreadsFlag) {
    std::exception_ptr kept;
    try {
        CheckEngineResult(nullptr, failEngine(missing));
    } catch (...) {
        kept = std::current_exception();
    }
    ASSERT_TRUE(EADSDatabaseError::ErrorPending());
    bool pendingThere = true;
    std::thread other([&] {
        pendingThere = EADSDatabaseError::ErrorPending();
        kept = nullptr;
    });
    other.join();
    EXPECT_FALSE(pendingThere);
    EXPECT_FALSE(EADSDatabaseError::ErrorPending());
}

TEST_F(DatabaseErrors, AnErrorMadeWhileAnotherIsPendingKeepsMessageButNoContext) {
    TestDataSet table(nullptr);
    table.SetName("TableUser");
    table.SetTableName("PASS.adt");
    {
        EADSDatabaseError outer(&table, "first", 7);
        {
            EADSDatabaseError inner(&table, "second", 5121);
            EXPECT_EQ(inner.Message(), "second");
            EXPECT_EQ(inner.ErrorCode(), 5121);
            EXPECT_EQ(inner.DataSetName(), "");
            EXPECT_EQ(inner.DataSetTableName(), "");
        }
        // The inner error going must not end the outer one's suppression.
        EXPECT_TRUE(EADSDatabaseError::ErrorPending());
        EXPECT_EQ(outer.Message(), "TableUser: first");
    }
    EXPECT_FALSE(EADSDatabaseError::ErrorPending());
}

TEST_F(DatabaseErrors, EachThreadHasItsOwnFlag) {
    EADSDatabaseError alive(nullptr, "x", 1);
    bool raisedThere = false;
    UNSIGNED32 rc = AE_PATH_NOT_FOUND;
    std::thread other([&] {
        failEngine(missing);
        try {
            CheckEngineResult(nullptr, rc);
        } catch (const EADSDatabaseError&) {
            raisedThere = true;
        }
    });
    other.join();
    EXPECT_TRUE(raisedThere);
    EXPECT_TRUE(EADSDatabaseError::ErrorPending());
}

TEST_F(DatabaseErrors, AdsErrorCarriesTheEngineTextAndCode) {
    failEngine(missing);
    ads::AdsError e(AE_PATH_NOT_FOUND);
    EXPECT_EQ(e.Message(), "Error 6005: The folder " + missing + " does not exist.");
    EXPECT_EQ(e.ErrorCode(), AE_PATH_NOT_FOUND);
    EXPECT_EQ(ads::AdsConnectionError("No connection to database server.").Message(),
              "No connection to database server.");
}

// A failure the engine has no text for (nothing failed yet in this thread) still reads as a
// failure with the result's code, for both kinds of error; before, AdsError printed the engine's
// empty last error to standard error and carried an empty message.
TEST_F(DatabaseErrors, AFailureWithoutEngineTextStillNamesItsCode) {
    std::thread fresh([] {
        const std::string text = "Error 6017: the database engine gave no description.";
        testing::internal::CaptureStderr();
        ads::AdsError e(AE_INTERNAL);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(e.Message(), text);
        EXPECT_EQ(e.ErrorCode(), AE_INTERNAL);
        try {
            CheckEngineResult(nullptr, AE_INTERNAL);
            ADD_FAILURE() << "nothing raised";
        } catch (const EADSDatabaseError& raised) {
            EXPECT_EQ(raised.Message(), text);
            EXPECT_EQ(raised.ErrorCode(), static_cast<int32_t>(AE_INTERNAL));
        }
    });
    fresh.join();
}

}  // namespace
