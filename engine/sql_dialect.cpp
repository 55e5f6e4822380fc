#include "engine/sql_dialect.h"

#include <cctype>
#include <map>

#include "engine/codepage.h"
#include "engine/last_error.h"
#include "engine/record_image.h"
#include "engine/time_of_day.h"

namespace engine::sqldialect {

namespace {

enum class Kind { Space, Word, Quoted, String, Number, Param, Punct };

struct Token {
    Kind kind = Kind::Space;
    std::string source;   // as written
    std::string value;    // identifier or text without its quotes; a parameter's name
    size_t position = 0;  // 0-based byte offset
    std::string out;      // what is emitted; empty with `dropped` for nothing
    bool dropped = false;
};

bool wordStart(unsigned char c) {
    return std::isalpha(c) || c == '_' || c >= 0x80;
}
bool wordPart(unsigned char c) {
    return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80;
}

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string utf8(std::string_view bytes) {
    return codepage::toUtf8(bytes, codepage::CodePage::Ansi1252);
}

std::string sqlText(std::string_view value) {
    std::string out = "'";
    for (char c : utf8(value)) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + "'";
}

std::string sqlIdentifier(std::string_view value) {
    std::string out = "\"";
    for (char c : utf8(value)) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

// Brackets nested deeper than this are refused before SQLite sees them: SQLite's own bounds are
// about this deep, and its answer then names no position.
constexpr size_t kMaxNesting = 256;

UNSIGNED32 syntaxError(size_t position, const std::string& what) {
    return fail(AE_SQL_SYNTAX, "Syntax error in the SQL statement at position " +
                                   std::to_string(position + 1) + ": " + what + ".");
}

UNSIGNED32 refuse(const std::string& construct) {
    return fail(AE_NOT_SUPPORTED,
                "The SQL statement uses " + construct + ", which the engine does not support.");
}

bool allDigits(std::string_view s, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i)
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    return true;
}

// The stored form of an escaped date, time or time stamp literal; false when it is none.
bool escapedLiteral(const std::string& type, const std::string& text, std::string& out) {
    auto isDate = [&](std::string_view d) {
        int64_t julian = 0;
        return d.size() == 10 && d[4] == '-' && d[7] == '-' && calendar::parseDate(d, julian);
    };
    auto timeOf = [&](std::string_view t, std::string& stored) {
        int64_t millis = 0;
        if (!timeofday::parse(t, timeofday::Form::Escape, millis)) return false;
        stored = timeofday::text(millis);
        return true;
    };
    if (type == "D") {
        out = text;
        return isDate(text);
    }
    if (type == "T") return timeOf(text, out);
    if (type == "TS") {
        if (text.size() == 10) {
            if (!isDate(text)) return false;
            out = text + " 00:00:00.000";
            return true;
        }
        std::string time;
        if (text.size() < 19 || text[10] != ' ' || !isDate(text.substr(0, 10)) ||
            !timeOf(std::string_view(text).substr(11), time))
            return false;
        out = text.substr(0, 10) + " " + time;
        return true;
    }
    return false;
}

class Lexer {
  public:
    explicit Lexer(std::string_view text) : s_(text) {}

