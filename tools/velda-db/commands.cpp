#include "tools/velda-db/commands.h"

#include <strings.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>

#include "ads/engine_text.h"
#include "rtl/codepage.h"
#include "rtl/signals.h"
#include "rtl/stringlist.h"
#include "tools/velda-db/csv.h"
#include "tools/velda-db/engine_session.h"
#include "tools/velda-db/values.h"
#include "util/StrUtil.h"

namespace veldadb {

namespace {

constexpr const char* kAdministrator = "ADSSYS";
constexpr const char* kAdminPasswordVariable = "VELDA_DB_ADMIN_PASSWORD";
constexpr const char* kUserPasswordVariable = "VELDA_DB_NEW_PASSWORD";
constexpr const char* kTablePasswordVariable = "VELDA_DB_PASSWORD";

}  // namespace

// A secret from an environment variable, else the next line of standard input (asked for
// without echo on a terminal, echo restored also when a signal ends the program at the prompt);
// never from the command line, where the process list shows it. A variable that is set but
// empty is a mistake, not a password.
std::string ReadSecret(const char* variable, const std::string& what) {
    if (const char* value = *variable ? std::getenv(variable) : nullptr) {
        if (*value == '\0')
            throw ToolError(std::string(variable) + " is set but empty: give " + what +
                            " there, or unset it to give it on standard input");
        return value;
    }
    bool terminal = ::isatty(STDIN_FILENO);
    std::string line;
    bool got = false;
    {
        std::unique_ptr<rtl::TEchoOff> noEcho;
        if (terminal) {
            noEcho = std::make_unique<rtl::TEchoOff>(STDIN_FILENO);
            std::cerr << "velda-db: " << what << ": " << std::flush;
        }
        got = static_cast<bool>(std::getline(std::cin, line));
    }
    if (terminal) std::cerr << "\n";
    if (!got)
        throw ToolError(what + " is needed: " +
                        (*variable ? "set " + std::string(variable) + " or give" : "give") +
                        " it as a line on standard input");
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

namespace {

// The shortest password a dictionary user may be given.
constexpr std::size_t kMinimumPassword = 8;

// A new dictionary user's password: required, and not too short to guess.
void CheckNewPassword(const std::string& password, const std::string& command) {
    if (password.empty()) throw ToolError(command + ": the password is empty");
    if (password.size() < kMinimumPassword)
        throw ToolError(command + ": the password has " + std::to_string(password.size()) +
                        " characters; a dictionary password needs at least " +
                        std::to_string(kMinimumPassword));
}

const char* kUsage =
    "usage: velda-db COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  create TABLE --field NAME:TYPE[:LENGTH[:DECIMALS]]... [--index "
    "TAG=FIELD[;FIELD...][,unique][,descending]]...\n"
    "         [--password PW]            create an empty table (encrypted with --password)\n"
    "  import TABLE CSV [--password PW]  append the rows of a CSV file whose header names fields\n"
    "  export TABLE [--password PW] [--index TAG]\n"
    "                                    write the table as CSV to standard output\n"
    "  describe TABLE [--password PW]    print fields, index tags, encryption and row count\n"
    "  encrypt TABLE --password PW       encrypt a table in place\n"
    "  decrypt TABLE --password PW       decrypt a table in place\n"
    "  dict create FILE.ADD              create an empty data dictionary\n"
    "  dict add-user FILE.ADD USER       add a dictionary user\n"
    "  dict set-password FILE.ADD USER   change a user's or the administrator's password\n"
    "  dict add-table FILE.ADD TABLE [--name NAME] [--default-index TAG]\n"
    "                                    register a table of the dictionary's folder\n"
    "  demo FOLDER [--dictionary] [--employees N] [--seed S]\n"
    "                                    build a complete demo program folder\n"
    "  copy [--replace] [--password PW]... SOURCE TARGET\n"
    "                                    copy a table, a company folder or a program folder\n"
    "  sql PATH STATEMENT [--password PW] [--user USER]\n"
    "                                    run one SQL statement on a folder, a server folder or a\n"
    "                                    data dictionary: the rows as CSV, or the rows changed\n"
    "  --version                         print the version and the SQLite the engine runs on\n"
    "\n"
    "TABLE is a table file path; the extension may be left out and the name is found without\n"
    "regard to case. TABLE and FOLDER may be server paths, postgresql://[user@]host[:port]/DB/...\n"
    "(the folder of a table is everything up to the last '/', with the path's ?parameters);\n"
    "FILE.ADD may be a server path too.\n"
    "TYPE is one of Logical, Numeric, Date, Character, Memo, Binary, Image,\n"
    "VarChar, CompactDate, Double, Integer, ShortInteger, Time, TimeStamp, AutoInc, Raw,\n"
    "CurDouble (any case). CSV files are UTF-8; values are dates YYYY-MM-DD, times\n"
    "HH:MM:SS[.mmm], time stamps YYYY-MM-DD HH:MM:SS[.mmm], logicals T or F, numbers with '.',\n"
    "binary values as hexadecimal digits; an empty cell is an empty value.\n"
    "\n"
    "Passwords: give a table password in VELDA_DB_PASSWORD or with '--password -' (one line\n"
    "of standard input); '--password PW' also works but shows PW to every user of the machine\n"
    "in the process list. The dictionary commands read the administrator password from\n"
    "VELDA_DB_ADMIN_PASSWORD or standard input, never from the command line.\n"
    "Run 'velda-db COMMAND --help' for one command.\n";

const std::map<std::string, std::string>& CommandHelp() {
    static const std::map<std::string, std::string> help{
        {"create",
         "usage: velda-db create TABLE --field NAME:TYPE[:LENGTH[:DECIMALS]]... "
         "[--index TAG=FIELD[;FIELD...][,unique][,descending]]... [--password PW]\n"
         "Creates an empty table with the fields in the order given and the index tags given.\n"
         "Character, Numeric, VarChar and Raw fields need a LENGTH; Numeric may have DECIMALS.\n"
         "With --password the table is encrypted with that password.\n"},
        {"import",
         "usage: velda-db import TABLE CSV [--password PW]\n"
         "Appends the rows of the CSV file. Its header row names fields (any case); fields it "
         "does\n"
         "not name stay empty. A value that does not fit its field stops the import and nothing "
         "of\n"
         "it is kept. An encrypted table needs its --password. CSV is a regular file or a pipe;\n"
         "a record longer than 16 MiB is refused with its row.\n"},
        {"export",
         "usage: velda-db export TABLE [--password PW] [--index TAG]\n"
         "Writes the table as CSV (UTF-8, header row of field names) to standard output, in "
         "record\n"
         "order or in the order of the index tag.\n"},
        {"describe",
         "usage: velda-db describe TABLE [--password PW]\n"
         "Prints the fields (name, type, length, decimals), the index tags, whether the table is\n"
         "encrypted, and its row count (an encrypted table's count needs the password).\n"},
        {"encrypt",
         "usage: velda-db encrypt TABLE --password PW\nEncrypts a plain table in place with the "
         "password.\n"},
        {"decrypt",
         "usage: velda-db decrypt TABLE --password PW\nDecrypts an encrypted table in place; the "
         "password must be its own.\n"},
        {"dict",
         "usage: velda-db dict create FILE.ADD\n"
         "       velda-db dict add-user FILE.ADD USER\n"
         "       velda-db dict set-password FILE.ADD USER\n"
         "       velda-db dict add-table FILE.ADD TABLE [--name NAME] [--default-index TAG]\n"
         "Creates a data dictionary, adds a user to it, changes a user's password (USER ADSSYS is\n"
         "the administrator), or registers a table of its folder under NAME (default: the file\n"
         "name without its extension), optionally with a default index tag.\n"
         "Every one of them needs the administrator password (create sets it): it is read from\n"
         "VELDA_DB_ADMIN_PASSWORD, else from the first line of standard input. The new password\n"
         "of add-user and set-password is read from VELDA_DB_NEW_PASSWORD, else from the next\n"
         "line of standard input. Passwords are never taken from the command line. A user's\n"
         "password has at least 8 characters; a user name at most 50, no control characters.\n"},
        {"copy",
         "usage: velda-db copy [--replace] [--password PW]... SOURCE TARGET\n"
         "Copies tables with their fields, index tags, rows (in record order), encryption and\n"
         "auto-increment values, and checks every copy (row count and a checksum over every\n"
         "value, read back) before it reports it. A copy is whole or not at all: when one of its\n"
         "parts fails, the parts it made before are removed again.\n"
         "SOURCE is one of:\n"
         "  a table: TARGET is a table path, or a folder that gets the table under its name;\n"
         "  a company folder: every table of it and its data dictionaries (*.ADD, with their\n"
         "    users, passwords and registered tables) go into the folder TARGET;\n"
         "  a program folder (one with the company list MCOMPANY): VELDA.ini, the company list\n"
         "    and COMPANY/<code>/ of every company in the list go into the folder TARGET.\n"
         "Either may be a server path (postgresql://.../DB/FOLDER/); from a server, a path that\n"
         "names no table is a folder. A server keeps no VELDA.ini: it stays behind, and a copy\n"
         "back makes none. A company folder on a server has the data dictionary named as the\n"
         "folder (COMPANY/A01/A01.ADD). Between local folders a dictionary is copied as its file;\n"
         "to or from a server through the engine, as its administrator ADSSYS with the password\n"
         "in VELDA_DB_ADMIN_PASSWORD (empty when unset): its users keep their passwords, its\n"
         "tables their registration and default index, and every table it registers must lie\n"
         "in its own folder.\n"
         "An existing target table or dictionary is refused unless --replace is given, which\n"
         "removes it before its copy is made. An encrypted table stays encrypted with its own\n"
         "table password: give it with --password (repeat it for companies with different\n"
         "passwords; each encrypted table takes the first that opens it) or VELDA_DB_PASSWORD.\n"
         "Each table and dictionary copied prints a line.\n"},
        {"sql", kSqlHelp},
        {"demo",
         "usage: velda-db demo FOLDER [--dictionary] [--employees N] [--seed S]\n"
         "Builds a complete program folder: VELDA.ini, the company master table MCOMPANY.adt and\n"
         "three companies A01, B02 and C03 under COMPANY/, as free tables (the setup, user,\n"
         "employee and employee-service tables encrypted) or, with --dictionary, each as a data\n"
         "dictionary. A01 gets N employees (default 40), the others fewer. The same seed (default\n"
         "1) gives the same folder.\n"
         "FOLDER may be a folder on a server (postgresql://.../DB/FOLDER): the company list and "
         "the\n"
         "companies, with --dictionary each with its data dictionary, are made there (no\n"
         "VELDA.ini), where none of their tables and dictionaries exists yet.\n"},
    };
    return help;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) parts.push_back(part);
    if (!text.empty() && text.back() == separator) parts.emplace_back();
    return parts;
}

// Opens a CSV file for reading; a folder or an unreadable file is refused by name.
std::ifstream OpenCsv(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw ToolError(path + ": is a folder, not a CSV file");
    // A device (/dev/zero, a terminal) or socket never ends like a file.
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISFIFO(st.st_mode))
        throw ToolError(path +
                        ": is not a regular file or a pipe (a device or socket), not a CSV file");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ToolError(path + ": cannot be read (" + std::string(strerror(errno)) + ")");
    return in;
}

std::string NeedOne(const Options& options, size_t count, const std::string& command) {
    if (options.positional().size() != count)
        throw ToolError(command + ": expected " + std::to_string(count) + " argument" +
                        (count == 1 ? "" : "s") + " (see 'velda-db " + command + " --help')");
    return options.positional()[0];
}

// The path's folder and table name; a path that names no table (a folder, or a server path that
// names only its database) is refused by name.
TablePath TableParts(const std::string& path) {
    TablePath parts = SplitTablePath(path);
    if (parts.name.empty())
        throw ToolError(path + ": names no table (a table path ends with the table's name)");
    return parts;
}

// Opens a table of a path through a connection to its folder.
struct OpenedTable {
    OpenedTable(const std::string& path, UNSIGNED32 options)
        : parts(TableParts(path)),
          connection(parts.folder),
          table(connection.handle(), parts.name, options) {}
    TablePath parts;
    EngineConnection connection;
    EngineTable table;
};

// The table password: --password - reads it from standard input, --password PW takes it from
// the command line, and without the option VELDA_DB_PASSWORD gives it when set (unless
// fromEnvironment is false: create encrypts only when asked on its command line).
std::optional<std::string> TablePassword(const Options& options, bool fromEnvironment = true) {
    if (options.has("password")) {
        std::string value = options.value("password");
        if (value == "-") return ReadSecret("", "the table password");
        return value;
    }
    if (const char* value = fromEnvironment ? std::getenv(kTablePasswordVariable) : nullptr) {
        if (*value == '\0')
            throw ToolError(std::string(kTablePasswordVariable) +
                            " is set but empty: give the table password there, or unset it");
        return std::string(value);
    }
    return std::nullopt;
}

void GivePassword(OpenedTable& opened, const std::optional<std::string>& password,
                  const std::string& path, bool required) {
    bool encrypted = opened.table.Encrypted();
    if (password) {
        opened.table.EnablePassword(*password);
    } else if (encrypted && required) {
        throw ToolError(path + ": the table is encrypted; give its password (" +
                        kTablePasswordVariable + ", --password -, or --password PW)");
    }
}

// A field given as NAME:TYPE[:LENGTH[:DECIMALS]] in the engine's form "NAME,Type[,...]". The
// name is UTF-8 on the command line and Windows-1252 in the table.
std::string FieldSpec(const std::string& spec) {
    std::vector<std::string> parts = Split(spec, ':');
    if (parts.size() < 2 || parts.size() > 4 || parts[0].empty())
        throw ToolError("bad field specification '" + spec +
                        "' (expected NAME:TYPE[:LENGTH[:DECIMALS]])");
    if (parts[0].find_first_of(",;") != std::string::npos)
        throw ToolError("bad field specification '" + spec +
                        "': a field name cannot hold ',' or ';' (give one --field per field)");
    std::optional<std::string> name = rtl::Utf8ToCp1252(parts[0]);
    if (!name)
        throw ToolError("bad field specification '" + spec +
                        "': the name has a character that is not in Windows-1252");
    parts[0] = *name;
    int code = TypeCodeFromName(parts[1]);
    if (!code)
        throw ToolError("unknown type '" + parts[1] + "' in field specification '" + spec + "'");
    for (size_t i = 2; i < parts.size(); ++i) {
        if (parts[i].empty() || parts[i].find_first_not_of("0123456789") != std::string::npos)
            throw ToolError("bad field specification '" + spec + "': '" + parts[i] +
                            "' is not a number");
    }
    bool needsLength =
        code == ADS_STRING || code == ADS_NUMERIC || code == ADS_VARCHAR || code == ADS_RAW;
    if (needsLength && parts.size() < 3)
        throw ToolError("bad field specification '" + spec + "': a " +
                        TypeName(static_cast<UNSIGNED16>(code)) + " field needs a length");
    if (!needsLength && parts.size() > 2)
        throw ToolError("bad field specification '" + spec + "': a " +
                        TypeName(static_cast<UNSIGNED16>(code)) +
                        " field has a fixed size; give no length");
    if (parts.size() > 3 && code != ADS_NUMERIC)
        throw ToolError("bad field specification '" + spec +
                        "': only a Numeric field has "
                        "decimals");
    std::string out = parts[0] + "," + TypeName(static_cast<UNSIGNED16>(code));
    for (size_t i = 2; i < parts.size(); ++i) out += "," + parts[i];
    return out;
}

struct IndexSpec {
    std::string tag;
    std::string expression;
    UNSIGNED32 options = 0;
};

IndexSpec ParseIndexSpec(const std::string& spec) {
    size_t eq = spec.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == spec.size())
        throw ToolError("bad index specification '" + spec +
                        "' (expected TAG=FIELD[;FIELD...][,unique][,descending])");
    IndexSpec index;
    index.tag = spec.substr(0, eq);
    std::vector<std::string> parts = Split(spec.substr(eq + 1), ',');
    index.expression = parts[0];
    for (size_t i = 1; i < parts.size(); ++i) {
        if (strcasecmp(parts[i].c_str(), "unique") == 0)
            index.options |= ADS_UNIQUE;
        else if (strcasecmp(parts[i].c_str(), "descending") == 0)
            index.options |= ADS_DESCENDING;
        else
            throw ToolError("bad index specification '" + spec + "': unknown option '" + parts[i] +
                            "'");
    }
    if (index.expression.empty())
        throw ToolError("bad index specification '" + spec + "': no fields");
    return index;
}

}  // namespace

