#include <gtest/gtest.h>

#include <sqlite3.h>

#include <fstream>

#include "engine/open_tables.h"
#include "engine_fixture.h"

using namespace enginetest;

namespace {

class Tables : public EngineTest {
  protected:
    void writeFile(const std::string& name, const std::string& bytes) {
        std::ofstream out(path(name), std::ios::binary);
        out << bytes;
    }
    // Opening fails with the code, and the text names the file.
    void expectOpenFails(const char* name, UNSIGNED32 expected, const std::string& words) {
        ADSHANDLE h = 0;
        EXPECT_EQ(open(name, h), expected) << name;
        UNSIGNED32 code = 0;
        std::string text = lastError(&code);
        EXPECT_EQ(code, expected);
        EXPECT_EQ(text.rfind("Error " + std::to_string(expected) + ": ", 0), 0u) << text;
        EXPECT_NE(text.find(words), std::string::npos) << text;
    }
};

TEST_F(Tables, StructureOfANewTable) {
    ADSHANDLE t = create("staff",
                         "ID,AutoInc;NAME,Character,30;PAY,Numeric,10,2;OK,Logical;BORN,Date;"
                         "NOTE,Memo;AT,TimeStamp;N,ShortInteger;D,Double,8,3;C,CompactDate;R,Raw,5;"
                         "V,VarChar,40;T,Time;B,Binary;I,Image;M,CurDouble;X,Integer");
    UNSIGNED16 count = 0;
    ASSERT_EQ(AdsGetNumFields(t, &count), AE_SUCCESS);
    EXPECT_EQ(count, 17);
    UNSIGNED32 length = 0;
    ASSERT_EQ(AdsGetRecordLength(t, &length), AE_SUCCESS);
    EXPECT_EQ(length, 4u + 30 + 10 + 1 + 4 + 9 + 8 + 2 + 8 + 3 + 5 + 9 + 4 + 9 + 9 + 8 + 4);
    UNSIGNED32 offset = 0, fieldLength = 0;
    ASSERT_EQ(AdsGetFieldOffset(t, u8("pay"), &offset), AE_SUCCESS);
    EXPECT_EQ(offset, 34u);
    ASSERT_EQ(AdsGetFieldLength(t, ADSFIELD(3), &fieldLength), AE_SUCCESS);
    EXPECT_EQ(fieldLength, 10u);
    UNSIGNED16 type = 0, decimals = 0;
    ASSERT_EQ(AdsGetFieldType(t, u8("Note"), &type), AE_SUCCESS);
    EXPECT_EQ(type, ADS_MEMO);
    ASSERT_EQ(AdsGetFieldDecimals(t, u8("D"), &decimals), AE_SUCCESS);
    EXPECT_EQ(decimals, 3);
    UNSIGNED8 name[129];
    UNSIGNED16 nameLen = sizeof name;
    ASSERT_EQ(AdsGetFieldName(t, 2, name, &nameLen), AE_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(name)), "NAME");
    nameLen = 3;
    EXPECT_EQ(AdsGetFieldName(t, 2, name, &nameLen), AE_BUFFER_TOO_SMALL);
    EXPECT_EQ(nameLen, 5);  // the size to retry with: the name and its NUL
    UNSIGNED16 tableType = 0;
    ASSERT_EQ(AdsGetTableType(t, &tableType), AE_SUCCESS);
    EXPECT_EQ(tableType, ADS_ADT);
    EXPECT_EQ(AdsCacheOpenTables(25), AE_SUCCESS);
    EXPECT_EQ(AdsCacheOpenCursors(25), AE_SUCCESS);
}

