// Fuzz target of the engine: one input is a script of engine calls on a table of every field type,
// filter expressions among them (first byte 0 modulo 4), damage done to a valid table file before
// it is opened and read (first byte odd), or SQL statements of tokens and raw bytes with
// parameters, options and passwords (first byte 2 modulo 4). Any result code is fine; a crash, a
// hang or a sanitizer report is not. Used by fuzz/engine_fuzzer.cpp (libFuzzer) and by the corpus
// test of tests_engine.
#ifndef VELDA_FUZZ_ENGINE_TARGET_H
#define VELDA_FUZZ_ENGINE_TARGET_H

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/ace.h"

namespace veldafuzz {

inline UNSIGNED8* u8(const char* s) {
    return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(s));
}

class Input {
  public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool done() const { return at_ >= size_; }
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::string bytes(size_t n) {
        n = std::min(n, size_ - std::min(at_, size_));
        std::string s(reinterpret_cast<const char*>(data_ + at_), n);
        at_ += n;
        return s;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

constexpr const char* kFields =
    "S,Character,6;N,Numeric,6,2;D,Date;L,Logical;C,CompactDate;F,Double;I,Integer;H,ShortInteger;"
    "T,Time;"
    "TS,TimeStamp;A,AutoInc;R,Raw,3;M,Memo;V,VarChar,5;B,Binary";
constexpr int kFieldCount = 15;

inline const std::string& folder() {
    static const std::string path = [] {
        char pattern[] = "/tmp/velda-fuzz-XXXXXX";
        return std::string(mkdtemp(pattern) ? pattern : "/tmp");
    }();
    return path;
}

inline ADSHANDLE connection() {
    static ADSHANDLE h = [] {
        ADSHANDLE c = 0;
        (void)AdsConnect(u8(folder().c_str()), &c);
        return c;
    }();
    return h;
}

inline void removeTable(const char* name) {
    (void)AdsDeleteTable(connection(), u8(name));
    std::error_code ec;
    for (const char* suffix : {".adt", ".adt-wal", ".adt-shm", ".adt.lck"})
        std::filesystem::remove(folder() + "/" + name + suffix, ec);
}

// Up to `most` - 1 tokens of a language, now and then raw bytes instead.
template <size_t N>
std::string tokenText(Input& in, const char* const (&tokens)[N], size_t most) {
    std::string text;
    size_t count = in.byte() % most;
    for (size_t i = 0; i < count && !in.done(); ++i) {
        uint8_t b = in.byte();
        if (b < 0xF0)
            text += std::string(tokens[b % N]) + " ";
        else
            text += in.bytes(b & 0x0F);
    }
    return text;
}

// An expression of the filter language: mostly its tokens, now and then raw bytes.
inline std::string expressionText(Input& in) {
    static const char* const tokens[] = {
        "S",          "N",      "D",        "L",       "C",         "F",       "I",
        "H",          "T",      "TS",       "A",       "M",         "V",       "R",
        "B",          "NOSUCH", "'ab'",     "\"x\"",   "''",        "'é'",     "1",
        "0.5",        "-",      "+",        "*",       "/",         "=",       "==",
        "<>",         "#",      "!=",       "<",       ">",         "<=",      ">=",
        "$",          ".T.",    ".F.",      ".AND.",   ".OR.",      ".NOT.",   "AND",
        "OR",         "NOT",    "!",        "(",       ")",         ",",       "UPPER(",
        "LOWER(",     "TRIM(",  "ALLTRIM(", "SUBSTR(", "LEFT(",     "RIGHT(",  "LEN(",
        "STR(",       "VAL(",   "DTOS(",    "CTOD(",   "STOD(",     "YEAR(",   "MONTH(",
        "DAY(",       "DATE()", "EMPTY(",   "IIF(",    "DELETED()", "RECNO()", "'01/02/2020'",
        "'20200102'", "EMP->",  "'",        "\"",      "."};
    return tokenText(in, tokens, 20);
}

inline void runScript(Input& in) {
    removeTable("script");
    ADSHANDLE t = 0;
    if (AdsCreateTable(connection(), u8("script"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0, u8(kFields),
                       &t))
        return;
    ADSHANDLE tags[4] = {};
    (void)AdsCreateIndex61(t, nullptr, u8("BYS"), u8("S"), nullptr, nullptr, 0, 512, &tags[0]);
    (void)AdsCreateIndex61(t, nullptr, u8("BYSD"), u8("S;D"), nullptr, nullptr, 0, 512, &tags[1]);
    (void)AdsCreateIndex61(t, nullptr, u8("BYN"), u8("N"), nullptr, nullptr, ADS_DESCENDING, 512,
                           &tags[2]);
    (void)AdsCreateIndex61(t, nullptr, u8("BYI"), u8("I;TS"), nullptr, nullptr, ADS_UNIQUE, 512,
                           &tags[3]);
    ADSHANDLE second = 0;
    (void)AdsOpenTable(connection(), u8("script"), nullptr, ADS_ADT, ADS_OEM, 1, 1, 0, &second);
    std::vector<UNSIGNED8> buffer(4096);
    int steps = 0;
    while (!in.done() && steps++ < 400) {
        uint8_t op = in.byte();
        ADSHANDLE handle = (op & 0x10) ? tags[in.byte() % 4] : ((op & 0x20) && second ? second : t);
        ADSHANDLE tag = tags[in.byte() % 4];
        UNSIGNED16 field = static_cast<UNSIGNED16>(1 + in.byte() % kFieldCount);
        UNSIGNED32 len = static_cast<UNSIGNED32>(buffer.size());
        UNSIGNED16 len16 = 256;
        UNSIGNED16 flag = 0;
        switch (op % 19) {
            case 0:
                (void)AdsAppendRecord(handle);
                break;
            case 1: {
                std::string v = in.bytes(in.byte() % 16);
                (void)AdsSetFieldRaw(handle, ADSFIELD(field), u8(v.c_str()),
                                     static_cast<UNSIGNED32>(v.size()));
                break;
            }
            case 2: {
                std::string v = in.bytes(in.byte() % 16);
                (void)AdsSetField(handle, ADSFIELD(field), u8(v.c_str()),
                                  static_cast<UNSIGNED32>(v.size()));
                break;
            }
            case 3:
                (void)AdsWriteRecord(handle);
                break;
            case 4:
                (void)AdsCancelUpdate(handle);
                break;
            case 5:
                (void)AdsSkip(handle, static_cast<int8_t>(in.byte()));
                break;
            case 6:
                (void)((in.byte() & 1) ? AdsGotoTop(handle) : AdsGotoBottom(handle));
                break;
            case 7:
                (void)AdsGotoRecord(handle, in.byte() % 40);
                break;
            case 8: {
                std::string key = in.bytes(in.byte() % 40);
                (void)AdsSeek(tag, u8(key.c_str()), static_cast<UNSIGNED16>(key.size()),
                              static_cast<UNSIGNED16>(1 + in.byte() % 4),
                              static_cast<UNSIGNED16>(in.byte() % 8), &flag);
                break;
            }
            case 9: {
                (void)AdsInitRawKey(tag);
                std::string v = in.bytes(in.byte() % 12);
                (void)AdsSetField(tag, ADSFIELD(field), u8(v.c_str()),
                                  static_cast<UNSIGNED32>(v.size()));
                UNSIGNED8 key[ADS_MAX_KEY_LENGTH];
                UNSIGNED16 keyLen = sizeof key;
                if (AdsBuildRawKey(tag, key, &keyLen) == AE_SUCCESS)
                    (void)AdsSeek(tag, key, keyLen, ADS_RAWKEY,
                                  static_cast<UNSIGNED16>(in.byte() % 8), &flag);
                break;
            }
            case 10: {
                std::string key = in.bytes(in.byte() % 24);
                (void)AdsSetScope(tag, static_cast<UNSIGNED16>(in.byte() % 3), u8(key.c_str()),
                                  static_cast<UNSIGNED16>(key.size()),
                                  static_cast<UNSIGNED16>(1 + in.byte() % 2));
                break;
            }
            case 11:
                (void)AdsClearAllScopes(t);
                break;
            case 12:
                (void)AdsDeleteRecord(handle);
                break;
            case 13:
                (void)AdsGetRecord(handle, buffer.data(), &len);
                len = static_cast<UNSIGNED32>(in.byte());
                (void)AdsGetField(handle, ADSFIELD(field), buffer.data(), &len, ADS_NONE);
                (void)AdsIsEmpty(handle, ADSFIELD(field), &flag);
                break;
            case 14: {
                UNSIGNED32 count = 0;
                double pos = 0;
                (void)AdsGetRecordCount(handle, static_cast<UNSIGNED16>(in.byte() % 8), &count);
                (void)AdsGetRelKeyPos(handle, &pos);
                (void)AdsIsRecordVisible(handle, &flag);
                break;
            }
            case 15:
                (void)((in.byte() & 1) ? AdsLockRecord(handle, in.byte() % 8)
                                       : AdsUnlockRecord(handle, in.byte() % 8));
                break;
            case 16:
                (void)AdsGetScope(tag, static_cast<UNSIGNED16>(in.byte() % 3), buffer.data(),
                                  &len16);
                (void)AdsGetBookmark60(handle, buffer.data(), &len);
                break;
            case 17: {
                // Filters and expressions of any text, then a move under them.
                std::string text = expressionText(in);
                switch (in.byte() % 6) {
                    case 0:
                        (void)AdsSetAOF(handle, u8(text.c_str()),
                                        static_cast<UNSIGNED16>(in.byte() % 4));
                        break;
                    case 1:
                        (void)AdsSetFilter(handle, u8(text.c_str()));
                        break;
                    case 2:
                        (void)AdsEvalLogicalExpr(handle, u8(text.c_str()), &flag);
                        break;
                    case 3:
                        (void)AdsSetExact22(handle, in.byte() & 1);
                        break;
                    case 4:
                        (void)((in.byte() & 1) ? AdsClearAOF(handle) : AdsClearFilter(handle));
                        break;
                    default:
                        (void)AdsGetAOF(handle, buffer.data(), &len16);
                        (void)AdsExpressionLongToShort(handle, u8(text.c_str()), buffer.data(),
                                                       &len16);
                        break;
                }
                (void)AdsSkip(handle, (in.byte() & 1) ? 1 : -1);
                break;
            }
            default:
                (void)AdsRefreshRecord(handle);
                break;
        }
    }
    if (second) (void)AdsCloseTable(second);
    if (AdsCloseTable(t) != AE_SUCCESS) {
        (void)AdsCancelUpdate(t);
        (void)AdsCloseTable(t);
    }
}

inline void runDamagedFile(Input& in) {
    static std::string pristine;
    std::string file = folder() + "/damaged.adt";
    if (pristine.empty()) {
        removeTable("damaged");
        ADSHANDLE t = 0;
        if (AdsCreateTable(connection(), u8("damaged"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0,
                           u8(kFields), &t))
            return;
        ADSHANDLE tag = 0;
        (void)AdsCreateIndex61(t, nullptr, u8("BYS"), u8("S;D"), nullptr, nullptr, 0, 512, &tag);
        for (int i = 0; i < 60; ++i) {
            std::string s = std::to_string(i * 37 % 100),
                        d = "2020-01-" + std::to_string(10 + i % 18);
            (void)AdsAppendRecord(t);
            (void)AdsSetField(t, u8("S"), u8(s.c_str()), static_cast<UNSIGNED32>(s.size()));
            (void)AdsSetField(t, u8("D"), u8(d.c_str()), static_cast<UNSIGNED32>(d.size()));
            (void)AdsSetField(t, u8("M"), u8("memo text"), 9);
            (void)AdsWriteRecord(t);
        }
        (void)AdsCloseTable(t);
        FILE* f = std::fopen(file.c_str(), "rb");
        if (!f) return;
        char chunk[4096];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) pristine.append(chunk, n);
        std::fclose(f);
    }
    std::string damaged = pristine;
    while (!in.done()) {
        size_t at = (static_cast<size_t>(in.byte()) << 8 | in.byte()) % (damaged.size() + 1);
        uint8_t what = in.byte();
        if (what == 0xFF) {
            damaged.resize(at);
        } else if (at < damaged.size()) {
            damaged[at] = static_cast<char>(in.byte());
        }
    }
    removeTable("damaged");
    if (FILE* f = std::fopen(file.c_str(), "wb")) {
        std::fwrite(damaged.data(), 1, damaged.size(), f);
        std::fclose(f);
    }
    ADSHANDLE t = 0;
    if (AdsOpenTable(connection(), u8("damaged"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0, &t) !=
        AE_SUCCESS)
        return;
    ADSHANDLE tag = 0;
    (void)AdsGetIndexHandle(t, u8("BYS"), &tag);
    UNSIGNED32 length = 0;
    (void)AdsGetRecordLength(t, &length);
    std::vector<UNSIGNED8> record(length + 1);
    for (ADSHANDLE h : {t, tag}) {
        if (!h) continue;
        UNSIGNED16 eof = 1;
        if (AdsGotoTop(h) != AE_SUCCESS) continue;
        for (int i = 0; i < 200 && AdsAtEOF(h, &eof) == AE_SUCCESS && !eof; ++i) {
            UNSIGNED32 len = length + 1;
            (void)AdsGetRecord(h, record.data(), &len);
            if (AdsSkip(h, 1) != AE_SUCCESS) break;
        }
    }
    (void)AdsAppendRecord(t);
    (void)AdsSetField(t, u8("S"), u8("x"), 1);
    if (AdsWriteRecord(t) != AE_SUCCESS) (void)AdsCancelUpdate(t);
    (void)AdsCloseTable(t);
}

// A statement text from the input: dialect tokens mixed with raw bytes.
inline std::string sqlText(Input& in) {
    static const char* const tokens[] = {"SELECT",
                                         "*",
                                         "FROM",
                                         "sqlt",
                                         "\"sqlt.adt\"",
                                         "sqlt.adt",
                                         "[sqlt]",
                                         "WHERE",
                                         "S",
                                         "N",
                                         "D",
                                         "TS",
                                         "I",
                                         "M",
                                         "B",
                                         "=",
                                         "<",
                                         ">=",
                                         "<>",
                                         "+",
                                         "||",
                                         "'x'",
                                         "'2020-01-01'",
                                         "''",
                                         "{d '2020-01-01'}",
                                         "{ts '2020-01-01 10:00:00'}",
                                         "{fn",
                                         "}",
                                         "(",
                                         ")",
                                         ",",
                                         ".",
                                         "AND",
                                         "OR",
                                         "NOT",
                                         "TOP",
                                         "5",
                                         "0",
                                         "-1",
                                         "1e400",
                                         "ORDER BY",
                                         "GROUP BY",
                                         "HAVING",
                                         "DISTINCT",
                                         "COUNT(*)",
                                         "SUM(N)",
                                         "MAX(D)",
                                         "UPPER(S)",
                                         "LEFT(S, 2)",
                                         "IIF(",
                                         "CONCAT(",
                                         "CAST(",
                                         "AS",
                                         "SQL_DATE",
                                         "CHAR(3)",
                                         "YEAR(D)",
                                         "?",
                                         ":p",
                                         ":q",
                                         "UPDATE",
                                         "SET",
                                         "INSERT INTO",
                                         "VALUES",
                                         "DELETE",
                                         "UNION",
                                         "ALL",
                                         "JOIN",
                                         "LEFT JOIN",
                                         "ON",
                                         "IN",
                                         "EXISTS",
                                         "NULL",
                                         "TRUE",
                                         "FALSE",
                                         "--",
                                         "/*",
                                         "*/",
                                         ";",
                                         "a",
                                         "b",
                                         "NOSUCH",
                                         "\"",
                                         "'",
                                         "[",
                                         "]",
                                         "{"};
    return tokenText(in, tokens, 24);
}

inline void runSql(Input& in) {
    removeTable("sqlt");
    ADSHANDLE t = 0;
    if (AdsCreateTable(connection(), u8("sqlt"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0, u8(kFields),
                       &t))
        return;
    for (int i = 0; i < 5; ++i) {
        std::string v = std::to_string(i);
        (void)AdsAppendRecord(t);
        (void)AdsSetField(t, u8("S"), u8(v.c_str()), static_cast<UNSIGNED32>(v.size()));
        (void)AdsSetField(t, u8("D"), u8("2020-01-02"), 10);
        (void)AdsWriteRecord(t);
    }
    (void)AdsCloseTable(t);
    ADSHANDLE s = 0;
    if (AdsCreateSQLStatement(connection(), &s)) return;
    std::vector<UNSIGNED8> buffer(4096);
    int steps = 0;
    while (!in.done() && steps++ < 40) {
        uint8_t op = in.byte();
        UNSIGNED8* which = (op & 0x80) ? u8((op & 0x40) ? "p" : ":q") : ADSFIELD(in.byte() % 4);
        ADSHANDLE cursor = 0;
        switch (op % 10) {
            case 0:
            case 1: {
                std::string sql = sqlText(in);
                if (AdsPrepareSQL(s, u8(sql.c_str())) == AE_SUCCESS &&
                    AdsExecuteSQL(s, &cursor) == AE_SUCCESS && cursor) {
                    UNSIGNED16 eof = 0;
                    (void)AdsGotoTop(cursor);
                    for (int i = 0; i < 20 && AdsAtEOF(cursor, &eof) == AE_SUCCESS && !eof; ++i) {
                        UNSIGNED32 len = static_cast<UNSIGNED32>(buffer.size());
                        (void)AdsGetRecord(cursor, buffer.data(), &len);
                        len = static_cast<UNSIGNED32>(buffer.size());
                        (void)AdsGetField(cursor, ADSFIELD(1), buffer.data(), &len, ADS_NONE);
                        (void)AdsSkip(cursor, 1);
                    }
                    (void)AdsWriteRecord(cursor);
                    (void)AdsCloseTable(cursor);
                }
                break;
            }
            case 2: {
                std::string raw = in.bytes(in.byte() % 64);
                (void)AdsGetSQLStmtParams(u8(raw.c_str()));
                if (AdsExecuteSQLDirect(s, u8(raw.c_str()), &cursor) == AE_SUCCESS && cursor)
                    (void)AdsCloseTable(cursor);
                break;
            }
            case 3: {
                std::string v = in.bytes(in.byte() % 16);
                (void)AdsSetString(s, which, u8(v.c_str()), static_cast<UNSIGNED32>(v.size()));
                break;
            }
            case 4: {
                int32_t day = static_cast<int32_t>(in.byte() << 16 | in.byte() << 8 | in.byte());
                (void)((op & 1) ? AdsSetJulian(s, which, day)
                                : AdsSetMilliseconds(s, which, day * 7));
                break;
            }
            case 5: {
                std::string raw = in.bytes(8);
                (void)AdsSetTimeStampRaw(s, which, u8(raw.c_str()),
                                         static_cast<UNSIGNED32>(raw.size()));
                break;
            }
            case 6: {
                std::string raw = in.bytes(in.byte() % 8);
                if (op & 1)
                    (void)AdsSetDouble(s, which, static_cast<double>(in.byte()) / 3.0);
                else
                    (void)AdsSetBinary(s, which, ADS_BINARY, static_cast<UNSIGNED32>(raw.size()), 0,
                                       u8(raw.c_str()), static_cast<UNSIGNED32>(raw.size()));
                (void)AdsSetLogical(s, which, in.byte() & 1);
                (void)AdsSetEmpty(s, which);
                break;
            }
            case 7: {
                UNSIGNED16 v = in.byte() % 5;
                (void)AdsStmtSetTableType(s, v);
                (void)AdsStmtSetTableCharType(s, v);
                (void)AdsStmtSetTableReadOnly(s, v);
                (void)AdsStmtReadAllColumns(s, v);
                break;
            }
            case 8: {
                std::string pw = in.bytes(in.byte() % 10);
                (void)((op & 1) ? AdsStmtEnableEncryption(s, u8(pw.c_str()))
                                : AdsStmtSetTablePassword(s, u8("sqlt"), u8(pw.c_str())));
                if (op & 0x40) (void)AdsStmtClearTablePasswords(s);
                break;
            }
            default: {
                UNSIGNED32 value = 0;
                (void)AdsGetRecordCount(s, ADS_IGNOREFILTERS, &value);
                (void)AdsGetLastAutoinc(s, &value);
                break;
            }
        }
    }
    (void)AdsCloseSQLStatement(s);
}

inline int runOne(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    Input in(data + 1, size - 1);
    if (data[0] & 1)
        runDamagedFile(in);
    else if (data[0] & 2)
        runSql(in);
    else
        runScript(in);
    return 0;
}

}  // namespace veldafuzz

#endif
