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
// A copy of several tables (a company, a program folder) is whole or not at all too: when one
// part fails, every table, file and dictionary the run made before it is removed again.
//
// Data dictionaries: between two local folders a dictionary is copied as its file, exactly as
// stored. To or from a server it is copied through the engine's dictionary calls, logged in as
// its administrator (ADSSYS, the password in VELDA_DB_ADMIN_PASSWORD): the users with their
// password hashes (never a password), the tables registered by the same paths relative to the
// dictionary's folder with their default index tags, and the description; the copy is read back
// and compared before it counts.
//
// What the engine's calls do not offer, and how the copy stands without it:
//   - a table's next auto-increment value: every row keeps its own value, and the engine moves a
//     table's counter up to the highest value written, so the copy's counter is the highest value
//     copied (a source whose last rows were deleted had a higher one);
//   - a chosen record number for a new row: rows keep their order and are numbered from 1, without
//     the gaps deleted records left;
//   - the dictionaries of a folder on a server: the one a company folder there has is the one the
//     program opens, named as the folder ("COMPANY/A01/A01.ADD"), so that is the one looked for;
//   - a dictionary user's group and description, and a registered table's comments and index
//     files, which the program does not use: a dictionary copied through the engine has them
//     empty.
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <random>
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
// binary and image values, which the check after the copy must catch. "fail-table=N" makes the
// N-th table of a run fail after its rows, and "fail-dictionary=N" the N-th dictionary copied
// through the engine after its users and tables, so that the tests can show that a failure in
// the middle of a run removes what the run made before it.
constexpr const char* kFaultVariable = "VELDA_DB_COPY_TEST_FAULT";

struct Fault {
    enum class Kind {
        None,
        FailAfterRows,
        DropRow,
        BlankRow,
        FailTable,
        FailDictionary
    } kind = Kind::None;
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
        {"blank-row=", Fault::Kind::BlankRow},
        {"fail-table=", Fault::Kind::FailTable},
        {"fail-dictionary=", Fault::Kind::FailDictionary}};
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
    uint64_t tables_ = 0;  // begun in this run
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
    ++tables_;
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
            if (fault_.kind == Fault::Kind::FailTable && fault_.row == tables_)
                throw ToolError(target + ": the write failed (" + kFaultVariable + ")");
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

// The name of the variable that holds a dictionary's administrator password, as for the dict
// commands; without it the copy logs in with the empty password a new dictionary starts with.
constexpr const char* kAdminPasswordVariable = "VELDA_DB_ADMIN_PASSWORD";
constexpr const char* kAdministrator = "ADSSYS";

std::string AdminPassword() {
    const char* value = std::getenv(kAdminPasswordVariable);
    return value ? value : "";
}

// A text out of an engine call that fills a buffer, retried once with the size it asks for.
template <class Call>
std::string ReadText(Call call, const std::string& where) {
    std::string buffer(256, '\0');
    auto length = static_cast<UNSIGNED16>(buffer.size());
    UNSIGNED32 rc = call(buffer.data(), &length);
    if (rc == AE_BUFFER_TOO_SMALL) {
        buffer.assign(length, '\0');
        rc = call(buffer.data(), &length);
    }
    Check(rc, where);
    buffer.resize(length);
    return buffer;
}

// Every name a listing hands out: the first call starts it (AE_FILE_NOT_FOUND: none), the next
// goes on, the last closes it.
template <class First, class Next, class Close>
std::vector<std::string> ReadListing(First first, Next next, Close close,
                                     const std::string& where) {
    std::vector<std::string> names;
    char buffer[1024];
    UNSIGNED16 length = sizeof buffer;
    ADSHANDLE find = 0;
    UNSIGNED32 rc = first(reinterpret_cast<UNSIGNED8*>(buffer), &length, &find);
    if (rc == AE_FILE_NOT_FOUND) return names;
    Check(rc, where);
    struct Closer {
        Close& close;
        ADSHANDLE find;
        ~Closer() { (void)close(find); }
    } closer{close, find};
    for (;;) {
        names.emplace_back(buffer, length);
        length = sizeof buffer;
        rc = next(find, reinterpret_cast<UNSIGNED8*>(buffer), &length);
        if (rc == AE_FILE_NOT_FOUND) break;
        Check(rc, where);
    }
    return names;
}