TEST_F(Tables, BadFieldListsNameTheField) {
    struct Case {
        const char* fields;
        const char* words;
    } cases[] = {
        {"NAME,Character", "Field 1 (\"NAME\") of the new table"},
        {"A,Integer;B,Wibble", "Field 2 (\"B\") of the new table"},
        {"A,Integer;B,Wibble", "the unknown type \"Wibble\""},
        {"A,Integer;a,Logical", "repeats the name"},
        {"A,Numeric,4,3", "too many for its length"},
        {"A,Character,x", "is not a number"},
        {"A,Logical,4", "a Logical field is 1 bytes"},
        {"A,Integer,4,2", "cannot have decimals"},
        {",Integer", "has no name"},
        {"rowid,Integer", "reserved name"},
        {"", "No fields given"},
    };
    for (const Case& c : cases) {
        ADSHANDLE h = 0;
        EXPECT_EQ(AdsCreateTable(connection, u8("bad"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0,
                                 u8(c.fields), &h),
                  AE_INVALID_ARGUMENT)
            << c.fields;
        EXPECT_NE(lastError().find(c.words), std::string::npos) << c.fields << ": " << lastError();
        EXPECT_FALSE(std::filesystem::exists(path("bad.adt")));
    }
    create("good", "A,Integer;");
    ADSHANDLE again = 0;
    EXPECT_EQ(AdsCreateTable(connection, u8("GOOD.ADT"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0,
                             u8("A,Integer"), &again),
              AE_ALREADY_EXISTS);
    // A character type that is neither ANSI nor OEM is refused before the table is made.
    EXPECT_EQ(AdsCreateTable(connection, u8("oddchars"), nullptr, ADS_ADT, 7, 1, 1, 0,
                             u8("A,Integer"), &again),
              AE_INVALID_ARGUMENT);
    EXPECT_EQ(lastError(), "Error 6002: The character type 7 is not ANSI (1) or OEM (2).");
    EXPECT_EQ(open("oddchars", again), AE_FILE_NOT_FOUND);
}

TEST_F(Tables, NamesResolveWithoutCaseWithDefaultExtensionAndBothSeparators) {
    close(create("Employee", "ID,Integer"));
    if (!onServer()) std::filesystem::create_directory(path("sub"));
    close(create("sub/Leave", "ID,Integer"));
    for (const char* name :
         {"employee", "EMPLOYEE.ADT", "Employee.adt", "sub\\LEAVE", "SUB/leave.ADT"}) {
        ADSHANDLE h = 0;
        EXPECT_EQ(open(name, h), AE_SUCCESS) << name << ": " << lastError();
        if (h) close(h);
    }
    // A path names the table wherever the connection is.
    std::string absolute = onServer() ? root + "/EMPLOYEE" : folder + "\\EMPLOYEE";
    ADSHANDLE h = 0;
    EXPECT_EQ(open(absolute.c_str(), h), AE_SUCCESS) << lastError();
}

TEST_F(Tables, FilesThatAreNoTablesFailWithTheirName) {
    expectOpenFails("missing", AE_FILE_NOT_FOUND, "missing.adt does not exist");
    expectOpenFails("nofolder/x", AE_PATH_NOT_FOUND, "nofolder");
    if (onServer()) return;  // what follows is about files
    std::string noise;
    for (int i = 0; i < 5000; ++i) noise.push_back(static_cast<char>((i * 7919 + 13) % 251));
    writeFile("noise.adt", noise);
    expectOpenFails("noise", AE_NOT_A_TABLE, "noise.adt");
    writeFile("empty.adt", "");
    expectOpenFails("empty", AE_NOT_A_TABLE, "empty.adt is not a table");
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path("plain.adt").c_str(), &db), SQLITE_OK);
        sqlite3_exec(db, "CREATE TABLE t(a); INSERT INTO t VALUES(1);", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    expectOpenFails("plain", AE_NOT_A_TABLE, "holds no table structure");
    ADSHANDLE t = create("cut", "NAME,Character,50;N,Integer");
    for (int i = 0; i < 2000; ++i)
        append(t, {"some text to fill pages " + std::to_string(i), std::to_string(i)});
    close(t);
    std::filesystem::resize_file(path("cut.adt"), std::filesystem::file_size(path("cut.adt")) / 2);
    expectOpenFails("cut", AE_NOT_A_TABLE, "cut.adt is damaged");
    // Structure rows damaged to lengths no field has (found by the fuzz target).
    close(create("lengths", "S,Character,5;N,Integer"));
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path("lengths.adt").c_str(), &db), SQLITE_OK);
        sqlite3_exec(db, "UPDATE velda_fields SET length=4000000000 WHERE name='S'", nullptr,
                     nullptr, nullptr);
        sqlite3_close(db);
    }
    expectOpenFails("lengths", AE_NOT_A_TABLE,
                    "lengths.adt is damaged: field 1 has an unknown type or length");
    // Any of the structure's four tables missing, and a tag naming a field the table lacks.
    auto damage = [&](const std::string& name, const char* sql) {
        ADSHANDLE made = create(name.c_str(), "S,Character,5;N,Integer");
        index(made, "BYS", "S");
        close(made);
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path(name + ".adt").c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql;
        sqlite3_close(db);
    };
    for (const char* table : {"velda_table", "velda_fields", "velda_indexes", "records"}) {
        const std::string name = std::string("no_") + table;
        damage(name, ("DROP TABLE " + std::string(table)).c_str());
        expectOpenFails(name.c_str(), AE_NOT_A_TABLE, "holds no table structure");
    }
    damage("tags", "UPDATE velda_indexes SET segments='NOPE'");
    expectOpenFails("tags", AE_NOT_A_TABLE,
                    "tags.adt is damaged: index tag BYS names the unknown field NOPE.");
    ADSHANDLE h = 0;
    EXPECT_EQ(AdsOpenTable(connection, u8("cut"), nullptr, ADS_CDX, ADS_ANSI, 1, 1, 0, &h),
              AE_NOT_SUPPORTED);
    EXPECT_NE(lastError().find("only ADT tables"), std::string::npos);
    EXPECT_EQ(AdsOpenTable(connection, u8("cut"), nullptr, ADS_ADT, 7, 1, 1, 0, &h),
              AE_INVALID_ARGUMENT);
    EXPECT_EQ(AdsOpenTable(999, u8("cut"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0, &h),
              AE_INVALID_CONNECTION);
}

