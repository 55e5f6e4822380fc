#include <gtest/gtest.h>

#include <cstring>

#include "db/params.h"
#include "tests/support/error_of.h"
#include "tests/support/mem_dataset.h"

using namespace db;
using dbtest::TMemDataSet;

namespace {

using testsupport::ErrorOf;

class FieldsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ds = std::make_unique<TMemDataSet>(std::vector<dbtest::ColumnDef>{{"S", ftString, 5},
                                                                          {"SI", ftSmallint},
                                                                          {"I", ftInteger},
                                                                          {"AI", ftAutoInc},
                                                                          {"F", ftFloat},
                                                                          {"C", ftCurrency},
                                                                          {"B", ftBoolean},
                                                                          {"D", ftDate},
                                                                          {"T", ftTime},
                                                                          {"DT", ftDateTime},
                                                                          {"BY", ftBytes, 4}});
        ds->AddRow({});
        ds->Open();
        ds->Edit();
    }
    void TearDown() override { rtl::FormatSettings() = rtl::TFormatSettings(); }
    TField* F(const char* name) { return ds->FieldByName(name); }
    std::unique_ptr<TMemDataSet> ds;
};

}  // namespace

TEST_F(FieldsTest, DefaultFieldClassesFromDefinitions) {
    EXPECT_NE(dynamic_cast<TStringField*>(F("S")), nullptr);
    EXPECT_NE(dynamic_cast<TSmallintField*>(F("SI")), nullptr);
    EXPECT_NE(dynamic_cast<TAutoIncField*>(F("AI")), nullptr);
    EXPECT_NE(dynamic_cast<TCurrencyField*>(F("C")), nullptr);
    EXPECT_TRUE(static_cast<TFloatField*>(F("C"))->Currency());
    EXPECT_NE(dynamic_cast<TBooleanField*>(F("B")), nullptr);
    EXPECT_NE(dynamic_cast<TDateField*>(F("D")), nullptr);
    EXPECT_NE(dynamic_cast<TTimeField*>(F("T")), nullptr);
    EXPECT_NE(dynamic_cast<TDateTimeField*>(F("DT")), nullptr);
    EXPECT_NE(dynamic_cast<TBytesField*>(F("BY")), nullptr);
    EXPECT_EQ(F("S")->Size(), 5);
    EXPECT_EQ(F("S")->DataSize(), 6);
    EXPECT_EQ(F("DT")->FieldNo(), 10);
    EXPECT_EQ(F("S")->Index(), 0);
    EXPECT_EQ(ds->FieldDefs().Count(), 11);
    EXPECT_EQ(ds->FieldDefs().Items(1).FieldNo(), 2);
    EXPECT_EQ(ds->FieldDefs().IndexOf("dt"), 9);
}

TEST_F(FieldsTest, StringField) {
    F("S")->SetAsString("ABCDEFG");  // cut to Size
    EXPECT_EQ(F("S")->AsString(), "ABCDE");
    char native[6];
    ASSERT_TRUE(F("S")->GetData(native));
    EXPECT_STREQ(native, "ABCDE");
    F("S")->SetAsString("12");
    EXPECT_EQ(F("S")->AsInteger(), 12);
    F("S")->SetAsString("x1");
    EXPECT_EQ(ErrorOf([&] { F("S")->AsInteger(); }), "'x1' is not a valid integer value");
    EXPECT_EQ(ErrorOf([&] { F("S")->AsFloat(); }), "'x1' is not a valid floating point value");
    F("S")->SetAsString("yes");
    EXPECT_TRUE(F("S")->AsBoolean());
    F("S")->SetAsBoolean(false);
    EXPECT_EQ(F("S")->AsString(), "F");
    F("S")->SetAsFloat(2.5);
    EXPECT_EQ(F("S")->AsString(), "2.5");
    F("S")->Clear();
    EXPECT_TRUE(F("S")->IsNull());
    EXPECT_EQ(F("S")->AsString(), "");
}