Options::Options(const Args& args, const std::vector<std::string>& valued,
                 const std::vector<std::string>& flags,
                 const std::vector<std::string>& repeatable) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            help_ = true;
        } else if (a.rfind("--", 0) == 0) {
            std::string name = a.substr(2);
            std::string value;
            size_t eq = name.find('=');
            bool inlineValue = eq != std::string::npos;
            if (inlineValue) {
                value = name.substr(eq + 1);
                name = name.substr(0, eq);
            }
            if (std::find(flags.begin(), flags.end(), name) != flags.end()) {
                if (has(name)) throw ToolError("option --" + name + " given twice");
                named_.emplace_back(name, "");
            } else if (std::find(valued.begin(), valued.end(), name) != valued.end()) {
                if (!inlineValue) {
                    if (i + 1 >= args.size())
                        throw ToolError("option --" + name + " needs a value");
                    value = args[++i];
                }
                // Only the options that build a list may repeat; any other given twice would
                // quietly take the last value.
                if (std::find(repeatable.begin(), repeatable.end(), name) == repeatable.end() &&
                    has(name))
                    throw ToolError("option --" + name + " given twice");
                named_.emplace_back(name, value);
            } else {
                throw ToolError("unknown option " + a);
            }
        } else {
            positional_.push_back(a);
        }
    }
}

