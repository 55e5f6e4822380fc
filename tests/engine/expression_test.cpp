// The expression language: every operator and function, empty values of each type,
// Windows-1252 letters, dates, precedence, and each error with its text.
#include <gtest/gtest.h>

#include "engine_fixture.h"

using namespace enginetest;

namespace {

class Expression : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        t = create("people",
                   "NAME,Character,10;CITY,Character,12;BORN,Date;AMOUNT,Numeric,8,2;N,Integer;"
                   "OK,Logical;NOTE,Memo;PIC,Binary");
        append(t, {"Smith", "\xE9vora", "1970-05-17", "12.5", "7", "T", "", ""});
        append(t, {});  // every field empty
        ASSERT_EQ(AdsGotoRecord(t, 1), AE_SUCCESS);
    }
    bool eval(const char* expr) {
        UNSIGNED16 result = 2;
        EXPECT_EQ(AdsEvalLogicalExpr(t, u8(expr), &result), AE_SUCCESS)
            << expr << ": " << lastError();
        return result == 1;
    }
    // The failure's code and text.
    std::pair<UNSIGNED32, std::string> failure(const char* expr) {
        UNSIGNED16 result = 0;
        UNSIGNED32 rc = AdsEvalLogicalExpr(t, u8(expr), &result);
        EXPECT_NE(rc, AE_SUCCESS) << expr;
        return {rc, lastError()};
    }
    ADSHANDLE t = 0;
};

TEST_F(Expression, TextEqualityComparesAsManyCharactersAsTheRightSideUnlessExact) {
    EXPECT_TRUE(eval("NAME = 'Smith'"));
    EXPECT_TRUE(eval("NAME = 'Sm'"));
    EXPECT_TRUE(eval("NAME = \"Smi\""));
    EXPECT_TRUE(eval("NAME = ''"));
    EXPECT_FALSE(eval("NAME = 'Smithers'"));
    EXPECT_FALSE(eval("NAME = 'sm'"));
    EXPECT_TRUE(eval("NAME = 'Smith   '"));
    EXPECT_FALSE(eval("NAME == 'Sm'"));
    EXPECT_TRUE(eval("NAME == 'Smith'"));
    EXPECT_TRUE(eval("NAME == 'Smith  '"));  // trailing blanks never count
    EXPECT_TRUE(eval("NAME <> 'Jones'"));
    EXPECT_FALSE(eval("NAME # 'Sm'"));
    EXPECT_FALSE(eval("NAME != 'Smith'"));
    EXPECT_TRUE(eval("NAME > 'Sa'"));
    EXPECT_FALSE(eval("NAME > 'Sm'"));  // equal in its first two characters
    EXPECT_TRUE(eval("NAME >= 'Sm'"));
    EXPECT_TRUE(eval("NAME <= 'Sm'"));
    EXPECT_TRUE(eval("NAME < 'Sn'"));
    EXPECT_TRUE(eval("'Smith' = LEFT(NAME, 5)"));

    ASSERT_EQ(AdsSetExact22(t, 1), AE_SUCCESS);
    UNSIGNED16 exact = 0;
    ASSERT_EQ(AdsGetExact22(t, &exact), AE_SUCCESS);
    EXPECT_EQ(exact, 1);
    EXPECT_FALSE(eval("NAME = 'Sm'"));
    EXPECT_TRUE(eval("NAME = 'Smith'"));
    EXPECT_TRUE(eval("NAME > 'Sm'"));
    EXPECT_FALSE(eval("NAME == 'Sm'"));
}

TEST_F(Expression, ContainedInAndTextJoins) {
    EXPECT_TRUE(eval("'mit' $ NAME"));
    EXPECT_FALSE(eval("'MIT' $ NAME"));
    EXPECT_TRUE(eval("'MIT' $ UPPER(NAME)"));
    EXPECT_TRUE(eval("NAME + '!' == 'Smith!'"));
    EXPECT_TRUE(eval("'ab  ' - 'c' == 'abc'"));
    EXPECT_TRUE(eval("'x' + 'y' $ 'wxyz'"));
}

