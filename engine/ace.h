// The database engine's call surface.
//
// Plain functions with C-compatible signatures: fixed-width integers, caller-owned
// character buffers with in-out lengths, out-parameters, and a 32-bit result that is
// AE_SUCCESS (0) on success. Every failure sets the calling thread's last error, which
// AdsGetLastError reports as a code and a text of the form "Error <code>: <what>".
//
// Handles are 32-bit values issued by the engine, never 0 and never 0xFFFFFFFF for a
// live handle. Connection, table, index and statement handles are distinct kinds.
//
// A field argument names a field either by name (a NUL-terminated text) or by its
// 1-based number passed through ADSFIELD(n).
//
// Nothing above engine/ includes anything from engine/ but this header.
#ifndef VELDA_ENGINE_ACE_H
#define VELDA_ENGINE_ACE_H

#include <cstdint>

typedef uint8_t UNSIGNED8;
typedef uint16_t UNSIGNED16;
typedef uint32_t UNSIGNED32;
typedef int16_t SIGNED16;
typedef int32_t SIGNED32;
typedef double DOUBLE;
typedef uint32_t ADSHANDLE;

// A field named by number: numbers up to ADS_MAX_FIELD_NUMBER travel in the pointer.
#define ADS_MAX_FIELD_NUMBER 0xFFFFu
#define ADSFIELD(n) (reinterpret_cast<UNSIGNED8*>(static_cast<uintptr_t>(n)))

// ---------------------------------------------------------------------------------------
// Result codes. The 5xxx and 7209 codes carry the meaning the data-access layer relies on;
// the 6xxx codes are this engine's own.
#define AE_SUCCESS 0u
#define AE_NOT_SUPPORTED 5004u        // table type other than ADT, an option not offered
#define AE_INSUFFICIENT_BUFFER 5005u  // filter and expression texts: *len is the size needed
#define AE_INVALID_INDEX_KIND 5017u   // the call does not apply to this kind of index
#define AE_NO_SUCH_RECORD 5022u       // no record with that number
#define AE_INVALID_CONNECTION 5024u   // not a live connection handle
#define AE_LOCKED 5035u               // record or table locked by another handle or process
#define AE_NO_FILTER 5037u            // no filter is set
#define AE_NO_SCOPE 5038u             // no scope is set
#define AE_NO_KEY_POSITION 5041u      // no key position for this handle
#define AE_STATIC_CURSOR 5064u        // a static view cannot be updated
#define AE_NO_CURRENT_RECORD 5068u    // no current record
#define AE_NO_UPDATE_PENDING 5085u    // no update is pending
#define AE_INVALID_STATEMENT 5106u    // not an open statement
#define AE_NO_RECORD_COUNT 5117u      // no record count for this handle
#define AE_NOT_IN_DICTIONARY 5132u    // the table is not in the data dictionary
#define AE_PROPERTY_NOT_SET 5138u     // the property is not set
#define AE_COLUMN_NOT_FOUND 5147u     // text names it as: column "NAME"
#define AE_COLUMN_WRONG_TYPE 5148u
#define AE_COLUMN_VALUE 5149u   // the column cannot take the value
#define AE_PREPARE_AGAIN 7209u  // an SQL statement must be prepared again

#define AE_INVALID_HANDLE 6001u     // not a live handle of the kind the call needs
#define AE_INVALID_ARGUMENT 6002u   // a null pointer, an out-of-range option or number
#define AE_BUFFER_TOO_SMALL 6003u   // the in-out length then holds the size needed
#define AE_FILE_NOT_FOUND 6004u     // table or dictionary file missing
#define AE_PATH_NOT_FOUND 6005u     // folder missing
#define AE_NOT_A_TABLE 6006u        // the file is not a table (or is damaged)
#define AE_NOT_A_DICTIONARY 6007u   // the file is not a data dictionary (or is damaged)
#define AE_LOGIN_FAILED 6008u       // unknown dictionary user or wrong password
#define AE_IO_ERROR 6009u           // the operating system refused a read or write
#define AE_ALREADY_EXISTS 6010u     // table, tag, user or dictionary entry exists
#define AE_WRONG_PASSWORD 6011u     // table password does not decrypt the table
#define AE_READ_ONLY 6012u          // the handle was opened read-only
#define AE_DUPLICATE_KEY 6013u      // a unique index tag refuses the value
#define AE_INDEX_NOT_FOUND 6014u    // no index tag of that name
#define AE_NOT_ENCRYPTED 6015u      // the table is not encrypted
#define AE_ALREADY_ENCRYPTED 6016u  // the table is encrypted already
#define AE_INTERNAL 6017u           // an engine fault; the text says what failed
#define AE_NO_TRANSACTION 6020u     // commit or rollback with no transaction open
#define AE_TRANSACTION_OPEN 6021u   // a transaction is open already on the connection
#define AE_SQL_SYNTAX 6030u         // an SQL statement does not parse; the text names where
#define AE_EXPRESSION_ERROR 6031u   // an expression cannot be used; the text names the position
#define AE_SQL_TIMEOUT 6032u        // an SQL statement ran longer than the engine allows (5 min)