bool Options::has(const std::string& name) const {
    return std::any_of(named_.begin(), named_.end(),
                       [&](const auto& p) { return p.first == name; });
}

std::string Options::value(const std::string& name, const std::string& fallback) const {
    for (const auto& p : named_)
        if (p.first == name) return p.second;
    return fallback;
}

std::vector<std::string> Options::values(const std::string& name) const {
    std::vector<std::string> out;
    for (const auto& p : named_)
        if (p.first == name) out.push_back(p.second);
    return out;
}

std::vector<std::string> TablePasswords(const Options& options) {
    std::vector<std::string> passwords;
    for (const auto& value : options.values("password"))
        passwords.push_back(value == "-" ? ReadSecret("", "the table password") : value);
    if (passwords.empty()) {
        if (std::optional<std::string> fromEnvironment = TablePassword(options))
            passwords.push_back(*fromEnvironment);
    }
    return passwords;
}

std::string TablePasswordHint() {
    return std::string("give its password (") + kTablePasswordVariable +
           ", --password -, or --password PW)";
}

int Create(const Args& args, std::ostream& out) {
    Options options(args, {"field", "index", "password"}, {}, {"field", "index"});
    std::string path = NeedOne(options, 1, "create");
    std::vector<std::string> fieldSpecs = options.values("field");
    if (fieldSpecs.empty()) throw ToolError("create: at least one --field is needed");
    std::string fields;
    for (const auto& spec : fieldSpecs) fields += (fields.empty() ? "" : ";") + FieldSpec(spec);
    std::vector<IndexSpec> indexes;
    for (const auto& spec : options.values("index")) indexes.push_back(ParseIndexSpec(spec));
    std::optional<std::string> password = TablePassword(options, false);
    if (password && password->empty()) throw ToolError("create: the table password is empty");

    TablePath parts = TableParts(path);
    EngineConnection connection(parts.folder);
    ADSHANDLE handle = 0;
    Check(AdsCreateTable(connection.handle(), ads::EngineText(parts.name), nullptr, ADS_ADT,
                         ADS_ANSI, ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0,
                         ads::EngineText(fields), &handle),
          path);
    // From here on a failure removes the half-made table.
    try {
        EngineTable table(handle, path);
        for (const auto& index : indexes) {
            ADSHANDLE indexHandle = 0;
            Check(AdsCreateIndex61(handle, nullptr, ads::EngineText(index.tag),
                                   ads::EngineText(index.expression), nullptr, nullptr,
                                   index.options, 512, &indexHandle),
                  path + ": index " + index.tag);
        }
        table.Close();
        if (password) {
            EngineTable exclusive(connection.handle(), parts.name, ADS_EXCLUSIVE);
            exclusive.EnablePassword(*password);
            Check(AdsEncryptTable(exclusive.handle()), path);
        }
    } catch (...) {
        (void)AdsDeleteTable(connection.handle(), ads::EngineText(parts.name));
        throw;
    }
    out << "created " << Shown(path) << "\n";
    return 0;
}