TEST_F(FieldsTest, IntegerFields) {
    F("I")->SetAsString("-42");
    std::int32_t i32 = 0;
    ASSERT_TRUE(F("I")->GetData(&i32));
    EXPECT_EQ(i32, -42);
    EXPECT_EQ(F("I")->AsString(), "-42");
    EXPECT_DOUBLE_EQ(F("I")->AsFloat(), -42.0);
    EXPECT_EQ(ErrorOf([&] { F("I")->SetAsString("abc"); }), "'abc' is not a valid integer value");
    EXPECT_EQ(F("I")->AsInteger(), -42);
    F("I")->SetAsFloat(2.6);
    EXPECT_EQ(F("I")->AsInteger(), 3);
    F("I")->SetAsString("");
    EXPECT_TRUE(F("I")->IsNull());
    EXPECT_EQ(F("I")->AsInteger(), 0);
    EXPECT_EQ(ErrorOf([&] { F("I")->AsDateTime(); }), "Cannot access field 'I' as type DateTime");

    F("SI")->SetAsInteger(-32768);
    std::int16_t i16 = 0;
    ASSERT_TRUE(F("SI")->GetData(&i16));
    EXPECT_EQ(i16, -32768);
    EXPECT_EQ(ErrorOf([&] { F("SI")->SetAsInteger(40000); }),
              "40000 is not a valid value for field 'SI'. The allowed range is -32768 to 32767");
    F("AI")->SetAsInteger(7);
    EXPECT_EQ(F("AI")->AsInteger(), 7);
    auto* withFormat = static_cast<TIntegerField*>(F("I"));
    withFormat->SetAsInteger(1234567);
    withFormat->DisplayFormat = "#,##0";
    EXPECT_EQ(withFormat->DisplayText(), "1,234,567");
    EXPECT_EQ(withFormat->Text(), "1234567");
}

TEST_F(FieldsTest, FloatAndCurrencyFields) {
    F("F")->SetAsString("3.25");
    double d = 0;
    ASSERT_TRUE(F("F")->GetData(&d));
    EXPECT_DOUBLE_EQ(d, 3.25);
    EXPECT_EQ(F("F")->AsString(), "3.25");
    EXPECT_EQ(F("F")->AsInteger(), 3);
    EXPECT_EQ(ErrorOf([&] { F("F")->SetAsString("1,5"); }),
              "'1,5' is not a valid floating point value");
    static_cast<TFloatField*>(F("F"))->DisplayFormat = "0.00";
    EXPECT_EQ(F("F")->DisplayText(), "3.25");
    F("F")->SetAsFloat(2.675);
    EXPECT_EQ(F("F")->DisplayText(), "2.68");
    F("C")->SetAsCurrency(1234.5);
    EXPECT_DOUBLE_EQ(F("C")->AsCurrency(), 1234.5);
    EXPECT_EQ(F("C")->DisplayText(), "1,234.50");
    EXPECT_EQ(F("C")->AsString(), "1234.5");
}

TEST_F(FieldsTest, BooleanField) {
    F("B")->SetAsBoolean(true);
    std::int16_t native = 0;
    ASSERT_TRUE(F("B")->GetData(&native));
    EXPECT_EQ(native, -1);
    EXPECT_EQ(F("B")->AsString(), "True");
    F("B")->SetAsString("f");
    EXPECT_FALSE(F("B")->AsBoolean());
    ASSERT_TRUE(F("B")->GetData(&native));
    EXPECT_EQ(native, 0);
    EXPECT_EQ(ErrorOf([&] { F("B")->SetAsString("maybe"); }),
              "'maybe' is not a valid boolean value for field 'B'");
    static_cast<TBooleanField*>(F("B"))->SetDisplayValues("Y;N");
    F("B")->SetAsString("Y");
    EXPECT_TRUE(F("B")->AsBoolean());
    EXPECT_EQ(F("B")->AsString(), "Y");
    EXPECT_EQ(ErrorOf([&] { F("B")->AsInteger(); }), "Cannot access field 'B' as type Integer");
}

