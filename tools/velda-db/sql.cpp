// velda-db sql: one statement of the engine's dialect on a folder, a folder on a server or a data
// dictionary. A SELECT prints its rows as export prints a table's; INSERT, UPDATE and DELETE
// print how many rows they changed.
#include <strings.h>

#include <cctype>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ads/engine_text.h"
#include "rtl/codepage.h"
#include "tools/velda-db/commands.h"
#include "tools/velda-db/engine_session.h"
#include "tools/velda-db/paths.h"
#include "tools/velda-db/values.h"

namespace veldadb {

const char* const kSqlHelp =
    "usage: velda-db sql PATH STATEMENT [--password PW] [--user USER]\n"
    "Runs one SELECT, INSERT, UPDATE or DELETE of the engine's SQL dialect. PATH is the folder\n"
    "its tables are found in (a server path postgresql://.../DB/FOLDER/ too), or a data\n"
    "dictionary FILE.ADD, whose registered tables it then names.\n"
    "A SELECT prints its rows as CSV with a header row of the column names, exactly as export\n"
    "prints a table; INSERT, UPDATE and DELETE print the number of rows they changed (\"updated\n"
    "3 rows\"), counted from the rows their condition or source selects just before they run.\n"
    "Encrypted tables named in the statement open with the table password: VELDA_DB_PASSWORD,\n"
    "'--password -' (one line of standard input) or --password PW.\n"
    "A dictionary is logged in to as USER (default ADSSYS, the administrator); the password is\n"
    "read from VELDA_DB_ADMIN_PASSWORD for ADSSYS, VELDA_DB_USER_PASSWORD for another user,\n"
    "else from the first line of standard input; never from the command line.\n"
    "The statement is UTF-8 and must hold only characters of Windows-1252. A failure is one\n"
    "line with the engine's error code, and a SELECT that fails prints no rows.\n";

namespace {

constexpr const char* kAdministrator = "ADSSYS";

// A word of the statement outside its texts, quoted names and comments (or an opening bracket,
// as "("), with the byte range it covers and the depth of brackets it stands in.
struct Word {
    std::string upper;
    size_t begin = 0, end = 0;
    int depth = 0;
};

bool WordCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '#' ||
           c == '.' || static_cast<unsigned char>(c) >= 0x80;
}

std::vector<Word> Words(const std::string& sql) {
    std::vector<Word> words;
    int depth = 0;
    size_t i = 0;
    // Skips to just after `close`, or to the end of a text left open.
    auto skipTo = [&](char close) {
        const size_t found = sql.find(close, i);
        i = found == std::string::npos ? sql.size() : found + 1;
    };
    while (i < sql.size()) {
        const char c = sql[i];
        if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
            skipTo('\n');
        } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
            const size_t found = sql.find("*/", i + 2);
            i = found == std::string::npos ? sql.size() : found + 2;
        } else if (c == '\'' || c == '"') {
            // A doubled quote inside is two texts in a row here, which changes nothing.
            ++i;
            skipTo(c);
        } else if (c == '[') {
            ++i;
            skipTo(']');
        } else if (c == '(') {
            words.push_back({"(", i, i + 1, depth});
            ++depth;
            ++i;
        } else if (c == ')') {
            --depth;
            ++i;
        } else if (WordCharacter(c)) {
            Word word{"", i, i, depth};
            while (i < sql.size() && WordCharacter(sql[i])) {
                word.upper += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i])));
                ++i;
            }
            word.end = i;
            words.push_back(word);
        } else {
            ++i;
        }
    }
    return words;
}

// The first word at depth 0 from `from` on with that text, or words.size().
size_t FindWord(const std::vector<Word>& words, size_t from, const char* upper) {
    for (size_t w = from; w < words.size(); ++w)
        if (words[w].depth == 0 && words[w].upper == upper) return w;
    return words.size();
}

// The text without the blanks and the closing ";" at its end.
std::string WithoutEnd(std::string text) {
    while (!text.empty() &&
           (std::isspace(static_cast<unsigned char>(text.back())) || text.back() == ';'))
        text.pop_back();
    return text;
}