int Import(const Args& args, std::ostream& out) {
    Options options(args, {"password"}, {});
    NeedOne(options, 2, "import");
    const std::string& path = options.positional()[0];
    const std::string& csvPath = options.positional()[1];
    std::ifstream in = OpenCsv(csvPath);
    CsvReader reader(in);
    CsvRecord header;
    std::string error;
    if (!reader.Next(header, error))
        throw ToolError(csvPath + ": " + (error.empty() ? "the file has no header row" : error));

    OpenedTable opened(path, 0);
    GivePassword(opened, TablePassword(options), path, true);
    std::vector<FieldInfo> fields = opened.table.Fields();

    // Header: each column names a field (field names are Windows-1252, the header UTF-8), once;
    // auto-increment fields are numbered by the table and cannot be imported.
    std::vector<const FieldInfo*> columns;
    for (size_t c = 0; c < header.cells.size(); ++c) {
        std::string where = csvPath + ": row 1, column " + std::to_string(c + 1) + ": '" +
                            util::ShowControlCharacters(header.cells[c]) + "'";
        std::optional<std::string> name = rtl::Utf8ToCp1252(header.cells[c]);
        const FieldInfo* found = nullptr;
        for (const auto& f : fields)
            if (name && rtl::SameTextAnsi(f.name, *name)) found = &f;
        if (!found) throw ToolError(where + " is not a field of " + path);
        if (std::find(columns.begin(), columns.end(), found) != columns.end())
            throw ToolError(where + " names the field " + rtl::Cp1252ToUtf8(found->name) +
                            " a second time");
        if (found->type == ADS_AUTOINC)
            throw ToolError(where +
                            " is an AutoInc field, which the table numbers itself; leave "
                            "the column out");
        columns.push_back(found);
    }

    // One transaction: a bad row, a full disk or a kill keeps nothing of the import. Rows are
    // read, converted and written one at a time, so memory stays flat whatever the file's size.
    EngineTransaction transaction(opened.connection, path);
    size_t rows = 0;
    CsvRecord record;
    std::vector<FieldValue> row;
    while (reader.Next(record, error)) {
        ++rows;
        std::string where = csvPath + ": row " + std::to_string(rows + 1) + " (line " +
                            std::to_string(record.line) + ")";
        if (record.cells.size() != columns.size())
            throw ToolError(where + ": " + std::to_string(record.cells.size()) +
                            " values, but the header names " + std::to_string(columns.size()) +
                            " fields");
        row.clear();
        for (size_t c = 0; c < columns.size(); ++c) {
            size_t bad = record.cells[c].find('\0');
            if (bad != std::string::npos)
                throw ToolError(where + ", column " + columns[c]->name + ": character at byte " +
                                std::to_string(bad + 1) + " is a NUL, which a text cannot hold");
            auto text = rtl::Utf8ToCp1252(record.cells[c], &bad);
            if (!text)
                throw ToolError(where + ", column " + columns[c]->name + ": character at byte " +
                                std::to_string(bad + 1) +
                                " cannot be stored (not in Windows-1252)");
            FieldValue value = ParseCell(*columns[c], *text, error);
            if (!error.empty())
                throw ToolError(where + ", column " + columns[c]->name + ": '" +
                                util::ShowControlCharacters(record.cells[c]) + "' " + error);
            row.push_back(std::move(value));
        }
        opened.table.AppendRow(columns, row, csvPath + ": row " + std::to_string(rows + 1));
    }
    if (!error.empty()) throw ToolError(csvPath + ": " + error);
    if (in.bad())
        throw ToolError(csvPath + ": cannot be read (" + std::string(strerror(errno)) + ")");
    transaction.Commit();
    out << "imported " << rows << " row" << (rows == 1 ? "" : "s") << " into " << Shown(path)
        << "\n";
    return 0;
}