    UNSIGNED32 run(std::vector<Token>& out) {
        std::vector<char> braces;
        while (i_ < s_.size()) {
            Token t;
            t.position = i_;
            unsigned char c = static_cast<unsigned char>(s_[i_]);
            if (std::isspace(c)) {
                while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
                t.kind = Kind::Space;
            } else if (c == '-' && peek(1) == '-') {
                while (i_ < s_.size() && s_[i_] != '\n') ++i_;
                t.kind = Kind::Space;
            } else if (c == '/' && peek(1) == '*') {
                size_t end = s_.find("*/", i_ + 2);
                if (end == std::string_view::npos)
                    return syntaxError(i_, "the comment is not closed");
                i_ = end + 2;
                t.kind = Kind::Space;
            } else if (c == '\'') {
                if (UNSIGNED32 rc = quoted('\'', '\'', "the text", t.value)) return rc;
                t.kind = Kind::String;
            } else if (c == '"') {
                if (UNSIGNED32 rc = quoted('"', '"', "the quoted name", t.value)) return rc;
                t.kind = Kind::Quoted;
            } else if (c == '[') {
                if (UNSIGNED32 rc = quoted('[', ']', "the name in brackets", t.value)) return rc;
                t.kind = Kind::Quoted;
            } else if (wordStart(c)) {
                while (i_ < s_.size() && wordPart(static_cast<unsigned char>(s_[i_]))) ++i_;
                t.kind = Kind::Word;
            } else if (std::isdigit(c) ||
                       (c == '.' && std::isdigit(static_cast<unsigned char>(peek(1))))) {
                number();
                t.kind = Kind::Number;
            } else if (c == '?') {
                ++i_;
                t.kind = Kind::Param;
            } else if (c == ':' && wordStart(static_cast<unsigned char>(peek(1)))) {
                ++i_;
                size_t from = i_;
                while (i_ < s_.size() && wordPart(static_cast<unsigned char>(s_[i_]))) ++i_;
                t.kind = Kind::Param;
                t.value = std::string(s_.substr(from, i_ - from));
            } else if (c == '{') {
                size_t start = i_;
                ++i_;
                skipSpace();
                size_t from = i_;
                while (i_ < s_.size() && std::isalpha(static_cast<unsigned char>(s_[i_]))) ++i_;
                std::string type = upper(s_.substr(from, i_ - from));
                if (type == "FN" || type == "OJ") {
                    braces.push_back('{');
                    t.kind = Kind::Space;
                } else if (type == "D" || type == "T" || type == "TS") {
                    skipSpace();
                    if (peek(0) != '\'')
                        return syntaxError(i_, "a quoted value must follow {" + type);
                    std::string text;
                    if (UNSIGNED32 rc = quoted('\'', '\'', "the text", text)) return rc;
                    skipSpace();
                    if (peek(0) != '}') return syntaxError(i_, "\"}\" is missing");
                    ++i_;
                    std::string stored;
                    if (!escapedLiteral(type, text, stored))
                        return syntaxError(start, "'" + text + "' is not a valid " +
                                                      (type == "D"   ? "date"
                                                       : type == "T" ? "time"
                                                                     : "time stamp"));
                    t.kind = Kind::String;
                    t.value = stored;
                } else {
                    return syntaxError(start, "unknown escape {" + type);
                }
            } else if (c == '}') {
                if (braces.empty()) return syntaxError(i_, "\"}\" without its \"{\"");
                braces.pop_back();
                ++i_;
                t.kind = Kind::Space;
            } else {
                static const char* const pairs[] = {"<=", ">=", "<>", "!=", "||", "=="};
                t.kind = Kind::Punct;
                size_t len = 1;
                for (const char* p : pairs)
                    if (s_.compare(i_, 2, p) == 0) len = 2;
                i_ += len;
            }
            t.source = std::string(s_.substr(t.position, i_ - t.position));
            out.push_back(std::move(t));
        }
        if (!braces.empty()) return syntaxError(s_.size(), "\"}\" is missing");
        return AE_SUCCESS;
    }

  private:
    char peek(size_t ahead) const { return i_ + ahead < s_.size() ? s_[i_ + ahead] : '\0'; }
    void skipSpace() {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
    }
    void number() {
        while (std::isdigit(static_cast<unsigned char>(peek(0)))) ++i_;
        if (peek(0) == '.') {
            ++i_;
            while (std::isdigit(static_cast<unsigned char>(peek(0)))) ++i_;
        }
        if ((peek(0) == 'e' || peek(0) == 'E') &&
            (std::isdigit(static_cast<unsigned char>(peek(1))) ||
             ((peek(1) == '+' || peek(1) == '-') &&
              std::isdigit(static_cast<unsigned char>(peek(2)))))) {
            i_ += 2;
            while (std::isdigit(static_cast<unsigned char>(peek(0)))) ++i_;
        }
    }
    // Reads a quoted token; a doubled closing quote stands for itself.
    UNSIGNED32 quoted(char open, char close, const char* what, std::string& value) {
        size_t start = i_;
        ++i_;
        value.clear();
        (void)open;
        while (true) {
            if (i_ >= s_.size()) return syntaxError(start, std::string(what) + " is not closed");
            char c = s_[i_++];
            if (c == close) {
                if (peek(0) == close) {
                    value += close;
                    ++i_;
                    continue;
                }
                return AE_SUCCESS;
            }
            value += c;
        }
    }