// The tables of a folder, local or on a server, as the engine lists them (in byte order).
std::vector<std::string> FolderTables(const std::string& folder) {
    EngineConnection connection(folder);
    ADSHANDLE c = connection.handle();
    return ReadListing(
        [&](UNSIGNED8* name, UNSIGNED16* length, ADSHANDLE* find) {
            return AdsFindFirstTable(c, nullptr, name, length, find);
        },
        [&](ADSHANDLE find, UNSIGNED8* name, UNSIGNED16* length) {
            return AdsFindNextTable(c, find, name, length);
        },
        [&](ADSHANDLE find) { return AdsFindClose(c, find); }, folder);
}

// What a data dictionary holds, as its administrator reads it through the engine: users with
// their password hashes (never a password), registered tables with their paths and default
// index tags, and its description.
struct DictionaryContent {
    std::string description;
    struct User {
        std::string name, hash;
    };
    std::vector<User> users;
    struct Table {
        std::string name, path;
        std::optional<std::string> defaultIndex;
    };
    std::vector<Table> tables;
};

// A connection to a dictionary as its administrator; a password that does not open it says
// where the copy takes it from.
std::unique_ptr<EngineConnection> AdministratorOf(const std::string& dictionary) {
    try {
        return std::make_unique<EngineConnection>(dictionary, kAdministrator, AdminPassword());
    } catch (const ToolError& e) {
        UNSIGNED32 code = 0;
        (void)AdsGetLastError(&code, nullptr, nullptr);
        if (code == AE_LOGIN_FAILED)
            throw ToolError(std::string(e.what()) + " (the copy logs in as " + kAdministrator +
                            " with the password in " + kAdminPasswordVariable +
                            ", or an empty one when it is not set)");
        throw;
    }
}

DictionaryContent ReadDictionary(const std::string& dictionary) {
    std::unique_ptr<EngineConnection> admin = AdministratorOf(dictionary);
    ADSHANDLE h = admin->handle();
    const std::string where = Shown(dictionary);
    DictionaryContent content;
    content.description = ReadText(
        [&](char* buffer, UNSIGNED16* length) {
            return AdsDDGetDatabaseProperty(h, ADS_DD_COMMENT, buffer, length);
        },
        where);
    auto list = [&](UNSIGNED16 type) {
        return ReadListing(
            [&](UNSIGNED8* name, UNSIGNED16* length, ADSHANDLE* find) {
                return AdsDDFindFirstObject(h, type, nullptr, name, length, find);
            },
            [&](ADSHANDLE find, UNSIGNED8* name, UNSIGNED16* length) {
                return AdsDDFindNextObject(h, find, name, length);
            },
            [&](ADSHANDLE find) { return AdsDDFindClose(h, find); }, where);
    };
    for (const auto& name : list(ADS_DD_USER_OBJECT)) {
        std::string hash = ReadText(
            [&](char* buffer, UNSIGNED16* length) {
                return AdsDDGetUserProperty(h, ads::EngineText(name), ADS_DD_USER_PASSWORD_HASH,
                                            buffer, length);
            },
            where + ": user " + name);
        content.users.push_back({name, std::move(hash)});
    }
    for (const auto& name : list(ADS_DD_TABLE_OBJECT)) {
        DictionaryContent::Table table;
        table.name = name;
        table.path = ReadText(
            [&](char* buffer, UNSIGNED16* length) {
                return AdsDDGetTableProperty(h, ads::EngineText(name), ADS_DD_TABLE_PATH, buffer,
                                             length);
            },
            where + ": table " + name);
        char buffer[512];
        UNSIGNED16 length = sizeof buffer;
        UNSIGNED32 rc = AdsDDGetTableProperty(h, ads::EngineText(name), ADS_DD_TABLE_DEFAULT_INDEX,
                                              buffer, &length);
        if (rc == AE_SUCCESS)
            table.defaultIndex = std::string(buffer, length);
        else if (rc != AE_PROPERTY_NOT_SET)
            Check(rc, where + ": table " + name);
        content.tables.push_back(std::move(table));
    }
    return content;
}