std::string RowsAsCsv(const EngineTable& table, ADSHANDLE order, const std::string& path) {
    std::vector<FieldInfo> fields = table.Fields();
    ADSHANDLE h = table.handle();

    // The whole table is formatted before anything is printed, so a failure prints nothing.
    std::ostringstream csv;
    std::vector<std::string> names;
    for (const auto& f : fields) names.push_back(rtl::Cp1252ToUtf8(f.name));
    csv << FormatCsvRecord(names);

    UNSIGNED32 length = 0;
    Check(AdsGetRecordLength(h, &length), path);
    std::vector<unsigned char> image(length + 1);
    Check(AdsGotoTop(order), path);
    for (;;) {
        UNSIGNED16 eof = 0;
        Check(AdsAtEOF(order, &eof), path);
        if (eof) break;
        UNSIGNED32 len = length + 1;
        Check(AdsGetRecord(order, image.data(), &len), path);
        std::vector<std::string> cells;
        for (const auto& f : fields) {
            UNSIGNED16 empty = 0;
            Check(AdsIsEmpty(h, ADSFIELD(f.number), &empty), path);
            std::string cell;
            if (!empty) {
                if (f.type == ADS_MEMO || f.type == ADS_VARCHAR || f.type == ADS_BINARY ||
                    f.type == ADS_IMAGE) {
                    UNSIGNED32 size = 0;
                    bool binary = f.type == ADS_BINARY || f.type == ADS_IMAGE;
                    Check(binary ? AdsGetBinaryLength(h, ADSFIELD(f.number), &size)
                                 : AdsGetMemoLength(h, ADSFIELD(f.number), &size),
                          path);
                    std::string bytes(size + 1, '\0');
                    UNSIGNED32 got = size + 1;
                    Check(AdsGetField(h, ADSFIELD(f.number),
                                      reinterpret_cast<UNSIGNED8*>(bytes.data()), &got, ADS_NONE),
                          path);
                    bytes.resize(std::min<size_t>(got, size));
                    cell = binary ? ToHex(bytes) : bytes;
                } else {
                    cell = FormatCell(f, image.data());
                }
            }
            cells.push_back(rtl::Cp1252ToUtf8(cell));
        }
        csv << FormatCsvRecord(cells);
        Check(AdsSkip(order, 1), path);
    }
    return csv.str();
}