    std::string_view s_;
    size_t i_ = 0;
};

bool isComparison(const Token* t) {
    if (!t || t->kind != Kind::Punct) return false;
    static const char* const ops[] = {"=", "==", "<>", "!=", "<", ">", "<=", ">="};
    for (const char* op : ops)
        if (t->source == op) return true;
    return false;
}

bool isPunct(const Token* t, const char* p) {
    return t && t->kind == Kind::Punct && t->source == p;
}
bool isWord(const Token* t, const char* w) {
    return t && t->kind == Kind::Word && upper(t->source) == w;
}

// Type names of the dialect's CAST in SQLite's terms.
const char* castType(const std::string& name) {
    static const std::map<std::string, const char*> types = {{"CHAR", "TEXT"},
                                                             {"CHARACTER", "TEXT"},
                                                             {"VARCHAR", "TEXT"},
                                                             {"SQL_CHAR", "TEXT"},
                                                             {"SQL_VARCHAR", "TEXT"},
                                                             {"TEXT", "TEXT"},
                                                             {"MEMO", "TEXT"},
                                                             {"DATE", "TEXT"},
                                                             {"SQL_DATE", "TEXT"},
                                                             {"TIME", "TEXT"},
                                                             {"SQL_TIME", "TEXT"},
                                                             {"TIMESTAMP", "TEXT"},
                                                             {"SQL_TIMESTAMP", "TEXT"},
                                                             {"INTEGER", "INTEGER"},
                                                             {"INT", "INTEGER"},
                                                             {"SQL_INTEGER", "INTEGER"},
                                                             {"SMALLINT", "INTEGER"},
                                                             {"SHORTINT", "INTEGER"},
                                                             {"SQL_SMALLINT", "INTEGER"},
                                                             {"LOGICAL", "INTEGER"},
                                                             {"SQL_BIT", "INTEGER"},
                                                             {"BIT", "INTEGER"},
                                                             {"DOUBLE", "REAL"},
                                                             {"FLOAT", "REAL"},
                                                             {"REAL", "REAL"},
                                                             {"NUMERIC", "REAL"},
                                                             {"DECIMAL", "REAL"},
                                                             {"SQL_DOUBLE", "REAL"},
                                                             {"SQL_FLOAT", "REAL"},
                                                             {"SQL_NUMERIC", "REAL"},
                                                             {"SQL_DECIMAL", "REAL"},
                                                             {"CURDOUBLE", "REAL"},
                                                             {"MONEY", "REAL"}};
    auto it = types.find(name);
    return it == types.end() ? nullptr : it->second;
}

// Functions of the dialect that SQLite lacks or spells differently; the engine registers the
// velda_ ones on every statement connection.
const char* functionName(const std::string& name) {
    static const std::map<std::string, const char*> names = {
        {"LEFT", "velda_left"},     {"RIGHT", "velda_right"},
        {"CONCAT", "velda_concat"}, {"CURDATE", "velda_curdate"},
        {"NOW", "velda_now"},       {"YEAR", "velda_year"},
        {"MONTH", "velda_month"},   {"DAYOFMONTH", "velda_dayofmonth"},
        {"DAY", "velda_dayofmonth"}};
    auto it = names.find(name);
    return it == names.end() ? nullptr : it->second;
}

// The same functions on the server: the engine's helpers of postgres/functions.h where the
// server's own differ (case of Windows-1252 letters, dates stored as texts, rounding), the
// server's own names where they mean the same.
const char* serverFunctionName(const std::string& name) {
    static const std::map<std::string, const char*> names = {{"UPPER", "velda_upper"},
                                                             {"LOWER", "velda_lower"},
                                                             {"LEFT", "velda_left"},
                                                             {"RIGHT", "velda_right"},
                                                             {"SUBSTR", "velda_substr"},
                                                             {"SUBSTRING", "velda_substr"},
                                                             {"CONCAT", "concat"},
                                                             {"IFNULL", "coalesce"},
                                                             {"CURDATE", "velda_curdate"},
                                                             {"NOW", "velda_now"},
                                                             {"YEAR", "velda_sql_year"},
                                                             {"MONTH", "velda_sql_month"},
                                                             {"DAYOFMONTH", "velda_sql_dayofmonth"},
                                                             {"DAY", "velda_sql_dayofmonth"},
                                                             {"ROUND", "velda_round"},
                                                             {"TRIM", "trim"},
                                                             {"LTRIM", "ltrim"},
                                                             {"RTRIM", "rtrim"},
                                                             {"LENGTH", "length"},
                                                             {"ABS", "abs"},
                                                             {"COALESCE", "coalesce"},
                                                             {"NULLIF", "nullif"},
                                                             {"COUNT", "count"},
                                                             {"SUM", "sum"},
                                                             {"AVG", "avg"},
                                                             {"MIN", "min"},
                                                             {"MAX", "max"}};
    auto it = names.find(name);
    return it == names.end() ? nullptr : it->second;
}

// CAST's type names in the server's terms (the stored column types of postgres/table.h).
const char* serverCastType(const char* sqliteType) {
    const std::string t = sqliteType;
    if (t == "INTEGER") return "bigint";
    if (t == "REAL") return "double precision";
    return "text";
}

// Words of the dialect that are no names. On the server every other word is a name: quoted, so
// that the server does not fold it to lower case.
bool keyword(const std::string& w) {
    static const char* const words[] = {
        "SELECT", "DISTINCT", "ALL",   "FROM",   "WHERE",     "AND",   "OR",     "NOT",    "IN",
        "EXISTS", "BETWEEN",  "LIKE",  "IS",     "NULL",      "AS",    "ON",     "JOIN",   "INNER",
        "LEFT",   "RIGHT",    "FULL",  "OUTER",  "CROSS",     "GROUP", "BY",     "ORDER",  "ASC",
        "DESC",   "HAVING",   "UNION", "EXCEPT", "INTERSECT", "CASE",  "WHEN",   "THEN",   "ELSE",
        "END",    "INSERT",   "INTO",  "VALUES", "UPDATE",    "SET",   "DELETE", "LIMIT",  "OFFSET",
        "ESCAPE", "TRUE",     "FALSE", "USING",  "ANY",       "SOME",  "TOP",    "PERCENT"};
    for (const char* k : words)
        if (w == k) return true;
    return false;
}

// A name as the server sees it: the engine's names ignore case, the server's quoted ones do
// not, so every name is upper-cased (ASCII letters) on both sides (statement and views).
std::string foldName(std::string_view name) {
    return upper(name);
}

class Translator {
  public:
    Translator(std::vector<Token>& all, Translation& out, Target target)
        : all_(all), out_(out), target_(target) {
        for (Token& t : all_)
            if (t.kind != Kind::Space) sig_.push_back(&t);
    }

