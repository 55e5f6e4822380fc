#include "engine/schema.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <charconv>

#include "engine/last_error.h"

namespace engine {

namespace {

struct TypeInfo {
    const char* name;
    UNSIGNED16 type;
    UNSIGNED32 defaultLength;  // 0: a length must be given
};

constexpr TypeInfo kTypes[] = {
    {"Logical", ADS_LOGICAL, 1},
    {"Numeric", ADS_NUMERIC, 0},
    {"Date", ADS_DATE, 4},
    {"Character", ADS_STRING, 0},
    {"Memo", ADS_MEMO, 9},
    {"Binary", ADS_BINARY, 9},
    {"Image", ADS_IMAGE, 9},
    {"VarChar", ADS_VARCHAR, 0},
    {"CompactDate", ADS_COMPACTDATE, 3},
    {"Double", ADS_DOUBLE, 8},
    {"Integer", ADS_INTEGER, 4},
    {"ShortInteger", ADS_SHORTINT, 2},
    {"Time", ADS_TIME, 4},
    {"TimeStamp", ADS_TIMESTAMP, 8},
    {"AutoInc", ADS_AUTOINC, 4},
    {"Raw", ADS_RAW, 0},
    {"CurDouble", ADS_CURDOUBLE, 8},
};

struct Alias {
    const char* name;
    UNSIGNED16 type;
};
constexpr Alias kAliases[] = {{"Char", ADS_STRING},       {"String", ADS_STRING},
                              {"ShortInt", ADS_SHORTINT}, {"AutoIncrement", ADS_AUTOINC},
                              {"Money", ADS_CURDOUBLE},   {"Bool", ADS_LOGICAL}};

const TypeInfo* infoOf(UNSIGNED16 type) {
    for (const auto& t : kTypes)
        if (t.type == type) return &t;
    return nullptr;
}

std::string trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return std::string(s.substr(b, e - b));
}

std::vector<std::string> split(std::string_view s, char sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        size_t at = s.find(sep, start);
        parts.push_back(trim(
            s.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start)));
        if (at == std::string_view::npos) break;
        start = at + 1;
    }
    return parts;
}