TEST_F(Expression, NumbersAndTheirOperators) {
    EXPECT_TRUE(eval("N + 1 = 8"));
    EXPECT_TRUE(eval("N - 2 = 5"));
    EXPECT_TRUE(eval("N * 2 = 14"));
    EXPECT_TRUE(eval("N / 2 = 3.5"));
    EXPECT_TRUE(eval("AMOUNT > 12 .AND. AMOUNT < 13"));
    EXPECT_TRUE(eval("AMOUNT = 12.50"));
    EXPECT_TRUE(eval("N <= 7 .AND. N >= 7"));
    EXPECT_FALSE(eval("N >= 8"));
    EXPECT_TRUE(eval("-N + 10 = 3"));
    EXPECT_TRUE(eval("N <> 8 .AND. N # 8 .AND. N != 8"));
    EXPECT_TRUE(eval("8 > N"));
    EXPECT_TRUE(eval(".5 + 1. = 1.5"));
}

TEST_F(Expression, PrecedenceOfOperators) {
    EXPECT_TRUE(eval("2 + 3 * 4 = 14"));
    EXPECT_TRUE(eval("(2 + 3) * 4 = 20"));
    EXPECT_TRUE(eval("10 - 4 - 3 = 3"));
    EXPECT_TRUE(eval("12 / 3 / 2 = 2"));
    EXPECT_TRUE(eval(".T. .OR. .F. .AND. .F."));  // .AND. binds tighter than .OR.
    EXPECT_FALSE(eval("(.T. .OR. .F.) .AND. .F."));
    EXPECT_FALSE(eval(".NOT. .F. .AND. .F."));  // .NOT. binds tighter than .AND.
    EXPECT_TRUE(eval("NOT N = 8"));             // and looser than a comparison
    EXPECT_TRUE(eval("N = 7 AND OK"));
    EXPECT_TRUE(eval("not OK or N = 7"));
    EXPECT_TRUE(eval("!(N = 8)"));
}

TEST_F(Expression, LogicalValuesAndFields) {
    EXPECT_TRUE(eval(".T."));
    EXPECT_TRUE(eval(".TRUE."));
    EXPECT_FALSE(eval(".F."));
    EXPECT_FALSE(eval(".false."));
    EXPECT_TRUE(eval("OK"));
    EXPECT_TRUE(eval("OK = .T."));
    EXPECT_TRUE(eval("OK <> .F."));
    EXPECT_TRUE(eval("people->N = 7"));
}