TEST_F(Tables, UnknownFieldsAndDeadHandles) {
    ADSHANDLE t = create("staff", "NAME,Character,10;N,Integer");
    UNSIGNED16 type = 0;
    UNSIGNED32 code = 0;
    EXPECT_EQ(AdsGetFieldType(t, u8("WAGE"), &type), AE_COLUMN_NOT_FOUND);
    EXPECT_NE(lastError(&code).find("Column \"WAGE\" is not a field of the table"),
              std::string::npos);
    EXPECT_EQ(code, AE_COLUMN_NOT_FOUND);
    EXPECT_EQ(AdsGetFieldType(t, ADSFIELD(3), &type), AE_COLUMN_NOT_FOUND);
    EXPECT_NE(lastError().find("Column \"3\""), std::string::npos);
    EXPECT_EQ(AdsGetFieldType(t, ADSFIELD(0), &type), AE_COLUMN_NOT_FOUND);
    EXPECT_EQ(AdsSetField(t, u8("WAGE"), u8("1"), 1), AE_COLUMN_NOT_FOUND);
    UNSIGNED8 buffer[4];
    UNSIGNED32 len = sizeof buffer;
    EXPECT_EQ(AdsGetRecord(t, buffer, &len), AE_BUFFER_TOO_SMALL);
    EXPECT_EQ(len, 14u);
    EXPECT_NE(lastError().find("14 bytes are needed"), std::string::npos);
    EXPECT_EQ(AdsGetNumFields(t, nullptr), AE_INVALID_ARGUMENT);
    close(t);
    EXPECT_EQ(AdsGotoTop(t), AE_INVALID_HANDLE);
    EXPECT_NE(lastError().find("is not a live table or index handle"), std::string::npos);
    EXPECT_EQ(AdsCloseTable(t), AE_INVALID_HANDLE);
    EXPECT_EQ(AdsSkip(0, 1), AE_INVALID_HANDLE);
    EXPECT_EQ(AdsGetIndexName(connection, buffer, &type), AE_INVALID_HANDLE);
}