// Handle kinds reported by AdsGetHandleType.
#define ADS_CONNECTION 1
#define ADS_TABLE 2
#define ADS_INDEX_ORDER 3
#define ADS_STATEMENT 4
#define ADS_CURSOR 5
#define ADS_DATABASE_CONNECTION 6  // a connection to a data dictionary

// Connection types (AdsGetConnectionType), server-type mask bits (AdsConnect60).
#define ADS_LOCAL_SERVER 1
#define ADS_REMOTE_SERVER 2
#define ADS_AIS_SERVER 4

// Table types, character types, lock types, rights checking, open options.
#define ADS_DEFAULT 0
#define ADS_NTX 1
#define ADS_CDX 2
#define ADS_ADT 3
#define ADS_ANSI 1
#define ADS_OEM 2
#define ADS_COMPATIBLE_LOCKING 0
#define ADS_PROPRIETARY_LOCKING 1
#define ADS_CHECKRIGHTS 1
#define ADS_IGNORERIGHTS 2
#define ADS_EXCLUSIVE 1u
#define ADS_READONLY 2u

// Field types.
#define ADS_LOGICAL 1
#define ADS_NUMERIC 2
#define ADS_DATE 3
#define ADS_STRING 4
#define ADS_MEMO 5
#define ADS_BINARY 6
#define ADS_IMAGE 7
#define ADS_VARCHAR 8
#define ADS_COMPACTDATE 9
#define ADS_DOUBLE 10
#define ADS_INTEGER 11
#define ADS_SHORTINT 12
#define ADS_TIME 13
#define ADS_TIMESTAMP 14
#define ADS_AUTOINC 15
#define ADS_RAW 16
#define ADS_CURDOUBLE 17

// Memo data types (AdsGetMemoDataType).
#define ADS_MEMO_TEXT 1
#define ADS_MEMO_BINARY 2

// Record counts and record numbers: which rows count.
#define ADS_RESPECTFILTERS 1
#define ADS_IGNOREFILTERS 2
#define ADS_RESPECTSCOPES 3
#define ADS_REFRESHCOUNT 4  // added to one of the above

// Index options (AdsCreateIndex, AdsGetIndexFlags).
#define ADS_UNIQUE 0x0001u
#define ADS_COMPOUND 0x0002u
#define ADS_CUSTOM 0x0004u
#define ADS_DESCENDING 0x0008u

// Keys, seeks and scopes.
#define ADS_RAWKEY 1
#define ADS_STRINGKEY 2
#define ADS_DOUBLEKEY 4
#define ADS_SOFTSEEK 1
#define ADS_HARDSEEK 2
#define ADS_SEEKGT 4
#define ADS_TOP 1
#define ADS_BOTTOM 2
#define ADS_MAX_KEY_LENGTH 256

// Data dictionary properties.
#define ADS_DD_TABLE_DEFAULT_INDEX 213
#define ADS_DD_USER_PASSWORD 1101  // a user's password (AdsDDSetUserProperty)

// AdsGetField option: copy without trimming (the only one offered).
#define ADS_NONE 0