TEST_F(Expression, TextFunctions) {
    EXPECT_TRUE(eval("UPPER(NAME) = 'SMITH'"));
    EXPECT_TRUE(eval("LOWER(NAME) == 'smith'"));
    EXPECT_TRUE(eval("UPPER(CITY) == '\xC9VORA'"));
    EXPECT_TRUE(eval("LOWER('\xC9\x8A\x9F') == '\xE9\x9A\xFF'"));
    EXPECT_TRUE(eval("upper('\xDF\xD7') == '\xDF\xD7'"));  // no partner in the other case
    EXPECT_TRUE(eval("TRIM('ab  ') + 'c' == 'abc'"));
    EXPECT_TRUE(eval("RTRIM('ab  ') + 'c' == 'abc'"));
    EXPECT_TRUE(eval("LTRIM('  ab') == 'ab'"));
    EXPECT_TRUE(eval("ALLTRIM('  ab  ') + 'x' == 'abx'"));
    EXPECT_TRUE(eval("SUBSTR(NAME, 2, 3) == 'mit'"));
    EXPECT_TRUE(eval("SUBSTR(NAME, 3) == 'ith'"));
    EXPECT_TRUE(eval("LEFT(NAME, 2) == 'Sm'"));
    EXPECT_TRUE(eval("RIGHT(NAME, 3) == 'ith'"));
    EXPECT_TRUE(eval("RIGHT(NAME, 0) == ''"));
    EXPECT_TRUE(eval("RIGHT(NAME, 9) == 'Smith'"));
    EXPECT_TRUE(eval("LEN(NAME) = 5"));
    EXPECT_TRUE(eval("LEN(CITY) = 5"));  // characters, not bytes of the stored form
    EXPECT_TRUE(eval("STR(N) == '         7'"));
    EXPECT_TRUE(eval("STR(AMOUNT, 6, 1) == '  12.5'"));
    EXPECT_TRUE(eval("STR(123456, 3) == '***'"));
    EXPECT_TRUE(eval("VAL('12.5') = AMOUNT"));
    EXPECT_TRUE(eval("VAL('abc') = 0"));
    EXPECT_TRUE(eval("IIF(N > 5, 'big', 'small') == 'big'"));
    EXPECT_TRUE(eval("IIF(N > 50, 1, 2) = 2"));
    EXPECT_TRUE(eval(".NOT. DELETED()"));
    EXPECT_TRUE(eval("RECNO() = 1"));
    EXPECT_TRUE(eval("'a' + CHR(34) + 'b' == 'a\"b'"));
    EXPECT_TRUE(eval("CHR(233) + 'vora' == CITY"));  // Windows-1252 code of the letter
    EXPECT_TRUE(eval("CHR(0) + CHR(256) == ''"));
}

TEST_F(Expression, TimesThroughCtotAndCtots) {
    EXPECT_TRUE(eval("CTOT('10:30') == '10:30:00.000'"));
    EXPECT_TRUE(eval("CTOT(' 7:05:09.5 ') == '07:05:09.500'"));
    EXPECT_TRUE(eval("CTOT('12:15 am') == '00:15:00.000' .AND. CTOT('1:15 PM') == '13:15:00.000'"));
    for (const char* invalid : {"24:00", "10", "10:60", "13:00 PM", "1:2:3:4", "10.30", "ab:cd"})
        EXPECT_TRUE(eval(("EMPTY(CTOT('" + std::string(invalid) + "'))").c_str())) << invalid;
    EXPECT_TRUE(eval("CTOTS('02/29/2024 1:05 PM') == '2024-02-29 13:05:00.000'"));
    EXPECT_TRUE(eval("CTOTS('02/29/2024') == '2024-02-29 00:00:00.000'"));
    EXPECT_TRUE(eval("EMPTY(CTOTS('02/30/2024 10:00')) .AND. EMPTY(CTOTS('02/28/2024 25:00'))"));
    EXPECT_FALSE(eval("EMPTY(CTOTS('02/28/2024 23:59:59.999'))"));
}

