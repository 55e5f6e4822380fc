// velda-db copy: a table, a company folder or a whole program folder, copied table by table
// through the engine's calls, so that the same code serves every place the engine keeps tables.
//
// Each table is copied whole or not at all: the target is created with the source's fields,
// index tags and encryption; its rows are written in record order in one transaction; then it is
// read back through the engine and checked against what was read from the source (the structure,
// the row count and a checksum over every value of every row). Any failure, the check included,
// removes the half-made target table. The source is read in one read transaction, so that a
// table others change meanwhile is copied as it was when the copy began.
//
// What the engine's calls do not offer, and how the copy stands without it:
//   - a table's next auto-increment value: every row keeps its own value, and the engine moves a
//     table's counter up to the highest value written, so the copy's counter is the highest value
//     copied (a source whose last rows were deleted had a higher one);
//   - a chosen record number for a new row: rows keep their order and are numbered from 1, without
//     the gaps deleted records left;
//   - the tables of a folder, and the users, password hashes and registered tables of a data
//     dictionary: tables are found as the files of the folder, and a dictionary is copied as its
//     file, so that its users keep their password hashes exactly as stored. Both need the source
//     in a folder; a dictionary needs the target in a folder too.
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <sstream>

#include "ads/engine_text.h"
#include "rtl/signals.h"
#include "tools/velda-db/commands.h"
#include "tools/velda-db/engine_session.h"
#include "tools/velda-db/values.h"

namespace veldadb {

namespace {

namespace fs = std::filesystem;

// A test seam: makes the copy of every table fail in a chosen way, so that the tests can show
// that a failure leaves no target table. "fail-after-rows=N": the write fails after N rows, as
// a full disk would; "drop-row=N" leaves row N out and "blank-row=N" writes it without its memo,
// binary and image values, which the check after the copy must catch.
constexpr const char* kFaultVariable = "VELDA_DB_COPY_TEST_FAULT";

struct Fault {
    enum class Kind { None, FailAfterRows, DropRow, BlankRow } kind = Kind::None;
    uint64_t row = 0;
};

Fault FaultFromEnvironment() {
    Fault fault;
    const char* value = std::getenv(kFaultVariable);
    if (!value || !*value) return fault;
    std::string text = value;
    const std::pair<const char*, Fault::Kind> kinds[] = {
        {"fail-after-rows=", Fault::Kind::FailAfterRows},
        {"drop-row=", Fault::Kind::DropRow},
        {"blank-row=", Fault::Kind::BlankRow}};
    for (const auto& [prefix, kind] : kinds) {
        std::string number = text.substr(0, std::strlen(prefix)) == prefix
                                 ? text.substr(std::strlen(prefix))
                                 : std::string();
        if (!number.empty() && number.size() < 10 &&
            number.find_first_not_of("0123456789") == std::string::npos) {
            fault.kind = kind;
            fault.row = std::stoull(number);
            return fault;
        }
    }
    throw ToolError(std::string(kFaultVariable) + ": '" + text + "' is not a fault the copy knows");
}

bool EndsWithNoCase(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           strcasecmp(text.c_str() + text.size() - end.size(), end.c_str()) == 0;
}

// The entry of a local folder with this name in any case (the name as given first), or an empty
// path. With addExtension, "NAME.adt" is looked for too, as the engine finds tables.
fs::path FindEntry(const fs::path& folder, const std::string& name, bool addExtension,
                   bool wantFolder) {
    std::vector<std::string> wanted{name};
    if (addExtension && !EndsWithNoCase(name, ".adt")) wanted.push_back(name + ".adt");
    std::error_code ec;
    auto fits = [&](const fs::path& p) {
        return wantFolder ? fs::is_directory(p, ec) : fs::is_regular_file(p, ec);
    };
    for (const auto& w : wanted)
        if (fits(folder / w)) return folder / w;
    for (const auto& w : wanted)
        for (const auto& entry : fs::directory_iterator(folder, ec))
            if (strcasecmp(entry.path().filename().c_str(), w.c_str()) == 0 && fits(entry.path()))
                return entry.path();
    return {};
}

// The files of a local folder whose names end with the extension (any case), sorted by name.
std::vector<std::string> FilesEndingWith(const fs::path& folder, const std::string& extension) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        std::string name = entry.path().filename().string();
        if (name.size() > extension.size() && EndsWithNoCase(name, extension) &&
            entry.is_regular_file(ec))
            names.push_back(name);
    }
    if (ec) throw ToolError(folder.string() + ": cannot be read (" + ec.message() + ")");
    std::sort(names.begin(), names.end());
    return names;
}

