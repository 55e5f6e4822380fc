// The call surface for SQL statements: making, preparing and running them, their options,
// passwords and parameters.
#include <sodium.h>

#include <cstdio>
#include <cstring>

#include "engine/ace.h"
#include "engine/connection.h"
#include "engine/last_error.h"
#include "engine/record_image.h"
#include "engine/statement.h"

using namespace engine;

namespace {

std::string textOf(const UNSIGNED8* p) {
    return p ? std::string(reinterpret_cast<const char*>(p)) : std::string();
}

template <class F>
UNSIGNED32 withStatement(ADSHANDLE handle, F&& f) {
    std::shared_ptr<SqlStatement> s;
    if (UNSIGNED32 rc = statement::find(handle, s)) return rc;
    std::lock_guard lock(s->session->mutex);
    return f(*s);
}

UNSIGNED32 badOption(const char* option, UNSIGNED16 value, const char* allowed) {
    return fail(AE_INVALID_ARGUMENT, std::string("The statement option ") + option + " " +
                                         std::to_string(value) + " is not " + allowed + ".");
}

// A parameter given on a statement handle; a table handle answers AE_NOT_SUPPORTED.
UNSIGNED32 parameter(ADSHANDLE handle, UNSIGNED8* which, Value value, const char* call) {
    if (!statement::isStatement(handle) && HandleRegistry::instance().find(handle))
        return fail(AE_NOT_SUPPORTED, std::string(call) +
                                          " takes the parameters of SQL statements only; set the "
                                          "fields of a table with AdsSetField.");
    return withStatement(handle, [&](SqlStatement& s) {
        return statement::setParameter(s, which, std::move(value));
    });
}

std::string timeText(SIGNED32 millis) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", millis / 3600000, millis / 60000 % 60,
                  millis / 1000 % 60, millis % 1000);
    return buf;
}

UNSIGNED32 checkDay(SIGNED32 day, const char* call) {
    if (day < calendar::kFirstJulianDay || day > calendar::kLastJulianDay)
        return fail(AE_INVALID_ARGUMENT, std::string(call) + ": the Julian day " +
                                             std::to_string(day) +
                                             " is not a date between the years 1 and 9999.");
    return AE_SUCCESS;
}

UNSIGNED32 checkMillis(SIGNED32 millis, const char* call) {
    if (millis < 0 || millis >= 86400000)
        return fail(AE_INVALID_ARGUMENT, std::string(call) + ": " + std::to_string(millis) +
                                             " milliseconds is not a time of day.");
    return AE_SUCCESS;
}

}  // namespace

UNSIGNED32 AdsCreateSQLStatement(ADSHANDLE hConnect, ADSHANDLE* phStatement) {
    if (!phStatement) return fail(AE_INVALID_ARGUMENT, "No place given for the statement handle.");
    *phStatement = 0;
    return statement::create(hConnect, phStatement);
}

UNSIGNED32 AdsCloseSQLStatement(ADSHANDLE hStatement) {
    return statement::close(hStatement);
}

UNSIGNED32 AdsPrepareSQL(ADSHANDLE hStatement, UNSIGNED8* pucSQL) {
    if (!pucSQL) return fail(AE_INVALID_ARGUMENT, "No SQL statement given.");
    return withStatement(hStatement,
                         [&](SqlStatement& s) { return statement::prepare(s, textOf(pucSQL)); });
}

UNSIGNED32 AdsExecuteSQL(ADSHANDLE hStatement, ADSHANDLE* phCursor) {
    if (!phCursor) return fail(AE_INVALID_ARGUMENT, "No place given for the cursor handle.");
    *phCursor = 0;
    return withStatement(hStatement,
                         [&](SqlStatement& s) { return statement::execute(s, phCursor); });
}

UNSIGNED32 AdsExecuteSQLDirect(ADSHANDLE hStatement, UNSIGNED8* pucSQL, ADSHANDLE* phCursor) {
    if (!phCursor) return fail(AE_INVALID_ARGUMENT, "No place given for the cursor handle.");
    *phCursor = 0;
    if (!pucSQL) return fail(AE_INVALID_ARGUMENT, "No SQL statement given.");
    return withStatement(hStatement, [&](SqlStatement& s) {
        if (UNSIGNED32 rc = statement::prepare(s, textOf(pucSQL))) return rc;
        return statement::execute(s, phCursor);
    });
}

