#include "engine/text_functions.h"

#include <gtest/gtest.h>

#include "engine/sql_functions.h"

#include <string>

namespace {

using engine::text::lower1252;
using engine::text::lowerUtf8;
using engine::text::upper1252;
using engine::text::upperUtf8;

TEST(TextFunctions, Windows1252LettersChangeCaseBothWays) {
    EXPECT_EQ(upper1252('a'), 'A');
    EXPECT_EQ(upper1252(static_cast<char>(0xE9)), static_cast<char>(0xC9));  // é É
    EXPECT_EQ(upper1252(static_cast<char>(0x9A)), static_cast<char>(0x8A));  // š Š
    EXPECT_EQ(upper1252(static_cast<char>(0xFF)), static_cast<char>(0x9F));  // ÿ Ÿ
    EXPECT_EQ(lower1252(static_cast<char>(0x9F)), static_cast<char>(0xFF));
    EXPECT_EQ(lower1252(static_cast<char>(0x8C)), static_cast<char>(0x9C));  // Œ œ
    // No partner: ß, µ, ×, ÷ and digits stay.
    for (unsigned char c : {0xDFu, 0xB5u, 0xD7u, 0xF7u, static_cast<unsigned>('7')}) {
        EXPECT_EQ(upper1252(static_cast<char>(c)), static_cast<char>(c));
        EXPECT_EQ(lower1252(static_cast<char>(c)), static_cast<char>(c));
    }
}

TEST(TextFunctions, Utf8TextsKeepCharactersOutsideTheCodePage) {
    EXPECT_EQ(upperUtf8("déjà vu ÿ š œ ž"), "DÉJÀ VU Ÿ Š Œ Ž");
    EXPECT_EQ(lowerUtf8("DÉJÀ VU Ÿ Š Œ Ž"), "déjà vu ÿ š œ ž");
    EXPECT_EQ(upperUtf8("Straße ×÷ €"), "STRAßE ×÷ €");
    EXPECT_EQ(upperUtf8("ǅ ω"), "ǅ ω");                   // not Windows-1252 letters
    EXPECT_EQ(upperUtf8(std::string("a\xC3")), "A\xC3");  // cut sequence passes unchanged
}

TEST(TextFunctions, SqlUpperAndLowerAreReplaced) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    ASSERT_EQ(engine::text::registerTextFunctions(db), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(
        sqlite3_prepare_v2(db, "SELECT upper('éa'), lower('ÉŸ'), upper(NULL)", -1, &stmt, nullptr),
        SQLITE_OK);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "ÉA");
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)), "éÿ");
    EXPECT_EQ(sqlite3_column_type(stmt, 2), SQLITE_NULL);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}

// Statements and filters register the one set of functions: a connection prepared for either
// knows the letter case, the dates and the number texts of both.
TEST(TextFunctions, OneRegistrationServesStatementsAndFilters) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    ASSERT_EQ(engine::sqlfunctions::registerAll(db), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db,
                                 "SELECT upper('žé'), velda_left('Šabc', 2), "
                                 "velda_ctod('31.12.99', 'DD.MM.YY'), velda_stod('20240229'), "
                                 "velda_str(3.14159, 6, 2), velda_year(velda_stod('20240229')), "
                                 "velda_ctod('02/30/2024', 'MM/DD/YYYY')",
                                 -1, &stmt, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    auto text = [&](int column) {
        return std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt, column)));
    };
    EXPECT_EQ(text(0), "ŽÉ");
    EXPECT_EQ(text(1), "Ša");
    EXPECT_EQ(text(2), "1999-12-31");
    EXPECT_EQ(text(3), "2024-02-29");
    EXPECT_EQ(text(4), "  3.14");
    EXPECT_EQ(sqlite3_column_int(stmt, 5), 2024);
    EXPECT_EQ(text(6), "");  // no 30 February
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    EXPECT_EQ(engine::sqlfunctions::numberText(123456, 4, 0), "****");
    EXPECT_EQ(engine::sqlfunctions::dateFromDigits("2023022"), "");
    EXPECT_TRUE(engine::sqlfunctions::validDateFormat("CCYY-MM-DD"));
    EXPECT_FALSE(engine::sqlfunctions::validDateFormat("MM/YYYY"));
    EXPECT_FALSE(engine::sqlfunctions::validDateFormat("DD/MM/DD/YY"));
}

}  // namespace