// Whether a dictionary is at the path: a local file in any case, or one the server knows.
bool DictionaryExists(const std::string& path) {
    if (!IsServerPath(path)) {
        TablePath parts = SplitTablePath(path);
        std::error_code ec;
        return fs::is_directory(parts.folder, ec) &&
               !FindEntry(parts.folder, parts.name, false, false).empty();
    }
    ADSHANDLE h = 0;
    UNSIGNED32 rc =
        AdsConnect60(ads::EngineText(path), ADS_REMOTE_SERVER, ads::EngineText(kAdministrator),
                     ads::EngineText(AdminPassword()), 0, &h);
    if (h) (void)AdsDisconnect(h);
    return rc != AE_FILE_NOT_FOUND;
}

// A password no one knows, which a copied user holds until their own password's hash replaces
// it, so that no one can log in as them in between.
std::string UnknownPassword() {
    std::random_device random;
    std::string password;
    static const char* hex = "0123456789abcdef";
    for (int i = 0; i < 40; ++i) password += hex[random() % 16];
    return password;
}

bool SameNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0;
}

// Writes a dictionary at `to` with the content read from another, its tables registered by the
// same paths (relative to its folder, where the copy has put the tables). An existing one is
// removed first when replace is set. The new dictionary is read back through the engine as its
// administrator and checked against the content; any failure removes it.
void WriteDictionary(const std::string& from, const std::string& to,
                     const DictionaryContent& content, bool replace, bool fail, std::ostream& out) {
    const std::string where = Shown(to);
    if (replace && DictionaryExists(to)) {
        if (!IsServerPath(to)) {
            TablePath parts = SplitTablePath(to);
            fs::path file = FindEntry(parts.folder, parts.name, false, false);
            if (DictionaryInUse(file))
                throw ToolError(file.string() +
                                ": the dictionary is in use (its -wal or -shm file is there); it "
                                "cannot be replaced now");
        }
        std::unique_ptr<EngineConnection> old = AdministratorOf(to);
        Check(AdsDDRemove(old->handle()), where + ": the dictionary there cannot be replaced");
    }
    ADSHANDLE h = 0;
    Check(AdsDDCreate(ads::EngineText(to), 0, ads::EngineText(content.description), &h), where);
    try {
        const std::string unknown = UnknownPassword();
        auto setHash = [&](const std::string& user, const std::string& hash) {
            Check(AdsDDSetUserProperty(h, ads::EngineText(user), ADS_DD_USER_PASSWORD_HASH,
                                       ads::EngineText(hash),
                                       static_cast<UNSIGNED16>(hash.size() + 1)),
                  where + ": user " + user);
        };
        // The administrator's own password first: a new dictionary lets its administrator in
        // with an empty password, and this run's connection stays logged in all the same.
        for (const auto& user : content.users)
            if (SameNoCase(user.name, kAdministrator)) setHash(user.name, user.hash);
        for (const auto& user : content.users) {
            if (SameNoCase(user.name, kAdministrator)) continue;
            Check(AdsDDCreateUser(h, nullptr, ads::EngineText(user.name), ads::EngineText(unknown),
                                  ads::EngineText("")),
                  where + ": user " + user.name);
            setHash(user.name, user.hash);
        }
        for (const auto& table : content.tables) {
            Check(AdsDDAddTable(h, ads::EngineText(table.name), ads::EngineText(table.path),
                                ADS_ADT, ADS_ANSI, ads::EngineText(""), ads::EngineText("")),
                  where + ": table " + table.name);
            if (table.defaultIndex)
                Check(AdsDDSetTableProperty(
                          h, ads::EngineText(table.name), ADS_DD_TABLE_DEFAULT_INDEX,
                          ads::EngineText(*table.defaultIndex),
                          static_cast<UNSIGNED16>(table.defaultIndex->size() + 1)),
                      where + ": table " + table.name);
        }
        if (fail) throw ToolError(where + ": the write failed (" + kFaultVariable + ")");

        // The check reads the copy afresh, logged in as its administrator with the password the
        // source took.
        DictionaryContent copy = ReadDictionary(to);
        if (copy.description != content.description)
            throw ToolError(where + ": the copy's description differs from the source's");
        bool sameUsers = copy.users.size() == content.users.size();
        for (size_t i = 0; sameUsers && i < copy.users.size(); ++i)
            sameUsers = copy.users[i].name == content.users[i].name &&
                        copy.users[i].hash == content.users[i].hash;
        if (!sameUsers)
            throw ToolError(where + ": the copy's users or passwords differ from the source's");
        bool sameTables = copy.tables.size() == content.tables.size();
        for (size_t i = 0; sameTables && i < copy.tables.size(); ++i)
            sameTables = copy.tables[i].name == content.tables[i].name &&
                         SameNoCase(copy.tables[i].path, content.tables[i].path) &&
                         copy.tables[i].defaultIndex == content.tables[i].defaultIndex;
        if (!sameTables)
            throw ToolError(where +
                            ": the copy's tables or their properties differ from the source's");
    } catch (const std::exception& e) {
        std::string what = e.what();
        if (AdsDDRemove(h) == AE_SUCCESS)
            throw ToolError(what + "; the copy " + where + " was removed");
        std::string error = EngineErrorText();
        (void)AdsDisconnect(h);
        throw ToolError(what + "; the copy " + where + " could not be removed: " + error);
    }
    (void)AdsDisconnect(h);
    out << "copied " << Shown(from) << " to " << where << " (" << content.users.size() << " user"
        << (content.users.size() == 1 ? "" : "s") << ", " << content.tables.size() << " table"
        << (content.tables.size() == 1 ? "" : "s") << ", checked)\n"
        << std::flush;
}

