#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <thread>

#include "engine/sqlite/sql_keys.h"
#include "engine_fixture.h"
#include "process_helpers.h"

using namespace enginetest;
namespace fs = std::filesystem;

namespace {

constexpr const char* kFields =
    "NAME,Character,24;CITY,Character,20;ID,AutoInc;N,Integer;NOTE,Memo";
constexpr const char* kPassword = "KORVA4816";

std::string nameOf(int i) {
    return "ZQNAME" + std::to_string(1000 + i * 37 % 1000);
}

class Encryption : public EngineTest {
  protected:
    // A table "staff" of `rows` (> 5) rows with two tags; rows 3, 5 and the last deleted (record
    // numbers with gaps, the counter past the highest row).
    void makeStaff(int rows) {
        ADSHANDLE t = create("staff", kFields);
        index(t, "BYNAME", "NAME");
        index(t, "BYCITY", "CITY;N", ADS_DESCENDING);
        for (int i = 1; i <= rows; ++i)
            append(t, {nameOf(i), "ZQCITY" + std::to_string(i % 7), "", std::to_string(i * 3),
                       "ZQNOTE memo " + std::to_string(i)});
        for (UNSIGNED32 r : {3u, 5u, static_cast<UNSIGNED32>(rows)}) {
            ASSERT_EQ(AdsGotoRecord(t, r), AE_SUCCESS) << lastError();
            ASSERT_EQ(AdsDeleteRecord(t), AE_SUCCESS) << lastError();
        }
        close(t);
    }
    UNSIGNED32 encrypt(const char* name, const char* password = kPassword) {
        ADSHANDLE t = openOk(name, ADS_EXCLUSIVE);
        EXPECT_EQ(AdsEnableEncryption(t, u8(password)), AE_SUCCESS) << lastError();
        UNSIGNED32 rc = AdsEncryptTable(t);
        close(t);
        return rc;
    }
    ADSHANDLE openWith(const char* name, const char* password, UNSIGNED32 options = 0) {
        ADSHANDLE t = openOk(name, options);
        EXPECT_EQ(AdsEnableEncryption(t, u8(password)), AE_SUCCESS) << lastError();
        return t;
    }
    bool encrypted(ADSHANDLE t) {
        UNSIGNED16 flag = 2;
        EXPECT_EQ(AdsIsTableEncrypted(t, &flag), AE_SUCCESS);
        return flag == 1;
    }
    UNSIGNED32 count(ADSHANDLE t) {
        UNSIGNED32 n = 99;
        EXPECT_EQ(AdsGetRecordCount(t, ADS_RESPECTFILTERS, &n), AE_SUCCESS) << lastError();
        return n;
    }
    ADSHANDLE tag(ADSHANDLE t, const char* name) {
        ADSHANDLE h = 0;
        EXPECT_EQ(AdsGetIndexHandle(t, u8(name), &h), AE_SUCCESS) << lastError();
        return h;
    }
    // Everything the walks of a table show: record-number order, both tags, counts, autoinc.
    std::string transcript(ADSHANDLE t) {
        std::string out;
        for (UNSIGNED32 r : walkRecords(t)) out += std::to_string(r) + ",";
        out += "|";
        for (const char* tagName : {"BYNAME", "BYCITY"}) {
            ADSHANDLE h = tag(t, tagName);
            for (UNSIGNED32 r : walkRecords(h)) out += std::to_string(r) + ",";
            for (UNSIGNED32 r : walkRecords(h, true)) out += std::to_string(r) + ",";
            out += "|";
        }
        for (const std::string& v : walk(t, "NAME")) out += v + ",";
        for (const std::string& v : walk(t, "ID")) out += v + ",";
        for (const std::string& v : walk(t, "NOTE")) out += v + ",";
        out += "|" + std::to_string(count(t));
        return out;
    }
    // Files of the folder in which any of the texts appears, as "file: text".
    std::vector<std::string> plaintextFound(const std::vector<std::string>& texts) {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(folder)) {
            std::ifstream in(entry.path(), std::ios::binary);
            std::string bytes((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
            for (const std::string& text : texts)
                if (bytes.find(text) != std::string::npos)
                    found.push_back(entry.path().filename().string() + ": " + text);
        }
        return found;
    }
    std::set<std::string> files() {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.insert(entry.path().filename().string());
        return names;
    }
    void expectError(UNSIGNED32 rc, UNSIGNED32 code, const std::string& text) {
        EXPECT_EQ(rc, code);
        EXPECT_EQ(lastError(), text);
    }
};

TEST_F(Encryption, NoFieldValueIsWrittenInPlaintext) {
    FOLDER_ONLY();
    makeStaff(40);
    ASSERT_EQ(encrypt("staff"), AE_SUCCESS) << lastError();
    std::vector<std::string> secrets = {"ZQNAME", "ZQCITY", "ZQNOTE"};
    EXPECT_EQ(plaintextFound(secrets), std::vector<std::string>{});

    // Writes through an open handle: the -wal and -shm files exist meanwhile and are scanned too.
    ADSHANDLE t = openWith("staff", kPassword);
    for (int i = 0; i < 200; ++i)
        append(t, {"ZQLATER" + std::to_string(i), "ZQTOWN", "", "7", "ZQMEMO text"});
    ASSERT_EQ(AdsGotoTop(t), AE_SUCCESS);
    ASSERT_EQ(AdsSetField(t, u8("CITY"), u8("ZQEDITED"), 8), AE_SUCCESS);
    ASSERT_EQ(AdsWriteRecord(t), AE_SUCCESS) << lastError();
    ADSHANDLE byName = tag(t, "BYNAME");
    bool found = false;
    ASSERT_EQ(seekTexts(byName, {{"NAME", "ZQLATER1"}}, ADS_HARDSEEK, found), AE_SUCCESS);
    EXPECT_TRUE(found);
    secrets.insert(secrets.end(), {"ZQLATER", "ZQTOWN", "ZQMEMO", "ZQEDITED"});
    EXPECT_TRUE(files().count("staff.adt.rows-wal")) << "the rows' WAL is scanned while open";
    EXPECT_EQ(plaintextFound(secrets), std::vector<std::string>{});
    close(t);
    EXPECT_EQ(plaintextFound(secrets), std::vector<std::string>{});

    // Decrypting writes them in plaintext again (the scan finds what it looks for).
    t = openWith("staff", kPassword, ADS_EXCLUSIVE);
    ASSERT_EQ(AdsDecryptTable(t), AE_SUCCESS) << lastError();
    close(t);
    EXPECT_FALSE(plaintextFound({"ZQLATER1"}).empty());
}

TEST_F(Encryption, WithoutThePasswordTheTableShowsItsStructureAndNoRows) {
    makeStaff(10);
    ASSERT_EQ(encrypt("staff"), AE_SUCCESS) << lastError();
    ADSHANDLE t = openOk("staff");
    EXPECT_TRUE(encrypted(t));
    UNSIGNED16 fields = 0;
    ASSERT_EQ(AdsGetNumFields(t, &fields), AE_SUCCESS);
    EXPECT_EQ(fields, 5);
    UNSIGNED16 tags = 0;
    ASSERT_EQ(AdsGetAllIndexes(t, nullptr, &tags), AE_SUCCESS);
    EXPECT_EQ(tags, 2);
    EXPECT_TRUE(eof(t));
    EXPECT_TRUE(bof(t));
    EXPECT_EQ(count(t), 0u);
    UNSIGNED32 n = 9;
    ASSERT_EQ(AdsGetRecordCount(t, ADS_IGNOREFILTERS | ADS_REFRESHCOUNT, &n), AE_SUCCESS);
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(walkRecords(t).empty());
    EXPECT_TRUE(walkRecords(tag(t, "BYCITY"), true).empty());
    bool found = true;
    ASSERT_EQ(seekTexts(tag(t, "BYNAME"), {{"NAME", nameOf(1)}}, ADS_SOFTSEEK, found), AE_SUCCESS);
    EXPECT_FALSE(found);
    EXPECT_TRUE(eof(t));

    UNSIGNED32 length = 0;
    ASSERT_EQ(AdsGetRecordLength(t, &length), AE_SUCCESS);
    std::vector<UNSIGNED8> record(length), blank(length);
    UNSIGNED32 len = length;
    ASSERT_EQ(AdsGetRecord(t, record.data(), &len), AE_SUCCESS);
    ASSERT_EQ(AdsGetNullRecord(t, blank.data(), &length), AE_SUCCESS);
    EXPECT_EQ(record, blank);

    const std::string file = path("staff.adt");
    expectError(AdsGotoRecord(t, 1), AE_NO_SUCH_RECORD,
                "Error 5022: The table " + file +
                    " has no record 1 to show: it is encrypted and its password has not been "
                    "given.");
    const std::string refused =
        "Error 6011: The table " + file + " is encrypted; give its password before changing it.";
    expectError(AdsAppendRecord(t), AE_WRONG_PASSWORD, refused);
    expectError(AdsLockRecord(t, 1), AE_WRONG_PASSWORD, refused);
    expectError(AdsSetField(t, u8("NAME"), u8("x"), 1), AE_WRONG_PASSWORD, refused);
    ADSHANDLE extra = 0;
    expectError(AdsCreateIndex61(t, nullptr, u8("BYN"), u8("N"), nullptr, nullptr, 0, 512, &extra),
                AE_WRONG_PASSWORD, refused);

    // The same table through a handle with the password, in the same process: that handle sees
    // the rows, this one still none.
    ADSHANDLE other = openWith("staff", kPassword);
    EXPECT_EQ(walkRecords(other).size(), 7u);
    EXPECT_TRUE(walkRecords(t).empty());
    EXPECT_EQ(count(t), 0u);
    expectError(AdsAppendRecord(t), AE_WRONG_PASSWORD, refused);

    // Forgetting the password hides the rows again.
    ASSERT_EQ(AdsGotoTop(other), AE_SUCCESS);
    ASSERT_EQ(AdsDisableEncryption(other), AE_SUCCESS);
    EXPECT_TRUE(eof(other) && bof(other));
    EXPECT_TRUE(walkRecords(other).empty());
    EXPECT_TRUE(encrypted(other));
}

TEST_F(Encryption, AWrongPasswordIsRefusedAndTheHandleStaysUsable) {
    makeStaff(10);
    ASSERT_EQ(encrypt("staff"), AE_SUCCESS) << lastError();
    const std::string wrong =
        "Error 6011: The password does not open the encrypted table " + path("staff.adt") + ".";
    ADSHANDLE t = openOk("staff");
    // Once before any handle of this process has opened the rows, once after.
    for (int round = 0; round < 2; ++round) {
        expectError(AdsEnableEncryption(t, u8("korva4816")), AE_WRONG_PASSWORD, wrong);
        EXPECT_TRUE(walkRecords(t).empty());
        EXPECT_EQ(count(t), 0u);
        ASSERT_EQ(AdsEnableEncryption(t, u8(kPassword)), AE_SUCCESS) << lastError();
        EXPECT_EQ(walkRecords(t).size(), 7u);
        if (round == 0) {
            close(t);
            t = openOk("staff");
            ADSHANDLE keyed = openWith("staff", kPassword);
            EXPECT_EQ(count(keyed), 7u);
        }
    }
    // A wrong password on a handle that has the right one keeps it.
    expectError(AdsEnableEncryption(t, u8("nope")), AE_WRONG_PASSWORD, wrong);
    EXPECT_EQ(walkRecords(t).size(), 7u);
    expectError(AdsEnableEncryption(t, u8("")), AE_INVALID_ARGUMENT,
                "Error 6002: No password given for the table " + path("staff.adt") + ".");
    expectError(AdsEnableEncryption(t, nullptr), AE_INVALID_ARGUMENT,
                "Error 6002: No password given for the table " + path("staff.adt") + ".");
}

// A password this connection gave before no longer opens the table once another connection has
// encrypted it with another one.
TEST_F(Encryption, APasswordChangedElsewhereIsCheckedAfresh) {
    makeStaff(6);
    ASSERT_EQ(encrypt("staff"), AE_SUCCESS) << lastError();
    close(openWith("staff", kPassword));
    ADSHANDLE other = 0, theirs = 0;
    ASSERT_EQ(AdsConnect(u8(root.c_str()), &other), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsOpenTable(other, u8("staff"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                           ADS_CHECKRIGHTS, ADS_EXCLUSIVE, &theirs),
              AE_SUCCESS)
        << lastError();
    ASSERT_EQ(AdsEnableEncryption(theirs, u8(kPassword)), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsDecryptTable(theirs), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsEnableEncryption(theirs, u8("LAKSO2207")), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsEncryptTable(theirs), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsCloseTable(theirs), AE_SUCCESS);
    (void)AdsDisconnect(other);

    ADSHANDLE t = openOk("staff");
    expectError(
        AdsEnableEncryption(t, u8(kPassword)), AE_WRONG_PASSWORD,
        "Error 6011: The password does not open the encrypted table " + path("staff.adt") + ".");
    EXPECT_EQ(count(t), 0u);
    ASSERT_EQ(AdsEnableEncryption(t, u8("LAKSO2207")), AE_SUCCESS) << lastError();
    EXPECT_EQ(count(t), 3u);
}

TEST_F(Encryption, WithThePasswordEverythingWorksAsOnAPlainTable) {
    FOLDER_ONLY();  // copies the file
    makeStaff(30);
    fs::copy_file(path("staff.adt"), path("plain.adt"));
    ASSERT_EQ(encrypt("staff"), AE_SUCCESS) << lastError();
    ADSHANDLE plain = openOk("plain"), secret = openWith("staff", kPassword);
    ASSERT_TRUE(encrypted(secret));
    ASSERT_FALSE(encrypted(plain));
    EXPECT_EQ(transcript(plain), transcript(secret));

    // The same changes on both, then the same answers.
    for (ADSHANDLE t : {plain, secret}) {
        append(t, {"ZQAAA", "ZQCITY9", "", "1", ""});
        UNSIGNED32 autoinc = 0;
        ASSERT_EQ(AdsGetLastAutoinc(t, &autoinc), AE_SUCCESS);
        EXPECT_EQ(autoinc, 31u);  // past the deleted last row
        ASSERT_EQ(AdsGotoRecord(t, 4), AE_SUCCESS) << lastError();
        ASSERT_EQ(AdsSetField(t, u8("NAME"), u8("ZQZZZ"), 5), AE_SUCCESS);
        ASSERT_EQ(AdsWriteRecord(t), AE_SUCCESS) << lastError();
        ASSERT_EQ(AdsGotoRecord(t, 7), AE_SUCCESS);
        ASSERT_EQ(AdsDeleteRecord(t), AE_SUCCESS);
        ADSHANDLE byCity = tag(t, "BYCITY");
        ASSERT_EQ(AdsSetScope(byCity, ADS_TOP, u8("ZQCITY5"), 7, ADS_STRINGKEY), AE_SUCCESS);
        ASSERT_EQ(AdsSetScope(byCity, ADS_BOTTOM, u8("ZQCITY2"), 7, ADS_STRINGKEY), AE_SUCCESS);
    }
    EXPECT_EQ(transcript(plain), transcript(secret));
    std::vector<UNSIGNED32> scoped;
    for (ADSHANDLE t : {plain, secret}) {
        ADSHANDLE byCity = tag(t, "BYCITY");
        UNSIGNED32 n = 0;
        ASSERT_EQ(AdsGetRecordCount(byCity, ADS_RESPECTSCOPES, &n), AE_SUCCESS);
        scoped.push_back(n);
        bool found = false;
        ASSERT_EQ(seekTexts(tag(t, "BYNAME"), {{"NAME", "ZQNAME1"}}, ADS_HARDSEEK, found),
                  AE_SUCCESS);
        EXPECT_TRUE(found);
        EXPECT_EQ(field(t, "NAME").substr(0, 7), "ZQNAME1");
        DOUBLE position = 0;
        ASSERT_EQ(AdsGetRelKeyPos(tag(t, "BYNAME"), &position), AE_SUCCESS);
        EXPECT_GT(position, 0.0);
    }
    EXPECT_EQ(scoped[0], scoped[1]);
    EXPECT_GT(scoped[0], 0u);
    EXPECT_LT(scoped[0], count(plain));
    EXPECT_EQ(walk(tag(plain, "BYCITY"), "NAME"), walk(tag(secret, "BYCITY"), "NAME"));

    // A new tag on the encrypted table works and keeps its keys out of the plaintext file.
    index(secret, "BYN", "N");
    index(plain, "BYN", "N");
    EXPECT_EQ(walkRecords(tag(secret, "BYN")), walkRecords(tag(plain, "BYN")));
    ADSHANDLE byN = tag(secret, "BYN");
    ASSERT_EQ(AdsDeleteIndex(byN), AE_SUCCESS) << lastError();
}

TEST_F(Encryption, RecordLocksHoldBetweenHandlesAndProcesses) {
    makeStaff(8);
    ASSERT_EQ(encrypt("staff"), AE_SUCCESS) << lastError();
    ADSHANDLE a = openWith("staff", kPassword), b = openWith("staff", kPassword);
    ASSERT_EQ(AdsLockRecord(a, 2), AE_SUCCESS) << lastError();
    EXPECT_EQ(AdsLockRecord(b, 2), AE_LOCKED);
    ASSERT_EQ(AdsGotoRecord(b, 2), AE_SUCCESS);
    ASSERT_EQ(AdsSetField(b, u8("CITY"), u8("ZQX"), 3), AE_SUCCESS);
    EXPECT_EQ(AdsWriteRecord(b), AE_LOCKED);
    ASSERT_EQ(AdsCancelUpdate(b), AE_SUCCESS);
    ASSERT_EQ(AdsUnlockRecord(a, 2), AE_SUCCESS);

    // A child with its own handle and the password: 'l' locks record 4, 'a' appends a row,
    // 'e' answers whether an exclusive open succeeds.
    std::string where = root;
    Child child([where](Child& c) {
        ADSHANDLE connection = 0, t = 0;
        if (AdsConnect(u8(where.c_str()), &connection)) return 1;
        if (AdsOpenTable(connection, u8("staff"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0, &t))
            return 2;
        if (AdsEnableEncryption(t, u8(kPassword))) return 3;
        while (char command = c.receive()) {
            UNSIGNED32 rc = AE_SUCCESS;
            if (command == 'l') rc = AdsLockRecord(t, 4);
            if (command == 'a') {
                rc = AdsAppendRecord(t);
                if (!rc) rc = AdsSetField(t, u8("NAME"), u8("ZQCHILD"), 7);
                if (!rc) rc = AdsWriteRecord(t);
            }
            c.send(rc == AE_SUCCESS ? '0' : 'f');
        }
        return 0;
    });
    ASSERT_EQ(child.send('l') ? child.receive() : 0, '0');
    EXPECT_EQ(AdsLockRecord(a, 4), AE_LOCKED);
    EXPECT_EQ(AdsLockRecord(b, 4), AE_LOCKED);
    ASSERT_EQ(AdsGotoRecord(a, 4), AE_SUCCESS);
    EXPECT_EQ(AdsDeleteRecord(a), AE_LOCKED);
    ASSERT_EQ(child.send('a') ? child.receive() : 0, '0');
    EXPECT_EQ(count(a), 6u);  // the child's row is seen
    bool found = false;
    ASSERT_EQ(seekTexts(tag(b, "BYNAME"), {{"NAME", "ZQCHILD"}}, ADS_HARDSEEK, found), AE_SUCCESS);
    EXPECT_TRUE(found);
    ADSHANDLE x = 0;
    EXPECT_EQ(open("staff", x, ADS_EXCLUSIVE), AE_LOCKED);
    child.kill();  // its lock dies with it
    EXPECT_EQ(afterKill([&] { return AdsLockRecord(a, 4); }), AE_SUCCESS) << lastError();
}

TEST_F(Encryption, EncryptAndDecryptKeepRowsRecordNumbersTagsAndCounters) {
    makeStaff(50);
    ADSHANDLE t = openOk("staff", ADS_EXCLUSIVE);
    const std::string before = transcript(t);
    ASSERT_EQ(AdsGotoRecord(t, 10), AE_SUCCESS);
    ASSERT_EQ(AdsEnableEncryption(t, u8(kPassword)), AE_SUCCESS);
    EXPECT_FALSE(encrypted(t));
    ASSERT_EQ(AdsEncryptTable(t), AE_SUCCESS) << lastError();
    EXPECT_TRUE(encrypted(t));
    EXPECT_EQ(recno(t), 10u);  // the handle stays where it was, still readable
    EXPECT_EQ(field(t, "NAME"), nameOf(10));
    EXPECT_EQ(transcript(t), before);
    close(t);
    if (!onServer()) {
        EXPECT_TRUE(files().count("staff.adt.rows"));
    }

    t = openWith("staff", kPassword);
    EXPECT_EQ(transcript(t), before);
    append(t, {"ZQNEW", "", "", "", ""});
    UNSIGNED32 autoinc = 0;
    ASSERT_EQ(AdsGetLastAutoinc(t, &autoinc), AE_SUCCESS);
    EXPECT_EQ(autoinc, 51u);
    EXPECT_EQ(recno(t), 50u);  // SQLite's next row id after the highest one left (49)
    const std::string encryptedTranscript = transcript(t);
    close(t);

    t = openWith("staff", kPassword, ADS_EXCLUSIVE);
    ASSERT_EQ(AdsDecryptTable(t), AE_SUCCESS) << lastError();
    EXPECT_FALSE(encrypted(t));
    EXPECT_EQ(transcript(t), encryptedTranscript);
    close(t);
    EXPECT_FALSE(files().count("staff.adt.rows"));
    t = openOk("staff");
    EXPECT_FALSE(encrypted(t));
    EXPECT_EQ(transcript(t), encryptedTranscript);
    append(t, {"ZQNEWER", "", "", "", ""});
    ASSERT_EQ(AdsGetLastAutoinc(t, &autoinc), AE_SUCCESS);
    EXPECT_EQ(autoinc, 52u);
    // The password remembered by a plain table's handle is what a later encryption uses.
    close(t);
    ASSERT_EQ(encrypt("staff", "second"), AE_SUCCESS) << lastError();
    t = openOk("staff");
    EXPECT_EQ(AdsEnableEncryption(t, u8(kPassword)), AE_WRONG_PASSWORD);
    EXPECT_EQ(AdsEnableEncryption(t, u8("second")), AE_SUCCESS);
    EXPECT_EQ(count(t), 49u);
}

// Reading through a memory map pays off only where the rows are: the file of an encrypted table
// is read a few times at open and then left for its rows file, and unmapping it made every open
// of an encrypted table slower than a plain one. After a change of form, the new form decides.
TEST_F(Encryption, OnlyAFileHoldingTheRowsIsReadThroughAMemoryMap) {
    FOLDER_ONLY();
    makeStaff(20);
    const std::string file = fs::canonical(path("staff.adt")).string();
    auto mapped = [&file] {
        std::ifstream maps("/proc/self/maps");
        for (std::string line; std::getline(maps, line);)
            if (line.size() > file.size() &&
                line.compare(line.size() - file.size(), file.size(), file) == 0 &&
                line[line.size() - file.size() - 1] == ' ')
                return true;
        return false;
    };
    ADSHANDLE t = openOk("staff", ADS_EXCLUSIVE);
    EXPECT_EQ(transcript(t).empty(), false);
    EXPECT_TRUE(mapped());
    ASSERT_EQ(AdsEnableEncryption(t, u8(kPassword)), AE_SUCCESS);
    ASSERT_EQ(AdsEncryptTable(t), AE_SUCCESS) << lastError();
    const std::string rows = transcript(t);
    EXPECT_FALSE(mapped());
    close(t);

    t = openOk("staff", ADS_EXCLUSIVE);  // the structure read, the rows not yet
    EXPECT_EQ(count(t), 0u);
    EXPECT_FALSE(mapped());
    ASSERT_EQ(AdsEnableEncryption(t, u8(kPassword)), AE_SUCCESS);
    EXPECT_EQ(transcript(t), rows);
    EXPECT_FALSE(mapped());
    ASSERT_EQ(AdsDecryptTable(t), AE_SUCCESS) << lastError();
    EXPECT_EQ(transcript(t), rows);
    EXPECT_TRUE(mapped());
    close(t);
    EXPECT_FALSE(mapped());
}

// The table file of an encrypted table holds its structure only and keeps a rollback journal,
// so an open makes no write-ahead log beside it; decrypted, it holds the rows again in WAL mode.
TEST_F(Encryption, OnlyAFileHoldingTheRowsKeepsAWriteAheadLog) {
    FOLDER_ONLY();
    makeStaff(8);
    const std::string file = path("staff.adt");
    ADSHANDLE t = openOk("staff", ADS_EXCLUSIVE);
    EXPECT_TRUE(fs::exists(file + "-wal"));
    ASSERT_EQ(AdsEnableEncryption(t, u8(kPassword)), AE_SUCCESS);
    ASSERT_EQ(AdsEncryptTable(t), AE_SUCCESS) << lastError();
    const std::string rows = transcript(t);
    close(t);

    ADSHANDLE a = openWith("staff", kPassword), b = openWith("staff", kPassword);
    EXPECT_EQ(transcript(a), rows);
    EXPECT_FALSE(fs::exists(file + "-wal"));
    EXPECT_TRUE(fs::exists(file + ".rows-wal"));
    ASSERT_EQ(AdsGotoRecord(b, 4), AE_SUCCESS);
    ASSERT_EQ(AdsLockRecord(b, 4), AE_SUCCESS);
    ASSERT_EQ(AdsSetField(b, u8("CITY"), u8("ZQX"), 3), AE_SUCCESS);
    ASSERT_EQ(AdsWriteRecord(b), AE_SUCCESS) << lastError();
    ASSERT_EQ(AdsUnlockRecord(b, 4), AE_SUCCESS);
    EXPECT_NE(transcript(a), rows);
    close(a);
    close(b);

    t = openOk("staff", ADS_EXCLUSIVE);
    ASSERT_EQ(AdsEnableEncryption(t, u8(kPassword)), AE_SUCCESS);
    ASSERT_EQ(AdsDecryptTable(t), AE_SUCCESS) << lastError();
    EXPECT_TRUE(fs::exists(file + "-wal"));
    close(t);
}

TEST_F(Encryption, EncryptAndDecryptRefuseWithTheirReasons) {
    makeStaff(8);
    const std::string file = path("staff.adt");
    ADSHANDLE t = openOk("staff");
    expectError(AdsEncryptTable(t), AE_INVALID_ARGUMENT,
                "Error 6002: No password has been given for the table " + file +
                    "; give one with AdsEnableEncryption first.");
    ASSERT_EQ(AdsEnableEncryption(t, u8(kPassword)), AE_SUCCESS);
    expectError(AdsEncryptTable(t), AE_INVALID_ARGUMENT,
                "Error 6002: The table " + file + " must be opened exclusively to encrypt it.");
    expectError(AdsDecryptTable(t), AE_NOT_ENCRYPTED,
                "Error 6015: The table " + file + " is not encrypted.");
    close(t);
    t = openOk("staff", ADS_EXCLUSIVE | ADS_READONLY);
    ASSERT_EQ(AdsEnableEncryption(t, u8(kPassword)), AE_SUCCESS);
    expectError(AdsEncryptTable(t), AE_READ_ONLY,
                "Error 6012: The table " + file + " was opened read-only; it cannot be changed.");
    close(t);
    ASSERT_EQ(encrypt("staff"), AE_SUCCESS) << lastError();

    t = openOk("staff", ADS_EXCLUSIVE);
    expectError(AdsEncryptTable(t), AE_ALREADY_ENCRYPTED,
                "Error 6016: The table " + file + " is encrypted already.");
    const std::string noPassword = "Error 6011: The password of the encrypted table " + file +
                                   " has not been given; give it with AdsEnableEncryption first.";
    expectError(AdsDecryptTable(t), AE_WRONG_PASSWORD, noPassword);
    EXPECT_EQ(AdsEnableEncryption(t, u8("wrong")), AE_WRONG_PASSWORD);
    expectError(AdsDecryptTable(t), AE_WRONG_PASSWORD, noPassword);
    ASSERT_EQ(AdsEnableEncryption(t, u8(kPassword)), AE_SUCCESS);
    ASSERT_EQ(AdsDisableEncryption(t), AE_SUCCESS);
    expectError(AdsDecryptTable(t), AE_WRONG_PASSWORD, noPassword);
    close(t);
    t = openWith("staff", kPassword);
    expectError(AdsDecryptTable(t), AE_INVALID_ARGUMENT,
                "Error 6002: The table " + file + " must be opened exclusively to decrypt it.");
    EXPECT_TRUE(encrypted(t));
    EXPECT_EQ(count(t), 5u);
}

TEST_F(Encryption, AKilledEncryptionOrDecryptionLeavesAWholeTable) {
    FOLDER_ONLY();
    makeStaff(3000);
    std::vector<std::string> expected;
    {
        ADSHANDLE t = openOk("staff");
        expected = walk(tag(t, "BYNAME"), "NAME");
        close(t);
    }
    ASSERT_EQ(expected.size(), 2997u);
    const std::set<std::string> plainFiles = {"staff.adt", "staff.adt.lck"};
    std::set<std::string> encryptedFiles = plainFiles;
    encryptedFiles.insert("staff.adt.rows");

    // One child turns the table over once; the parent measures how long a change takes.
    std::string where = folder;
    auto turnOver = [where](Child& c) {
        ADSHANDLE connection = 0, t = 0;
        if (AdsConnect(u8(where.c_str()), &connection)) return 1;
        if (AdsOpenTable(connection, u8("staff"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, ADS_EXCLUSIVE,
                         &t))
            return 2;
        UNSIGNED16 isEncrypted = 0;
        (void)AdsIsTableEncrypted(t, &isEncrypted);
        if (AdsEnableEncryption(t, u8(kPassword))) return 3;
        c.send('r');
        UNSIGNED32 rc = isEncrypted ? AdsDecryptTable(t) : AdsEncryptTable(t);
        c.send(rc == AE_SUCCESS ? 'd' : 'f');
        return 0;
    };
    auto started = std::chrono::steady_clock::now();
    {
        Child c(turnOver);
        ASSERT_EQ(c.receive(), 'r');
        ASSERT_EQ(c.receive(), 'd');
        c.wait();
    }
    auto took = std::chrono::duration_cast<std::chrono::microseconds>(
                    std::chrono::steady_clock::now() - started)
                    .count();
    // Kills within twice that time: the switch comes near the end of a change (its key is
    // derived before it), so half the kills land after the child has finished.
    std::mt19937 random(20240611);
    std::uniform_int_distribution<long> delay(0, 2 * took);
    int seenPlain = 0, seenEncrypted = 0;
    for (int round = 0; round < 16; ++round) {
        {
            Child c(turnOver);
            ASSERT_EQ(c.receive(), 'r');
            std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
            c.kill();
        }
        ADSHANDLE t = openOk("staff");
        bool isEncrypted = encrypted(t);
        (isEncrypted ? seenEncrypted : seenPlain)++;
        if (isEncrypted) {
            ASSERT_EQ(AdsEnableEncryption(t, u8(kPassword)), AE_SUCCESS) << lastError();
        }
        EXPECT_EQ(walk(tag(t, "BYNAME"), "NAME"), expected) << "round " << round;
        EXPECT_EQ(count(t), 2997u);
        close(t);
        EXPECT_EQ(files(), isEncrypted ? encryptedFiles : plainFiles) << "round " << round;
        EXPECT_EQ(plaintextFound({nameOf(1)}).empty(), isEncrypted);
    }
    // Kills land before, during and after the switch: both forms turn up.
    EXPECT_GT(seenPlain, 0);
    EXPECT_GT(seenEncrypted, 0);
}

TEST_F(Encryption, LeftoversOfAnInterruptedChangeAreRemovedAtTheNextOpen) {
    FOLDER_ONLY();
    makeStaff(8);
    for (const char* name :
         {"staff.adt.rows", "staff.adt.rows-wal", "staff.adt.rows-new", "staff.adt.table-new",
          "staff.adt.table-new-journal", "staff.adt-mj0123ABCD"})
        std::ofstream(path(name)) << "half-made";
    ADSHANDLE t = openOk("staff");
    EXPECT_FALSE(encrypted(t));
    EXPECT_EQ(count(t), 5u);
    close(t);
    EXPECT_EQ(files(), (std::set<std::string>{"staff.adt", "staff.adt.lck"}));

    // An encrypted table keeps its companion; one without it is reported as damaged.
    ASSERT_EQ(encrypt("staff"), AE_SUCCESS) << lastError();
    fs::remove(path("staff.adt.rows"));
    ADSHANDLE h = 0;
    expectError(open("staff", h), AE_NOT_A_TABLE,
                "Error 6006: The encrypted table " + path("staff.adt") +
                    " is damaged: its rows file " + path("staff.adt.rows") + " is missing.");
}

TEST_F(Encryption, DeletingATableRemovesItsCompanion) {
    FOLDER_ONLY();
    makeStaff(8);
    ASSERT_EQ(encrypt("staff"), AE_SUCCESS) << lastError();
    ASSERT_TRUE(files().count("staff.adt.rows"));
    ASSERT_EQ(AdsDeleteTable(connection, u8("staff")), AE_SUCCESS) << lastError();
    EXPECT_EQ(files(), std::set<std::string>{});
    // A new table of the same name is plain and empty.
    ADSHANDLE t = create("staff", "NAME,Character,10");
    EXPECT_FALSE(encrypted(t));
    EXPECT_EQ(count(t), 0u);
}

// Whether `needle` lies in this process's writable memory anywhere but at `self`. The copies
// of memory read are wiped, so that a later look does not find them.
bool inWritableMemory(const std::string& needle, const char* self) {
    std::ifstream maps("/proc/self/maps");
    std::ifstream mem("/proc/self/mem", std::ios::binary);
    std::string line;
    std::vector<char> chunk;
    bool found = false;
    while (!found && std::getline(maps, line)) {
        unsigned long from = 0, to = 0;
        char perms[5] = {};
        if (std::sscanf(line.c_str(), "%lx-%lx %4s", &from, &to, perms) != 3 ||
            std::strncmp(perms, "rw", 2) != 0 || line.find("[vvar]") != std::string::npos)
            continue;
        chunk.resize(to - from);
        mem.clear();
        mem.seekg(static_cast<std::streamoff>(from));
        if (mem.read(chunk.data(), static_cast<std::streamsize>(chunk.size())))
            for (const char* at = chunk.data();
                 !found &&
                 (at = static_cast<const char*>(
                      memmem(at, chunk.data() + chunk.size() - at, needle.data(), needle.size())));
                 ++at)
                found = reinterpret_cast<const char*>(from) + (at - chunk.data()) != self;
        std::fill(chunk.begin(), chunk.end(), '\0');
    }
    return found;
}

TEST_F(Encryption, APasswordsKeyIsDerivedOncePerProcessAndFile) {
    FOLDER_ONLY();
    makeStaff(10);
    engine::sqlkeys::forgetAll();
    const unsigned before = engine::sqlkeys::derivations();
    ASSERT_EQ(encrypt("staff"), AE_SUCCESS) << lastError();
    // Encrypting derives the new file's key; no later open with the right password derives.
    EXPECT_EQ(engine::sqlkeys::derivations(), before + 1);
    for (int i = 0; i < 3; ++i) {
        ADSHANDLE t = openWith("staff", kPassword);
        EXPECT_EQ(count(t), 7u);
        close(t);
    }
    EXPECT_EQ(engine::sqlkeys::derivations(), before + 1);

    // A wrong password after the right one is still refused, and the right one still opens.
    const std::string wrong =
        "Error 6011: The password does not open the encrypted table " + path("staff.adt") + ".";
    ADSHANDLE t = openOk("staff");
    expectError(AdsEnableEncryption(t, u8("KORVA4817")), AE_WRONG_PASSWORD, wrong);
    expectError(AdsEnableEncryption(t, u8("KORVA4817")), AE_WRONG_PASSWORD, wrong);
    EXPECT_EQ(count(t), 0u);
    ASSERT_EQ(AdsEnableEncryption(t, u8(kPassword)), AE_SUCCESS) << lastError();
    EXPECT_EQ(count(t), 7u);
    close(t);

    // Re-encrypted under another password: the old password no longer opens it, the new does.
    t = openWith("staff", kPassword, ADS_EXCLUSIVE);
    ASSERT_EQ(AdsDecryptTable(t), AE_SUCCESS) << lastError();
    close(t);
    ASSERT_EQ(encrypt("staff", "second"), AE_SUCCESS) << lastError();
    t = openOk("staff");
    expectError(AdsEnableEncryption(t, u8(kPassword)), AE_WRONG_PASSWORD, wrong);
    ASSERT_EQ(AdsEnableEncryption(t, u8("second")), AE_SUCCESS) << lastError();
    EXPECT_EQ(count(t), 7u);
    close(t);

    // Re-encrypted under the same password: a new salt, so a new key, still right.
    t = openWith("staff", "second", ADS_EXCLUSIVE);
    ASSERT_EQ(AdsDecryptTable(t), AE_SUCCESS) << lastError();
    close(t);
    ASSERT_EQ(encrypt("staff", "second"), AE_SUCCESS) << lastError();
    const unsigned afterEncrypt = engine::sqlkeys::derivations();
    t = openWith("staff", "second");
    EXPECT_EQ(count(t), 7u);
    close(t);
    EXPECT_EQ(engine::sqlkeys::derivations(), afterEncrypt);
}

TEST_F(Encryption, TheKeyCacheKeepsNoPasswordInClear) {
    FOLDER_ONLY();
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer's shadow and allocator regions are terabytes of writable mappings, which
    // cannot be read through; its quarantine also keeps freed blocks as they were.
    GTEST_SKIP() << "the memory scan needs a build without AddressSanitizer";
#endif
    // Made at run time, so that the only copies are the ones the engine is given.
    std::string password = "ZQ";
    password += std::to_string(7310 + ::getpid() % 10);
    password += "-HUSH";
    makeStaff(8);
    ASSERT_EQ(encrypt("staff", password.c_str()), AE_SUCCESS) << lastError();
    ADSHANDLE t = openWith("staff", password.c_str());
    EXPECT_EQ(count(t), 5u);
    // While a handle holds the password it is there to be found (it encrypts and decrypts).
    EXPECT_TRUE(inWritableMemory(password, password.data()));
    close(t);
    EXPECT_FALSE(inWritableMemory(password, password.data()));
}

}  // namespace