// A 64-bit FNV-1a checksum over values, each with its emptiness and length, so that values
// that only run into each other differently do not sum alike.
class Checksum {
  public:
    void Add(const std::optional<std::string>& value) {
        Byte(value ? 1 : 0);
        if (!value) return;
        uint64_t size = value->size();
        for (int i = 0; i < 8; ++i) Byte(static_cast<unsigned char>(size >> (8 * i)));
        for (unsigned char c : *value) Byte(c);
    }
    uint64_t value() const { return hash_; }

  private:
    void Byte(unsigned char c) { hash_ = (hash_ ^ c) * 0x100000001B3ull; }
    uint64_t hash_ = 0xCBF29CE484222325ull;
};

// What a walk over a table's rows saw.
struct Digest {
    uint64_t rows = 0;
    uint64_t checksum = 0;
};

// A row's values: empty, or the field's bytes (as in the record image, or the whole value of
// the kinds kept outside it).
using Row = std::vector<std::optional<std::string>>;

bool OutsideImage(UNSIGNED16 type) {
    return type == ADS_MEMO || type == ADS_VARCHAR || type == ADS_BINARY || type == ADS_IMAGE;
}

void ReadRow(ADSHANDLE h, const std::vector<FieldInfo>& fields, std::vector<unsigned char>& image,
             Row& row, const std::string& where) {
    auto length = static_cast<UNSIGNED32>(image.size());
    Check(AdsGetRecord(h, image.data(), &length), where);
    row.assign(fields.size(), std::nullopt);
    for (size_t i = 0; i < fields.size(); ++i) {
        const FieldInfo& f = fields[i];
        UNSIGNED16 empty = 0;
        Check(AdsIsEmpty(h, ADSFIELD(f.number), &empty), where);
        if (empty) continue;
        if (OutsideImage(f.type)) {
            UNSIGNED32 size = 0;
            bool binary = f.type == ADS_BINARY || f.type == ADS_IMAGE;
            Check(binary ? AdsGetBinaryLength(h, ADSFIELD(f.number), &size)
                         : AdsGetMemoLength(h, ADSFIELD(f.number), &size),
                  where);
            std::string bytes(size + 1, '\0');
            UNSIGNED32 got = size + 1;
            Check(AdsGetField(h, ADSFIELD(f.number), reinterpret_cast<UNSIGNED8*>(bytes.data()),
                              &got, ADS_NONE),
                  where);
            bytes.resize(std::min<size_t>(got, size));
            row[i] = std::move(bytes);
        } else {
            if (f.offset + f.length > length)
                throw ToolError(where + ": field " + f.name + " lies outside the record");
            row[i] = std::string(reinterpret_cast<const char*>(image.data()) + f.offset, f.length);
        }
    }
}

// The longest text a VarChar field may be given. No engine call tells the length a VarChar field
// was declared with (its length is the 9 bytes it takes in the record image), so a copied VarChar
// field takes the longest, which holds every value of the source.
constexpr UNSIGNED32 kLongestVarChar = 65000;

// The field list AdsCreateTable takes for these fields.
std::string FieldList(const std::vector<FieldInfo>& fields) {
    std::string list;
    for (const auto& f : fields) {
        if (f.name.find_first_of(",;") != std::string::npos)
            throw ToolError("field " + f.name + " has a name a new table cannot take");
        list += (list.empty() ? "" : ";") + f.name + "," + TypeName(f.type);
        if (f.type == ADS_STRING || f.type == ADS_NUMERIC || f.type == ADS_RAW)
            list += "," + std::to_string(f.length);
        else if (f.type == ADS_VARCHAR)
            list += "," + std::to_string(kLongestVarChar);
        else if (f.type == ADS_DATE && f.length != 4)
            list += "," + std::to_string(f.length);  // a date kept as its CCYYMMDD text
        else if (f.decimals)
            list += "," + std::to_string(f.length);  // Double and CurDouble with decimals
        if (f.decimals) list += "," + std::to_string(f.decimals);
    }
    return list;
}

bool SameStructure(const std::vector<FieldInfo>& a, const std::vector<FieldInfo>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || a[i].type != b[i].type || a[i].length != b[i].length ||
            a[i].decimals != b[i].decimals)
            return false;
    return true;
}