TEST_F(Expression, DatesThroughCtodAndStod) {
    EXPECT_TRUE(eval("BORN = CTOD('05/17/1970')"));
    EXPECT_TRUE(eval("BORN = CTOD('5/17/1970')"));
    EXPECT_TRUE(eval("BORN = CTOD('05/17/70')"));
    EXPECT_TRUE(eval("BORN = STOD('19700517')"));
    EXPECT_TRUE(eval("DTOS(BORN) == '19700517'"));
    EXPECT_TRUE(eval("YEAR(BORN) = 1970 .AND. MONTH(BORN) = 5 .AND. DAY(BORN) = 17"));
    EXPECT_TRUE(eval("BORN + 15 = STOD('19700601')"));
    EXPECT_TRUE(eval("1 + BORN = STOD('19700518')"));
    EXPECT_TRUE(eval("BORN - 17 = CTOD('04/30/1970')"));
    EXPECT_TRUE(eval("BORN - STOD('19700510') = 7"));
    EXPECT_TRUE(eval("DATE() > BORN"));
    EXPECT_TRUE(eval("BORN < CTOD('12/31/1999') .AND. BORN > CTOD('01/01/1970')"));
    EXPECT_TRUE(eval("EMPTY(CTOD('02/30/1970'))"));  // no such day
    EXPECT_TRUE(eval("EMPTY(CTOD('17/05/1970'))"));  // not in the format
    EXPECT_TRUE(eval("EMPTY(STOD('1970051'))"));

    ASSERT_EQ(AdsSetDateFormat60(connection, u8("DD.MM.YYYY")), AE_SUCCESS) << lastError();
    UNSIGNED8 format[20];
    UNSIGNED16 len = sizeof format;
    ASSERT_EQ(AdsGetDateFormat60(connection, format, &len), AE_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(format), len), "DD.MM.YYYY");
    EXPECT_TRUE(eval("BORN = CTOD('17.05.1970')"));
    EXPECT_TRUE(eval("EMPTY(CTOD('05/17/1970'))"));
    ASSERT_EQ(AdsSetDateFormat60(connection, u8("YYYYMMDD")), AE_SUCCESS);
    EXPECT_TRUE(eval("BORN = CTOD('19700517')"));

    EXPECT_EQ(AdsSetDateFormat60(connection, u8("MM/YYYY")), AE_INVALID_ARGUMENT);
    EXPECT_NE(lastError().find("The date format \"MM/YYYY\" is not usable"), std::string::npos);
    EXPECT_EQ(AdsSetDateFormat60(connection, u8("DD/DD/YYYY")), AE_INVALID_ARGUMENT);
    EXPECT_EQ(AdsSetDateFormat60(0x7777, u8("DD/MM/YYYY")), AE_INVALID_CONNECTION);
}

TEST_F(Expression, EmptyValuesOfEachType) {
    ASSERT_EQ(AdsGotoRecord(t, 2), AE_SUCCESS);
    EXPECT_TRUE(eval("EMPTY(NAME) .AND. NAME == '' .AND. NAME = ''"));
    EXPECT_TRUE(eval("EMPTY(AMOUNT) .AND. AMOUNT = 0 .AND. EMPTY(N) .AND. N + 1 = 1"));
    EXPECT_TRUE(eval("EMPTY(BORN) .AND. BORN < CTOD('01/01/0001') + 1"));
    EXPECT_TRUE(eval("BORN = CTOD('  /  /    ')"));
    EXPECT_TRUE(eval("EMPTY(OK) .AND. .NOT. OK .AND. OK = .F."));
    EXPECT_TRUE(eval("EMPTY(NOTE)"));
    EXPECT_TRUE(eval("DTOS(BORN) == '        '"));
    EXPECT_TRUE(eval("YEAR(BORN) = 0"));
    EXPECT_TRUE(eval("EMPTY('   ') .AND. EMPTY(0) .AND. EMPTY(.F.) .AND. .NOT. EMPTY('a')"));
    // The row with values is not empty anywhere.
    ASSERT_EQ(AdsGotoRecord(t, 1), AE_SUCCESS);
    EXPECT_FALSE(eval("EMPTY(NAME) .OR. EMPTY(AMOUNT) .OR. EMPTY(BORN) .OR. EMPTY(OK)"));
    // With no current row the blank record is evaluated.
    ASSERT_EQ(AdsGotoBottom(t), AE_SUCCESS);
    ASSERT_EQ(AdsSkip(t, 1), AE_SUCCESS);
    EXPECT_TRUE(eval("EMPTY(NAME) .AND. RECNO() = 0"));
}

TEST_F(Expression, PendingChangesAreEvaluated) {
    ASSERT_EQ(AdsSetField(t, u8("NAME"), u8("Jones"), 5), AE_SUCCESS);
    EXPECT_TRUE(eval("NAME = 'Jones'"));
    ASSERT_EQ(AdsCancelUpdate(t), AE_SUCCESS);
    EXPECT_TRUE(eval("NAME = 'Smith'"));
}