    UNSIGNED32 run() {
        if (sig_.empty()) return syntaxError(0, "the statement is empty");
        if (UNSIGNED32 rc = kindOf()) return rc;
        for (size_t i = 0; i < sig_.size(); ++i)
            if (UNSIGNED32 rc = step(i)) return rc;
        // LIMIT would apply to the whole compound, not to the SELECT that asked for TOP.
        if (top_ >= 0 && compoundAtTop_) return refuse("TOP together with UNION");
        for (Token& t : all_) {
            if (t.kind == Kind::Space) {
                out_.sql += ' ';
                continue;
            }
            if (t.dropped) continue;
            if (t.out.empty()) t.out = t.kind == Kind::Word ? utf8(t.source) : t.source;
            out_.origins.push_back({t.out, t.position + 1, t.source, out_.sql.size()});
            out_.sql += t.out;
        }
        if (server() && out_.kind == StatementKind::Select && orderAtTop_ && tieOk_ &&
            !limitAtTop_ && !compoundAtTop_ && !fromNames_.empty()) {
            // Rows that tie in the order come in the order of their record numbers, table by
            // table, as SQLite's scan and sort give them in a folder.
            for (const std::string& q : fromNames_)
                out_.sql += ", " + sqlIdentifier(q) + ".\"velda_recno\"";
            out_.recordOrder = true;
        }
        if (top_ >= 0) out_.sql += " LIMIT " + std::to_string(top_);
        if (out_.kind != StatementKind::Select) return writeParts();
        return AE_SUCCESS;
    }

  private:
    Token* at(size_t i) { return i < sig_.size() ? sig_[i] : nullptr; }
    Token* before(size_t i) { return i > 0 ? sig_[i - 1] : nullptr; }

    UNSIGNED32 kindOf() {
        size_t i = 0;
        while (isPunct(at(i), "(")) ++i;
        Token* first = at(i);
        std::string word = first && first->kind == Kind::Word ? upper(first->source) : "";
        if (word == "SELECT")
            out_.kind = StatementKind::Select;
        else if (word == "INSERT" && i == 0)
            out_.kind = StatementKind::Insert;
        else if (word == "UPDATE" && i == 0)
            out_.kind = StatementKind::Update;
        else if (word == "DELETE" && i == 0)
            out_.kind = StatementKind::Delete;
        else
            return first ? refuse("the statement " + (word.empty() ? first->source : word) +
                                  " (only SELECT, INSERT, UPDATE and DELETE run)")
                         : syntaxError(0, "the statement is empty");
        return AE_SUCCESS;
    }

    // Index of the ")" that closes the "(" at sig_[open].
    size_t closing(size_t open) {
        int depth = 0;
        for (size_t j = open; j < sig_.size(); ++j) {
            if (isPunct(sig_[j], "(")) ++depth;
            if (isPunct(sig_[j], ")") && --depth == 0) return j;
        }
        return sig_.size();
    }