// How a change statement's rows are counted before it runs: by a SELECT COUNT(*) of its target
// and condition, by the rows of INSERT's SELECT, or by INSERT's rows of VALUES.
struct ChangeCount {
    const char* verb = nullptr;  // "updated", "inserted", "deleted"; null for a SELECT
    std::string counting;        // a statement whose rows or single value give the count
    bool countsRows = false;     // the count is the number of rows `counting` gives
    std::optional<size_t> rows;  // the count known without a statement
};

ChangeCount CountOfChange(const std::string& sql) {
    const std::vector<Word> words = Words(sql);
    ChangeCount change;
    if (words.empty()) return change;
    const std::string& first = words[0].upper;
    auto text = [&](size_t from, size_t to) { return sql.substr(from, to - from); };
    auto tail = [&](size_t from) {
        return from >= sql.size() ? std::string() : WithoutEnd(sql.substr(from));
    };
    if (first == "UPDATE" || first == "DELETE") {
        change.verb = first == "UPDATE" ? "updated" : "deleted";
        size_t start = words[0].end, end = sql.size(), where = words.size();
        if (first == "UPDATE") {
            const size_t set = FindWord(words, 1, "SET");
            if (set == words.size()) return change;
            end = words[set].begin;
            where = FindWord(words, set, "WHERE");
        } else {
            if (words.size() > 1 && words[1].upper == "FROM") start = words[1].end;
            where = FindWord(words, 1, "WHERE");
            if (where < words.size()) end = words[where].begin;
        }
        const std::string target = WithoutEnd(text(start, end));
        if (target.empty()) return change;
        change.counting = "SELECT COUNT(*) FROM " + target;
        if (where < words.size()) change.counting += " WHERE " + tail(words[where].end);
        return change;
    }
    if (first == "INSERT") {
        change.verb = "inserted";
        const size_t values = FindWord(words, 1, "VALUES");
        if (values < words.size()) {
            size_t rows = 0;
            for (size_t w = values + 1; w < words.size(); ++w)
                if (words[w].depth == 0 && words[w].upper == "(") ++rows;
            change.rows = rows;
            return change;
        }
        const size_t select = FindWord(words, 1, "SELECT");
        if (select < words.size()) {
            change.counting = tail(words[select].begin);
            change.countsRows = true;
        }
    }
    return change;
}

// A statement handle, closed with its cursors.
class Statement {
  public:
    Statement(const EngineConnection& connection, const std::string& path) {
        Check(AdsCreateSQLStatement(connection.handle(), &handle_), path);
    }
    ~Statement() {
        if (handle_) (void)AdsCloseSQLStatement(handle_);
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ADSHANDLE handle() const { return handle_; }

  private:
    ADSHANDLE handle_ = 0;
};

// The rows the counting statement gives, or nothing when it cannot be run.
std::optional<size_t> Count(const EngineConnection& connection, const ChangeCount& change,
                            const std::optional<std::string>& password) {
    if (change.rows) return change.rows;
    if (change.counting.empty()) return std::nullopt;
    ADSHANDLE statement = 0;
    if (AdsCreateSQLStatement(connection.handle(), &statement) != AE_SUCCESS) return std::nullopt;
    std::optional<size_t> count;
    ADSHANDLE cursor = 0;
    std::string text = change.counting;
    if ((!password ||
         AdsStmtEnableEncryption(statement, ads::EngineText(*password)) == AE_SUCCESS) &&
        AdsExecuteSQLDirect(statement, ads::EngineText(text), &cursor) == AE_SUCCESS && cursor) {
        EngineTable rows(cursor, "count");
        if (change.countsRows) {
            UNSIGNED32 number = 0;
            if (AdsGetRecordCount(cursor, ADS_IGNOREFILTERS, &number) == AE_SUCCESS) count = number;
        } else {
            // The single value of COUNT(*), read as export reads a value.
            try {
                const std::vector<FieldInfo> fields = rows.Fields();
                UNSIGNED32 length = 0;
                Check(AdsGetRecordLength(cursor, &length), "count");
                std::vector<unsigned char> image(length + 1);
                UNSIGNED32 got = length + 1;
                Check(AdsGotoTop(cursor), "count");
                Check(AdsGetRecord(cursor, image.data(), &got), "count");
                if (!fields.empty()) count = std::stoull(FormatCell(fields[0], image.data()));
            } catch (const std::exception&) {
                count.reset();
            }
        }
    }
    (void)AdsCloseSQLStatement(statement);
    return count;
}

bool NamesDictionary(const std::string& path) {
    const std::string name = SplitTablePath(path).name;
    return name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".ADD") == 0;
}

}  // namespace