// The functions applied to stored values, which are not folded before the table's own database
// evaluates them: the same answers in a folder and on a server, for evaluation and for filters.
TEST_F(Expression, FunctionsOfStoredValues) {
    ADSHANDLE v = create("stored", "T,Character,30;X,Double;D,Date;L,Logical");
    struct Case {
        const char* text;
        const char* number;
        const char* date;
        const char* expression;
    };
    const Case cases[] = {
        // STR rounds the exact binary value, half to even, and keeps the sign of a small one.
        {"", "0.125", "", "STR(X, 5, 2) == ' 0.12'"},
        {"", "2.5", "", "STR(X, 3) == '  2'"},
        {"", "-0.001", "", "STR(X, 6, 2) == ' -0.00'"},
        {"", "2.675", "", "STR(X, 6, 2) == '  2.67'"},
        {"", "99.995", "", "STR(X, 7, 2) == ' 100.00'"},
        {"", "12.5", "", "STR(X, 6, 1) == '  12.5' .AND. STR(X, 3, 1) == '***'"},
        {"", "1234567", "", "STR(X) == '   1234567' .AND. STR(X, 4, 9) == '****'"},
        {"", "7", "", "STR(X, 5, 3) == '7.000' .AND. STR(X, 2, 1) == ' 7'"},
        // VAL reads the number at the start of a text.
        {"  12.5abc", "12.5", "", "VAL(T) = X"},
        {"-1.5e2x", "-150", "", "VAL(T) = X"},
        {".5", "0.5", "", "VAL(T) = X"},
        {"abc", "", "", "VAL(T) = 0"},
        // Characters, not bytes; counts below 1 give nothing.
        {"\xE9vora", "2", "", "LEFT(T, X) == '\xE9v' .AND. RIGHT(T, X) == 'ra'"},
        {"\xE9vora", "-1", "", "LEFT(T, X) == '' .AND. RIGHT(T, X) == '' .AND. LEN(T) = 5"},
        {"Smith", "2.7", "", "SUBSTR(T, X, 2) == 'mi' .AND. SUBSTR(T, X) == 'mith'"},
        {"Smith", "-3", "", "SUBSTR(T, X, 2) == 'Sm' .AND. SUBSTR(T, 2, X) == ''"},
        {"\xE9vora \xDF\xFF", "", "", "UPPER(T) == '\xC9VORA \xDF\x9F' .AND. LOWER(UPPER(T)) == T"},
        {"", "233", "", "CHR(X) == '\xE9' .AND. CHR(X + 100) == ''"},
        {"", "128", "", "CHR(X) == '\x80'"},
        // Dates and times read from stored texts in the connection's date format.
        {"05/17/70", "", "1970-05-17", "CTOD(T) = D .AND. DTOS(D) == '19700517'"},
        {"02/30/1970", "", "", "EMPTY(CTOD(T))"},
        {"19700517", "", "1970-05-17", "STOD(T) = D .AND. EMPTY(STOD(LEFT(T, 7)))"},
        {" 7:05:09.5 ", "", "", "CTOT(T) == '07:05:09.500'"},
        {"12:15 am", "", "", "CTOT(T) == '00:15:00.000'"},
        {"13:00 PM", "", "", "EMPTY(CTOT(T))"},
        {"02/29/2024 1:05 PM", "", "", "CTOTS(T) == '2024-02-29 13:05:00.000'"},
        {"02/28/2024 25:00", "", "", "EMPTY(CTOTS(T))"},
        {"", "15", "1970-05-17", "D + X = STOD('19700601') .AND. X + D = D + 15"},
        {"", "-17.5", "1970-05-17", "D + X = CTOD('04/29/1970')"},
        {"", "7", "1970-05-17", "D - STOD('19700510') = X .AND. D - CTOD('') = 0"},
        {"", "", "", "EMPTY(D + 1) .AND. YEAR(D) = 0 .AND. DTOS(D) == '        '"},
        {"", "", "1970-05-17", "YEAR(D) = 1970 .AND. MONTH(D) = 5 .AND. DAY(D) = 17"},
        // Division by zero is no failure: the comparison does not hold.
        {"", "0", "", "IIF(1 / X = 1 .OR. 1 / X <> 1, .F., .T.)"},
        // A logical field in every place a logical value stands.
        {"", "", "", "IIF(L, 1, 2) = 2 .AND. EMPTY(L) .AND. L = .F. .AND. .NOT. L"},
        {"x", "", "", "IIF(T $ 'xyz', X, 1) = 0 .AND. T + 'y' $ 'xyz'"},
    };
    UNSIGNED32 row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        append(v, {c.text, c.number, c.date});
        ++row;
        ASSERT_EQ(AdsGotoRecord(v, row), AE_SUCCESS) << lastError();
        UNSIGNED16 result = 2;
        ASSERT_EQ(AdsEvalLogicalExpr(v, u8(c.expression), &result), AE_SUCCESS) << lastError();
        EXPECT_EQ(result, 1);
        // As a filter the row is the one visible among those before it.
        ASSERT_EQ(AdsSetAOF(v,
                            u8((std::string("RECNO() <= ") + std::to_string(row) + " .AND. (" +
                                c.expression + ")")
                                   .c_str()),
                            ADS_RESOLVE_DYNAMIC),
                  AE_SUCCESS)
            << lastError();
        UNSIGNED32 count = 0;
        ASSERT_EQ(AdsGetRecordCount(v, ADS_RESPECTFILTERS, &count), AE_SUCCESS) << lastError();
        EXPECT_GE(count, 1u);
        ASSERT_EQ(AdsGotoBottom(v), AE_SUCCESS) << lastError();
        EXPECT_EQ(recno(v), row);
        ASSERT_EQ(AdsClearAOF(v), AE_SUCCESS);
    }
}