bool SameIndexes(const std::vector<IndexInfo>& a, const std::vector<IndexInfo>& b) {
    auto key = [](const IndexInfo& i) {
        std::string k = i.name + "=";
        for (const auto& s : i.segments) k += s + ";";
        return k + (i.unique ? "u" : "") + (i.descending ? "d" : "");
    };
    std::vector<std::string> ka, kb;
    for (const auto& i : a) ka.push_back(key(i));
    for (const auto& i : b) kb.push_back(key(i));
    std::sort(ka.begin(), ka.end());
    std::sort(kb.begin(), kb.end());
    return ka == kb;
}

// Gives an encrypted table the first of the passwords that opens it; answers that password, or
// the empty text for a plain table.
std::string UnlockWith(EngineTable& table, const std::vector<std::string>& passwords,
                       const std::string& where) {
    if (!table.Encrypted()) return "";
    if (passwords.empty())
        throw ToolError(where + ": the table is encrypted; " + TablePasswordHint());
    std::string error;
    for (const auto& password : passwords) {
        if (AdsEnableEncryption(table.handle(), ads::EngineText(password)) == AE_SUCCESS)
            return password;
        error = EngineErrorText();
    }
    if (passwords.size() > 1)
        error += " (none of the " + std::to_string(passwords.size()) + " passwords given opens it)";
    throw ToolError(where + ": " + error);
}

// A line on a terminal that a table's progress rewrites, cleared when the table is done.
class Progress {
  public:
    Progress(std::ostream* terminal, std::string name, uint64_t total)
        : terminal_(terminal), name_(std::move(name)), total_(total) {}
    ~Progress() {
        if (terminal_ && shown_) *terminal_ << "\r\033[K" << std::flush;
    }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void Row(uint64_t done) {
        if (!terminal_) return;
        auto now = std::chrono::steady_clock::now();
        if (shown_ && now - last_ < std::chrono::milliseconds(200)) return;
        last_ = now;
        shown_ = true;
        *terminal_ << "\r\033[Kvelda-db: copying " << name_ << ": " << done << " of " << total_
                   << " rows" << std::flush;
    }

  private:
    std::ostream* terminal_;
    std::string name_;
    uint64_t total_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point last_{};
};

class Copier {
  public:
    Copier(std::vector<std::string> passwords, std::ostream& out, std::ostream* terminal,
           Fault fault)
        : passwords_(std::move(passwords)), out_(out), terminal_(terminal), fault_(fault) {}

    // Copies the table at source to the table path target. An existing target is removed first
    // when replace is set, else refused.
    void CopyTable(const std::string& source, const std::string& target, bool replace);

  private:
    Digest CopyRows(EngineTable& input, EngineTable& output, const std::vector<FieldInfo>& fields,
                    uint64_t total, const std::string& source, const std::string& target);
    Digest ReadBack(EngineTable& table, const std::vector<FieldInfo>& fields,
                    const std::string& where);

    std::vector<std::string> passwords_;
    std::ostream& out_;
    std::ostream* terminal_;
    Fault fault_;
};

Digest Copier::ReadBack(EngineTable& table, const std::vector<FieldInfo>& fields,
                        const std::string& where) {
    UNSIGNED32 length = 0;
    Check(AdsGetRecordLength(table.handle(), &length), where);
    std::vector<unsigned char> image(length + 1);
    Checksum sum;
    Digest digest;
    Row row;
    Check(AdsGotoTop(table.handle()), where);
    for (;;) {
        UNSIGNED16 eof = 0;
        Check(AdsAtEOF(table.handle(), &eof), where);
        if (eof) break;
        ReadRow(table.handle(), fields, image, row, where);
        for (const auto& value : row) sum.Add(value);
        ++digest.rows;
        Check(AdsSkip(table.handle(), 1), where);
    }
    digest.checksum = sum.value();
    return digest;
}