UNSIGNED32 AdsGetSQLStmtParams(UNSIGNED8* pucSQL) {
    return sqldialect::checkTokens(textOf(pucSQL));
}

UNSIGNED32 AdsStmtSetTableLockType(ADSHANDLE hStatement, UNSIGNED16 usLockType) {
    return withStatement(hStatement, [&](SqlStatement& s) {
        if (usLockType != ADS_COMPATIBLE_LOCKING && usLockType != ADS_PROPRIETARY_LOCKING)
            return badOption("lock type", usLockType, "0 (compatible) or 1 (proprietary)");
        s.lockType = usLockType;
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsStmtSetTableCharType(ADSHANDLE hStatement, UNSIGNED16 usCharType) {
    return withStatement(hStatement, [&](SqlStatement& s) {
        if (usCharType != ADS_ANSI && usCharType != ADS_OEM)
            return usCharType > ADS_OEM
                       ? fail(AE_NOT_SUPPORTED, "The character type " + std::to_string(usCharType) +
                                                    " is not supported; only ANSI (1) and OEM "
                                                    "(2) are.")
                       : badOption("character type", usCharType, "1 (ANSI) or 2 (OEM)");
        s.charType = usCharType;
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsStmtSetTableRights(ADSHANDLE hStatement, UNSIGNED16 usCheckRights) {
    return withStatement(hStatement, [&](SqlStatement& s) {
        if (usCheckRights != ADS_CHECKRIGHTS && usCheckRights != ADS_IGNORERIGHTS)
            return badOption("rights checking", usCheckRights, "1 (check) or 2 (ignore)");
        s.rights = usCheckRights;
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsStmtSetTableReadOnly(ADSHANDLE hStatement, UNSIGNED16 usReadOnly) {
    return withStatement(hStatement, [&](SqlStatement& s) {
        if (usReadOnly != 1 && usReadOnly != 2)
            return badOption("read-only", usReadOnly, "1 (read-only) or 2 (writable)");
        s.readOnly = usReadOnly;
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsStmtSetTableType(ADSHANDLE hStatement, UNSIGNED16 usTableType) {
    return withStatement(hStatement, [&](SqlStatement& s) {
        if (usTableType > ADS_ADT)
            return badOption("table type", usTableType, "0 (default), 1 (NTX), 2 (CDX) or 3 (ADT)");
        if ((usTableType == ADS_NTX || usTableType == ADS_CDX) &&
            !s.session->connection->isDictionary())
            return fail(AE_NOT_SUPPORTED,
                        "The table type " + std::to_string(usTableType) +
                            " is not supported for free tables; only ADT tables (type 3) are.");
        s.tableType = usTableType;
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsStmtConstrainUpdates(ADSHANDLE hStatement, UNSIGNED16 usConstrain) {
    return withStatement(hStatement, [&](SqlStatement& s) {
        if (usConstrain != 1 && usConstrain != 2)
            return badOption("constrained updates", usConstrain, "1 (on) or 2 (off)");
        s.constrain = usConstrain == 1;
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsStmtReadAllColumns(ADSHANDLE hStatement, UNSIGNED16 usReadAll) {
    return withStatement(hStatement, [&](SqlStatement& s) {
        if (usReadAll != 1 && usReadAll != 2)
            return badOption("read all columns", usReadAll, "1 (on) or 2 (off)");
        s.readAllColumns = usReadAll == 1;
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsStmtEnableEncryption(ADSHANDLE hStatement, UNSIGNED8* pucPassword) {
    return withStatement(hStatement, [&](SqlStatement& s) {
        std::string password = textOf(pucPassword);
        if (password.empty())
            return fail(AE_INVALID_ARGUMENT, "No password given for the statement's encryption.");
        s.encryption = true;
        s.encryptionPassword = Secret(password);
        sodium_memzero(password.data(), password.size());
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsStmtDisableEncryption(ADSHANDLE hStatement) {
    return withStatement(hStatement, [&](SqlStatement& s) {
        s.encryption = false;
        s.encryptionPassword.clear();
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsStmtSetTablePassword(ADSHANDLE hStatement, UNSIGNED8* pucTableName,
                                   UNSIGNED8* pucPassword) {
    return withStatement(hStatement, [&](SqlStatement& s) {
        std::string name = textOf(pucTableName);
        if (name.empty())
            return fail(AE_INVALID_ARGUMENT, "No table name given for the table password.");
        for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        std::string password = textOf(pucPassword);
        s.tablePasswords[name] = Secret(password);
        sodium_memzero(password.data(), password.size());
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsStmtClearTablePasswords(ADSHANDLE hStatement) {
    return withStatement(hStatement, [&](SqlStatement& s) {
        s.tablePasswords.clear();
        return AE_SUCCESS;
    });
}

UNSIGNED32 AdsSetString(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED8* pucBuf,
                        UNSIGNED32 ulLen) {
    if (!statement::isStatement(hObj)) return AdsSetField(hObj, pucFldName, pucBuf, ulLen);
    if (!pucBuf && ulLen) return fail(AE_INVALID_ARGUMENT, "No text given for the parameter.");
    std::string text(pucBuf ? reinterpret_cast<const char*>(pucBuf) : "", pucBuf ? ulLen : 0);
    // Texts are stored without trailing blanks, so a parameter compares as a stored text does.
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return parameter(hObj, pucFldName,
                     Value::ofText(codepage::toUtf8(text, codepage::CodePage::Ansi1252)),
                     "AdsSetString");
}

UNSIGNED32 AdsSetLogical(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED16 bValue) {
    return parameter(hObj, pucFldName, Value::ofInteger(bValue ? 1 : 0), "AdsSetLogical");
}

UNSIGNED32 AdsSetDouble(ADSHANDLE hObj, UNSIGNED8* pucFldName, DOUBLE dValue) {
    return parameter(hObj, pucFldName, Value::ofReal(dValue), "AdsSetDouble");
}

UNSIGNED32 AdsSetJulian(ADSHANDLE hObj, UNSIGNED8* pucFldName, SIGNED32 lDate) {
    if (lDate == 0) return parameter(hObj, pucFldName, Value{}, "AdsSetJulian");
    if (UNSIGNED32 rc = checkDay(lDate, "AdsSetJulian")) return rc;
    return parameter(hObj, pucFldName, Value::ofText(calendar::isoDate(lDate)), "AdsSetJulian");
}

UNSIGNED32 AdsSetMilliseconds(ADSHANDLE hObj, UNSIGNED8* pucFldName, SIGNED32 lTime) {
    if (UNSIGNED32 rc = checkMillis(lTime, "AdsSetMilliseconds")) return rc;
    return parameter(hObj, pucFldName, Value::ofText(timeText(lTime)), "AdsSetMilliseconds");
}

UNSIGNED32 AdsSetTimeStampRaw(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED8* pucBuf,
                              UNSIGNED32 ulLen) {
    if (!pucBuf || ulLen != 8)
        return fail(AE_INVALID_ARGUMENT,
                    "AdsSetTimeStampRaw takes 8 bytes: the Julian day and the milliseconds.");
    SIGNED32 day = 0, millis = 0;
    std::memcpy(&day, pucBuf, 4);
    std::memcpy(&millis, pucBuf + 4, 4);
    if (day == 0) return parameter(hObj, pucFldName, Value{}, "AdsSetTimeStampRaw");
    if (UNSIGNED32 rc = checkDay(day, "AdsSetTimeStampRaw")) return rc;
    if (UNSIGNED32 rc = checkMillis(millis, "AdsSetTimeStampRaw")) return rc;
    return parameter(hObj, pucFldName,
                     Value::ofText(calendar::isoDate(day) + " " + timeText(millis)),
                     "AdsSetTimeStampRaw");
}

UNSIGNED32 AdsSetBinary(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED16 usBinaryType,
                        UNSIGNED32 ulTotalLength, UNSIGNED32 ulOffset, UNSIGNED8* pucBuf,
                        UNSIGNED32 ulLen) {
    if (usBinaryType != ADS_BINARY && usBinaryType != ADS_IMAGE)
        return fail(AE_INVALID_ARGUMENT, "The binary type " + std::to_string(usBinaryType) +
                                             " is not 6 (binary) or 7 (image).");
    if (ulOffset != 0 || ulLen != ulTotalLength)
        return fail(AE_NOT_SUPPORTED,
                    "A binary parameter is given whole: offset 0 and its total length.");
    if (!pucBuf && ulLen) return fail(AE_INVALID_ARGUMENT, "No bytes given for the parameter.");
    std::string bytes(pucBuf ? reinterpret_cast<const char*>(pucBuf) : "", pucBuf ? ulLen : 0);
    return parameter(hObj, pucFldName, Value::ofBlob(std::move(bytes)), "AdsSetBinary");
}