int Export(const Args& args, std::ostream& out) {
    Options options(args, {"password", "index"}, {});
    std::string path = NeedOne(options, 1, "export");
    OpenedTable opened(path, ADS_READONLY);
    GivePassword(opened, TablePassword(options), path, true);
    // One read transaction: the export is the table as it was at its first read, whatever
    // others commit meanwhile.
    EngineTransaction snapshot(opened.connection, path);
    ADSHANDLE h = opened.table.handle();
    ADSHANDLE order = h;
    if (options.has("index"))
        Check(AdsGetIndexHandle(h, ads::EngineText(options.value("index")), &order), path);
    out << RowsAsCsv(opened.table, order, path);
    return 0;
}

int Describe(const Args& args, std::ostream& out) {
    Options options(args, {"password"}, {});
    std::string path = NeedOne(options, 1, "describe");
    OpenedTable opened(path, ADS_READONLY);
    bool encrypted = opened.table.Encrypted();
    std::optional<std::string> password = TablePassword(options);
    GivePassword(opened, password, path, false);
    out << "table: " << Shown(path) << "\n";
    out << "encrypted: " << (encrypted ? "yes" : "no") << "\n";
    if (encrypted && !password) {
        out << "rows: unknown (give the table password to count them)\n";
    } else {
        UNSIGNED32 count = 0;
        Check(AdsGetRecordCount(opened.table.handle(), ADS_IGNOREFILTERS, &count), path);
        out << "rows: " << count << "\n";
    }
    out << "fields:\n";
    for (const auto& f : opened.table.Fields())
        out << "  " << rtl::Cp1252ToUtf8(f.name) << " " << TypeName(f.type) << " " << f.length
            << " " << f.decimals << "\n";
    out << "indexes:\n";
    for (const auto& index : opened.table.Indexes()) {
        std::string segments;
        for (const auto& s : index.segments) segments += (segments.empty() ? "" : ";") + s;
        out << "  " << index.name << " " << segments << (index.unique ? " unique" : "")
            << (index.descending ? " descending" : "") << "\n";
    }
    return 0;
}