Digest Copier::CopyRows(EngineTable& input, EngineTable& output,
                        const std::vector<FieldInfo>& fields, uint64_t total,
                        const std::string& source, const std::string& target) {
    UNSIGNED32 length = 0;
    Check(AdsGetRecordLength(input.handle(), &length), source);
    std::vector<unsigned char> image(length + 1);
    std::vector<const FieldInfo*> columns;
    for (const auto& f : fields) columns.push_back(&f);
    std::vector<FieldValue> values(fields.size());
    Progress progress(terminal_, SplitTablePath(source).name, total);
    Checksum sum;
    Digest digest;
    Row row;
    ADSHANDLE h = input.handle();
    Check(AdsGotoTop(h), source);
    for (;;) {
        UNSIGNED16 eof = 0;
        Check(AdsAtEOF(h, &eof), source);
        if (eof) break;
        ReadRow(h, fields, image, row, source);
        for (const auto& value : row) sum.Add(value);
        ++digest.rows;
        bool drop = fault_.kind == Fault::Kind::DropRow && fault_.row == digest.rows;
        bool blank = fault_.kind == Fault::Kind::BlankRow && fault_.row == digest.rows;
        for (size_t i = 0; i < fields.size(); ++i) {
            // An appended row starts with every field empty, so empty values are left alone.
            values[i].kind = !row[i] || (blank && OutsideImage(fields[i].type))
                                 ? FieldValue::Kind::Skip
                             : OutsideImage(fields[i].type) ? FieldValue::Kind::Text
                                                            : FieldValue::Kind::Raw;
            values[i].bytes = row[i] ? std::move(*row[i]) : std::string();
        }
        if (!drop)
            output.AppendRow(columns, values, target + ": row " + std::to_string(digest.rows));
        if (fault_.kind == Fault::Kind::FailAfterRows && fault_.row == digest.rows)
            throw ToolError(target + ": row " + std::to_string(digest.rows + 1) +
                            ": the write failed (" + kFaultVariable + ")");
        progress.Row(digest.rows);
        Check(AdsSkip(h, 1), source);
    }
    digest.checksum = sum.value();
    return digest;
}

void Copier::CopyTable(const std::string& source, const std::string& target, bool replace) {
    TablePath from = SplitTablePath(source);
    TablePath to = SplitTablePath(target);
    EngineConnection sourceConnection(from.folder);
    EngineTable input(sourceConnection.handle(), from.name, ADS_READONLY);
    std::string password = UnlockWith(input, passwords_, source);
    // One read transaction: the table is copied as it was at its first read.
    EngineTransaction snapshot(sourceConnection, source);
    std::vector<FieldInfo> fields = input.Fields();
    std::vector<IndexInfo> indexes = input.Indexes();
    UNSIGNED32 total = 0;
    Check(AdsGetRecordCount(input.handle(), ADS_IGNOREFILTERS, &total), source);
    std::string fieldList = FieldList(fields);

    EngineConnection targetConnection(to.folder);
    ADSHANDLE connection = targetConnection.handle();
    auto create = [&](ADSHANDLE& handle) {
        return AdsCreateTable(connection, ads::EngineText(to.name), nullptr, ADS_ADT, ADS_ANSI,
                              ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0,
                              ads::EngineText(fieldList), &handle);
    };
    ADSHANDLE created = 0;
    UNSIGNED32 rc = create(created);
    if (rc == AE_ALREADY_EXISTS && replace) {
        Check(AdsDeleteTable(connection, ads::EngineText(to.name)), target);
        rc = create(created);
    }
    if (rc == AE_ALREADY_EXISTS)
        throw ToolError(target + ": " + EngineErrorText() + " Give --replace to replace it.");
    Check(rc, target);

    // From here on a failure removes the half-made table.
    uint64_t rows = 0;
    try {
        {
            EngineTable output(created, target);
            for (const auto& index : indexes) {
                std::string expression;
                for (const auto& s : index.segments)
                    expression += (expression.empty() ? "" : ";") + s;
                UNSIGNED32 options =
                    (index.unique ? ADS_UNIQUE : 0u) | (index.descending ? ADS_DESCENDING : 0u);
                ADSHANDLE indexHandle = 0;
                Check(AdsCreateIndex61(output.handle(), nullptr, ads::EngineText(index.name),
                                       ads::EngineText(expression), nullptr, nullptr, options, 512,
                                       &indexHandle),
                      target + ": index " + index.name);
            }
        }
        if (!password.empty()) {
            EngineTable exclusive(connection, to.name, ADS_EXCLUSIVE);
            exclusive.EnablePassword(password);
            Check(AdsEncryptTable(exclusive.handle()), target);
        }
        Digest written;
        {
            EngineTable output(connection, to.name, 0);
            if (!password.empty()) output.EnablePassword(password);
            EngineTransaction transaction(targetConnection, target);
            written = CopyRows(input, output, fields, total, source, target);
            transaction.Commit();
        }
        // The check reads the copy afresh, as any later user of it will.
        EngineTable check(connection, to.name, ADS_READONLY);
        if (!password.empty()) check.EnablePassword(password);
        if (!SameStructure(check.Fields(), fields) || !SameIndexes(check.Indexes(), indexes))
            throw ToolError(target + ": the copy's fields or index tags differ from the source's");
        Digest read = ReadBack(check, fields, target);
        if (read.rows != written.rows)
            throw ToolError(target + ": the copy has " + std::to_string(read.rows) +
                            " rows where the source has " + std::to_string(written.rows));
        if (read.checksum != written.checksum)
            throw ToolError(target + ": the copy's values differ from the source's");
        rows = read.rows;
    } catch (const std::exception& e) {
        std::string what = e.what();
        if (AdsDeleteTable(connection, ads::EngineText(to.name)) == AE_SUCCESS)
            throw ToolError(what + "; the copy " + target + " was removed");
        throw ToolError(what + "; the copy " + target +
                        " could not be removed: " + EngineErrorText());
    }
    out_ << "copied " << Shown(source) << " to " << Shown(target) << " (" << rows << " row"
         << (rows == 1 ? "" : "s") << ", checked)\n"
         << std::flush;
}