TEST_F(Tables, IndexTagsDescribeThemselves) {
    ADSHANDLE t = create("staff", "EMP_NO,Character,8;USERID,Character,8;PAY,Double;NOTE,Memo");
    index(t, "EMPUSER", "EMP_NO;USERID", ADS_UNIQUE);
    index(t, "PAYDOWN", "PAY", ADS_DESCENDING);
    ADSHANDLE all[50];
    UNSIGNED16 n = 50;
    ASSERT_EQ(AdsGetAllIndexes(t, all, &n), AE_SUCCESS);
    ASSERT_EQ(n, 2);
    UNSIGNED8 text[260];
    UNSIGNED16 len = sizeof text;
    ASSERT_EQ(AdsGetIndexName(all[0], text, &len), AE_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text)), "EMPUSER");
    ADSHANDLE byTag = 0;
    ASSERT_EQ(AdsGetIndexHandle(t, u8("empuser"), &byTag), AE_SUCCESS);
    EXPECT_EQ(byTag, all[0]);
    UNSIGNED16 segments = 0, flag = 0;
    ASSERT_EQ(AdsGetNumSegments(all[0], &segments), AE_SUCCESS);
    EXPECT_EQ(segments, 2);
    len = sizeof text;
    ASSERT_EQ(AdsGetSegmentFieldname(all[0], 1, text, &len), AE_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text)), "USERID");
    len = sizeof text;
    EXPECT_EQ(AdsGetSegmentFieldname(all[0], 2, text, &len), AE_INVALID_ARGUMENT);
    EXPECT_NE(lastError().find("there is no segment 2"), std::string::npos);
    ASSERT_EQ(AdsIsIndexUnique(all[0], &flag), AE_SUCCESS);
    EXPECT_EQ(flag, 1);
    ASSERT_EQ(AdsIsIndexDescending(all[1], &flag), AE_SUCCESS);
    EXPECT_EQ(flag, 1);
    ASSERT_EQ(AdsIsIndexCustom(all[1], &flag), AE_SUCCESS);
    EXPECT_EQ(flag, 0);
    UNSIGNED32 flags = 0, pageSize = 0;
    ASSERT_EQ(AdsGetIndexFlags(all[0], &flags), AE_SUCCESS);
    EXPECT_EQ(flags, ADS_UNIQUE | ADS_COMPOUND);
    ASSERT_EQ(AdsGetIndexPageSize(all[0], &pageSize), AE_SUCCESS);
    EXPECT_GE(pageSize, 512u);
    len = sizeof text;
    ASSERT_EQ(AdsGetIndexCondition(all[0], text, &len), AE_SUCCESS);
    EXPECT_EQ(len, 0);
    len = sizeof text;
    ASSERT_EQ(AdsGetIndexFilename(all[0], 2, text, &len), AE_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text)), "staff.adt");
    ADSHANDLE files[50];
    UNSIGNED16 fileCount = 50;
    EXPECT_EQ(AdsOpenIndex(t, u8("staff.adi"), files, &fileCount), AE_NOT_SUPPORTED);
    EXPECT_EQ(AdsCloseIndex(all[0]), AE_INVALID_INDEX_KIND);
    ADSHANDLE none = 0;
    EXPECT_EQ(AdsGetIndexHandle(t, u8("NOPE"), &none), AE_INDEX_NOT_FOUND);
    EXPECT_NE(lastError().find("has no index tag \"NOPE\""), std::string::npos);

    ADSHANDLE dup = 0;
    EXPECT_EQ(
        AdsCreateIndex61(t, nullptr, u8("EMPUSER"), u8("PAY"), nullptr, nullptr, 0, 512, &dup),
        AE_ALREADY_EXISTS);
    EXPECT_EQ(AdsCreateIndex61(t, nullptr, u8("X"), u8("NOTE"), nullptr, nullptr, 0, 512, &dup),
              AE_COLUMN_WRONG_TYPE);
    EXPECT_EQ(AdsCreateIndex61(t, nullptr, u8("X"), u8("PAY;WAGE"), nullptr, nullptr, 0, 512, &dup),
              AE_COLUMN_NOT_FOUND);
    EXPECT_EQ(
        AdsCreateIndex61(t, nullptr, u8("X"), u8("PAY"), u8("PAY > 1"), nullptr, 0, 512, &dup),
        AE_NOT_SUPPORTED);

    // Tags survive a reopen; a deleted one is gone for every handle.
    close(t);
    t = openOk("staff");
    n = 50;
    ASSERT_EQ(AdsGetAllIndexes(t, all, &n), AE_SUCCESS);
    ASSERT_EQ(n, 2);
    ADSHANDLE other = openOk("staff");
    ADSHANDLE otherTag = 0;
    ASSERT_EQ(AdsGetIndexHandle(other, u8("PAYDOWN"), &otherTag), AE_SUCCESS);
    ASSERT_EQ(AdsDeleteIndex(all[1]), AE_SUCCESS);
    EXPECT_EQ(AdsGotoTop(otherTag), AE_INDEX_NOT_FOUND);
    n = 50;
    ASSERT_EQ(AdsGetAllIndexes(t, all, &n), AE_SUCCESS);
    EXPECT_EQ(n, 1);
}

