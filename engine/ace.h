// The database engine's call surface.
//
// Plain functions with C-compatible signatures: fixed-width integers, caller-owned
// character buffers with in-out lengths (one rule for all, stated above the calls),
// out-parameters, and a 32-bit result that is AE_SUCCESS (0) on success and must be looked at.
// Every failure sets the calling thread's last error, which AdsGetLastError reports as a code
// and a text of the form "Error <code>: <what>".
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
#define AE_INSUFFICIENT_BUFFER 5005u  // filter and expression texts: *len is the size to retry with
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
#define AE_BUFFER_TOO_SMALL 6003u   // the in-out length then is the size to retry with
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
#define AE_SERVER_CONNECT 6040u     // a server not reached, or refusing; the text says why

// Handle kinds reported by AdsGetHandleType.
#define ADS_CONNECTION 1
#define ADS_TABLE 2
#define ADS_INDEX_ORDER 3
#define ADS_STATEMENT 4
#define ADS_CURSOR 5
#define ADS_DATABASE_CONNECTION 6  // a connection to a data dictionary
#define ADS_FIND_HANDLE 7          // a listing (AdsFindFirstTable, AdsDDFindFirstObject)

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
#define ADS_DD_COMMENT 1       // the dictionary's description (AdsDDGetDatabaseProperty)
#define ADS_DD_TABLE_PATH 205  // a table's path as registered (AdsDDGetTableProperty)
#define ADS_DD_TABLE_DEFAULT_INDEX 213
#define ADS_DD_USER_PASSWORD 1101  // a user's password (AdsDDSetUserProperty)
// A user's password as the dictionary keeps it: libsodium's crypto_pwhash_str text, a salted
// hash, never the password. The administrator reads it and gives it to another dictionary, so
// that a copy of a dictionary lets its users in with the passwords they had.
#define ADS_DD_USER_PASSWORD_HASH 61101

// Objects of a data dictionary that AdsDDFindFirstObject lists.
#define ADS_DD_TABLE_OBJECT 1
#define ADS_DD_USER_OBJECT 8

// AdsGetField option: copy without trimming (the only one offered).
#define ADS_NONE 0