// A dictionary that a program has open has its -wal and -shm files beside it; the -wal file then
// holds changes that the dictionary's own file lacks.
bool DictionaryInUse(const fs::path& file) {
    std::error_code ec;
    for (const char* companion : {"-wal", "-shm"})
        if (fs::exists(file.string() + companion, ec)) return true;
    return false;
}

void RefuseDictionaryInUse(const fs::path& file) {
    if (DictionaryInUse(file))
        throw ToolError(file.string() +
                        ": the dictionary is in use (its -wal or -shm file is there); close the "
                        "programs that use it and copy again");
}

// A file copied as it is (the startup configuration, a data dictionary): written beside the
// target under a name of its own and renamed into place when whole, private to its owner and
// group. A dictionary is copied only while no program has it open, as its -wal file then holds
// changes its file lacks, and is read twice so that a change during the copy is noticed.
void CopyWholeFile(const fs::path& from, const fs::path& to, bool dictionary) {
    std::error_code ec;
    if (dictionary) RefuseDictionaryInUse(from);
    if (dictionary && DictionaryInUse(to))
        throw ToolError(to.string() +
                        ": the dictionary is in use (its -wal or -shm file is there); it cannot "
                        "be replaced now");
    auto slurp = [](const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        if (!in && !in.eof())
            throw ToolError(file.string() + ": cannot be read (" + std::strerror(errno) + ")");
        return bytes.str();
    };
    std::string bytes = slurp(from);
    fs::path staging = to.parent_path() /
                       (".velda-copy-" + std::to_string(::getpid()) + "-" + to.filename().string());
    int fd = ::open(staging.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0660);
    if (fd < 0) throw ToolError(to.string() + ": cannot be written (" + std::strerror(errno) + ")");
    rtl::TRemoveAtSignal removeAtSignal(staging.string());
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    int error = done == bytes.size() && ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    if (error || done != bytes.size()) {
        fs::remove(staging, ec);
        throw ToolError(to.string() + ": cannot be written (" + std::strerror(error ? error : EIO) +
                        ")");
    }
    if (dictionary && (slurp(from) != bytes || DictionaryInUse(from))) {
        fs::remove(staging, ec);
        throw ToolError(from.string() + ": the dictionary changed while it was copied; copy again");
    }
    fs::rename(staging, to, ec);
    if (ec) {
        fs::remove(staging, ec);
        throw ToolError(to.string() + ": cannot be written (" + ec.message() + ")");
    }
}

// What one run copies: folders to make, tables, and files copied as they are.
struct Plan {
    std::vector<fs::path> folders;
    std::vector<std::pair<std::string, std::string>> tables;
    struct File {
        fs::path from, to;
        bool dictionary = false;
    };
    std::vector<File> files;
    // What is left out, one line each, printed after the copy.
    std::vector<std::string> notes;
};

