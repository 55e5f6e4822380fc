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

UNSIGNED32 addIndex(Schema& schema, std::string name, std::string_view segments, bool unique,
                    bool descending, const std::string& file) {
    IndexDef index;
    index.name = std::move(name);
    for (const std::string& segment : split(segments, ';')) {
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
        return fail(AE_NOT_A_TABLE, "The file " + file + " is damaged: index tag " + index.name +
                                        " has no valid key.");
    index.unique = unique;
    index.descending = descending;
    schema.indexes.push_back(index);
    return AE_SUCCESS;
}

}  // namespace metadata

}  // namespace engine