// What one run copies: folders to make, tables, files copied as they are, and data
// dictionaries copied through the engine (to or from a server).
struct Plan {
    std::vector<fs::path> folders;
    std::vector<std::pair<std::string, std::string>> tables;
    struct File {
        fs::path from, to;
        bool dictionary = false;
    };
    std::vector<File> files;
    struct Dictionary {
        std::string from, to;
        DictionaryContent content;
    };
    std::vector<Dictionary> dictionaries;
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

// A dictionary copied through the engine registers the copied tables by the paths it had, so
// each must name a table of the dictionary's own folder; one registered elsewhere is refused
// before anything is copied (a copy between two local folders keeps it, as a file).
void CheckRegisteredTables(const std::string& dictionary, const DictionaryContent& content,
                           const std::vector<std::string>& tables) {
    for (const auto& table : content.tables) {
        const std::string& path = table.path;
        if (path.empty() || path.find_first_of("/\\") != std::string::npos || path == "." ||
            path == "..")
            throw ToolError(Shown(dictionary) + ": the table " + table.name + " is registered at " +
                            path +
                            ", outside the dictionary's folder; only a copy from one local folder "
                            "to another keeps such a dictionary");
        bool found = false;
        for (const auto& name : tables)
            found = found || SameNoCase(name, path) ||
                    (!EndsWithNoCase(path, ".adt") && SameNoCase(name, path + ".adt"));
        if (!found)
            throw ToolError(Shown(dictionary) + ": the table " + table.name + " is registered at " +
                            path + ", which is not a table of the dictionary's folder");
    }
}

// A company folder, local or on a server: every table of it, and its dictionaries. A local
// folder's dictionaries are its .ADD files; a folder on a server is looked at for the one the
// program opens there, named as the folder ("A01/A01.ADD"), as the engine lists no dictionaries.
// A dictionary goes as its file between local folders, else through the engine.
void PlanCompany(const std::string& source, const std::string& target, bool serverTarget,
                 Plan& plan) {
    const bool serverSource = IsServerPath(source);
    if (!serverTarget) plan.folders.emplace_back(target);
    std::vector<std::string> tables = FolderTables(source);
    for (const auto& name : tables)
        plan.tables.emplace_back(JoinPath(source, name), JoinPath(target, name));
    std::vector<std::string> dictionaries;
    if (!serverSource) {
        dictionaries = FilesEndingWith(source, ".add");
    } else {
        std::string folder = source;
        while (EndsWithSeparator(folder)) folder.pop_back();
        std::string name = SplitTablePath(folder).name + ".ADD";
        if (name != ".ADD" && DictionaryExists(JoinPath(source, name)))
            dictionaries.push_back(name);
    }
    for (const auto& name : dictionaries) {
        const std::string from = JoinPath(source, name), to = JoinPath(target, name);
        if (!serverSource && !serverTarget) {
            RefuseDictionaryInUse(from);
            plan.files.push_back({fs::path(from), fs::path(to), true});
            continue;
        }
        DictionaryContent content = ReadDictionary(from);
        CheckRegisteredTables(from, content, tables);
        plan.dictionaries.push_back({from, to, std::move(content)});
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

// The program folder's parts that are not tables: its startup configuration goes between local
// folders; a server keeps none, which the notes say.
void PlanStartup(const std::string& source, const std::string& target, bool serverTarget,
                 Plan& plan) {
    if (IsServerPath(source)) {
        plan.notes.push_back("not made: " + JoinPath(target, "VELDA.ini") +
                             " (a server keeps none; write it there, with DICTIONARY=YES for "
                             "companies with data dictionaries)");
        return;
    }
    if (fs::path ini = FindEntry(source, "VELDA.ini", false, false); !ini.empty()) {
        if (!serverTarget)
            plan.files.push_back({ini, fs::path(JoinPath(target, ini.filename().string())), false});
        else
            plan.notes.push_back("not copied: " + ini.string() +
                                 " (a server keeps tables only; velda reads it from its folder)");
    }
}

// Whether a server path names a folder rather than a table: it ends with a separator, or no
// table of that name is there.
bool NamesServerFolder(const std::string& path) {
    return EndsWithSeparator(path) || !TableExists(path);
}

// A server folder path's text for comparisons: lower case, without separators at its end and
// without its password, which names no other folder.
std::string FolderKey(const std::string& given) {
    std::string path = Shown(given);
    while (EndsWithSeparator(path)) path.pop_back();
    std::transform(path.begin(), path.end(), path.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return path;
}

Plan MakePlan(const std::string& source, const std::string& target,
              const std::vector<std::string>& passwords) {
    Plan plan;
    bool serverTarget = IsServerPath(target);
    const bool serverSource = IsServerPath(source);
    std::error_code ec;
    bool folderSource = serverSource ? NamesServerFolder(source) : fs::is_directory(source, ec);
    if (!folderSource) {
        // One table. Its name in a target folder is the source file's own, found as the engine
        // finds it (any case, ".adt" optional).
        TablePath parts = SplitTablePath(source);
        std::string name = parts.name;
        if (!serverSource) {
            fs::path file = FindEntry(parts.folder, parts.name, true, false);
            if (!file.empty()) name = file.filename().string();
        }
        if (name.find('.') == std::string::npos) name += ".adt";
        bool folderTarget =
            EndsWithSeparator(target) || (!serverTarget && fs::is_directory(target, ec));
        std::string to = folderTarget ? JoinPath(target, name) : target;
        if (!serverSource && !serverTarget) {
            // --replace must never remove the source itself.
            TablePath toParts = SplitTablePath(to);
            fs::path a = FindEntry(parts.folder, parts.name, true, false);
            fs::path b = FindEntry(toParts.folder, toParts.name, true, false);
            if (!a.empty() && !b.empty() && fs::equivalent(a, b, ec))
                throw ToolError(to + ": is the source table itself");
        }
        if (serverSource && serverTarget && SameServerTable(source, to))
            throw ToolError(to + ": is the source table itself");
        // A local folder named as the target with a separator at its end is made if missing.
        if (!serverTarget && EndsWithSeparator(target)) plan.folders.emplace_back(target);
        plan.tables.emplace_back(source, to);
        return plan;
    }
    if (!serverSource && !serverTarget && fs::exists(target, ec) &&
        fs::equivalent(source, target, ec))
        throw ToolError(target + ": is the source folder itself");
    if (serverSource && serverTarget && FolderKey(source) == FolderKey(target))
        throw ToolError(target + ": is the source folder itself");

    // The company list, found as the engine finds tables (any case, ".adt" optional).
    std::string list;
    if (serverSource) {
        for (const auto& name : FolderTables(source))
            if (SameNoCase(name, "MCOMPANY.adt")) list = JoinPath(source, name);
    } else if (fs::path file = FindEntry(source, "MCOMPANY", true, false); !file.empty()) {
        list = file.string();
    }
    if (list.empty()) {
        PlanCompany(source, target, serverTarget, plan);
        if (plan.tables.empty() && plan.files.empty() && plan.dictionaries.empty())
            throw ToolError(source + ": holds no tables and no data dictionary");
        return plan;
    }
    // A program folder: its startup configuration, the company list and every company of it.
    if (!serverTarget) plan.folders.emplace_back(target);
    PlanStartup(source, target, serverTarget, plan);
    plan.tables.emplace_back(list, JoinPath(target, SplitTablePath(list).name));
    std::vector<std::string> codes = CompanyCodes(list, passwords);
    std::string companiesName = "COMPANY";
    fs::path companies;
    if (!serverSource) {
        companies = FindEntry(source, "COMPANY", false, true);
        if (!companies.empty()) companiesName = companies.filename().string();
    }
    for (const auto& code : codes) {
        // A code names a folder below COMPANY/, never one elsewhere.
        if (code == "." || code == ".." || code.find_first_of("/\\") != std::string::npos)
            throw ToolError(list + ": the company code '" + code + "' is not the name of a folder");
        const std::string missing = JoinPath(JoinPath(source, companiesName), code) +
                                    ": the company " + code + " of the company list has no folder";
        std::string folder, name = code;
        if (serverSource) {
            // A folder on a server is there when it holds a table or a dictionary.
            folder = JoinPath(JoinPath(source, companiesName), code) + "/";
            size_t before = plan.tables.size() + plan.dictionaries.size();
            PlanCompany(folder, JoinPath(JoinPath(target, companiesName), code), serverTarget,
                        plan);
            if (plan.tables.size() + plan.dictionaries.size() == before) throw ToolError(missing);
            continue;
        }
        fs::path local = companies.empty() ? fs::path() : FindEntry(companies, code, false, true);
        if (local.empty()) throw ToolError(missing);
        PlanCompany(local.string(),
                    JoinPath(JoinPath(target, companiesName), local.filename().string()),
                    serverTarget, plan);
    }
    return plan;
}

// What a run has made so far, removed again when a later step fails, so that a failed copy
// leaves no half of itself behind.
class MadeSoFar {
  public:
    void Folder(const fs::path& folder) { folders_.push_back(folder); }
    void Table(const std::string& path) { tables_.push_back(path); }
    void File(const fs::path& file) { files_.push_back(file); }
    void Dictionary(const std::string& path) { dictionaries_.push_back(path); }
    size_t count() const { return tables_.size() + files_.size() + dictionaries_.size(); }

    // Removes it all, the last made first; answers what could not be removed, if anything.
    std::string RemoveAll() {
        std::string left;
        for (auto it = dictionaries_.rbegin(); it != dictionaries_.rend(); ++it) {
            ADSHANDLE h = 0;
            UNSIGNED16 type = IsServerPath(*it) ? ADS_REMOTE_SERVER : ADS_LOCAL_SERVER;
            if (AdsConnect60(ads::EngineText(*it), type, ads::EngineText(kAdministrator),
                             ads::EngineText(AdminPassword()), 0, &h) != AE_SUCCESS ||
                AdsDDRemove(h) != AE_SUCCESS) {
                left += (left.empty() ? "" : ", ") + Shown(*it) + " (" + EngineErrorText() + ")";
                if (h) (void)AdsDisconnect(h);
            }
        }
        std::error_code ec;
        for (auto it = files_.rbegin(); it != files_.rend(); ++it)
            if (!fs::remove(*it, ec) && ec)
                left += (left.empty() ? "" : ", ") + it->string() + " (" + ec.message() + ")";
        for (auto it = tables_.rbegin(); it != tables_.rend(); ++it) {
            TablePath parts = SplitTablePath(*it);
            ADSHANDLE c = 0;
            if (AdsConnect(ads::EngineText(parts.folder), &c) != AE_SUCCESS ||
                AdsDeleteTable(c, ads::EngineText(parts.name)) != AE_SUCCESS)
                left += (left.empty() ? "" : ", ") + Shown(*it) + " (" + EngineErrorText() + ")";
            if (c) (void)AdsDisconnect(c);
        }
        // Folders this run made, the deepest first, when nothing else is left in them.
        for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) fs::remove(*it, ec);
        return left;
    }

  private:
    std::vector<fs::path> folders_;
    std::vector<std::string> tables_;
    std::vector<fs::path> files_;
    std::vector<std::string> dictionaries_;
};

// Makes a local folder and the folders above it that are missing, noting each one made.
void MakeFolders(const fs::path& folder, MadeSoFar& made) {
    std::vector<fs::path> missing;
    std::error_code ec;
    fs::path start = folder.lexically_normal();
    if (!start.has_filename()) start = start.parent_path();
    for (fs::path p = start; !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
        missing.push_back(p);
        if (p == p.parent_path()) break;
    }
    MakePrivateFolders(folder);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) made.Folder(*it);
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
        for (const auto& dictionary : plan.dictionaries)
            if (DictionaryExists(dictionary.to)) existing.push_back(dictionary.to);
        if (!existing.empty())
            throw ToolError(existing.front() + ": exists already" +
                            (existing.size() > 1
                                 ? " (and " + std::to_string(existing.size() - 1) + " more)"
                                 : std::string()) +
                            "; give --replace to replace " + (existing.size() > 1 ? "them" : "it"));
    }
    // A dictionary to replace must open as its administrator, and a local one must not be in
    // use, before anything is written: finding out later would cost the tables copied by then.
    if (replace)
        for (const auto& file : plan.files)
            if (file.dictionary && DictionaryInUse(file.to))
                throw ToolError(file.to.string() +
                                ": the dictionary is in use (its -wal or -shm file is there); it "
                                "cannot be replaced now");
    if (replace)
        for (const auto& dictionary : plan.dictionaries) {
            if (!DictionaryExists(dictionary.to)) continue;
            if (!IsServerPath(dictionary.to)) {
                TablePath parts = SplitTablePath(dictionary.to);
                fs::path file = FindEntry(parts.folder, parts.name, false, false);
                if (DictionaryInUse(file))
                    throw ToolError(file.string() +
                                    ": the dictionary is in use (its -wal or -shm file is there); "
                                    "it cannot be replaced now");
            }
            AdministratorOf(dictionary.to);
        }
    // Every source opens with a password given, before anything is written.
    for (const auto& [from, to] : plan.tables) {
        TablePath parts = SplitTablePath(from);
        EngineConnection connection(parts.folder);
        EngineTable table(connection.handle(), parts.name, ADS_READONLY);
        UnlockWith(table, passwords, from);
    }
    MadeSoFar made;
    try {
        for (const auto& folder : plan.folders) MakeFolders(folder, made);
        Copier copier(passwords, out, ::isatty(STDERR_FILENO) ? &err : nullptr, fault);
        for (const auto& [from, to] : plan.tables) {
            copier.CopyTable(from, to, replace);
            made.Table(to);
        }
        for (const auto& file : plan.files) {
            CopyWholeFile(file.from, file.to, file.dictionary);
            made.File(file.to);
            out << "copied " << file.from.string() << " to " << file.to.string() << "\n";
        }
        // After the tables, which a dictionary registers only where they are.
        uint64_t dictionaries = 0;
        for (const auto& dictionary : plan.dictionaries) {
            bool fail = fault.kind == Fault::Kind::FailDictionary && fault.row == ++dictionaries;
            WriteDictionary(dictionary.from, dictionary.to, dictionary.content, replace, fail, out);
            made.Dictionary(dictionary.to);
        }
    } catch (const std::exception& e) {
        // Only a copy of several parts has made any before the one that failed.
        if (made.count() == 0) {
            made.RemoveAll();
            throw;
        }
        size_t count = made.count();
        std::string left = made.RemoveAll();
        throw ToolError(std::string(e.what()) + "; " +
                        (left.empty()
                             ? "the " + std::to_string(count) + " copied before it were removed too"
                             : "of those copied before it, these could not be removed: " + left));
    }
    for (const auto& note : plan.notes) out << note << "\n";
    const size_t parts = plan.tables.size() + plan.files.size() + plan.dictionaries.size();
    if (parts > 1) {
        auto counted = [](size_t n, const char* one, const char* many) {
            return std::to_string(n) + " " + (n == 1 ? one : many);
        };
        std::string what = counted(plan.tables.size(), "table", "tables");
        if (!plan.files.empty()) what += " and " + counted(plan.files.size(), "file", "files");
        if (!plan.dictionaries.empty())
            what +=
                " and " + counted(plan.dictionaries.size(), "data dictionary", "data dictionaries");
        out << "copied " << what << " from " << Shown(source) << " to " << Shown(target) << "\n";
    }
    return 0;
}

}  // namespace veldadb