int Encrypt(const Args& args, std::ostream& out, bool encrypt) {
    const char* command = encrypt ? "encrypt" : "decrypt";
    Options options(args, {"password"}, {});
    std::string path = NeedOne(options, 1, command);
    std::optional<std::string> password = TablePassword(options);
    if (!password || password->empty())
        throw ToolError(std::string(command) + ": the table password is needed (" +
                        kTablePasswordVariable + ", --password -, or --password PW)");
    OpenedTable opened(path, ADS_EXCLUSIVE);
    bool encrypted = opened.table.Encrypted();
    if (encrypt && encrypted) throw ToolError(path + ": the table is encrypted already");
    if (!encrypt && !encrypted) throw ToolError(path + ": the table is not encrypted");
    opened.table.EnablePassword(*password);
    Check(encrypt ? AdsEncryptTable(opened.table.handle()) : AdsDecryptTable(opened.table.handle()),
          path);
    out << (encrypt ? "encrypted " : "decrypted ") << Shown(path) << "\n";
    return 0;
}

int Dictionary(const Args& args, std::ostream& out) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        out << CommandHelp().at("dict");
        return args.empty() ? 2 : 0;
    }
    std::string sub = args[0];
    Args rest(args.begin() + 1, args.end());
    if (sub == "create") {
        Options options(rest, {}, {});
        if (options.help()) return out << CommandHelp().at("dict"), 0;
        std::string file = NeedOne(options, 1, "dict create");
        std::string admin = ReadSecret(kAdminPasswordVariable, "the administrator password");
        if (admin.empty()) throw ToolError("dict create: the administrator password is empty");
        ADSHANDLE h = 0;
        Check(AdsDDCreate(ads::EngineText(file), 0, ads::EngineText(""), &h), file);
        UNSIGNED32 rc =
            AdsDDSetUserProperty(h, ads::EngineText(kAdministrator), ADS_DD_USER_PASSWORD,
                                 ads::EngineText(admin), static_cast<UNSIGNED16>(admin.size() + 1));
        std::string error = rc ? EngineErrorText() : "";
        (void)AdsDisconnect(h);
        if (rc) {
            // A dictionary whose administrator has no password must not stay behind.
            std::error_code ec;
            if (!IsServerPath(file)) std::filesystem::remove(file, ec);
            throw ToolError(file + ": " + error);
        }
        out << "created " << Shown(file) << "\n";
        return 0;
    }
    if (sub == "add-user") {
        Options options(rest, {}, {});
        if (options.help()) return out << CommandHelp().at("dict"), 0;
        NeedOne(options, 2, "dict add-user");
        const auto& p = options.positional();
        EngineConnection connection(
            p[0], kAdministrator, ReadSecret(kAdminPasswordVariable, "the administrator password"));
        std::string password = ReadSecret(kUserPasswordVariable, "the new user's password");
        CheckNewPassword(password, "dict add-user");
        Check(AdsDDCreateUser(connection.handle(), nullptr, ads::EngineText(p[1]),
                              ads::EngineText(password), ads::EngineText("")),
              p[0]);
        out << "added user " << p[1] << " to " << Shown(p[0]) << "\n";
        return 0;
    }
    if (sub == "set-password") {
        Options options(rest, {}, {});
        if (options.help()) return out << CommandHelp().at("dict"), 0;
        NeedOne(options, 2, "dict set-password");
        const auto& p = options.positional();
        EngineConnection connection(
            p[0], kAdministrator, ReadSecret(kAdminPasswordVariable, "the administrator password"));
        std::string password = ReadSecret(kUserPasswordVariable, "the new password");
        if (password.empty() && strcasecmp(p[1].c_str(), kAdministrator) == 0)
            throw ToolError("dict set-password: the administrator password must not be empty");
        if (strcasecmp(p[1].c_str(), kAdministrator) != 0)
            CheckNewPassword(password, "dict set-password");
        Check(AdsDDSetUserProperty(connection.handle(), ads::EngineText(p[1]), ADS_DD_USER_PASSWORD,
                                   ads::EngineText(password),
                                   static_cast<UNSIGNED16>(password.size() + 1)),
              p[0]);
        out << "set the password of " << p[1] << " in " << Shown(p[0]) << "\n";
        return 0;
    }
    if (sub == "add-table") {
        Options options(rest, {"name", "default-index"}, {});
        if (options.help()) return out << CommandHelp().at("dict"), 0;
        NeedOne(options, 2, "dict add-table");
        const auto& p = options.positional();
        std::string tableFile = p[1];
        std::string name = options.value("name");
        if (name.empty()) {
            name = SplitTablePath(tableFile).name;
            size_t dot = name.rfind('.');
            if (dot != std::string::npos && dot > 0) name = name.substr(0, dot);
        }
        EngineConnection connection(
            p[0], kAdministrator, ReadSecret(kAdminPasswordVariable, "the administrator password"));
        Check(AdsDDAddTable(connection.handle(), ads::EngineText(name), ads::EngineText(tableFile),
                            ADS_ADT, ADS_ANSI, ads::EngineText(""), ads::EngineText("")),
              p[0]);
        if (options.has("default-index")) {
            std::string tag = options.value("default-index");
            Check(AdsDDSetTableProperty(connection.handle(), ads::EngineText(name),
                                        ADS_DD_TABLE_DEFAULT_INDEX, ads::EngineText(tag),
                                        static_cast<UNSIGNED16>(tag.size() + 1)),
                  p[0]);
        }
        out << "registered " << name << " in " << Shown(p[0]) << "\n";
        return 0;
    }
    throw ToolError("dict: unknown subcommand '" + sub + "' (see 'velda-db dict --help')");
}