TEST_F(Expression, ReadingErrorsNameThePosition) {
    auto [code, text] = failure("NAME = 'abc");
    EXPECT_EQ(code, AE_EXPRESSION_ERROR);
    EXPECT_EQ(text,
              "Error 6031: The expression \"NAME = 'abc\" cannot be used: the text that begins "
              "here has no closing quote (at position 8).");
    std::tie(code, text) = failure("N = 5 +");
    EXPECT_EQ(code, AE_EXPRESSION_ERROR);
    EXPECT_NE(text.find("it ends where an operand is missing (at position 8)"), std::string::npos)
        << text;
    std::tie(code, text) = failure("N = )");
    EXPECT_NE(text.find("\")\" is not expected here (at position 5)"), std::string::npos) << text;
    std::tie(code, text) = failure("(N = 5");
    EXPECT_NE(text.find("the bracket opened here is not closed (at position 1)"), std::string::npos)
        << text;
    std::tie(code, text) = failure("N @ 5");
    EXPECT_NE(text.find("the character \"@\" is not understood (at position 3)"), std::string::npos)
        << text;
    std::tie(code, text) = failure("N = 5 N");
    EXPECT_NE(text.find("\"N\" is not expected here (at position 7)"), std::string::npos) << text;
    std::tie(code, text) = failure("OK .X. OK");
    EXPECT_NE(text.find("\".\" does not begin a logical value or operator (at position 4)"),
              std::string::npos)
        << text;
    std::tie(code, text) = failure("");
    EXPECT_NE(text.find("the expression is empty"), std::string::npos) << text;
    std::tie(code, text) = failure("LEFT(NAME, 2");
    EXPECT_NE(text.find("the bracket opened here is not closed (at position 5)"), std::string::npos)
        << text;
    std::string deep(300, '(');
    std::tie(code, text) = failure((deep + "OK").c_str());
    EXPECT_EQ(code, AE_EXPRESSION_ERROR);
    EXPECT_NE(text.find("nested too deeply"), std::string::npos) << text;
}