    UNSIGNED32 step(size_t i) {
        Token& t = *sig_[i];
        if (t.dropped) return AE_SUCCESS;
        Token* prev = before(i);
        Token* next = at(i + 1);
        switch (t.kind) {
            case Kind::Punct:
                if (t.source == "(") {
                    if (++depth_ > kMaxNesting)
                        return syntaxError(t.position, "brackets are nested more than " +
                                                           std::to_string(kMaxNesting) + " deep");
                    inFrom_.resize(depth_ + 1, false);
                    inFrom_[depth_] = false;
                    onFrom_.resize(depth_ + 1, false);
                    onFrom_[depth_] = false;
                } else if (t.source == ")") {
                    if (depth_ == 0) return syntaxError(t.position, "\")\" without its \"(\"");
                    --depth_;
                } else if (t.source == ";") {
                    if (i + 1 != sig_.size()) return refuse("several statements in one text");
                    t.dropped = true;
                } else if (t.source == "+") {
                    if ((prev && prev->kind == Kind::String) ||
                        (next && next->kind == Kind::String))
                        t.out = "||";
                } else if (t.source == "==") {
                    t.out = "=";
                } else if (t.source == "*" && !(isPunct(prev, "(") && isPunct(next, ")"))) {
                    tieOk_ = false;  // every column, or a product: no record number added
                }
                return AE_SUCCESS;
            case Kind::String: {
                std::string value = t.value;
                if (isComparison(prev) || isComparison(next)) {
                    while (!value.empty() && value.back() == ' ') value.pop_back();
                }
                t.out = sqlText(value);
                return AE_SUCCESS;
            }
            case Kind::Quoted:
                return name(i);
            case Kind::Param:
                out_.parameters.push_back(t.value);
                t.out = (server() ? "$" : "?") + std::to_string(out_.parameters.size());
                return AE_SUCCESS;
            case Kind::Number:
                return AE_SUCCESS;
            case Kind::Word:
                return word(i);
            case Kind::Space:
                return AE_SUCCESS;
        }
        return AE_SUCCESS;
    }

    bool tablePosition(size_t i) {
        Token* prev = before(i);
        if (!prev) return false;
        if (isWord(prev, "FROM") || isWord(prev, "JOIN") || isWord(prev, "INTO") ||
            isWord(prev, "UPDATE"))
            return true;
        // After a join's ON condition, a "," goes on with the tables of the same FROM.
        return isPunct(prev, ",") && depth_ < inFrom_.size() &&
               (inFrom_[depth_] || (depth_ < onFrom_.size() && onFrom_[depth_]));
    }

    // A table or column name; a dotted name in table position is a file name.
    UNSIGNED32 name(size_t i) {
        Token& t = *sig_[i];
        std::string value = t.kind == Kind::Quoted ? t.value : t.source;
        if (tablePosition(i) && isPunct(at(i + 1), ".") && at(i + 2) &&
            (at(i + 2)->kind == Kind::Word || at(i + 2)->kind == Kind::Quoted)) {
            Token& ext = *at(i + 2);
            value += "." + (ext.kind == Kind::Quoted ? ext.value : ext.source);
            at(i + 1)->dropped = true;
            ext.dropped = true;
        }
        if (server()) {
            std::string folded = foldName(value);
            out_.written.emplace(folded, value);
            t.out = sqlIdentifier(folded);
            // A table is looked for among the statement's own views only (see statement.h), never
            // among the server's other relations.
            if (tablePosition(i)) {
                t.out = "pg_temp." + t.out;
                out_.tables.insert(folded);
                if (depth_ == 0) fromNames_.push_back(qualifierAfter(i, folded));
            }
        } else {
            t.out = sqlIdentifier(value);
        }
        t.value = value;
        t.kind = Kind::Quoted;
        return AE_SUCCESS;
    }