TEST_F(Tables, UniqueTagsRefuseDuplicates) {
    ADSHANDLE t = create("users", "ID,Character,6;NAME,Character,10");
    append(t, {"A1", "Ann"});
    append(t, {"A1", "Andy"});
    ADSHANDLE h = 0;
    EXPECT_EQ(
        AdsCreateIndex61(t, nullptr, u8("BYID"), u8("ID"), nullptr, nullptr, ADS_UNIQUE, 512, &h),
        AE_DUPLICATE_KEY);
    EXPECT_NE(lastError().find("Cannot create the unique index tag BYID"), std::string::npos);
    ADSHANDLE all[4];
    UNSIGNED16 n = 4;
    ASSERT_EQ(AdsGetAllIndexes(t, all, &n), AE_SUCCESS);
    EXPECT_EQ(n, 0);
    ASSERT_EQ(AdsGotoRecord(t, 2), AE_SUCCESS);
    ASSERT_EQ(AdsSetField(t, u8("ID"), u8("B2"), 2), AE_SUCCESS);
    ASSERT_EQ(AdsWriteRecord(t), AE_SUCCESS);
    index(t, "BYID", "ID", ADS_UNIQUE);
    ASSERT_EQ(AdsAppendRecord(t), AE_SUCCESS);
    ASSERT_EQ(AdsSetField(t, u8("ID"), u8("A1"), 2), AE_SUCCESS);
    ASSERT_EQ(AdsSetField(t, u8("NAME"), u8("Al"), 2), AE_SUCCESS);
    EXPECT_EQ(AdsWriteRecord(t), AE_DUPLICATE_KEY);
    std::string text = lastError();
    EXPECT_NE(text.find("unique index tag BYID already holds its key"), std::string::npos) << text;
    EXPECT_NE(text.find("still pending"), std::string::npos);
    UNSIGNED32 count = 0;
    ASSERT_EQ(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count), AE_SUCCESS);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(field(t, "NAME"), "Al");  // the pending record
    ASSERT_EQ(AdsSetField(t, u8("ID"), u8("C3"), 2), AE_SUCCESS);
    ASSERT_EQ(AdsWriteRecord(t), AE_SUCCESS) << lastError();
    EXPECT_EQ(recno(t), 3u);
    EXPECT_EQ(field(t, "NAME"), "Al");
}