TEST_F(FieldsTest, DateTimeFieldsAndTheirNativeForms) {
    F("D")->SetAsDateTime(rtl::EncodeDate(2006, 3, 31));
    std::int32_t days = 0;
    ASSERT_TRUE(F("D")->GetData(&days));
    EXPECT_EQ(days, static_cast<std::int32_t>(rtl::EncodeDate(2006, 3, 31)) + 693594);
    EXPECT_EQ(F("D")->AsString(), "31/03/2006");
    rtl::FormatSettings().ShortDateFormat = "mm/dd/yyyy";
    EXPECT_EQ(F("D")->AsString(), "03/31/2006");
    F("D")->SetAsString("12/25/2005");
    EXPECT_DOUBLE_EQ(F("D")->AsDateTime(), rtl::EncodeDate(2005, 12, 25));
    EXPECT_EQ(ErrorOf([&] { F("D")->SetAsString("31/12/2005"); }),
              "'31/12/2005' is not a valid date");
    rtl::FormatSettings().ShortDateFormat = "dd/mm/yyyy";
    static_cast<TDateTimeField*>(F("D"))->DisplayFormat = "yyyy-mm-dd";
    EXPECT_EQ(F("D")->DisplayText(), "2005-12-25");
    // Day 1 of the native form is 0001-01-01.
    days = 1;
    F("D")->SetData(&days);
    EXPECT_DOUBLE_EQ(F("D")->AsDateTime(), -693593.0);

    F("T")->SetAsDateTime(rtl::EncodeTime(12, 30, 15, 250));
    std::int32_t ms = 0;
    ASSERT_TRUE(F("T")->GetData(&ms));
    EXPECT_EQ(ms, ((12 * 60 + 30) * 60 + 15) * 1000 + 250);
    EXPECT_EQ(F("T")->AsString(), "12:30:15");
    EXPECT_EQ(ErrorOf([&] { F("T")->SetAsString("25:00"); }), "'25:00' is not a valid time");

    F("DT")->SetAsDateTime(rtl::EncodeDate(1, 1, 1));
    double msecs = 0;
    ASSERT_TRUE(F("DT")->GetData(&msecs));
    EXPECT_DOUBLE_EQ(msecs, 86400000.0);
    F("DT")->SetAsString("02/01/2000 06:00");
    ASSERT_TRUE(F("DT")->GetData(&msecs));
    EXPECT_DOUBLE_EQ(msecs, (rtl::EncodeDate(2000, 1, 2) + 693594) * 86400000.0 + 6 * 3600000.0);
    EXPECT_EQ(F("DT")->AsString(), "02/01/2000 06:00:00");
    EXPECT_DOUBLE_EQ(F("DT")->AsFloat(), rtl::EncodeDate(2000, 1, 2) + 0.25);
    EXPECT_EQ(ErrorOf([&] { F("DT")->SetAsString("2000-01-02"); }),
              "'2000-01-02' is not a valid date and time");
    F("DT")->Clear();
    EXPECT_EQ(F("DT")->AsString(), "");
    EXPECT_DOUBLE_EQ(F("DT")->AsDateTime(), 0.0);
}

TEST_F(FieldsTest, BytesField) {
    F("BY")->SetAsString(std::string("\x01\x02", 2));
    unsigned char raw[4] = {9, 9, 9, 9};
    ASSERT_TRUE(F("BY")->GetData(raw));
    EXPECT_EQ(raw[0], 1);
    EXPECT_EQ(raw[1], 2);
    EXPECT_EQ(raw[2], 0);
    EXPECT_EQ(F("BY")->AsString().size(), 4u);
}

TEST_F(FieldsTest, TextEventsAndDisplayNames) {
    TField* s = F("S");
    s->SetDisplayLabel("Code");
    EXPECT_EQ(s->DisplayName(), "Code");
    s->OnSetText = [](TField* f, const std::string& text) { f->SetAsString(rtl::UpperCase(text)); };
    s->SetText("abc");
    EXPECT_EQ(s->AsString(), "ABC");
    s->OnGetText = [](TField* f, std::string& text, bool display) {
        text = (display ? "<" : "[") + f->AsString();
    };
    EXPECT_EQ(s->DisplayText(), "<ABC");
    EXPECT_EQ(s->Text(), "[ABC");
    EXPECT_EQ(s->DisplayWidth(), 5);
    EXPECT_TRUE(s->CanModify());
}

TEST(FieldObjects, WithoutADataSet) {
    TStringField f("LONE", 3);
    EXPECT_EQ(ErrorOf([&] { f.AsString(); }), "Field 'LONE' has no dataset");
    EXPECT_STREQ(FieldTypeName(ftSmallint), "SmallInt");
    EXPECT_EQ(CreateFieldForType(ftCursor), nullptr);
}