    UNSIGNED32 word(size_t i) {
        Token& t = *sig_[i];
        Token* prev = before(i);
        Token* next = at(i + 1);
        std::string w = upper(t.source);
        if (isPunct(prev, ".")) return server() ? name(i) : AE_SUCCESS;  // a column of a table
        bool call = isPunct(next, "(");
        if (server() && call && tablePosition(i)) return name(i);  // INSERT INTO T (columns)
        if (w == "FROM" || w == "JOIN") {
            if (depth_ >= inFrom_.size()) inFrom_.resize(depth_ + 1, false);
            inFrom_[depth_] = true;
            if (depth_ >= onFrom_.size()) onFrom_.resize(depth_ + 1, false);
            onFrom_[depth_] = false;
            return AE_SUCCESS;
        }
        static const char* const clauseEnds[] = {"WHERE",  "GROUP",     "ORDER", "HAVING", "UNION",
                                                 "ON",     "LIMIT",     "SET",   "VALUES", "SELECT",
                                                 "EXCEPT", "INTERSECT", "USING"};
        if ((w == "UNION" || w == "EXCEPT" || w == "INTERSECT") && depth_ == 0)
            compoundAtTop_ = true;
        if (depth_ == 0 && (w == "DISTINCT" || w == "GROUP" || w == "HAVING" || w == "OFFSET"))
            tieOk_ = false;
        if (depth_ == 0 && w == "ORDER") orderAtTop_ = true;
        if (call && (w == "COUNT" || w == "SUM" || w == "AVG" || w == "MIN" || w == "MAX"))
            tieOk_ = false;
        for (const char* end : clauseEnds)
            if (w == end) {
                if (depth_ < onFrom_.size())
                    onFrom_[depth_] = w == "ON" && depth_ < inFrom_.size() &&
                                      (inFrom_[depth_] || onFrom_[depth_]);
                if (depth_ < inFrom_.size()) inFrom_[depth_] = false;
                if (w == "LIMIT" && depth_ == 0) limitAtTop_ = true;
                if (w == "LIMIT" && top_ >= 0) return refuse("TOP together with LIMIT");
                return AE_SUCCESS;
            }
        if (w == "TOP" && prev &&
            (isWord(prev, "SELECT") || isWord(prev, "DISTINCT") || isWord(prev, "ALL"))) {
            if (depth_ > 0 || top_ >= 0) return refuse("TOP in a subquery or a second TOP");
            if (!next || next->kind != Kind::Number ||
                !allDigits(next->source, 0, next->source.size()))
                return syntaxError(next ? next->position : t.position,
                                   "TOP must be followed by a whole number");
            if (isWord(at(i + 2), "PERCENT")) return refuse("TOP ... PERCENT");
            if (limitAtTop_) return refuse("TOP together with LIMIT");
            top_ = std::stoll(next->source.substr(0, 18));
            t.dropped = true;
            next->dropped = true;
            return AE_SUCCESS;
        }
        if ((w == "RIGHT" || w == "FULL") && !call &&
            (isWord(next, "JOIN") || isWord(next, "OUTER")))
            return refuse(w + " JOIN");
        // LEFT and RIGHT are joins, or functions when a bracket follows.
        if (call && !(server() && keyword(w) && w != "LEFT" && w != "RIGHT")) {
            if (w == "CAST") return cast(i);
            if (w == "SUBSTRING") substringForm(i);
            if (!server()) {
                if (const char* mapped = functionName(w)) t.out = mapped;
                return AE_SUCCESS;
            }
            if (w == "IIF") return iif(i);
            const char* mapped = serverFunctionName(w);
            // The server has many functions of its own, some of which reach beyond the rows of
            // tables (settings, files, other sessions): only the dialect's run.
            if (!mapped)
                return fail(AE_SQL_SYNTAX,
                            "The SQL statement cannot run: no such function: " + t.source + ".");
            t.out = mapped;
            return AE_SUCCESS;
        }
        if (tablePosition(i)) return name(i);
        if (!server()) return AE_SUCCESS;
        if (w == "TRUE" || w == "FALSE") {
            t.out = w == "TRUE" ? "1" : "0";  // logicals are stored as 1 and 0
            return AE_SUCCESS;
        }
        if (w == "LIKE") {
            t.out = "ILIKE";  // as in a folder, LIKE ignores the case of ASCII letters
            return AE_SUCCESS;
        }
        if (keyword(w)) return AE_SUCCESS;
        return name(i);
    }

    bool server() const { return target_ == Target::Postgres; }

    // The name a table in FROM is known by in the statement: its alias, or its own name.
    std::string qualifierAfter(size_t i, const std::string& folded) {
        size_t k = i + 1;
        while (k < sig_.size() && sig_[k]->dropped) ++k;  // the parts of a dotted file name
        if (isWord(at(k), "AS")) ++k;
        Token* alias = at(k);
        if (alias && alias->kind == Kind::Quoted) return foldName(alias->value);
        if (alias && alias->kind == Kind::Word && !keyword(upper(alias->source)) &&
            !isPunct(at(k + 1), "("))
            return foldName(alias->source);
        return folded;
    }

    // IIF(c, a, b) is CASE WHEN ((c)) <> 0 THEN (a) ELSE (b) END on the server.
    UNSIGNED32 iif(size_t i) {
        size_t end = closing(i + 1);
        if (end >= sig_.size()) return syntaxError(sig_[i]->position, "IIF is not closed");
        std::vector<size_t> commas;
        int depth = 0;
        for (size_t j = i + 1; j < end; ++j) {
            if (isPunct(sig_[j], "(")) ++depth;
            if (isPunct(sig_[j], ")")) --depth;
            if (depth == 1 && isPunct(sig_[j], ",")) commas.push_back(j);
        }
        if (commas.size() != 2)
            return syntaxError(sig_[i]->position, "IIF takes a condition and two values");
        // A condition holds when it is not 0, as in a folder: a comparison, or a logical field
        // (stored as 0 and 1; postgres/functions.h compares booleans with integers).
        sig_[i]->out = "CASE WHEN (";
        sig_[commas[0]]->out = ")) <> 0 THEN (";
        sig_[commas[1]]->out = ") ELSE (";
        sig_[end]->out = ") END";
        return AE_SUCCESS;
    }