// Whether two server paths name the same table as far as their text tells: the same folder and
// the same name, in any case, ".adt" optional. A path that names the same table another way
// (another spelling of the host) is not caught; this keeps --replace from removing the source
// given twice.
bool SameServerTable(const std::string& a, const std::string& b) {
    auto key = [](const std::string& path) {
        TablePath parts = SplitTablePath(path);
        std::string folder = parts.folder;
        std::replace(folder.begin(), folder.end(), '\\', '/');
        std::string name = parts.name;
        if (EndsWithNoCase(name, ".adt")) name.resize(name.size() - 4);
        std::string text = folder + "|" + name;
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    };
    return key(a) == key(b);
}

// A company folder: every table of it, and its dictionaries.
void PlanCompany(const fs::path& source, const std::string& target, bool serverTarget, Plan& plan) {
    if (!serverTarget) plan.folders.emplace_back(target);
    for (const auto& name : FilesEndingWith(source, ".adt"))
        plan.tables.emplace_back((source / name).string(), JoinPath(target, name));
    for (const auto& name : FilesEndingWith(source, ".add")) {
        if (serverTarget)
            throw ToolError((source / name).string() +
                            ": a data dictionary cannot be copied to a server: the engine keeps "
                            "dictionaries in folders only");
        RefuseDictionaryInUse(source / name);
        plan.files.push_back({source / name, fs::path(JoinPath(target, name)), true});
    }
}

// The company codes of the company list, in record order.
std::vector<std::string> CompanyCodes(const std::string& list,
                                      const std::vector<std::string>& passwords) {
    TablePath parts = SplitTablePath(list);
    EngineConnection connection(parts.folder);
    EngineTable table(connection.handle(), parts.name, ADS_READONLY);
    UnlockWith(table, passwords, list);
    std::vector<std::string> codes;
    ADSHANDLE h = table.handle();
    Check(AdsGotoTop(h), list);
    for (;;) {
        UNSIGNED16 eof = 0;
        Check(AdsAtEOF(h, &eof), list);
        if (eof) break;
        char buffer[256];
        UNSIGNED32 length = sizeof buffer;
        Check(AdsGetField(h, ads::EngineText("COMPANY_CODE"), reinterpret_cast<UNSIGNED8*>(buffer),
                          &length, ADS_NONE),
              list);
        std::string code(buffer, std::min<size_t>(length, sizeof buffer));
        while (!code.empty() && code.back() == ' ') code.pop_back();
        if (!code.empty()) codes.push_back(code);
        Check(AdsSkip(h, 1), list);
    }
    return codes;
}

Plan MakePlan(const std::string& source, const std::string& target,
              const std::vector<std::string>& passwords) {
    Plan plan;
    bool serverTarget = IsServerPath(target);
    std::error_code ec;
    bool folderSource = !IsServerPath(source) && fs::is_directory(source, ec);
    if (!folderSource) {
        if (IsServerPath(source) && EndsWithSeparator(source))
            throw ToolError(source +
                            ": a folder on a server cannot be copied yet: the engine cannot list "
                            "the tables of a folder on a server; copy its tables one at a time");
        // One table. Its name in a target folder is the source file's own, found as the engine
        // finds it (any case, ".adt" optional).
        TablePath parts = SplitTablePath(source);
        std::string name = parts.name;
        if (!IsServerPath(source)) {
            fs::path file = FindEntry(parts.folder, parts.name, true, false);
            if (!file.empty()) name = file.filename().string();
        }
        if (name.find('.') == std::string::npos) name += ".adt";
        bool folderTarget =
            EndsWithSeparator(target) || (!serverTarget && fs::is_directory(target, ec));
        std::string to = folderTarget ? JoinPath(target, name) : target;
        if (!IsServerPath(source) && !serverTarget) {
            // --replace must never remove the source itself.
            TablePath toParts = SplitTablePath(to);
            fs::path a = FindEntry(parts.folder, parts.name, true, false);
            fs::path b = FindEntry(toParts.folder, toParts.name, true, false);
            if (!a.empty() && !b.empty() && fs::equivalent(a, b, ec))
                throw ToolError(to + ": is the source table itself");
        }
        if (IsServerPath(source) && serverTarget && SameServerTable(source, to))
            throw ToolError(to + ": is the source table itself");
        // A local folder named as the target with a separator at its end is made if missing.
        if (!serverTarget && EndsWithSeparator(target)) plan.folders.emplace_back(target);
        plan.tables.emplace_back(source, to);
        return plan;
    }
    if (!serverTarget && fs::exists(target, ec) && fs::equivalent(source, target, ec))
        throw ToolError(target + ": is the source folder itself");
    fs::path from(source);
    fs::path list = FindEntry(from, "MCOMPANY", true, false);
    if (list.empty()) {
        PlanCompany(from, target, serverTarget, plan);
        if (plan.tables.empty() && plan.files.empty())
            throw ToolError(source + ": holds no tables and no data dictionary");
        return plan;
    }
    // A program folder: its startup configuration, the company list and every company of it.
    if (!serverTarget) plan.folders.emplace_back(target);
    if (fs::path ini = FindEntry(from, "VELDA.ini", false, false); !ini.empty()) {
        if (!serverTarget)
            plan.files.push_back({ini, fs::path(JoinPath(target, ini.filename().string())), false});
        else
            plan.notes.push_back("not copied: " + ini.string() +
                                 " (a server keeps tables only; velda reads it from its folder)");
    }
    plan.tables.emplace_back(list.string(), JoinPath(target, list.filename().string()));
    std::vector<std::string> codes = CompanyCodes(list.string(), passwords);
    fs::path companies = FindEntry(from, "COMPANY", false, true);
    std::string companiesName = companies.empty() ? "COMPANY" : companies.filename().string();
    for (const auto& code : codes) {
        // A code names a folder below COMPANY/, never one elsewhere.
        if (code == "." || code == ".." || code.find_first_of("/\\") != std::string::npos)
            throw ToolError(list.string() + ": the company code '" + code +
                            "' is not the name of a folder");
        fs::path folder = companies.empty() ? fs::path() : FindEntry(companies, code, false, true);
        if (folder.empty())
            throw ToolError((from / companiesName / code).string() + ": the company " + code +
                            " of the company list has no folder");
        PlanCompany(folder, JoinPath(JoinPath(target, companiesName), folder.filename().string()),
                    serverTarget, plan);
    }
    return plan;
}

}  // namespace