TEST_F(Tables, DeleteTableRemovesItsFiles) {
    ADSHANDLE t = create("gone", "A,Integer");
    append(t, {"1"});
    EXPECT_EQ(AdsDeleteTable(connection, u8("gone")), AE_LOCKED);
    EXPECT_NE(lastError().find("close it before deleting it"), std::string::npos);
    close(t);
    ASSERT_EQ(AdsDeleteTable(connection, u8("GONE")), AE_SUCCESS) << lastError();
    for (const char* f : {"gone.adt", "gone.adt-wal", "gone.adt-shm", "gone.adt.lck"})
        EXPECT_FALSE(std::filesystem::exists(path(f))) << f;
    EXPECT_EQ(AdsDeleteTable(connection, u8("gone")), AE_FILE_NOT_FOUND);
}

// A connection that opened a table before sees the structure another connection gave it since:
// a new tag, encryption, and both undone.
TEST_F(Tables, AnotherConnectionsStructureChangesShowAtTheNextOpen) {
    close(create("staff", "A,Integer"));
    close(openOk("staff"));
    ADSHANDLE other = 0, theirs = 0;
    ASSERT_EQ(AdsConnect(u8(root.c_str()), &other), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsOpenTable(other, u8("staff"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                           ADS_CHECKRIGHTS, ADS_EXCLUSIVE, &theirs),
              AE_SUCCESS)
        << lastError();
    ADSHANDLE tag = index(theirs, "BYA", "A");
    ASSERT_EQ(AdsEnableEncryption(theirs, u8("secret")), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsEncryptTable(theirs), AE_SUCCESS) << lastError();
    auto structure = [&] {
        ADSHANDLE t = openOk("staff");
        ADSHANDLE handles[4];
        UNSIGNED16 tags = 4, encrypted = 9;
        EXPECT_EQ(AdsGetAllIndexes(t, handles, &tags), AE_SUCCESS) << lastError();
        EXPECT_EQ(AdsIsTableEncrypted(t, &encrypted), AE_SUCCESS) << lastError();
        close(t);
        return std::make_pair(tags, encrypted);
    };
    ASSERT_EQ(AdsCloseTable(theirs), AE_SUCCESS);
    EXPECT_EQ(structure(), std::make_pair(UNSIGNED16{1}, UNSIGNED16{1}));

    ASSERT_EQ(AdsOpenTable(other, u8("staff"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                           ADS_CHECKRIGHTS, ADS_EXCLUSIVE, &theirs),
              AE_SUCCESS)
        << lastError();
    ASSERT_EQ(AdsEnableEncryption(theirs, u8("secret")), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsDecryptTable(theirs), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsGetIndexHandle(theirs, u8("BYA"), &tag), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsDeleteIndex(tag), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsCloseTable(theirs), AE_SUCCESS);
    EXPECT_EQ(structure(), std::make_pair(UNSIGNED16{0}, UNSIGNED16{0}));
    (void)AdsDisconnect(other);
}

TEST_F(Tables, ClosingAConnectionsTablesFreesTheirFiles) {
    ADSHANDLE t = create("staff", "A,Integer");
    ADSHANDLE tag = index(t, "BYA", "A");
    ASSERT_EQ(AdsAppendRecord(t), AE_SUCCESS);  // a pending change is dropped
    engine::closeTablesOf(connection);
    EXPECT_EQ(AdsGotoTop(t), AE_INVALID_HANDLE);
    EXPECT_EQ(AdsGotoTop(tag), AE_INVALID_HANDLE);
    std::erase(opened, t);
    EXPECT_EQ(AdsDeleteTable(connection, u8("staff")), AE_SUCCESS) << lastError();
}

}  // namespace