TEST_F(Expression, TypeErrorsAreErrorsNotFalse) {
    auto [code, text] = failure("NAME = 5");
    EXPECT_EQ(code, AE_EXPRESSION_ERROR);
    EXPECT_NE(text.find("a text and a number cannot be joined with = (at position 6)"),
              std::string::npos)
        << text;
    std::tie(code, text) = failure("BORN > 'x'");
    EXPECT_NE(text.find("a date and a text cannot be joined with >"), std::string::npos) << text;
    std::tie(code, text) = failure("N $ NAME");
    EXPECT_NE(text.find("a number and a text cannot be joined with $"), std::string::npos);
    std::tie(code, text) = failure("NAME * 2 = 4");
    EXPECT_NE(text.find("cannot be joined with *"), std::string::npos);
    std::tie(code, text) = failure("OK .AND. N");
    EXPECT_NE(text.find("a logical value and a number cannot be joined with .AND."),
              std::string::npos)
        << text;
    std::tie(code, text) = failure(".NOT. NAME");
    EXPECT_NE(text.find(".NOT. needs a logical value, not a text (at position 1)"),
              std::string::npos)
        << text;
    std::tie(code, text) = failure("-NAME = 1");
    EXPECT_NE(text.find("the sign - needs a number, not a text"), std::string::npos);
    std::tie(code, text) = failure("N + 1");
    EXPECT_NE(text.find("the expression is a number, not a logical expression"), std::string::npos)
        << text;
    std::tie(code, text) = failure("UPPER(N) = 'A'");
    EXPECT_NE(text.find("UPPER needs a text as argument 1, not a number (at position 7)"),
              std::string::npos)
        << text;
    std::tie(code, text) = failure("LEFT(NAME) = 'A'");
    EXPECT_NE(text.find("LEFT takes 2 arguments, not 1 (at position 1)"), std::string::npos)
        << text;
    std::tie(code, text) = failure("SUBSTR(NAME) = 'A'");
    EXPECT_NE(text.find("SUBSTR takes 2 to 3 arguments, not 1"), std::string::npos) << text;
    std::tie(code, text) = failure("IIF(N, 1, 2) = 1");
    EXPECT_NE(text.find("IIF needs a logical value as argument 1, not a number"),
              std::string::npos);
    std::tie(code, text) = failure("IIF(OK, 1, 'a') = 1");
    EXPECT_NE(text.find("IIF needs two values of one type, not a number and a text"),
              std::string::npos);
    std::tie(code, text) = failure("EMPTY() ");
    EXPECT_NE(text.find("EMPTY takes 1 argument, not 0"), std::string::npos);
    std::tie(code, text) = failure("SOUNDEX(NAME) = 'S530'");
    EXPECT_NE(text.find("the function SOUNDEX is not known (at position 1)"), std::string::npos);
}

TEST_F(Expression, UnknownAndUnusableFieldsNameTheColumn) {
    auto [code, text] = failure("NAME = 'a' .AND. NOPE = 1");
    EXPECT_EQ(code, AE_COLUMN_NOT_FOUND);
    EXPECT_NE(text.find("Column \"NOPE\" of the expression (at position 18) is not a field of the "
                        "table"),
              std::string::npos)
        << text;
    std::tie(code, text) = failure("EMPTY(PIC)");
    EXPECT_EQ(code, AE_COLUMN_WRONG_TYPE);
    EXPECT_NE(text.find("Column \"PIC\""), std::string::npos) << text;
}

TEST_F(Expression, EvaluationArgumentsAreChecked) {
    UNSIGNED16 result = 0;
    EXPECT_EQ(AdsEvalLogicalExpr(t, nullptr, &result), AE_INVALID_ARGUMENT);
    EXPECT_EQ(AdsEvalLogicalExpr(t, u8("OK"), nullptr), AE_INVALID_ARGUMENT);
    EXPECT_EQ(AdsEvalLogicalExpr(0x7777, u8("OK"), &result), AE_INVALID_HANDLE);
}

}  // namespace