    // SUBSTRING(x FROM s FOR n) is SUBSTR(x, s, n).
    void substringForm(size_t i) {
        size_t end = closing(i + 1);
        int depth = 0;
        for (size_t j = i + 1; j < end && j < sig_.size(); ++j) {
            if (isPunct(sig_[j], "(")) ++depth;
            if (isPunct(sig_[j], ")")) --depth;
            if (depth == 1 && (isWord(sig_[j], "FROM") || isWord(sig_[j], "FOR"))) {
                sig_[j]->out = ",";
                sig_[j]->kind = Kind::Punct;
                sig_[j]->source = ",";
            }
        }
    }

    UNSIGNED32 cast(size_t i) {
        size_t end = closing(i + 1);
        int depth = 0;
        for (size_t j = i + 1; j < end && j < sig_.size(); ++j) {
            if (isPunct(sig_[j], "(")) ++depth;
            if (isPunct(sig_[j], ")")) --depth;
            if (depth == 1 && isWord(sig_[j], "AS")) {
                Token* type = at(j + 1);
                if (!type || (type->kind != Kind::Word && type->kind != Kind::Quoted))
                    return syntaxError(sig_[j]->position, "a type must follow AS in CAST");
                std::string name = upper(type->kind == Kind::Quoted ? type->value : type->source);
                const char* mapped = castType(name);
                if (!mapped) return refuse("CAST to " + name);
                type->out = server() ? serverCastType(mapped) : mapped;
                type->kind = Kind::Number;  // not a name any more
                // The server rounds a number cast to an integer and refuses a text that is no
                // whole number; a folder truncates and takes a text's leading number.
                if (server() && std::string(mapped) == "INTEGER") {
                    sig_[i]->out = "velda_cast_int";
                    sig_[j]->dropped = true;
                    type->dropped = true;
                }
                // A length or precision in parentheses means nothing to SQLite's types.
                if (isPunct(at(j + 2), "(")) {
                    size_t close = closing(j + 2);
                    for (size_t k = j + 2; k <= close && k < sig_.size(); ++k)
                        sig_[k]->dropped = true;
                }
            }
        }
        return AE_SUCCESS;
    }

    // The emitted tokens of the statement, for taking an INSERT, UPDATE or DELETE apart.
    struct Emitted {
        std::string word;  // upper-cased keyword or name, "" for other tokens
        std::string name;  // a name's value
        std::string text;  // as emitted
        size_t position = 0;
        bool isName = false;
    };

    static std::string join(const std::vector<Emitted>& e, size_t from, size_t to) {
        std::string out;
        for (size_t i = from; i < to && i < e.size(); ++i)
            out += (out.empty() ? "" : " ") + e[i].text;
        return out;
    }

    // The end of a list item: the next top-level "," or one of the words, or the end.
    static size_t itemEnd(const std::vector<Emitted>& e, size_t from,
                          std::initializer_list<const char*> stops) {
        int depth = 0;
        for (size_t i = from; i < e.size(); ++i) {
            if (e[i].text == "(") ++depth;
            if (e[i].text == ")") --depth;
            if (depth == 0 && e[i].text == ",") return i;
            if (depth == 0)
                for (const char* stop : stops)
                    if (e[i].word == stop) return i;
        }
        return e.size();
    }

    UNSIGNED32 expectName(const std::vector<Emitted>& e, size_t i, const char* what) {
        if (i < e.size() && e[i].isName) return AE_SUCCESS;
        return syntaxError(i < e.size() ? e[i].position : 0,
                           std::string("a ") + what + " name is expected" +
                               (i < e.size() ? " instead of \"" + e[i].text + "\"" : ""));
    }