extern "C" {

// Each call below carries one line of contract: what it needs, what it answers, and the codes it
// can answer besides those every call shares:
//   - a handle that is not live, or not of the kind the call takes: AE_INVALID_HANDLE
//     (connection calls AE_INVALID_CONNECTION, statement calls AE_INVALID_STATEMENT);
//   - a null pointer where the call writes or reads a value: AE_INVALID_ARGUMENT;
//   - a call that reads or writes a table's files: AE_LOCKED, AE_IO_ERROR, AE_NOT_A_TABLE,
//     AE_WRONG_PASSWORD (an encrypted table whose password was not given) or AE_INTERNAL;
//   - a field named by a number or name the table does not have: AE_COLUMN_NOT_FOUND.
//
// Buffers (one rule for every call that copies out): the caller gives a buffer and its size in
// bytes in the in-out length. A text is copied with its terminating NUL, so it needs its length
// plus one; bytes (records, bookmarks, keys, binary values) need their size. On success the
// in-out length is what was copied, the NUL not counted. When the buffer is null or too small
// nothing is copied, the call answers AE_BUFFER_TOO_SMALL and the in-out length is the size that
// succeeds on a retry. Two calls answer otherwise, as their callers rely on it: the filter and
// expression texts answer AE_INSUFFICIENT_BUFFER (with the same retry size), and
// AdsGetLastError cuts its text to the buffer rather than refuse it.

// --- Errors and version -----------------------------------------------------------------
// The code and text ("Error <code>: <what>") of this thread's last failure; code 0 and an empty
// text before any. Any pointer may be null; the text is cut to *pusBufLen - 1 bytes. Always 0.
[[nodiscard]] UNSIGNED32 AdsGetLastError(UNSIGNED32* pulErrCode, UNSIGNED8* pucBuf,
                                         UNSIGNED16* pusBufLen);
// Writes the last error, titled (default "Error"), to standard error. Always 0.
[[nodiscard]] UNSIGNED32 AdsShowError(UNSIGNED8* pucTitle);
// Version 7.10, and its description (a buffer) when a length is given; the other pointers may
// be null. AE_BUFFER_TOO_SMALL.
[[nodiscard]] UNSIGNED32 AdsGetVersion(UNSIGNED32* pulMajor, UNSIGNED32* pulMinor,
                                       UNSIGNED8* pucLetter, UNSIGNED8* pucDesc,
                                       UNSIGNED16* pusDescLen);
// The kind of a live handle (ADS_CONNECTION ... ADS_FIND_HANDLE); AE_INVALID_HANDLE.
[[nodiscard]] UNSIGNED32 AdsGetHandleType(ADSHANDLE hObj, UNSIGNED16* pusType);

// --- Connections --------------------------------------------------------------------------
// pucServerPath is a folder of free tables, or the path of a data dictionary (.ADD) file whose
// user and password are checked (both the local server, ADS_LOCAL_SERVER), or a server path,
// postgresql://[user[:password]@]host[:port]/DATABASE[/FOLDER...][?name=value&...], a database on
// a PostgreSQL server (the remote server, ADS_REMOTE_SERVER; engine/server_path.h): the user name
// and password given here are a dictionary's, the server's come from the path, PGUSER or
// ~/.pgpass. usServerTypes must hold the path's server type, or be 0. A new connection handle;
// AE_PATH_NOT_FOUND, AE_FILE_NOT_FOUND, AE_NOT_A_DICTIONARY, AE_LOGIN_FAILED, AE_INVALID_ARGUMENT
// (a malformed server path), AE_SERVER_CONNECT, AE_NOT_SUPPORTED (a server type or option not
// offered). Error texts show a password in a path as ***.
[[nodiscard]] UNSIGNED32 AdsConnect60(UNSIGNED8* pucServerPath, UNSIGNED16 usServerTypes,
                                      UNSIGNED8* pucUserName, UNSIGNED8* pucPassword,
                                      UNSIGNED32 ulOptions, ADSHANDLE* phConnect);
// As AdsConnect60 with no user, server types 0 (the path says which) and no options.
[[nodiscard]] UNSIGNED32 AdsConnect(UNSIGNED8* pucServerPath, ADSHANDLE* phConnect);
// Closes the connection with its tables, statements and cursors; an open transaction is undone.
[[nodiscard]] UNSIGNED32 AdsDisconnect(ADSHANDLE hConnect);
// The folder or dictionary file the connection was made to, or on a server its host (a name, an
// address or a socket folder) and port, "host:port" (a buffer); AE_BUFFER_TOO_SMALL.
[[nodiscard]] UNSIGNED32 AdsGetServerName(ADSHANDLE hConnect, UNSIGNED8* pucName,
                                          UNSIGNED16* pusLen);
// ADS_LOCAL_SERVER for a folder or dictionary, ADS_REMOTE_SERVER for a server path.
[[nodiscard]] UNSIGNED32 AdsGetConnectionType(ADSHANDLE hConnect, UNSIGNED16* pusConnectType);

// --- Transactions (engine/transaction.h tells what is atomic) ------------------------------
// Opens a transaction on the connection: every table used through it from now on joins, and
// its changes stay pending until AdsCommitTransaction. AE_TRANSACTION_OPEN when one is open.
[[nodiscard]] UNSIGNED32 AdsBeginTransaction(ADSHANDLE hConnect);
// Commits the pending changes of every table the transaction touched; AE_NO_TRANSACTION when
// none is open. After a failure the transaction is over and the failed table's changes are gone.
[[nodiscard]] UNSIGNED32 AdsCommitTransaction(ADSHANDLE hConnect);
// Undoes every change made in the transaction; AE_NO_TRANSACTION when none is open.
[[nodiscard]] UNSIGNED32 AdsRollbackTransaction(ADSHANDLE hConnect);
// Whether a transaction is open on the connection (1 or 0).
[[nodiscard]] UNSIGNED32 AdsInTransaction(ADSHANDLE hConnect, UNSIGNED16* pbInTrans);

// --- Data dictionaries ----------------------------------------------------------------------
// A change to a dictionary needs its administrator (AE_READ_ONLY for another user).
// Creates a new, empty dictionary file and returns a connection to it (user ADSSYS, no password).
// AE_ALREADY_EXISTS, AE_PATH_NOT_FOUND, AE_INVALID_ARGUMENT (a name without .ADD),
// AE_NOT_SUPPORTED (an encrypted dictionary). A server path whose last name ends in .ADD makes
// the dictionary in that folder of the server's database.
[[nodiscard]] UNSIGNED32 AdsDDCreate(UNSIGNED8* pucDictionaryPath, UNSIGNED16 usEncrypt,
                                     UNSIGNED8* pucDescription, ADSHANDLE* phDictionary);
// Adds a user (the group is ignored) on a dictionary connection; AE_ALREADY_EXISTS,
// AE_INVALID_ARGUMENT (no name), AE_INVALID_HANDLE (not a dictionary connection).
[[nodiscard]] UNSIGNED32 AdsDDCreateUser(ADSHANDLE hDictionary, UNSIGNED8* pucGroupName,
                                         UNSIGNED8* pucUserName, UNSIGNED8* pucPassword,
                                         UNSIGNED8* pucDescription);
// Registers a table file (a path relative to the dictionary's folder, or absolute) by name.
// AE_ALREADY_EXISTS, AE_FILE_NOT_FOUND, AE_NOT_SUPPORTED (a table type other than ADT).
[[nodiscard]] UNSIGNED32 AdsDDAddTable(ADSHANDLE hDictionary, UNSIGNED8* pucTableName,
                                       UNSIGNED8* pucTablePath, UNSIGNED16 usTableType,
                                       UNSIGNED16 usCharType, UNSIGNED8* pucIndexFiles,
                                       UNSIGNED8* pucComments);
// Sets ADS_DD_TABLE_DEFAULT_INDEX of a registered table (null or empty clears it);
// AE_NOT_IN_DICTIONARY, AE_NOT_SUPPORTED (another property).
[[nodiscard]] UNSIGNED32 AdsDDSetTableProperty(ADSHANDLE hDictionary, UNSIGNED8* pucTableName,
                                               UNSIGNED16 usPropertyID, void* pvProperty,
                                               UNSIGNED16 usPropertyLen);
// Sets a user property: ADS_DD_USER_PASSWORD or ADS_DD_USER_PASSWORD_HASH (NUL-terminated
// texts). The administrator may set any user's password, another user only their own password
// and never a hash (AE_READ_ONLY).
[[nodiscard]] UNSIGNED32 AdsDDSetUserProperty(ADSHANDLE hDictionary, UNSIGNED8* pucUserName,
                                              UNSIGNED16 usPropertyID, void* pvProperty,
                                              UNSIGNED16 usPropertyLen);
// ADS_DD_TABLE_DEFAULT_INDEX or ADS_DD_TABLE_PATH (relative to the dictionary's folder when it
// was registered so) of a registered table (a buffer); AE_NOT_IN_DICTIONARY,
// AE_PROPERTY_NOT_SET, AE_NOT_SUPPORTED (another property), AE_BUFFER_TOO_SMALL.
[[nodiscard]] UNSIGNED32 AdsDDGetTableProperty(ADSHANDLE hDictionary, UNSIGNED8* pucTableName,
                                               UNSIGNED16 usPropertyID, void* pvProperty,
                                               UNSIGNED16* pusPropertyLen);

// The dictionary's description (ADS_DD_COMMENT, a buffer); AE_NOT_SUPPORTED (another property),
// AE_INVALID_HANDLE (not a dictionary connection), AE_BUFFER_TOO_SMALL.
[[nodiscard]] UNSIGNED32 AdsDDGetDatabaseProperty(ADSHANDLE hDictionary, UNSIGNED16 usPropertyID,
                                                  void* pvProperty, UNSIGNED16* pusPropertyLen);
// ADS_DD_USER_PASSWORD_HASH of a user (a buffer), for the administrator only (AE_READ_ONLY);
// AE_INVALID_ARGUMENT (no such user), AE_NOT_SUPPORTED (another property), AE_BUFFER_TOO_SMALL.
// AdsDDSetUserProperty takes ADS_DD_USER_PASSWORD_HASH from the administrator too, and refuses
// (AE_INVALID_ARGUMENT) a text that is not such a hash.
[[nodiscard]] UNSIGNED32 AdsDDGetUserProperty(ADSHANDLE hDictionary, UNSIGNED8* pucUserName,
                                              UNSIGNED16 usPropertyID, void* pvProperty,
                                              UNSIGNED16* pusPropertyLen);
// Lists the names of a dictionary's objects: its tables (ADS_DD_TABLE_OBJECT) or users
// (ADS_DD_USER_OBJECT), pucParentName null or empty. The names are read when the listing starts
// and come sorted without regard to case: the first into pucObjectName (a buffer), the next at
// each AdsDDFindNextObject, with a find handle (ADS_FIND_HANDLE) that AdsDDFindClose closes
// (AdsDisconnect closes those left open). AE_FILE_NOT_FOUND when there is no (further) name: the
// first call then makes no handle. A buffer too small answers AE_BUFFER_TOO_SMALL and keeps the
// name for the retry (AdsDDFindFirstObject makes no handle then). AE_NOT_SUPPORTED (another
// object type), AE_INVALID_HANDLE (not a dictionary connection, or a find handle of another
// connection).
[[nodiscard]] UNSIGNED32 AdsDDFindFirstObject(ADSHANDLE hDictionary, UNSIGNED16 usFindObjectType,
                                              UNSIGNED8* pucParentName, UNSIGNED8* pucObjectName,
                                              UNSIGNED16* pusObjectNameLen, ADSHANDLE* phFind);
[[nodiscard]] UNSIGNED32 AdsDDFindNextObject(ADSHANDLE hDictionary, ADSHANDLE hFind,
                                             UNSIGNED8* pucObjectName,
                                             UNSIGNED16* pusObjectNameLen);
[[nodiscard]] UNSIGNED32 AdsDDFindClose(ADSHANDLE hDictionary, ADSHANDLE hFind);
// Removes the data dictionary the connection is connected to, with its users and registered
// tables (the tables themselves stay), and closes the connection. For the administrator only
// (AE_READ_ONLY). Other connections to the dictionary fail from then on, as after its file was
// deleted; AE_LOCKED while another user changes it.
[[nodiscard]] UNSIGNED32 AdsDDRemove(ADSHANDLE hDictionary);

// --- Listing the tables of a folder ----------------------------------------------------------
// Lists the tables of the connection's folder (of a dictionary connection: the dictionary's
// folder, registered or not): in a folder its .adt files, on a server the tables the database
// keeps in that folder; never those of folders below it. pucFileMask null or empty lists all;
// else it is a name with the wildcards * and ? (no folder part: AE_INVALID_ARGUMENT), matched
// without regard to case, and a mask without an extension matches the names without theirs
// ("LEAV*" finds LEAV_TRX.adt). The names, with their extension as the table was made, are read
// when the listing starts and come in byte order: the first into pucFirstFile (a buffer), the
// next at each AdsFindNextTable, with a find handle that AdsFindClose closes (AdsDisconnect
// closes those left open). AE_FILE_NOT_FOUND when no (further) table matches: the first call
// then makes no handle. A buffer too small answers AE_BUFFER_TOO_SMALL and keeps the name for
// the retry (AdsFindFirstTable makes no handle then). AE_PATH_NOT_FOUND (the folder is gone),
// AE_SERVER_CONNECT, AE_INVALID_HANDLE (a find handle of another connection).
[[nodiscard]] UNSIGNED32 AdsFindFirstTable(ADSHANDLE hConnect, UNSIGNED8* pucFileMask,
                                           UNSIGNED8* pucFirstFile, UNSIGNED16* pusFileLen,
                                           ADSHANDLE* phFind);
[[nodiscard]] UNSIGNED32 AdsFindNextTable(ADSHANDLE hConnect, ADSHANDLE hFind,
                                          UNSIGNED8* pucFileName, UNSIGNED16* pusFileLen);
[[nodiscard]] UNSIGNED32 AdsFindClose(ADSHANDLE hConnect, ADSHANDLE hFind);

// --- Tables: create, open, close -----------------------------------------------------------
// pucFields: "NAME,Type[,Length[,Decimals]];..." with the type names Logical, Numeric, Date,
// Character, Memo, Binary, Image, VarChar, CompactDate, Double, Integer, ShortInteger, Time,
// TimeStamp, AutoInc, Raw, CurDouble (any case). The new table is left open in *phTable.
// AE_ALREADY_EXISTS, AE_INVALID_ARGUMENT (a field list that does not parse), AE_NOT_SUPPORTED (a
// table type other than ADT).
[[nodiscard]] UNSIGNED32 AdsCreateTable(ADSHANDLE hConnect, UNSIGNED8* pucName, UNSIGNED8* pucAlias,
                                        UNSIGNED16 usTableType, UNSIGNED16 usCharType,
                                        UNSIGNED16 usLockType, UNSIGNED16 usCheckRights,
                                        UNSIGNED16 usMemoSize, UNSIGNED8* pucFields,
                                        ADSHANDLE* phTable);
// Removes a closed table and every file that belongs to it (on a server, its rows and catalog
// entries); AE_FILE_NOT_FOUND, AE_LOCKED (open).
[[nodiscard]] UNSIGNED32 AdsDeleteTable(ADSHANDLE hConnect, UNSIGNED8* pucName);
// A new table handle on a table by name (with or without extension) or path, ulOptions
// ADS_EXCLUSIVE and ADS_READONLY; AE_FILE_NOT_FOUND, AE_NOT_IN_DICTIONARY, AE_LOCKED (opened
// exclusively elsewhere, or open elsewhere for an exclusive open), AE_NOT_SUPPORTED (a table type
// other than ADT). Texts name a table on a server by its path, the password masked.
[[nodiscard]] UNSIGNED32 AdsOpenTable(ADSHANDLE hConnect, UNSIGNED8* pucName, UNSIGNED8* pucAlias,
                                      UNSIGNED16 usTableType, UNSIGNED16 usCharType,
                                      UNSIGNED16 usLockType, UNSIGNED16 usCheckRights,
                                      UNSIGNED32 ulOptions, ADSHANDLE* phTable);
// Closes a table handle or cursor with its index handles; a pending change is written first,
// and when that fails the handle stays open with the change pending.
[[nodiscard]] UNSIGNED32 AdsCloseTable(ADSHANDLE hTable);
// Accepted for compatibility; nothing is cached. Always 0.
[[nodiscard]] UNSIGNED32 AdsCacheOpenTables(UNSIGNED16 usOpen);
[[nodiscard]] UNSIGNED32 AdsCacheOpenCursors(UNSIGNED16 usOpen);  // as AdsCacheOpenTables

// --- Structure (table handles and cursors) ---------------------------------------------------
// ADS_ADT for every table.
[[nodiscard]] UNSIGNED32 AdsGetTableType(ADSHANDLE hTable, UNSIGNED16* pusType);
// The options the handle was opened with (ADS_EXCLUSIVE, ADS_READONLY).
[[nodiscard]] UNSIGNED32 AdsGetTableOpenOptions(ADSHANDLE hTable, UNSIGNED32* pulOptions);
// The size of the record image in bytes.
[[nodiscard]] UNSIGNED32 AdsGetRecordLength(ADSHANDLE hTable, UNSIGNED32* pulLength);
[[nodiscard]] UNSIGNED32 AdsGetNumFields(ADSHANDLE hTable, UNSIGNED16* pusCount);
// The name of field usFld (1-based; a buffer); AE_COLUMN_NOT_FOUND, AE_BUFFER_TOO_SMALL.
[[nodiscard]] UNSIGNED32 AdsGetFieldName(ADSHANDLE hTable, UNSIGNED16 usFld, UNSIGNED8* pucName,
                                         UNSIGNED16* pusLen);
// Where the field starts in the record image, 1-based.
[[nodiscard]] UNSIGNED32 AdsGetFieldOffset(ADSHANDLE hTable, UNSIGNED8* pucFldName,
                                           UNSIGNED32* pulOffset);
// The field's length in the record image.
[[nodiscard]] UNSIGNED32 AdsGetFieldLength(ADSHANDLE hTable, UNSIGNED8* pucFldName,
                                           UNSIGNED32* pulLength);
// The field's type (ADS_LOGICAL ... ADS_CURDOUBLE).
[[nodiscard]] UNSIGNED32 AdsGetFieldType(ADSHANDLE hTable, UNSIGNED8* pucFldName,
                                         UNSIGNED16* pusType);
// The field's decimals (0 for a type without them).
[[nodiscard]] UNSIGNED32 AdsGetFieldDecimals(ADSHANDLE hTable, UNSIGNED8* pucFldName,
                                             UNSIGNED16* pusDecimals);
// The blank record image: every field in its empty form (bytes); AE_BUFFER_TOO_SMALL.
[[nodiscard]] UNSIGNED32 AdsGetNullRecord(ADSHANDLE hTable, void* pvBuf, UNSIGNED32* pulLen);

// --- Indexes -------------------------------------------------------------------------------
// pucExpr: the segment fields separated by ";". ulOptions: ADS_UNIQUE, ADS_DESCENDING. A new
// index tag of the table and its handle; the table must be writable (AE_READ_ONLY).
// AE_ALREADY_EXISTS, AE_DUPLICATE_KEY (a unique tag over equal keys), AE_COLUMN_WRONG_TYPE,
// AE_INVALID_ARGUMENT (no tag name or segments), AE_NOT_SUPPORTED (conditions, other options).
[[nodiscard]] UNSIGNED32 AdsCreateIndex61(ADSHANDLE hTable, UNSIGNED8* pucFileName,
                                          UNSIGNED8* pucTag, UNSIGNED8* pucExpr,
                                          UNSIGNED8* pucCondition, UNSIGNED8* pucWhile,
                                          UNSIGNED32 ulOptions, UNSIGNED32 ulPageSize,
                                          ADSHANDLE* phIndex);
// Removes the index tag from the table; AE_READ_ONLY.
[[nodiscard]] UNSIGNED32 AdsDeleteIndex(ADSHANDLE hIndex);
// Index files are not kept apart from the table: AE_NOT_SUPPORTED.
[[nodiscard]] UNSIGNED32 AdsOpenIndex(ADSHANDLE hTable, UNSIGNED8* pucName, ADSHANDLE ahIndex[],
                                      UNSIGNED16* pusArrayLen);
// A tag of the table's own index file stays open: AE_INVALID_INDEX_KIND.
[[nodiscard]] UNSIGNED32 AdsCloseIndex(ADSHANDLE hIndex);
// The handles of the table's tags, at most *pusArrayLen; *pusArrayLen the number given.
[[nodiscard]] UNSIGNED32 AdsGetAllIndexes(ADSHANDLE hTable, ADSHANDLE ahIndex[],
                                          UNSIGNED16* pusArrayLen);
// The handle of a tag by name (any case); AE_INDEX_NOT_FOUND.
[[nodiscard]] UNSIGNED32 AdsGetIndexHandle(ADSHANDLE hTable, UNSIGNED8* pucIndexOrder,
                                           ADSHANDLE* phIndex);
// The tag's name (a buffer); AE_BUFFER_TOO_SMALL.
[[nodiscard]] UNSIGNED32 AdsGetIndexName(ADSHANDLE hIndex, UNSIGNED8* pucName, UNSIGNED16* pusLen);
// The file holding the tag, the table's own (a buffer): usOption 1 its base name, 2 its name,
// any other its path; AE_BUFFER_TOO_SMALL.
[[nodiscard]] UNSIGNED32 AdsGetIndexFilename(ADSHANDLE hIndex, UNSIGNED16 usOption,
                                             UNSIGNED8* pucName, UNSIGNED16* pusLen);
[[nodiscard]] UNSIGNED32 AdsGetNumSegments(ADSHANDLE hIndex, UNSIGNED16* pusSegments);
// The field name of segment usSegment (0-based; a buffer); AE_INVALID_ARGUMENT (no such
// segment), AE_BUFFER_TOO_SMALL.
[[nodiscard]] UNSIGNED32 AdsGetSegmentFieldname(ADSHANDLE hIndex, UNSIGNED16 usSegment,
                                                UNSIGNED8* pucName, UNSIGNED16* pusLen);
[[nodiscard]] UNSIGNED32 AdsIsIndexUnique(ADSHANDLE hIndex, UNSIGNED16* pbUnique);  // 1 or 0
[[nodiscard]] UNSIGNED32 AdsIsIndexDescending(ADSHANDLE hIndex,
                                              UNSIGNED16* pbDescending);            // 1 or 0
[[nodiscard]] UNSIGNED32 AdsIsIndexCustom(ADSHANDLE hIndex, UNSIGNED16* pbCustom);  // always 0
// The tag's options (ADS_UNIQUE, ADS_DESCENDING).
[[nodiscard]] UNSIGNED32 AdsGetIndexFlags(ADSHANDLE hIndex, UNSIGNED32* pulFlags);
// The tag's condition, always empty (a buffer); AE_BUFFER_TOO_SMALL.
[[nodiscard]] UNSIGNED32 AdsGetIndexCondition(ADSHANDLE hIndex, UNSIGNED8* pucExpr,
                                              UNSIGNED16* pusLen);
// The page size the tag reports (the table file's).
[[nodiscard]] UNSIGNED32 AdsGetIndexPageSize(ADSHANDLE hIndex, UNSIGNED32* pulPageSize);

// --- Navigation (table or index handle) ----------------------------------------------------
// The moves write a pending change first, and see only rows the filters and scopes accept.
// To the first row of the order; with no row to show, the handle is at both ends.
[[nodiscard]] UNSIGNED32 AdsGotoTop(ADSHANDLE hObj);
// To the last row of the order; with no row to show, the handle is at both ends.
[[nodiscard]] UNSIGNED32 AdsGotoBottom(ADSHANDLE hObj);
// lRecs rows on (back when negative); past either end the handle is at that end, which is 0.
[[nodiscard]] UNSIGNED32 AdsSkip(ADSHANDLE hObj, SIGNED32 lRecs);
[[nodiscard]] UNSIGNED32 AdsAtEOF(ADSHANDLE hObj, UNSIGNED16* pbEof);  // 1 at the end, else 0
[[nodiscard]] UNSIGNED32 AdsAtBOF(ADSHANDLE hObj, UNSIGNED16* pbBof);  // 1 at the start, else 0
// The current record image, the pending change included (bytes; off any row, the blank
// record); AE_BUFFER_TOO_SMALL.
[[nodiscard]] UNSIGNED32 AdsGetRecord(ADSHANDLE hObj, UNSIGNED8* pucRec, UNSIGNED32* pulLen);
// The current record number; 0 off any row or on a new record.
[[nodiscard]] UNSIGNED32 AdsGetRecordNum(ADSHANDLE hObj, UNSIGNED16 usFilterOption,
                                         UNSIGNED32* pulRecNum);
// To record ulRec, even one a filter hides; AE_NO_SUCH_RECORD.
[[nodiscard]] UNSIGNED32 AdsGotoRecord(ADSHANDLE hObj, UNSIGNED32 ulRec);
// The current record number as a bookmark; 0 off any row.
[[nodiscard]] UNSIGNED32 AdsGetBookmark(ADSHANDLE hObj, ADSHANDLE* phBookmark);
// The current position as 4 bytes (the record number; bytes); AE_BUFFER_TOO_SMALL.
[[nodiscard]] UNSIGNED32 AdsGetBookmark60(ADSHANDLE hObj, UNSIGNED8* pucBookmark,
                                          UNSIGNED32* pulLength);
// The size of a bookmark of AdsGetBookmark60: 4.
[[nodiscard]] UNSIGNED32 AdsGetBookmarkLength(ADSHANDLE hObj, UNSIGNED32* pulLength);
// As AdsGotoRecord with the bookmark's record number.
[[nodiscard]] UNSIGNED32 AdsGotoBookmark(ADSHANDLE hObj, ADSHANDLE hBookmark);
// -1, 0 or 1 as the first bookmark of AdsGetBookmark60 is before, at or after the second.
[[nodiscard]] UNSIGNED32 AdsCompareBookmarks(UNSIGNED8* pucBookmark1, UNSIGNED8* pucBookmark2,
                                             SIGNED32* plResult);
// The rows the option counts (ADS_RESPECTFILTERS, ADS_IGNOREFILTERS, ADS_RESPECTSCOPES, each
// with ADS_REFRESHCOUNT or not); AE_INVALID_ARGUMENT (another option), AE_NO_RECORD_COUNT.
[[nodiscard]] UNSIGNED32 AdsGetRecordCount(ADSHANDLE hObj, UNSIGNED16 usFilterOption,
                                           UNSIGNED32* pulCount);
// The current row's place in the tag's order, 0.0 to 1.0; AE_NO_KEY_POSITION.
[[nodiscard]] UNSIGNED32 AdsGetRelKeyPos(ADSHANDLE hIndex, DOUBLE* pdPos);
// 1 when the filters and scopes accept the current row, else 0.
[[nodiscard]] UNSIGNED32 AdsIsRecordVisible(ADSHANDLE hObj, UNSIGNED16* pbVisible);
// Always 0: a deleted record is gone at once.
[[nodiscard]] UNSIGNED32 AdsIsRecordDeleted(ADSHANDLE hTable, UNSIGNED16* pbDeleted);
// Always 0: deleted records are never shown.
[[nodiscard]] UNSIGNED32 AdsGetDeleted(UNSIGNED16* pbShowDeleted);

// --- Keys, seeks, scopes -------------------------------------------------------------------
// Empties the key being built on the index handle (filled with AdsSetField, AdsSetFieldRaw).
[[nodiscard]] UNSIGNED32 AdsInitRawKey(ADSHANDLE hIndex);
// The key built so far in the tag's raw form (bytes); AE_BUFFER_TOO_SMALL.
[[nodiscard]] UNSIGNED32 AdsBuildRawKey(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16* pusKeyLen);
// To the first row whose key matches (ADS_HARDSEEK), or the next after it (ADS_SOFTSEEK,
// ADS_SEEKGT); *pbFound 1 or 0. usDataType ADS_RAWKEY, ADS_STRINGKEY or ADS_DOUBLEKEY;
// AE_INVALID_ARGUMENT (a key that does not decode).
[[nodiscard]] UNSIGNED32 AdsSeek(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16 usKeyLen,
                                 UNSIGNED16 usDataType, UNSIGNED16 usSeekType, UNSIGNED16* pbFound);
// Sets the top or bottom scope (ADS_TOP, ADS_BOTTOM) of the tag's order; AE_INVALID_ARGUMENT.
[[nodiscard]] UNSIGNED32 AdsSetScope(ADSHANDLE hIndex, UNSIGNED16 usScopeOption,
                                     UNSIGNED8* pucScope, UNSIGNED16 usScopeLen,
                                     UNSIGNED16 usDataType);
// The scope as it was given (a buffer); AE_NO_SCOPE, AE_INVALID_ARGUMENT, AE_BUFFER_TOO_SMALL.
[[nodiscard]] UNSIGNED32 AdsGetScope(ADSHANDLE hIndex, UNSIGNED16 usScopeOption,
                                     UNSIGNED8* pucScope, UNSIGNED16* pusBufLen);
// Clears the top or bottom scope; AE_NO_SCOPE, AE_INVALID_ARGUMENT.
[[nodiscard]] UNSIGNED32 AdsClearScope(ADSHANDLE hIndex, UNSIGNED16 usScopeOption);
// Clears every scope of every tag of the table handle.
[[nodiscard]] UNSIGNED32 AdsClearAllScopes(ADSHANDLE hTable);

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
// AE_NOT_SUPPORTED (another option).
[[nodiscard]] UNSIGNED32 AdsSetAOF(ADSHANDLE hTable, UNSIGNED8* pucFilter, UNSIGNED16 usOptions);
// The optimised filter's text (a buffer; AE_INSUFFICIENT_BUFFER when too small, a null buffer
// asks for the size); AE_NO_FILTER when none is set.
[[nodiscard]] UNSIGNED32 AdsGetAOF(ADSHANDLE hTable, UNSIGNED8* pucFilter, UNSIGNED16* pusLen);
[[nodiscard]] UNSIGNED32 AdsClearAOF(ADSHANDLE hTable);  // AE_NO_FILTER when none is set
// Sets the plain filter; its errors as AdsSetAOF's.
[[nodiscard]] UNSIGNED32 AdsSetFilter(ADSHANDLE hTable, UNSIGNED8* pucFilter);
[[nodiscard]] UNSIGNED32 AdsGetFilter(ADSHANDLE hTable, UNSIGNED8* pucFilter,
                                      UNSIGNED16* pusLen);  // as AdsGetAOF
[[nodiscard]] UNSIGNED32 AdsClearFilter(ADSHANDLE hTable);  // AE_NO_FILTER when none is set
// Exact text comparison with "=" (1) or the comparison of as many characters as the right side
// has (0, the default), for the table of the handle; its filters follow at once.
[[nodiscard]] UNSIGNED32 AdsSetExact22(ADSHANDLE hObj, UNSIGNED16 bExact);
[[nodiscard]] UNSIGNED32 AdsGetExact22(ADSHANDLE hObj, UNSIGNED16* pbExact);  // 1 or 0
// Field names in an expression in the long and the short form. ADT tables keep their long names,
// so both copy the expression (a buffer, as for AdsGetAOF).
[[nodiscard]] UNSIGNED32 AdsExpressionLongToShort(ADSHANDLE hTable, UNSIGNED8* pucLongExpr,
                                                  UNSIGNED8* pucShortExpr,
                                                  UNSIGNED16* pusBufferLen);
[[nodiscard]] UNSIGNED32 AdsExpressionShortToLong(ADSHANDLE hTable, UNSIGNED8* pucShortExpr,
                                                  UNSIGNED8* pucLongExpr, UNSIGNED16* pusBufferLen);
// Evaluates a logical expression on the current row (on the blank record when the handle
// stands on no row); *pbResult 1 or 0. The errors of a filter that cannot be translated.
[[nodiscard]] UNSIGNED32 AdsEvalLogicalExpr(ADSHANDLE hTable, UNSIGNED8* pucExpr,
                                            UNSIGNED16* pbResult);
// The date format of CTOD in the connection's expressions: the letters D, M and Y (C for the
// century) with any separators, "MM/DD/YYYY" until set. AE_INVALID_ARGUMENT for a format
// without a day, month and year.
[[nodiscard]] UNSIGNED32 AdsSetDateFormat60(ADSHANDLE hConnect, UNSIGNED8* pucFormat);
// The connection's date format (a buffer); AE_BUFFER_TOO_SMALL.
[[nodiscard]] UNSIGNED32 AdsGetDateFormat60(ADSHANDLE hConnect, UNSIGNED8* pucFormat,
                                            UNSIGNED16* pusLen);

// --- Records and fields --------------------------------------------------------------------
// A field value written on a table handle starts a change of the current row (locking it) that
// stays pending until AdsWriteRecord, a move, or AdsCancelUpdate. On an index handle AdsSetField
// and AdsSetFieldRaw fill the key being built (AdsInitRawKey).
// Sets a field from its text form; AE_COLUMN_VALUE (a text the field cannot take), AE_READ_ONLY,
// AE_STATIC_CURSOR, AE_LOCKED (the row locked elsewhere), AE_NO_CURRENT_RECORD.
[[nodiscard]] UNSIGNED32 AdsSetField(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED8* pucBuf,
                                     UNSIGNED32 ulLen);
// Sets a field from its bytes in the record image; ulLen must be the field's length
// (AE_INVALID_ARGUMENT); otherwise as AdsSetField.
[[nodiscard]] UNSIGNED32 AdsSetFieldRaw(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED8* pucBuf,
                                        UNSIGNED32 ulLen);
// Gives the field its empty value (on a statement handle: the parameter); as AdsSetField.
[[nodiscard]] UNSIGNED32 AdsSetEmpty(ADSHANDLE hObj, UNSIGNED8* pucFldName);
// The field's value: text fields as text, binary, image and raw fields as bytes (a buffer; off
// any row, the empty value); AE_BUFFER_TOO_SMALL.
[[nodiscard]] UNSIGNED32 AdsGetField(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED8* pucBuf,
                                     UNSIGNED32* pulLen, UNSIGNED16 usOption);
// 1 when the field holds its empty value (off any row, 1), else 0.
[[nodiscard]] UNSIGNED32 AdsIsEmpty(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED16* pbEmpty);
// Starts a new blank record, pending until written; AE_READ_ONLY, AE_STATIC_CURSOR.
[[nodiscard]] UNSIGNED32 AdsAppendRecord(ADSHANDLE hTable);
// Writes the pending change (nothing pending is 0); AE_DUPLICATE_KEY, AE_COLUMN_VALUE,
// AE_NO_SUCH_RECORD (the row was deleted meanwhile). After a failure the change stays pending.
[[nodiscard]] UNSIGNED32 AdsWriteRecord(ADSHANDLE hTable);
// Drops the pending change and its lock; AE_NO_UPDATE_PENDING.
[[nodiscard]] UNSIGNED32 AdsCancelUpdate(ADSHANDLE hTable);
// Deletes the current row; AE_NO_CURRENT_RECORD, AE_READ_ONLY, AE_STATIC_CURSOR, AE_LOCKED.
[[nodiscard]] UNSIGNED32 AdsDeleteRecord(ADSHANDLE hTable);
// Drops a pending change and reads the current row again; AE_NO_CURRENT_RECORD.
[[nodiscard]] UNSIGNED32 AdsRefreshRecord(ADSHANDLE hTable);
// Fills a buffer of ulLen bytes with the blank record image; AE_BUFFER_TOO_SMALL.
[[nodiscard]] UNSIGNED32 AdsClearRecordBuffer(ADSHANDLE hTable, UNSIGNED8* pucBuf,
                                              UNSIGNED32 ulLen);
// The last auto-increment value written through the handle (or the statement); 0 before any.
[[nodiscard]] UNSIGNED32 AdsGetLastAutoinc(ADSHANDLE hObj, UNSIGNED32* pulAutoIncVal);
// Locks record ulRec (0: the current one) for this handle; AE_LOCKED, AE_NO_CURRENT_RECORD.
[[nodiscard]] UNSIGNED32 AdsLockRecord(ADSHANDLE hTable, UNSIGNED32 ulRec);
// Releases this handle's lock of record ulRec (0: all of them); one not held is 0.
[[nodiscard]] UNSIGNED32 AdsUnlockRecord(ADSHANDLE hTable, UNSIGNED32 ulRec);
// The length of a memo's text (0 off any row); AE_COLUMN_WRONG_TYPE (not a memo).
[[nodiscard]] UNSIGNED32 AdsGetMemoLength(ADSHANDLE hTable, UNSIGNED8* pucFldName,
                                          UNSIGNED32* pulLength);
// The length of a binary or image value (0 off any row); AE_COLUMN_WRONG_TYPE.
[[nodiscard]] UNSIGNED32 AdsGetBinaryLength(ADSHANDLE hTable, UNSIGNED8* pucFldName,
                                            UNSIGNED32* pulLength);
// ADS_MEMO_TEXT for a memo, ADS_MEMO_BINARY for binary and image; AE_COLUMN_WRONG_TYPE.
[[nodiscard]] UNSIGNED32 AdsGetMemoDataType(ADSHANDLE hTable, UNSIGNED8* pucFldName,
                                            UNSIGNED16* pusType);
// The Julian day of a "CCYYMMDD" text of usLen bytes (0 for a blank one); AE_INVALID_ARGUMENT.
[[nodiscard]] UNSIGNED32 AdsConvertStringToJulian(UNSIGNED8* pucJulian, UNSIGNED16 usLen,
                                                  DOUBLE* pdJulian);
// The "CCYYMMDD" text of a Julian day (a buffer); AE_INVALID_ARGUMENT, AE_BUFFER_TOO_SMALL.
[[nodiscard]] UNSIGNED32 AdsConvertJulianToString(DOUBLE dJulian, UNSIGNED8* pucJulian,
                                                  UNSIGNED16* pusLen);

// --- Encryption ----------------------------------------------------------------------------
// Gives the table password to the handle: an encrypted table shows its rows from now on, a
// plain one keeps it for AdsEncryptTable. AE_WRONG_PASSWORD, AE_INVALID_ARGUMENT (empty).
[[nodiscard]] UNSIGNED32 AdsEnableEncryption(ADSHANDLE hTable, UNSIGNED8* pucPassword);
// Forgets the handle's password; an encrypted table shows no rows again.
[[nodiscard]] UNSIGNED32 AdsDisableEncryption(ADSHANDLE hTable);
[[nodiscard]] UNSIGNED32 AdsIsTableEncrypted(ADSHANDLE hTable,
                                             UNSIGNED16* pbEncrypted);  // 1 or 0
// Encrypts a plain table with the password given to AdsEnableEncryption on this handle, or
// decrypts an encrypted one whose password has been given. The handle must be opened
// exclusively (AE_INVALID_ARGUMENT) and be the table's only one (AE_LOCKED), and writable
// (AE_READ_ONLY); AE_ALREADY_ENCRYPTED, AE_NOT_ENCRYPTED, AE_INVALID_ARGUMENT (no password).
[[nodiscard]] UNSIGNED32 AdsEncryptTable(ADSHANDLE hTable);
[[nodiscard]] UNSIGNED32 AdsDecryptTable(ADSHANDLE hTable);

// --- SQL statements ------------------------------------------------------------------------
// A statement is made on a connection and lives until AdsCloseSQLStatement or the connection's
// AdsDisconnect (which closes its statements and their cursors). The dialect is documented in
// engine/sql_dialect.h. A SELECT gives a static, read-only cursor (AdsGetTableOpenOptions has
// ADS_READONLY set; changes answer AE_STATIC_CURSOR) that the table calls serve and
// AdsCloseTable closes; any other statement gives cursor 0.
// A new statement handle on the connection; AE_NOT_SUPPORTED on a server connection.
[[nodiscard]] UNSIGNED32 AdsCreateSQLStatement(ADSHANDLE hConnect, ADSHANDLE* phStatement);
// Closes the statement and its cursors; AE_INVALID_STATEMENT.
[[nodiscard]] UNSIGNED32 AdsCloseSQLStatement(ADSHANDLE hStatement);
// Translates and prepares the text; the tables it names are found and opened here. A syntax
// error answers AE_SQL_SYNTAX naming the position and the token; an unknown column 5147; a
// missing table AE_FILE_NOT_FOUND (or 5132 in a dictionary) naming it; AE_NOT_SUPPORTED for a
// statement the dialect refuses.
[[nodiscard]] UNSIGNED32 AdsPrepareSQL(ADSHANDLE hStatement, UNSIGNED8* pucSQL);
// Runs the prepared statement; its cursor (0 for a change) in *phCursor. AE_PREPARE_AGAIN when a
// table's structure changed since, AE_INVALID_ARGUMENT (a parameter without a value, nothing
// prepared), AE_COLUMN_VALUE, AE_DUPLICATE_KEY, AE_TRANSACTION_OPEN.
[[nodiscard]] UNSIGNED32 AdsExecuteSQL(ADSHANDLE hStatement, ADSHANDLE* phCursor);
// AdsPrepareSQL then AdsExecuteSQL.
[[nodiscard]] UNSIGNED32 AdsExecuteSQLDirect(ADSHANDLE hStatement, UNSIGNED8* pucSQL,
                                             ADSHANDLE* phCursor);
// 0 for any text whose tokens are well formed (an empty or unfinished statement included);
// AE_SQL_SYNTAX naming the position otherwise.
[[nodiscard]] UNSIGNED32 AdsGetSQLStmtParams(UNSIGNED8* pucSQL);
// Options, each checked (an unknown value AE_INVALID_ARGUMENT, one the engine cannot honour
// AE_NOT_SUPPORTED) and kept for the statement's later executions.
[[nodiscard]] UNSIGNED32 AdsStmtSetTableLockType(ADSHANDLE hStatement,
                                                 UNSIGNED16 usLockType);  // 0, 1
[[nodiscard]] UNSIGNED32 AdsStmtSetTableCharType(ADSHANDLE hStatement,
                                                 UNSIGNED16 usCharType);  // 1, 2
[[nodiscard]] UNSIGNED32 AdsStmtSetTableRights(ADSHANDLE hStatement,
                                               UNSIGNED16 usCheckRights);  // 1, 2
// 1 read-only, 2 writable asked for (the cursor stays a static view either way).
[[nodiscard]] UNSIGNED32 AdsStmtSetTableReadOnly(ADSHANDLE hStatement, UNSIGNED16 usReadOnly);
// ADS_ADT or ADS_DEFAULT; NTX and CDX only on a dictionary connection, whose tables carry
// their own type.
[[nodiscard]] UNSIGNED32 AdsStmtSetTableType(ADSHANDLE hStatement, UNSIGNED16 usTableType);
[[nodiscard]] UNSIGNED32 AdsStmtConstrainUpdates(ADSHANDLE hStatement,
                                                 UNSIGNED16 usConstrain);  // 1, 2
[[nodiscard]] UNSIGNED32 AdsStmtReadAllColumns(ADSHANDLE hStatement,
                                               UNSIGNED16 usReadAll);  // 1, 2
// An encrypted table named in a statement opens with its table password, else with the
// statement's encryption password; a wrong or missing one is AE_WRONG_PASSWORD naming it.
// The statement's encryption password; AE_INVALID_ARGUMENT (empty).
[[nodiscard]] UNSIGNED32 AdsStmtEnableEncryption(ADSHANDLE hStatement, UNSIGNED8* pucPassword);
// Forgets the statement's encryption password.
[[nodiscard]] UNSIGNED32 AdsStmtDisableEncryption(ADSHANDLE hStatement);
// The password of one table named in the statement; AE_INVALID_ARGUMENT (no table name).
[[nodiscard]] UNSIGNED32 AdsStmtSetTablePassword(ADSHANDLE hStatement, UNSIGNED8* pucTableName,
                                                 UNSIGNED8* pucPassword);
// Forgets every table password of the statement.
[[nodiscard]] UNSIGNED32 AdsStmtClearTablePasswords(ADSHANDLE hStatement);
// Parameters of a prepared statement, by number (ADSFIELD(n), 1-based, in the order the markers
// ? and :name appear) or by name; an unknown one is AE_COLUMN_NOT_FOUND, a value out of range
// AE_INVALID_ARGUMENT. AdsSetEmpty gives the empty value. On a table handle AdsSetString sets a
// field as AdsSetField does; the others take statement handles only.
[[nodiscard]] UNSIGNED32 AdsSetString(ADSHANDLE hObj, UNSIGNED8* pucFldName, UNSIGNED8* pucBuf,
                                      UNSIGNED32 ulLen);  // ulLen bytes of text
[[nodiscard]] UNSIGNED32 AdsSetLogical(ADSHANDLE hObj, UNSIGNED8* pucFldName,
                                       UNSIGNED16 bValue);  // true for any value but 0
[[nodiscard]] UNSIGNED32 AdsSetDouble(ADSHANDLE hObj, UNSIGNED8* pucFldName, DOUBLE dValue);
// A date as its Julian day.
[[nodiscard]] UNSIGNED32 AdsSetJulian(ADSHANDLE hObj, UNSIGNED8* pucFldName, SIGNED32 lDate);
// A time of day as milliseconds since midnight (0 to 86399999).
[[nodiscard]] UNSIGNED32 AdsSetMilliseconds(ADSHANDLE hObj, UNSIGNED8* pucFldName, SIGNED32 lTime);
// pucBuf: the 32-bit Julian day then the 32-bit milliseconds of the day; ulLen 8.
[[nodiscard]] UNSIGNED32 AdsSetTimeStampRaw(ADSHANDLE hObj, UNSIGNED8* pucFldName,
                                            UNSIGNED8* pucBuf, UNSIGNED32 ulLen);
// usBinaryType ADS_BINARY or ADS_IMAGE; the whole value in one call (offset 0, ulLen = total;
// a value in parts is AE_NOT_SUPPORTED).
[[nodiscard]] UNSIGNED32 AdsSetBinary(ADSHANDLE hObj, UNSIGNED8* pucFldName,
                                      UNSIGNED16 usBinaryType, UNSIGNED32 ulTotalLength,
                                      UNSIGNED32 ulOffset, UNSIGNED8* pucBuf, UNSIGNED32 ulLen);

}  // extern "C"

#endif  // VELDA_ENGINE_ACE_H