int Copy(const Args& args, std::ostream& out, std::ostream& err) {
    Options options(args, {"password"}, {"replace"}, {"password"});
    if (options.positional().size() != 2)
        throw ToolError("copy: expected 2 arguments (see 'velda-db copy --help')");
    const std::string& source = options.positional()[0];
    const std::string& target = options.positional()[1];
    bool replace = options.has("replace");
    Fault fault = FaultFromEnvironment();
    std::vector<std::string> passwords = TablePasswords(options);
    for (const auto& password : passwords)
        if (password.empty()) throw ToolError("copy: a table password is empty");

    Plan plan = MakePlan(source, target, passwords);
    // Everything the copy would replace is named before anything is copied.
    if (!replace) {
        std::vector<std::string> existing;
        std::error_code ec;
        for (const auto& [from, to] : plan.tables)
            if (TableExists(to)) existing.push_back(to);
        for (const auto& file : plan.files)
            if (fs::exists(file.to, ec)) existing.push_back(file.to.string());
        if (!existing.empty())
            throw ToolError(existing.front() + ": exists already" +
                            (existing.size() > 1
                                 ? " (and " + std::to_string(existing.size() - 1) + " more)"
                                 : std::string()) +
                            "; give --replace to replace " + (existing.size() > 1 ? "them" : "it"));
    }
    // Every source opens with a password given, before anything is written.
    for (const auto& [from, to] : plan.tables) {
        TablePath parts = SplitTablePath(from);
        EngineConnection connection(parts.folder);
        EngineTable table(connection.handle(), parts.name, ADS_READONLY);
        UnlockWith(table, passwords, from);
    }
    for (const auto& folder : plan.folders) MakePrivateFolders(folder);
    Copier copier(passwords, out, ::isatty(STDERR_FILENO) ? &err : nullptr, fault);
    for (const auto& [from, to] : plan.tables) copier.CopyTable(from, to, replace);
    for (const auto& file : plan.files) {
        CopyWholeFile(file.from, file.to, file.dictionary);
        out << "copied " << file.from.string() << " to " << file.to.string() << "\n";
    }
    for (const auto& note : plan.notes) out << note << "\n";
    if (plan.tables.size() + plan.files.size() > 1)
        out << "copied " << plan.tables.size() << " table" << (plan.tables.size() == 1 ? "" : "s")
            << (plan.files.empty() ? ""
                                   : " and " + std::to_string(plan.files.size()) + " file" +
                                         (plan.files.size() == 1 ? "" : "s"))
            << " from " << Shown(source) << " to " << Shown(target) << "\n";
    return 0;
}

}  // namespace veldadb