    UNSIGNED32 writeParts() {
        std::vector<Emitted> e;
        for (Token* t : sig_) {
            if (t->dropped) continue;
            Emitted x;
            x.text =
                t->out.empty() ? (t->kind == Kind::Word ? utf8(t->source) : t->source) : t->out;
            x.position = t->position;
            if (t->kind == Kind::Word) {
                x.word = upper(t->source);
                x.name = t->source;
                x.isName = true;
            } else if (t->kind == Kind::Quoted) {
                x.name = t->value;
                x.word = upper(t->value);
                x.isName = true;
            }
            e.push_back(std::move(x));
        }
        // On the server names were upper-cased (name()); the parts name the target so too.
        if (server())
            for (Emitted& x : e)
                if (x.isName) x.name = foldName(x.name);
        Translation::Write& w = out_.write;
        size_t i = 1;
        if (out_.kind == StatementKind::Delete) {
            if (i < e.size() && e[i].word == "FROM") ++i;
        } else if (out_.kind == StatementKind::Insert) {
            if (i >= e.size() || e[i].word != "INTO")
                return syntaxError(i < e.size() ? e[i].position : 0, "INTO is expected");
            ++i;
        }
        if (UNSIGNED32 rc = expectName(e, i, "table")) return rc;
        w.table = e[i].name;
        w.alias = e[i].name;
        ++i;
        if (out_.kind != StatementKind::Insert) {
            if (i < e.size() && e[i].word == "AS") ++i;
            if (i < e.size() && e[i].isName && e[i].word != "WHERE" && e[i].word != "SET") {
                w.alias = e[i].name;
                ++i;
            }
        }
        if (out_.kind == StatementKind::Update) {
            if (i >= e.size() || e[i].word != "SET")
                return syntaxError(i < e.size() ? e[i].position : 0, "SET is expected");
            ++i;
            while (true) {
                if (UNSIGNED32 rc = expectName(e, i, "column")) return rc;
                size_t name = i++;
                // A column qualified by its table or alias.
                while (i + 1 < e.size() && e[i].text == "." && e[i + 1].isName) {
                    name = i + 1;
                    i += 2;
                }
                if (i >= e.size() || e[i].text != "=")
                    return syntaxError(i < e.size() ? e[i].position : 0, "\"=\" is expected");
                size_t end = itemEnd(e, i + 1, {"WHERE"});
                if (end == i + 1)
                    return syntaxError(i < e.size() ? e[i].position : 0, "a value is expected");
                w.columns.push_back(e[name].name);
                w.values.push_back(join(e, i + 1, end));
                i = end;
                if (i < e.size() && e[i].text == ",") {
                    ++i;
                    continue;
                }
                break;
            }
        }
        if (out_.kind == StatementKind::Insert) {
            if (i < e.size() && e[i].text == "(" &&
                !(i + 1 < e.size() && e[i + 1].word == "SELECT")) {
                ++i;
                while (true) {
                    if (UNSIGNED32 rc = expectName(e, i, "column")) return rc;
                    w.columns.push_back(e[i].name);
                    ++i;
                    if (i < e.size() && e[i].text == ",") {
                        ++i;
                        continue;
                    }
                    if (i < e.size() && e[i].text == ")") {
                        ++i;
                        break;
                    }
                    return syntaxError(i < e.size() ? e[i].position : 0, "\")\" is expected");
                }
            }
            if (i >= e.size() ||
                (e[i].word != "VALUES" && e[i].word != "SELECT" && e[i].text != "("))
                return syntaxError(i < e.size() ? e[i].position : 0,
                                   "VALUES or SELECT is expected");
            w.source = join(e, i, e.size());
            return AE_SUCCESS;
        }
        if (i < e.size()) {
            if (e[i].word != "WHERE")
                return syntaxError(e[i].position,
                                   "WHERE is expected instead of \"" + e[i].text + "\"");
            if (i + 1 >= e.size())
                return syntaxError(e[i].position, "a condition must follow WHERE");
            w.where = join(e, i + 1, e.size());
        }
        return AE_SUCCESS;
    }

    std::vector<Token>& all_;
    Translation& out_;
    std::vector<Token*> sig_;
    size_t depth_ = 0;
    std::vector<bool> inFrom_ = {false};
    std::vector<bool> onFrom_ = {false};  // in a join's ON condition within FROM
    long long top_ = -1;
    bool limitAtTop_ = false;
    bool compoundAtTop_ = false;
    // PostgreSQL: the names of the outermost SELECT's tables, and whether its order may take
    // their record numbers as the last keys.
    std::vector<std::string> fromNames_;
    bool orderAtTop_ = false;
    bool tieOk_ = true;
    Target target_;
};

}  // namespace

UNSIGNED32 translate(std::string_view text, Translation& out, Target target) {
    out = Translation{};
    out.target = target;
    std::vector<Token> tokens;
    if (UNSIGNED32 rc = Lexer(text).run(tokens)) return rc;
    return Translator(tokens, out, target).run();
}

std::string written(const Translation& translation, const std::string& name) {
    auto it = translation.written.find(name);
    return it == translation.written.end() ? name : it->second;
}

UNSIGNED32 checkTokens(std::string_view text) {
    std::vector<Token> tokens;
    return Lexer(text).run(tokens);
}

std::string locate(const Translation::Origin& origin) {
    return "at position " + std::to_string(origin.position) + " (near \"" + origin.source + "\")";
}

std::string locate(const Translation& translation, const std::string& near, int offset) {
    if (near.empty()) return "at the end of the statement";
    if (offset >= 0)
        for (const auto& origin : translation.origins)
            if (origin.offset == static_cast<size_t>(offset) && origin.emitted == near)
                return locate(origin);
    for (const auto& origin : translation.origins)
        if (origin.emitted == near) return locate(origin);
    return "near \"" + near + "\"";
}

}  // namespace engine::sqldialect