bool parseNumber(const std::string& text, UNSIGNED32& out) {
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

// The image length of a field of the given type and declared length.
UNSIGNED32 imageLength(UNSIGNED16 type, UNSIGNED32 declared) {
    switch (type) {
        case ADS_STRING:
        case ADS_NUMERIC:
        case ADS_RAW:
            return declared;
        case ADS_DATE:
            return declared == 8 ? 8 : 4;
        case ADS_VARCHAR:
            return 9;
        default:
            return infoOf(type)->defaultLength;
    }
}

}  // namespace

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string quoteIdentifier(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string quoteText(std::string_view text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + "'";
}

const char* typeName(UNSIGNED16 type) {
    const TypeInfo* info = infoOf(type);
    return info ? info->name : "unknown";
}

ColumnClass FieldDef::storage() const {
    switch (type) {
        case ADS_LOGICAL:
        case ADS_INTEGER:
        case ADS_SHORTINT:
        case ADS_AUTOINC:
            return ColumnClass::Integer;
        case ADS_NUMERIC:
        case ADS_DOUBLE:
        case ADS_CURDOUBLE:
            return ColumnClass::Real;
        case ADS_BINARY:
        case ADS_IMAGE:
        case ADS_RAW:
            return ColumnClass::Blob;
        default:
            return ColumnClass::Text;
    }
}

bool FieldDef::isBlob() const {
    return type == ADS_MEMO || type == ADS_BINARY || type == ADS_IMAGE || type == ADS_VARCHAR;
}

std::string FieldDef::column() const {
    return quoteIdentifier(name);
}

std::string FieldDef::keyExpression() const {
    switch (storage()) {
        case ColumnClass::Integer:
        case ColumnClass::Real:
            return "ifnull(" + column() + ",-9e999)";
        case ColumnClass::Blob:
            return "ifnull(" + column() + ",X'')";
        case ColumnClass::Text:
            break;
    }
    return "ifnull(" + column() + ",'')";
}

int Schema::fieldByName(std::string_view name) const {
    for (size_t i = 0; i < fields.size(); ++i)
        if (equalsNoCase(fields[i].name, name)) return static_cast<int>(i);
    return -1;
}

int Schema::indexByName(std::string_view name) const {
    for (size_t i = 0; i < indexes.size(); ++i)
        if (equalsNoCase(indexes[i].name, name)) return static_cast<int>(i);
    return -1;
}

void Schema::layOut() {
    UNSIGNED32 offset = 0;
    for (auto& f : fields) {
        f.offset = offset;
        offset += f.length;
    }
    recordLength = offset;
}

UNSIGNED32 parseFieldList(std::string_view spec, const std::string& table,
                          std::vector<FieldDef>& out) {
    out.clear();
    std::vector<std::string> entries = split(spec, ';');
    if (!entries.empty() && entries.back().empty()) entries.pop_back();
    if (entries.empty())
        return fail(AE_INVALID_ARGUMENT, "No fields given for the new table " + table + ".");
    for (size_t n = 0; n < entries.size(); ++n) {
        std::vector<std::string> parts = split(entries[n], ',');
        std::string where = "Field " + std::to_string(n + 1) + " of the new table " + table;
        const std::string& name = parts[0];
        if (name.empty()) return fail(AE_INVALID_ARGUMENT, where + " has no name.");
        where = "Field " + std::to_string(n + 1) + " (\"" + name + "\") of the new table " + table;
        if (name.size() > 128)
            return fail(AE_INVALID_ARGUMENT, where + " has a name longer than 128 characters.");
        if (equalsNoCase(name, "rowid") || equalsNoCase(name, "oid") ||
            equalsNoCase(name, "_rowid_"))
            return fail(AE_INVALID_ARGUMENT, where + " has a reserved name.");
        for (const auto& f : out)
            if (equalsNoCase(f.name, name))
                return fail(AE_INVALID_ARGUMENT, where + " repeats the name of another field.");
        if (parts.size() < 2 || parts[1].empty())
            return fail(AE_INVALID_ARGUMENT, where + " has no type.");
        if (parts.size() > 4)
            return fail(AE_INVALID_ARGUMENT,
                        where + " has more than a type, a length and decimals.");
        UNSIGNED16 type = 0;
        for (const auto& t : kTypes)
            if (equalsNoCase(t.name, parts[1])) type = t.type;
        for (const auto& a : kAliases)
            if (equalsNoCase(a.name, parts[1])) type = a.type;
        if (!type)
            return fail(AE_INVALID_ARGUMENT, where + " has the unknown type \"" + parts[1] + "\".");
        const TypeInfo* info = infoOf(type);
        FieldDef field;
        field.name = name;
        field.type = type;
        UNSIGNED32 length = info->defaultLength;
        bool lengthGiven = parts.size() >= 3 && !parts[2].empty();
        if (lengthGiven && !parseNumber(parts[2], length))
            return fail(AE_INVALID_ARGUMENT,
                        where + " has the length \"" + parts[2] + "\", which is not a number.");
        UNSIGNED32 decimals = 0;
        if (parts.size() == 4 && !parts[3].empty() && !parseNumber(parts[3], decimals))
            return fail(AE_INVALID_ARGUMENT,
                        where + " has the decimals \"" + parts[3] + "\", which is not a number.");
        bool sized = info->defaultLength == 0;
        if (sized) {
            if (!lengthGiven) return fail(AE_INVALID_ARGUMENT, where + " needs a length.");
            UNSIGNED32 maximum = type == ADS_NUMERIC ? 32 : 65000;
            UNSIGNED32 minimum = type == ADS_NUMERIC ? 1 : 1;
            if (length < minimum || length > maximum)
                return fail(AE_INVALID_ARGUMENT,
                            where + " has the length " + std::to_string(length) + "; it must be " +
                                std::to_string(minimum) + " to " + std::to_string(maximum) + ".");
        } else if (lengthGiven && type == ADS_DATE) {
            if (length != 4 && length != 8)
                return fail(AE_INVALID_ARGUMENT, where + " has the length " +
                                                     std::to_string(length) +
                                                     "; a date is 4 or 8 bytes.");
        } else if (lengthGiven && length != info->defaultLength && !(field.isBlob())) {
            return fail(AE_INVALID_ARGUMENT, where + " has the length " + std::to_string(length) +
                                                 "; a " + info->name + " field is " +
                                                 std::to_string(info->defaultLength) + " bytes.");
        } else if (field.isBlob()) {
            length = info->defaultLength;
        }
        bool takesDecimals = type == ADS_NUMERIC || type == ADS_DOUBLE || type == ADS_CURDOUBLE;
        if (decimals && !takesDecimals)
            return fail(AE_INVALID_ARGUMENT, where + " cannot have decimals.");
        if (type == ADS_NUMERIC && decimals && decimals + 2 > length)
            return fail(AE_INVALID_ARGUMENT, where + " has " + std::to_string(decimals) +
                                                 " decimals, too many for its length " +
                                                 std::to_string(length) + ".");
        if (decimals > 20) return fail(AE_INVALID_ARGUMENT, where + " has more than 20 decimals.");
        field.declared = length;
        field.length = imageLength(type, length);
        field.decimals = static_cast<UNSIGNED16>(decimals);
        out.push_back(field);
    }
    return AE_SUCCESS;
}

size_t rawKeyLength(const Schema& schema, const IndexDef& index) {
    size_t length = 2;
    for (size_t s : index.segments) length += 2 + schema.fields[s].length;
    return length;
}

namespace metadata {

namespace {

const char* sqlType(const FieldDef& f) {
    switch (f.storage()) {
        case ColumnClass::Integer:
            return "INTEGER";
        case ColumnClass::Real:
            return "REAL";
        case ColumnClass::Blob:
            return "BLOB";
        case ColumnClass::Text:
            break;
    }
    return "TEXT";
}

UNSIGNED32 sqlFailure(sql::Database& db, const std::string& file, const char* doing) {
    int rc = sqlite3_errcode(db.get());
    UNSIGNED32 code = (rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT) ? AE_NOT_A_TABLE
                      : (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)  ? AE_LOCKED
                      : (rc == SQLITE_IOERR || rc == SQLITE_FULL || rc == SQLITE_CANTOPEN ||
                         rc == SQLITE_READONLY)
                          ? AE_IO_ERROR
                          : AE_INTERNAL;
    if (code == AE_NOT_A_TABLE)
        return fail(code,
                    "The file " + file + " is not a table or is damaged (" + db.errorText() + ").");
    return fail(code, std::string("Could not ") + doing + " the table " + file + ": " +
                          db.errorText() + ".");
}

}  // namespace

std::string sqliteIndexName(const IndexDef& index) {
    return quoteIdentifier("tag_" + index.name);
}

std::string createIndexSql(const Schema& schema, const IndexDef& index, const std::string& in) {
    std::string sql = index.unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ";
    sql += quoteIdentifier(in) + "." + sqliteIndexName(index) + " ON \"records\"(";
    for (size_t i = 0; i < index.segments.size(); ++i) {
        if (i) sql += ",";
        sql += schema.fields[index.segments[i]].keyExpression();
    }
    return sql + ")";
}

std::string createMetadataSql(const std::string& in) {
    std::string db = quoteIdentifier(in) + ".";
    return "CREATE TABLE " + db +
           "velda_table(key TEXT PRIMARY KEY, value);"
           "CREATE TABLE " +
           db +
           "velda_fields(number INTEGER PRIMARY KEY, name TEXT NOT NULL, type INTEGER NOT NULL,"
           " length INTEGER NOT NULL, decimals INTEGER NOT NULL);"
           "CREATE TABLE " +
           db +
           "velda_indexes(position INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE COLLATE NOCASE,"
           " segments TEXT NOT NULL, is_unique INTEGER NOT NULL, is_descending INTEGER NOT NULL);";
}

std::string createRowsSql(const Schema& schema, const std::string& in) {
    std::string sql = "CREATE TABLE " + quoteIdentifier(in) + ".\"records\"(";
    for (size_t i = 0; i < schema.fields.size(); ++i) {
        const FieldDef& f = schema.fields[i];
        if (i) sql += ", ";
        sql += f.column() + " " + sqlType(f);
    }
    return sql + ");";
}

std::string copyColumns(const Schema& schema) {
    std::string columns = "rowid";
    for (const FieldDef& f : schema.fields) columns += ", " + f.column();
    return columns;
}

UNSIGNED32 create(sql::Database& db, const Schema& schema, const std::string& file) {
    std::string sql = createMetadataSql("main") + "INSERT INTO velda_table VALUES('format', 1);" +
                      createRowsSql(schema, "main");
    for (size_t i = 0; i < schema.fields.size(); ++i) {
        const FieldDef& f = schema.fields[i];
        sql += "INSERT INTO velda_fields VALUES(" + std::to_string(i + 1) + "," +
               quoteText(f.name) + "," + std::to_string(f.type) + "," + std::to_string(f.declared) +
               "," + std::to_string(f.decimals) + ");";
    }
    if (db.exec(sql) != SQLITE_OK) return sqlFailure(db, file, "create");
    return AE_SUCCESS;
}

UNSIGNED32 addField(Schema& schema, std::string name, int64_t type, int64_t length,
                    int64_t decimals, const std::string& file) {
    FieldDef f;
    f.name = std::move(name);
    f.type = static_cast<UNSIGNED16>(type);
    f.declared = static_cast<UNSIGNED32>(length);
    f.decimals = static_cast<UNSIGNED16>(decimals);
    bool sized =
        f.type == ADS_STRING || f.type == ADS_NUMERIC || f.type == ADS_RAW || f.type == ADS_VARCHAR;
    UNSIGNED32 maximum = f.type == ADS_NUMERIC ? 32 : 65000;
    if (!infoOf(f.type) || f.name.empty() || (sized && (f.declared < 1 || f.declared > maximum)) ||
        f.decimals > 20 || length < 0 || length > 65000)
        return fail(AE_NOT_A_TABLE, "The file " + file + " is damaged: field " +
                                        std::to_string(schema.fields.size() + 1) +
                                        " has an unknown type or length.");
    f.length = imageLength(f.type, f.declared);
    schema.fields.push_back(f);
    return AE_SUCCESS;
}

namespace {

// The index tags, after the fields; fails naming the file when one makes no sense.
UNSIGNED32 readIndexes(sql::Database& db, Schema& schema, const std::string& file) {
    sql::Statement indexes;
    if (db.prepare(
            "SELECT name, segments, is_unique, is_descending FROM velda_indexes ORDER BY position",
            indexes) != SQLITE_OK)
        return sqlFailure(db, file, "read");
    int rc;
    while ((rc = indexes.step()) == SQLITE_ROW) {
        IndexDef index;
        index.name = indexes.columnText(0);
        for (const std::string& segment : split(indexes.columnText(1), ';')) {
            int field = schema.fieldByName(segment);
            if (field < 0)
                return fail(AE_NOT_A_TABLE, "The file " + file + " is damaged: index tag " +
                                                index.name + " names the unknown field " + segment +
                                                ".");
            index.segments.push_back(static_cast<size_t>(field));
        }
        bool indexable = !index.segments.empty();
        for (size_t s : index.segments) indexable = indexable && !schema.fields[s].isBlob();
        if (!indexable || rawKeyLength(schema, index) > ADS_MAX_KEY_LENGTH)
            return fail(AE_NOT_A_TABLE, "The file " + file + " is damaged: index tag " +
                                            index.name + " has no valid key.");
        index.unique = indexes.columnInt(2) != 0;
        index.descending = indexes.columnInt(3) != 0;
        schema.indexes.push_back(index);
    }
    if (rc != SQLITE_DONE) return sqlFailure(db, file, "read");
    schema.layOut();
    return AE_SUCCESS;
}

UNSIGNED32 noFields(const std::string& file) {
    return fail(AE_NOT_A_TABLE, "The file " + file + " is damaged: it lists no fields.");
}

}  // namespace

UNSIGNED32 read(sql::Database& db, Schema& schema, const std::string& file) {
    schema = Schema{};
    sql::Statement check;
    if (db.prepare("SELECT count(*) FROM sqlite_master WHERE type='table' AND name IN "
                   "('velda_table','velda_fields','velda_indexes','records')",
                   check) != SQLITE_OK)
        return sqlFailure(db, file, "read");
    int rc = check.step();
    if (rc != SQLITE_ROW) return sqlFailure(db, file, "read");
    if (check.columnInt(0) != 4)
        return fail(AE_NOT_A_TABLE,
                    "The file " + file + " is not a table: it holds no table structure.");
    sql::Statement fields;
    if (db.prepare("SELECT name, type, length, decimals FROM velda_fields ORDER BY number",
                   fields) != SQLITE_OK)
        return sqlFailure(db, file, "read");
    while ((rc = fields.step()) == SQLITE_ROW)
        if (UNSIGNED32 bad = addField(schema, fields.columnText(0), fields.columnInt(1),
                                      fields.columnInt(2), fields.columnInt(3), file))
            return bad;
    if (rc != SQLITE_DONE) return sqlFailure(db, file, "read");
    if (schema.fields.empty()) return noFields(file);
    return readIndexes(db, schema, file);
}

UNSIGNED32 readAtOpen(sql::Database& db, Schema& schema, OpenFacts& facts,
                      const std::string& file) {
    // Opening is mostly preparing statements, so the fields come with the encryption marker and
    // the first record number (which reads the rows table once, at its first pages: the last
    // ones lie anywhere in the file, and each page first touched through the memory map costs a
    // page fault). Whatever goes wrong this way, the file is read again by read(), whose checks
    // come in their order with their errors.
    schema = Schema{};
    facts = OpenFacts{};
    sql::Statement fields;
    if (db.prepare("SELECT name, type, length, decimals,"
                   " (SELECT value FROM \"main\".velda_table WHERE key='encrypted'),"
                   " (SELECT rowid FROM \"main\".\"records\" LIMIT 1)"
                   " FROM \"main\".velda_fields ORDER BY number",
                   fields) != SQLITE_OK)
        return read(db, schema, file);
    int rc;
    while ((rc = fields.step()) == SQLITE_ROW) {
        facts.encrypted = fields.columnInt(4) != 0;
        if (addField(schema, fields.columnText(0), fields.columnInt(1), fields.columnInt(2),
                     fields.columnInt(3), file))
            return read(db, schema, file);
    }
    if (rc != SQLITE_DONE || schema.fields.empty() || readIndexes(db, schema, file))
        return read(db, schema, file);
    facts.structureOnly = false;
    return AE_SUCCESS;
}

}  // namespace metadata

}  // namespace engine