int Sql(const Args& args, std::ostream& out) {
    Options options(args, {"password", "user"}, {});
    if (options.positional().size() != 2)
        throw ToolError(
            "sql: expected 2 arguments, PATH and STATEMENT (see 'velda-db sql --help')");
    const std::string& path = options.positional()[0];
    const std::string& utf8 = options.positional()[1];
    size_t bad = 0;
    const std::optional<std::string> sql = rtl::Utf8ToCp1252(utf8, &bad);
    if (!sql)
        throw ToolError("sql: the statement's character at byte " + std::to_string(bad + 1) +
                        " is not in Windows-1252, which the engine's statements are written in");
    if (sql->find('\0') != std::string::npos)
        throw ToolError("sql: the statement holds a NUL character");

    const bool dictionary = NamesDictionary(path);
    if (options.has("user") && !dictionary)
        throw ToolError("sql: --user is for a data dictionary (a PATH ending in .ADD)");
    std::optional<EngineConnection> connection;
    if (dictionary) {
        const std::string user = options.value("user", kAdministrator);
        const bool administrator = strcasecmp(user.c_str(), kAdministrator) == 0;
        const std::string password =
            ReadSecret(administrator ? "VELDA_DB_ADMIN_PASSWORD" : "VELDA_DB_USER_PASSWORD",
                       "the password of " + user);
        connection.emplace(path, user, password);
    } else {
        connection.emplace(path);
    }
    const std::vector<std::string> passwords = TablePasswords(options);
    const std::optional<std::string> password =
        passwords.empty() ? std::nullopt : std::optional<std::string>(passwords.front());

    Statement statement(*connection, path);
    if (password)
        Check(AdsStmtEnableEncryption(statement.handle(), ads::EngineText(*password)), path);
    std::string text = *sql;
    auto fail = [&](const std::string& context) {
        UNSIGNED8 buffer[601];
        UNSIGNED16 length = sizeof buffer;
        UNSIGNED32 code = 0;
        std::string error = EngineErrorText();
        if (AdsGetLastError(&code, buffer, &length) == AE_SUCCESS && code == AE_WRONG_PASSWORD &&
            !password)
            error += " Give it in VELDA_DB_PASSWORD, with --password - or with --password PW.";
        throw ToolError(context + ": " + error);
    };
    if (AdsPrepareSQL(statement.handle(), ads::EngineText(text)) != AE_SUCCESS) fail(path);

    // The engine tells no count of changed rows, so the rows the change will touch are counted
    // just before it runs; the statement has parsed by then.
    const ChangeCount change = CountOfChange(*sql);
    std::optional<size_t> count;
    if (change.verb) count = Count(*connection, change, password);

    ADSHANDLE cursor = 0;
    if (AdsExecuteSQL(statement.handle(), &cursor) != AE_SUCCESS) fail(path);
    if (cursor) {
        EngineTable rows(cursor, "the statement's rows");
        out << RowsAsCsv(rows, cursor, path);
        return 0;
    }
    if (change.verb) {
        out << change.verb;
        if (count)
            out << " " << *count << (*count == 1 ? " row" : " rows");
        else
            out << " (the engine does not say how many rows)";
        out << "\n";
    }
    return 0;
}

}  // namespace veldadb