// ---- parameters ----------------------------------------------------------------------------

TEST(Params, ParseSqlFindsMarkersOutsideLiterals) {
    TParams params;
    std::string out = params.ParseSQL(
        "SELECT * FROM T WHERE A = :From AND B <= :\"To Date\" AND C = ':not' AND D::int = :From",
        true);
    EXPECT_EQ(out, "SELECT * FROM T WHERE A = ? AND B <= ? AND C = ':not' AND D:int = ?");
    ASSERT_EQ(params.Count(), 3);
    EXPECT_EQ(params[0].Name(), "From");
    EXPECT_EQ(params[1].Name(), "To Date");
    EXPECT_EQ(params[0].DataType(), ftUnknown);
    EXPECT_EQ(&params.ParamByName("from"), &params[0]);
    EXPECT_EQ(ErrorOf([&] { params.ParamByName("nope"); }), "Parameter 'nope' not found");
    EXPECT_EQ(params.ParseSQL("X = :a", false), "X = ?");
    EXPECT_EQ(params.Count(), 3);
}

TEST(Params, ValuesAndConversions) {
    TParam p("P");
    EXPECT_TRUE(p.IsNull());
    EXPECT_EQ(p.AsString(), "");
    EXPECT_EQ(p.AsInteger(), 0);
    p.SetAsString("12");
    EXPECT_EQ(p.DataType(), ftString);
    EXPECT_EQ(p.AsInteger(), 12);
    EXPECT_TRUE(p.Bound());
    p.SetAsString("x");
    EXPECT_EQ(ErrorOf([&] { p.AsInteger(); }), "'x' is not a valid integer value");
    p.SetAsFloat(1.5);
    EXPECT_EQ(p.DataType(), ftFloat);
    EXPECT_EQ(p.AsString(), "1.5");
    EXPECT_EQ(p.AsInteger(), 2);
    p.SetAsDate(rtl::EncodeDate(2000, 1, 1));
    EXPECT_EQ(p.DataType(), ftDate);
    EXPECT_DOUBLE_EQ(p.AsDateTime(), 36526.0);
    EXPECT_EQ(p.AsString(), "01/01/2000");
    p.SetAsTime(0.5);
    EXPECT_EQ(p.DataType(), ftTime);
    EXPECT_EQ(p.AsString(), "12:00:00");
    p.SetAsBoolean(true);
    EXPECT_TRUE(p.AsBoolean());
    EXPECT_EQ(p.AsString(), "True");
    p.SetAsInteger(5);
    EXPECT_EQ(p.DataType(), ftInteger);
    EXPECT_DOUBLE_EQ(p.AsFloat(), 5.0);
    p.Clear();
    EXPECT_TRUE(p.IsNull());
    EXPECT_EQ(p.DataType(), ftInteger);
}

TEST(Params, AssignValuesByName) {
    TParams oldParams;
    oldParams.CreateParam(ftString, "A").SetAsString("keep");
    oldParams.CreateParam(ftInteger, "Gone").SetAsInteger(1);
    TParams fresh;
    fresh.ParseSQL("x = :a and y = :b", true);
    fresh.AssignValues(oldParams);
    EXPECT_EQ(fresh.ParamByName("a").AsString(), "keep");
    EXPECT_EQ(fresh.ParamByName("a").Name(), "a");
    EXPECT_TRUE(fresh.ParamByName("b").IsNull());
    TParams copy = fresh;
    EXPECT_TRUE(copy.IsEqual(fresh));
    copy[0].SetAsString("other");
    EXPECT_FALSE(copy.IsEqual(fresh));
}

TEST(Params, FromAField) {
    auto ds = std::make_unique<TMemDataSet>(
        std::vector<dbtest::ColumnDef>{{"N", ftInteger}, {"D", ftDate}});
    ds->AddRow({"3", "05/06/2007"});
    ds->Open();
    TParam p;
    p.AssignField(*ds->FieldByName("D"));
    EXPECT_EQ(p.Name(), "D");
    EXPECT_EQ(p.DataType(), ftDate);
    EXPECT_DOUBLE_EQ(p.AsDate(), rtl::EncodeDate(2007, 6, 5));
    p.AssignField(*ds->FieldByName("N"));
    EXPECT_EQ(p.AsInteger(), 3);
}