int RunCommand(const Args& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << kUsage;
        return 2;
    }
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return 0;
    }
    Args rest(args.begin() + 1, args.end());
    auto help = CommandHelp().find(command);
    if (help == CommandHelp().end()) {
        err << "velda-db: unknown command '" << command << "' (see 'velda-db --help')\n";
        return 2;
    }
    if (command != "dict" && std::find_if(rest.begin(), rest.end(), [](const std::string& a) {
                                 return a == "--help" || a == "-h";
                             }) != rest.end()) {
        out << help->second;
        return 0;
    }
    try {
        int status = 0;
        if (command == "create")
            status = Create(rest, out);
        else if (command == "import")
            status = Import(rest, out);
        else if (command == "export")
            status = Export(rest, out);
        else if (command == "describe")
            status = Describe(rest, out);
        else if (command == "encrypt")
            status = Encrypt(rest, out, true);
        else if (command == "decrypt")
            status = Encrypt(rest, out, false);
        else if (command == "dict")
            status = Dictionary(rest, out);
        else if (command == "copy")
            status = Copy(rest, out, err);
        else if (command == "sql")
            status = Sql(rest, out);
        else
            status = Demo(rest, out);
        // What went to standard output must have reached it (a full disk, /dev/full).
        errno = 0;
        out.flush();
        if (!out)
            throw ToolError(std::string("standard output cannot be written (") +
                            std::strerror(errno ? errno : EIO) + ")");
        return status;
    } catch (const std::exception& e) {
        // Control characters of names and values read are shown, never let through.
        // A password in a server path is shown as ***, whichever path the text repeats.
        err << "velda-db: " << Shown(util::ShowControlCharacters(e.what())) << "\n" << std::flush;
        return 1;
    }
}

}  // namespace veldadb