extern "C" {

// --- Errors and version -----------------------------------------------------------------
UNSIGNED32 AdsGetLastError(UNSIGNED32* pulErrCode, UNSIGNED8* pucBuf, UNSIGNED16* pusBufLen);
UNSIGNED32 AdsShowError(UNSIGNED8* pucTitle);  // writes the last error to standard error
UNSIGNED32 AdsGetVersion(UNSIGNED32* pulMajor, UNSIGNED32* pulMinor, UNSIGNED8* pucLetter,
                         UNSIGNED8* pucDesc, UNSIGNED16* pusDescLen);
UNSIGNED32 AdsGetHandleType(ADSHANDLE hObj, UNSIGNED16* pusType);

// --- Connections --------------------------------------------------------------------------
// pucServerPath is a folder of free tables, or the path of a data dictionary (.ADD) file.
UNSIGNED32 AdsConnect60(UNSIGNED8* pucServerPath, UNSIGNED16 usServerTypes, UNSIGNED8* pucUserName,
                        UNSIGNED8* pucPassword, UNSIGNED32 ulOptions, ADSHANDLE* phConnect);
UNSIGNED32 AdsConnect(UNSIGNED8* pucServerPath, ADSHANDLE* phConnect);
UNSIGNED32 AdsDisconnect(ADSHANDLE hConnect);
UNSIGNED32 AdsGetServerName(ADSHANDLE hConnect, UNSIGNED8* pucName, UNSIGNED16* pusLen);
UNSIGNED32 AdsGetConnectionType(ADSHANDLE hConnect, UNSIGNED16* pusConnectType);

// --- Transactions (engine/transaction.h tells what is atomic) ------------------------------
// Opens a transaction on the connection: every table used through it from now on joins, and
// its changes stay pending until AdsCommitTransaction. AE_TRANSACTION_OPEN when one is open.
UNSIGNED32 AdsBeginTransaction(ADSHANDLE hConnect);
// Commits the pending changes of every table the transaction touched; AE_NO_TRANSACTION when
// none is open. After a failure the transaction is over and the failed table's changes are gone.
UNSIGNED32 AdsCommitTransaction(ADSHANDLE hConnect);
// Undoes every change made in the transaction; AE_NO_TRANSACTION when none is open.
UNSIGNED32 AdsRollbackTransaction(ADSHANDLE hConnect);
// Whether a transaction is open on the connection.
UNSIGNED32 AdsInTransaction(ADSHANDLE hConnect, UNSIGNED16* pbInTrans);

// --- Data dictionaries ----------------------------------------------------------------------
// Creates a new, empty dictionary file and returns a connection to it (user ADSSYS, no password).
UNSIGNED32 AdsDDCreate(UNSIGNED8* pucDictionaryPath, UNSIGNED16 usEncrypt,
                       UNSIGNED8* pucDescription, ADSHANDLE* phDictionary);
UNSIGNED32 AdsDDCreateUser(ADSHANDLE hDictionary, UNSIGNED8* pucGroupName, UNSIGNED8* pucUserName,
                           UNSIGNED8* pucPassword, UNSIGNED8* pucDescription);
// Registers a table file (a path relative to the dictionary's folder, or absolute) by name.
UNSIGNED32 AdsDDAddTable(ADSHANDLE hDictionary, UNSIGNED8* pucTableName, UNSIGNED8* pucTablePath,
                         UNSIGNED16 usTableType, UNSIGNED16 usCharType, UNSIGNED8* pucIndexFiles,
                         UNSIGNED8* pucComments);
UNSIGNED32 AdsDDSetTableProperty(ADSHANDLE hDictionary, UNSIGNED8* pucTableName,
                                 UNSIGNED16 usPropertyID, void* pvProperty,
                                 UNSIGNED16 usPropertyLen);
// Sets a user property; only ADS_DD_USER_PASSWORD (a NUL-terminated text) is offered. The
// administrator may set any user's password, another user only their own.
UNSIGNED32 AdsDDSetUserProperty(ADSHANDLE hDictionary, UNSIGNED8* pucUserName,
                                UNSIGNED16 usPropertyID, void* pvProperty,
                                UNSIGNED16 usPropertyLen);
UNSIGNED32 AdsDDGetTableProperty(ADSHANDLE hDictionary, UNSIGNED8* pucTableName,
                                 UNSIGNED16 usPropertyID, void* pvProperty,
                                 UNSIGNED16* pusPropertyLen);

// --- Tables: create, open, close -----------------------------------------------------------
// pucFields: "NAME,Type[,Length[,Decimals]];..." with the type names Logical, Numeric, Date,
// Character, Memo, Binary, Image, VarChar, CompactDate, Double, Integer, ShortInteger, Time,
// TimeStamp, AutoInc, Raw, CurDouble (any case). The new table is left open in *phTable.
UNSIGNED32 AdsCreateTable(ADSHANDLE hConnect, UNSIGNED8* pucName, UNSIGNED8* pucAlias,
                          UNSIGNED16 usTableType, UNSIGNED16 usCharType, UNSIGNED16 usLockType,
                          UNSIGNED16 usCheckRights, UNSIGNED16 usMemoSize, UNSIGNED8* pucFields,
                          ADSHANDLE* phTable);
// Removes a closed table and every file that belongs to it.
UNSIGNED32 AdsDeleteTable(ADSHANDLE hConnect, UNSIGNED8* pucName);
UNSIGNED32 AdsOpenTable(ADSHANDLE hConnect, UNSIGNED8* pucName, UNSIGNED8* pucAlias,
                        UNSIGNED16 usTableType, UNSIGNED16 usCharType, UNSIGNED16 usLockType,
                        UNSIGNED16 usCheckRights, UNSIGNED32 ulOptions, ADSHANDLE* phTable);
UNSIGNED32 AdsCloseTable(ADSHANDLE hTable);
UNSIGNED32 AdsCacheOpenTables(UNSIGNED16 usOpen);
UNSIGNED32 AdsCacheOpenCursors(UNSIGNED16 usOpen);

// --- Structure -----------------------------------------------------------------------------
UNSIGNED32 AdsGetTableType(ADSHANDLE hTable, UNSIGNED16* pusType);
UNSIGNED32 AdsGetTableOpenOptions(ADSHANDLE hTable, UNSIGNED32* pulOptions);
UNSIGNED32 AdsGetRecordLength(ADSHANDLE hTable, UNSIGNED32* pulLength);
UNSIGNED32 AdsGetNumFields(ADSHANDLE hTable, UNSIGNED16* pusCount);
UNSIGNED32 AdsGetFieldName(ADSHANDLE hTable, UNSIGNED16 usFld, UNSIGNED8* pucName,
                           UNSIGNED16* pusLen);
UNSIGNED32 AdsGetFieldOffset(ADSHANDLE hTable, UNSIGNED8* pucFldName, UNSIGNED32* pulOffset);
UNSIGNED32 AdsGetFieldLength(ADSHANDLE hTable, UNSIGNED8* pucFldName, UNSIGNED32* pulLength);
UNSIGNED32 AdsGetFieldType(ADSHANDLE hTable, UNSIGNED8* pucFldName, UNSIGNED16* pusType);
UNSIGNED32 AdsGetFieldDecimals(ADSHANDLE hTable, UNSIGNED8* pucFldName, UNSIGNED16* pusDecimals);
// The blank record image: every field in its empty form.
UNSIGNED32 AdsGetNullRecord(ADSHANDLE hTable, void* pvBuf, UNSIGNED32* pulLen);

// --- Indexes -------------------------------------------------------------------------------
// pucExpr: the segment fields separated by ";". ulOptions: ADS_UNIQUE, ADS_DESCENDING.
UNSIGNED32 AdsCreateIndex61(ADSHANDLE hTable, UNSIGNED8* pucFileName, UNSIGNED8* pucTag,
                            UNSIGNED8* pucExpr, UNSIGNED8* pucCondition, UNSIGNED8* pucWhile,
                            UNSIGNED32 ulOptions, UNSIGNED32 ulPageSize, ADSHANDLE* phIndex);
UNSIGNED32 AdsDeleteIndex(ADSHANDLE hIndex);
UNSIGNED32 AdsOpenIndex(ADSHANDLE hTable, UNSIGNED8* pucName, ADSHANDLE ahIndex[],
                        UNSIGNED16* pusArrayLen);
UNSIGNED32 AdsCloseIndex(ADSHANDLE hIndex);
UNSIGNED32 AdsGetAllIndexes(ADSHANDLE hTable, ADSHANDLE ahIndex[], UNSIGNED16* pusArrayLen);
UNSIGNED32 AdsGetIndexHandle(ADSHANDLE hTable, UNSIGNED8* pucIndexOrder, ADSHANDLE* phIndex);
UNSIGNED32 AdsGetIndexName(ADSHANDLE hIndex, UNSIGNED8* pucName, UNSIGNED16* pusLen);
UNSIGNED32 AdsGetIndexFilename(ADSHANDLE hIndex, UNSIGNED16 usOption, UNSIGNED8* pucName,
                               UNSIGNED16* pusLen);
UNSIGNED32 AdsGetNumSegments(ADSHANDLE hIndex, UNSIGNED16* pusSegments);
UNSIGNED32 AdsGetSegmentFieldname(ADSHANDLE hIndex, UNSIGNED16 usSegment, UNSIGNED8* pucName,
                                  UNSIGNED16* pusLen);
UNSIGNED32 AdsIsIndexUnique(ADSHANDLE hIndex, UNSIGNED16* pbUnique);
UNSIGNED32 AdsIsIndexDescending(ADSHANDLE hIndex, UNSIGNED16* pbDescending);
UNSIGNED32 AdsIsIndexCustom(ADSHANDLE hIndex, UNSIGNED16* pbCustom);
UNSIGNED32 AdsGetIndexFlags(ADSHANDLE hIndex, UNSIGNED32* pulFlags);
UNSIGNED32 AdsGetIndexCondition(ADSHANDLE hIndex, UNSIGNED8* pucExpr, UNSIGNED16* pusLen);
UNSIGNED32 AdsGetIndexPageSize(ADSHANDLE hIndex, UNSIGNED32* pulPageSize);

// --- Navigation (table or index handle) ----------------------------------------------------
UNSIGNED32 AdsGotoTop(ADSHANDLE hObj);
UNSIGNED32 AdsGotoBottom(ADSHANDLE hObj);
UNSIGNED32 AdsSkip(ADSHANDLE hObj, SIGNED32 lRecs);
UNSIGNED32 AdsAtEOF(ADSHANDLE hObj, UNSIGNED16* pbEof);
UNSIGNED32 AdsAtBOF(ADSHANDLE hObj, UNSIGNED16* pbBof);
UNSIGNED32 AdsGetRecord(ADSHANDLE hObj, UNSIGNED8* pucRec, UNSIGNED32* pulLen);
UNSIGNED32 AdsGetRecordNum(ADSHANDLE hObj, UNSIGNED16 usFilterOption, UNSIGNED32* pulRecNum);
UNSIGNED32 AdsGotoRecord(ADSHANDLE hObj, UNSIGNED32 ulRec);
UNSIGNED32 AdsGetBookmark(ADSHANDLE hObj, ADSHANDLE* phBookmark);
UNSIGNED32 AdsGetBookmark60(ADSHANDLE hObj, UNSIGNED8* pucBookmark, UNSIGNED32* pulLength);
UNSIGNED32 AdsGetBookmarkLength(ADSHANDLE hObj, UNSIGNED32* pulLength);
UNSIGNED32 AdsGotoBookmark(ADSHANDLE hObj, ADSHANDLE hBookmark);
UNSIGNED32 AdsCompareBookmarks(UNSIGNED8* pucBookmark1, UNSIGNED8* pucBookmark2,
                               SIGNED32* plResult);
UNSIGNED32 AdsGetRecordCount(ADSHANDLE hObj, UNSIGNED16 usFilterOption, UNSIGNED32* pulCount);
UNSIGNED32 AdsGetRelKeyPos(ADSHANDLE hIndex, DOUBLE* pdPos);
UNSIGNED32 AdsIsRecordVisible(ADSHANDLE hObj, UNSIGNED16* pbVisible);
UNSIGNED32 AdsIsRecordDeleted(ADSHANDLE hTable, UNSIGNED16* pbDeleted);
UNSIGNED32 AdsGetDeleted(UNSIGNED16* pbShowDeleted);

// --- Keys, seeks, scopes -------------------------------------------------------------------
UNSIGNED32 AdsInitRawKey(ADSHANDLE hIndex);
UNSIGNED32 AdsBuildRawKey(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16* pusKeyLen);
UNSIGNED32 AdsSeek(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16 usKeyLen, UNSIGNED16 usDataType,
                   UNSIGNED16 usSeekType, UNSIGNED16* pbFound);
UNSIGNED32 AdsSetScope(ADSHANDLE hIndex, UNSIGNED16 usScopeOption, UNSIGNED8* pucScope,
                       UNSIGNED16 usScopeLen, UNSIGNED16 usDataType);
UNSIGNED32 AdsGetScope(ADSHANDLE hIndex, UNSIGNED16 usScopeOption, UNSIGNED8* pucScope,
                       UNSIGNED16* pusBufLen);
UNSIGNED32 AdsClearScope(ADSHANDLE hIndex, UNSIGNED16 usScopeOption);
UNSIGNED32 AdsClearAllScopes(ADSHANDLE hTable);

// --- Filters and expressions ----------------------------------------------------------------
// The expression language is described in engine/expression.h. A table handle has at most one
// optimised filter (AOF) and one plain filter; both hold for every order of the table (its
// index handles included): navigation, seeks and AdsGetRecordCount(ADS_RESPECTFILTERS) see only
// the rows both accept. AdsGotoRecord and AdsGotoBookmark still reach a row the filter hides;
// AdsIsRecordVisible then answers 0, and the next skip moves on to a visible row. The table's
// exact setting (AdsSetExact22) applies to the filters' text comparisons with "=".
// A filter that cannot be translated fails with AE_EXPRESSION_ERROR, AE_COLUMN_NOT_FOUND or
// AE_COLUMN_WRONG_TYPE and leaves the filter that was set before.
#define ADS_RESOLVE_IMMEDIATE 1
#define ADS_RESOLVE_DYNAMIC 2
// usOptions: ADS_RESOLVE_IMMEDIATE or ADS_RESOLVE_DYNAMIC (0 counts as dynamic); both give the
// same rows, as the filter is evaluated by the navigation statements themselves.
UNSIGNED32 AdsSetAOF(ADSHANDLE hTable, UNSIGNED8* pucFilter, UNSIGNED16 usOptions);
// AE_NO_FILTER when none is set. The text with its NUL must fit *pusLen bytes, else
// AE_INSUFFICIENT_BUFFER with *pusLen the size needed (NUL included); a null buffer asks for the
// size. On success *pusLen is the text's length.
UNSIGNED32 AdsGetAOF(ADSHANDLE hTable, UNSIGNED8* pucFilter, UNSIGNED16* pusLen);
UNSIGNED32 AdsClearAOF(ADSHANDLE hTable);  // AE_NO_FILTER when none is set
UNSIGNED32 AdsSetFilter(ADSHANDLE hTable, UNSIGNED8* pucFilter);
UNSIGNED32 AdsGetFilter(ADSHANDLE hTable, UNSIGNED8* pucFilter,
                        UNSIGNED16* pusLen);  // as AdsGetAOF
UNSIGNED32 AdsClearFilter(ADSHANDLE hTable);  // AE_NO_FILTER when none is set
// Exact text comparison with "=" (1) or the comparison of as many characters as the right side
// has (0, the default), for the table of the handle; its filters follow at once.
UNSIGNED32 AdsSetExact22(ADSHANDLE hObj, UNSIGNED16 bExact);
UNSIGNED32 AdsGetExact22(ADSHANDLE hObj, UNSIGNED16* pbExact);
// Field names in an expression in the long and the short form. ADT tables keep their long names,
// so both copy the expression; buffers as for AdsGetAOF.
UNSIGNED32 AdsExpressionLongToShort(ADSHANDLE hTable, UNSIGNED8* pucLongExpr,
                                    UNSIGNED8* pucShortExpr, UNSIGNED16* pusBufferLen);
UNSIGNED32 AdsExpressionShortToLong(ADSHANDLE hTable, UNSIGNED8* pucShortExpr,
                                    UNSIGNED8* pucLongExpr, UNSIGNED16* pusBufferLen);
// Evaluates a logical expression on the current row (on the blank record when the handle
// stands on no row); *pbResult 1 or 0.
UNSIGNED32 AdsEvalLogicalExpr(ADSHANDLE hTable, UNSIGNED8* pucExpr, UNSIGNED16* pbResult);
// The date format of CTOD in the connection's expressions: the letters D, M and Y (C for the
// century) with any separators, "MM/DD/YYYY" until set. AE_INVALID_ARGUMENT for a format
// without a day, month and year.
UNSIGNED32 AdsSetDateFormat60(ADSHANDLE hConnect, UNSIGNED8* pucFormat);
UNSIGNED32 AdsGetDateFormat60(ADSHANDLE hConnect, UNSIGNED8* pucFormat, UNSIGNED16* pusLen);

// --- Records and fields --------------------------------------------------------------------
// On an index handle AdsSetField and AdsSetFieldRaw fill the key being built (AdsInitRawKey).
UNSIGNED32 AdsSetField(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED8* pucBuf, UNSIGNED32 ulLen);
UNSIGNED32 AdsSetFieldRaw(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED8* pucBuf,
                          UNSIGNED32 ulLen);
UNSIGNED32 AdsSetEmpty(ADSHANDLE hObj, UNSIGNED8* pucFldName);
UNSIGNED32 AdsGetField(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED8* pucBuf, UNSIGNED32* pulLen,
                       UNSIGNED16 usOption);
UNSIGNED32 AdsIsEmpty(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED16* pbEmpty);
UNSIGNED32 AdsAppendRecord(ADSHANDLE hTable);
UNSIGNED32 AdsWriteRecord(ADSHANDLE hTable);
UNSIGNED32 AdsCancelUpdate(ADSHANDLE hTable);
UNSIGNED32 AdsDeleteRecord(ADSHANDLE hTable);
UNSIGNED32 AdsRefreshRecord(ADSHANDLE hTable);
UNSIGNED32 AdsClearRecordBuffer(ADSHANDLE hTable, UNSIGNED8* pucBuf, UNSIGNED32 ulLen);
UNSIGNED32 AdsGetLastAutoinc(ADSHANDLE hObj, UNSIGNED32* pulAutoIncVal);
UNSIGNED32 AdsLockRecord(ADSHANDLE hTable, UNSIGNED32 ulRec);
UNSIGNED32 AdsUnlockRecord(ADSHANDLE hTable, UNSIGNED32 ulRec);
UNSIGNED32 AdsGetMemoLength(ADSHANDLE hTable, UNSIGNED8* pucFldName, UNSIGNED32* pulLength);
UNSIGNED32 AdsGetBinaryLength(ADSHANDLE hTable, UNSIGNED8* pucFldName, UNSIGNED32* pulLength);
UNSIGNED32 AdsGetMemoDataType(ADSHANDLE hTable, UNSIGNED8* pucFldName, UNSIGNED16* pusType);
UNSIGNED32 AdsConvertStringToJulian(UNSIGNED8* pucJulian, UNSIGNED16 usLen, DOUBLE* pdJulian);
UNSIGNED32 AdsConvertJulianToString(DOUBLE dJulian, UNSIGNED8* pucJulian, UNSIGNED16* pusLen);

// --- Encryption ----------------------------------------------------------------------------
UNSIGNED32 AdsEnableEncryption(ADSHANDLE hTable, UNSIGNED8* pucPassword);
UNSIGNED32 AdsDisableEncryption(ADSHANDLE hTable);
UNSIGNED32 AdsIsTableEncrypted(ADSHANDLE hTable, UNSIGNED16* pbEncrypted);
// Encrypts a plain table with the password given to AdsEnableEncryption on this handle, or
// decrypts an encrypted one whose password has been given. The table must be open exclusively.
UNSIGNED32 AdsEncryptTable(ADSHANDLE hTable);
UNSIGNED32 AdsDecryptTable(ADSHANDLE hTable);

// --- SQL statements ------------------------------------------------------------------------
// A statement is made on a connection and lives until AdsCloseSQLStatement or the connection's
// AdsDisconnect (which closes its statements and their cursors). The dialect is documented in
// engine/sql_dialect.h. A SELECT gives a static, read-only cursor (AdsGetTableOpenOptions has
// ADS_READONLY set; changes answer AE_STATIC_CURSOR) that the table calls serve and
// AdsCloseTable closes; any other statement gives cursor 0.
UNSIGNED32 AdsCreateSQLStatement(ADSHANDLE hConnect, ADSHANDLE* phStatement);
// AE_INVALID_STATEMENT for a handle that is not an open statement.
UNSIGNED32 AdsCloseSQLStatement(ADSHANDLE hStatement);
// Translates and prepares the text; the tables it names are found and opened here. A syntax
// error answers AE_SQL_SYNTAX naming the position and the token; an unknown column 5147; a
// missing table AE_FILE_NOT_FOUND (or 5132 in a dictionary) naming it.
UNSIGNED32 AdsPrepareSQL(ADSHANDLE hStatement, UNSIGNED8* pucSQL);
// Runs the prepared statement; AE_PREPARE_AGAIN when a table's structure changed since.
UNSIGNED32 AdsExecuteSQL(ADSHANDLE hStatement, ADSHANDLE* phCursor);
UNSIGNED32 AdsExecuteSQLDirect(ADSHANDLE hStatement, UNSIGNED8* pucSQL, ADSHANDLE* phCursor);
// 0 for any text whose tokens are well formed (an empty or unfinished statement included);
// AE_SQL_SYNTAX naming the position otherwise.
UNSIGNED32 AdsGetSQLStmtParams(UNSIGNED8* pucSQL);
// Options, each checked (an unknown value AE_INVALID_ARGUMENT, one the engine cannot honour
// AE_NOT_SUPPORTED) and kept for the statement's later executions.
UNSIGNED32 AdsStmtSetTableLockType(ADSHANDLE hStatement, UNSIGNED16 usLockType);   // 0, 1
UNSIGNED32 AdsStmtSetTableCharType(ADSHANDLE hStatement, UNSIGNED16 usCharType);   // 1, 2
UNSIGNED32 AdsStmtSetTableRights(ADSHANDLE hStatement, UNSIGNED16 usCheckRights);  // 1, 2
// 1 read-only, 2 writable asked for (the cursor stays a static view either way).
UNSIGNED32 AdsStmtSetTableReadOnly(ADSHANDLE hStatement, UNSIGNED16 usReadOnly);
// ADS_ADT or ADS_DEFAULT; NTX and CDX only on a dictionary connection, whose tables carry
// their own type.
UNSIGNED32 AdsStmtSetTableType(ADSHANDLE hStatement, UNSIGNED16 usTableType);
UNSIGNED32 AdsStmtConstrainUpdates(ADSHANDLE hStatement, UNSIGNED16 usConstrain);  // 1, 2
UNSIGNED32 AdsStmtReadAllColumns(ADSHANDLE hStatement, UNSIGNED16 usReadAll);      // 1, 2
// An encrypted table named in a statement opens with its table password, else with the
// statement's encryption password; a wrong or missing one is AE_WRONG_PASSWORD naming it.
UNSIGNED32 AdsStmtEnableEncryption(ADSHANDLE hStatement, UNSIGNED8* pucPassword);
UNSIGNED32 AdsStmtDisableEncryption(ADSHANDLE hStatement);
UNSIGNED32 AdsStmtSetTablePassword(ADSHANDLE hStatement, UNSIGNED8* pucTableName,
                                   UNSIGNED8* pucPassword);
UNSIGNED32 AdsStmtClearTablePasswords(ADSHANDLE hStatement);
// Parameters of a prepared statement, by number (ADSFIELD(n), 1-based, in the order the markers
// ? and :name appear) or by name. AdsSetEmpty gives the empty value. On a table handle
// AdsSetString sets a field as AdsSetField does; the others take statement handles only.
UNSIGNED32 AdsSetString(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED8* pucBuf, UNSIGNED32 ulLen);
UNSIGNED32 AdsSetLogical(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED16 bValue);
UNSIGNED32 AdsSetDouble(ADSHANDLE hObj, UNSIGNED8* pucFldName, DOUBLE dValue);
UNSIGNED32 AdsSetJulian(ADSHANDLE hObj, UNSIGNED8* pucFldName, SIGNED32 lDate);
UNSIGNED32 AdsSetMilliseconds(ADSHANDLE hObj, UNSIGNED8* pucFldName, SIGNED32 lTime);
// pucBuf: the 32-bit Julian day then the 32-bit milliseconds of the day; ulLen 8.
UNSIGNED32 AdsSetTimeStampRaw(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED8* pucBuf,
                              UNSIGNED32 ulLen);
// usBinaryType ADS_BINARY or ADS_IMAGE; the whole value in one call (offset 0, ulLen = total).
UNSIGNED32 AdsSetBinary(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED16 usBinaryType,
                        UNSIGNED32 ulTotalLength, UNSIGNED32 ulOffset, UNSIGNED8* pucBuf,
                        UNSIGNED32 ulLen);

}  // extern "C"

#endif  // VELDA_ENGINE_ACE_H
