// velda-db demo: a complete program folder with three companies.
#include <fcntl.h>
#include <signal.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>

#include "ads/company_credentials.h"
#include "ads/engine_text.h"
#include "tools/velda-db/commands.h"
#include "tools/velda-db/engine_session.h"
#include "tools/velda-db/values.h"

namespace veldadb {

namespace {

namespace fs = std::filesystem;

using ads::kDictionaryPassword;
using ads::kDictionaryUser;
using ads::kTablePassword;

// Staging folders of demo runs that were killed: ".velda-demo-<pid>" whose process is gone.
void RemoveAbandonedStaging(const fs::path& parent) {
    std::error_code ec;
    const std::string prefix = ".velda-demo-";
    for (const auto& entry : fs::directory_iterator(parent, ec)) {
        std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) != 0) continue;
        std::string digits = name.substr(prefix.size());
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) continue;
        pid_t pid = static_cast<pid_t>(std::stol(digits));
        if (pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
        fs::remove_all(entry.path(), ec);
    }
}

// A small deterministic generator (splitmix64), the same on every platform.
class Random {
  public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    template <class T, size_t N>
    const T& pick(const T (&items)[N]) {
        return items[below(static_cast<int>(N))];
    }

  private:
    uint64_t state_;
};

std::string Date(long julian) {
    int y, m, d;
    CivilFromJulian(julian, y, m, d);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", y, m, d);
    return buffer;
}

// A table being filled from cells given in field order.
class DemoTable {
  public:
    // The table's path (folder and name) is added to `made` once the table exists.
    DemoTable(ADSHANDLE connection, const std::string& folder, const std::string& name,
              const std::string& fields,
              const std::vector<std::pair<std::string, std::string>>& tags,
              std::vector<std::string>& made) {
        ADSHANDLE handle = 0;
        Check(AdsCreateTable(connection, ads::EngineText(name), nullptr, ADS_ADT, ADS_ANSI,
                             ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, 0, ads::EngineText(fields),
                             &handle),
              name);
        made.push_back(JoinPath(folder, name));
        table_ = std::make_unique<EngineTable>(handle, name);
        for (const auto& [tag, expression] : tags) {
            ADSHANDLE index = 0;
            Check(AdsCreateIndex61(handle, nullptr, ads::EngineText(tag),
                                   ads::EngineText(expression), nullptr, nullptr, 0, 512, &index),
                  name + ": index " + tag);
        }
        fields_ = table_->Fields();
        for (const auto& f : fields_) columns_.push_back(&f);
    }

    void Add(const std::vector<std::string>& cells) {
        std::vector<FieldValue> values;
        for (size_t c = 0; c < columns_.size(); ++c) {
            std::string error;
            values.push_back(ParseCell(*columns_[c], c < cells.size() ? cells[c] : "", error));
            if (!error.empty())
                throw ToolError(table_->name() + ", field " + columns_[c]->name + ": " + error);
        }
        table_->AppendRow(columns_, values, table_->name());
    }

    void Close() { table_->Close(); }

  private:
    std::unique_ptr<EngineTable> table_;
    std::vector<FieldInfo> fields_;
    std::vector<const FieldInfo*> columns_;
};

void EncryptTable(ADSHANDLE connection, const std::string& name) {
    EngineTable table(connection, name, ADS_EXCLUSIVE);
    table.EnablePassword(kTablePassword);
    Check(AdsEncryptTable(table.handle()), name);
}

struct Company {
    std::string code;
    std::string name;
    int employees;
};

const char* kFirstNames[] = {"Alice", "Bram", "Chen", "Dara",  "Emeka", "Farah", "Goran", "Hana",
                             "Ivan",  "Jana", "Kofi", "Lena",  "Mateo", "Nadia", "Omar",  "Priya",
                             "Quinn", "Rosa", "Sami", "Tessa", "Umar",  "Vera",  "Wen",   "Yusuf"};
const char* kLastNames[] = {"Abbott",  "Baker",    "Castillo", "Dube",   "Eriksen",  "Fischer",
                            "Gomez",   "Haddad",   "Ito",      "Jansen", "Kowalski", "Lindqvist",
                            "Moreau",  "Nakamura", "Okafor",   "Petrov", "Quispe",   "Rossi",
                            "Schmidt", "Tanaka",   "Ueda",     "Varga",  "Walsh",    "Zhang"};
const char* kDepartments[] = {"ADMIN", "FINANCE", "OPS", "SALES", "IT", "HR"};
const char* kCategories[] = {"STAFF", "MANAGER", "CONTRACT", "TEMP"};
const char* kRemarks[] = {
    "Family matters", "Medical appointment", "Annual holiday", "Personal errand",
    "Travel",         "Child care",          "Moving house",   ""};

// The tables every demo company has.
constexpr const char* kCompanyTables[] = {"paypara1.adt", "PASS.adt",     "EMPLOYEE.adt",
                                          "EMPSERV.adt",  "LEAV_TRX.adt", "empleave.adt"};

// Builds a company in `folder`, a local folder (made here) or one on a server; every table made
// is added to `made`.
void BuildCompany(const std::string& folder, const Company& company, bool dictionary,
                  Random& random, int thisYear, long today, std::vector<std::string>& made) {
    if (!IsServerPath(folder)) MakePrivateFolders(folder);
    EngineConnection connection(folder);
    ADSHANDLE c = connection.handle();

    {
        DemoTable setup(
            c, folder, "paypara1.adt",
            "YEAR,Character,4;company,Character,40;G_DATEFORMAT,Character,12;MASTER,Character,12",
            {{"YEAR", "YEAR"}}, made);
        for (int year = 2000; year <= thisYear + 1; ++year)
            setup.Add({std::to_string(year), company.name, "dd/mm/yyyy", "master"});
        setup.Close();
    }
    {
        DemoTable users(
            c, folder, "PASS.adt",
            "ID,Character,8;PASSWORD,Character,12;LOCK,Character,1;hidewage,Character,1;"
            "viewdata,Character,1;audit,Character,1;printer,Character,3",
            {{"ID", "ID"}}, made);
        users.Add({"CLERK1", "clerk1", "", "Y", "N", "N", ""});
        users.Add({"CLERK2", "clerk2", "T", "N", "N", "N", ""});
        users.Add({"ADMIN", "admin", "", "N", "Y", "Y", "0"});
        users.Close();
    }
    std::vector<std::string> employeeNumbers;
    {
        DemoTable employees(
            c, folder, "EMPLOYEE.adt",
            "EMP_NO,Character,12;NAME,Character,40;DOB,Date;HIRED_DATE,Date;"
            "DEPARTMENT_CODE,Character,8;CATEGORY_CODE,Character,8;TERMINATION_DATE,Date",
            {{"EMP_NO", "EMP_NO"}}, made);
        for (int i = 1; i <= company.employees; ++i) {
            char number[16];
            std::snprintf(number, sizeof number, "%c%05d", company.code[0], i);
            employeeNumbers.push_back(number);
            long dob = JulianFromCivil(random.between(1958, 2003), random.between(1, 12),
                                       random.between(1, 28));
            long earliestHire = std::max(dob + 18 * 365 + 5, JulianFromCivil(1988, 1, 1));
            long hired =
                earliestHire + random.below(static_cast<int>(std::max(1L, today - earliestHire)));
            std::string dobText = Date(dob), hiredText = Date(hired), terminated;
            if (i % 17 == 0) dobText.clear();  // a few records lack a date, as real ones do
            if (i % 23 == 0) hiredText.clear();
            if (random.below(20) == 0 && !hiredText.empty())
                terminated = Date(hired + random.below(900) + 30);
            std::string name =
                std::string(random.pick(kFirstNames)) + " " + random.pick(kLastNames);
            employees.Add({number, name, dobText, hiredText, random.pick(kDepartments),
                           random.pick(kCategories), terminated});
        }
        employees.Close();
    }
    {
        DemoTable service(c, folder, "EMPSERV.adt",
                          "USERID,Character,8;EMP_NO,Character,12;AGE,Double;LEN_OF_SVS_MTH,Double;"
                          "LEN_OF_SVS_YRS,Double",
                          {{"EMP_NO", "EMP_NO;USERID"}}, made);
        service.Close();
    }
    {
        DemoTable leave(
            c, folder, "LEAV_TRX.adt",
            "EMPCODE,Character,12;LEAVE_CODE,Character,8;DATE,Date;DAY,Double;HOUR,Double;"
            "APPROVED,Character,1;ID,Integer",
            {{"EMPCODE", "EMPCODE;LEAVE_CODE;DATE"}}, made);
        DemoTable applications(
            c, folder, "empleave.adt",
            "EMPCODE,Character,12;leave_code,Character,8;ID,Integer;AMPM,Character,2;"
            "REFERENCE,Character,40;REMARKS,Character,40",
            {{"EMPCODE", "EMPCODE"}}, made);
        const char* codes[] = {"AL", "AL", "AL", "MC", "MC", "NPLHOUR", "CL"};
        int id = 0;
        for (const auto& employee : employeeNumbers) {
            for (int year = thisYear - 3; year <= thisYear; ++year) {
                int count = random.between(1, 4);
                for (int k = 0; k < count; ++k) {
                    std::string code = random.pick(codes);
                    long date = JulianFromCivil(year, random.between(1, 12), random.between(1, 28));
                    bool hours = code == "NPLHOUR";
                    bool half = !hours && random.below(4) == 0;
                    std::string day = hours  ? "0"
                                      : half ? "0.5"
                                             : std::to_string(random.between(1, 3));
                    std::string hour = hours ? std::to_string(random.between(1, 4)) : "0";
                    int flag = random.below(20);
                    std::string approved = flag < 15 ? "Y" : flag < 19 ? "N" : "";
                    ++id;
                    leave.Add(
                        {employee, code, Date(date), day, hour, approved, std::to_string(id)});
                    if (random.below(8) != 0) {
                        std::string ampm = half ? (random.below(2) ? "AM" : "PM") : "";
                        applications.Add({employee, code, std::to_string(id), ampm,
                                          "LA-" + std::to_string(100000 + id),
                                          random.pick(kRemarks)});
                    }
                }
            }
        }
        // The current month is dense, so that a download of it shows every kind of line: hours
        // (NPLHOUR), half days with AM or PM, unapproved and unflagged rows, and rows without
        // an application. Its own generator keeps the years above as they were.
        int thisMonthYear = 0, thisMonth = 0, ignored = 0;
        CivilFromJulian(today, thisMonthYear, thisMonth, ignored);
        long firstDay = JulianFromCivil(thisMonthYear, thisMonth, 1);
        long nextFirst = thisMonth == 12 ? JulianFromCivil(thisMonthYear + 1, 1, 1)
                                         : JulianFromCivil(thisMonthYear, thisMonth + 1, 1);
        int daysInMonth = static_cast<int>(nextFirst - firstDay);
        Random monthly(static_cast<uint64_t>(today) * 131 + static_cast<uint64_t>(company.code[0]));
        const char* monthCodes[] = {"AL", "MC", "NPLHOUR", "AL", "CL", "AL"};
        int index = 0;
        for (const auto& employee : employeeNumbers) {
            int count = 1 + index++ % 2;
            for (int k = 0; k < count; ++k) {
                std::string code = monthly.pick(monthCodes);
                long date = firstDay + monthly.below(daysInMonth);
                bool hours = code == "NPLHOUR";
                bool half = !hours && monthly.below(3) == 0;
                std::string day = hours  ? "0"
                                  : half ? "0.5"
                                         : std::to_string(monthly.between(1, 3));
                std::string hour = hours ? std::to_string(monthly.between(1, 7)) + ".5" : "0";
                int flag = monthly.below(10);
                std::string approved = flag < 7 ? "Y" : flag < 9 ? "N" : "";
                ++id;
                leave.Add({employee, code, Date(date), day, hour, approved, std::to_string(id)});
                if (monthly.below(6) != 0) {
                    std::string ampm = half ? (monthly.below(2) ? "AM" : "PM") : "";
                    applications.Add({employee, code, std::to_string(id), ampm,
                                      "LA-" + std::to_string(100000 + id), monthly.pick(kRemarks)});
                }
            }
        }
        leave.Close();
        applications.Close();
    }

    if (dictionary) {
        std::string file = JoinPath(folder, company.code + ".ADD");
        ADSHANDLE dd = 0;
        Check(AdsDDCreate(ads::EngineText(file), 0,
                          ads::EngineText("velda demo company " + company.code), &dd),
              file);
        struct Closer {
            ADSHANDLE h;
            ~Closer() { (void)AdsDisconnect(h); }
        } closer{dd};
        Check(AdsDDCreateUser(dd, nullptr, ads::EngineText(kDictionaryUser),
                              ads::EngineText(kDictionaryPassword), ads::EngineText("")),
              file);
        const char* tables[][2] = {{"paypara1", "paypara1.adt"}, {"PASS", "PASS.adt"},
                                   {"EMPLOYEE", "EMPLOYEE.adt"}, {"EMPSERV", "EMPSERV.adt"},
                                   {"LEAV_TRX", "LEAV_TRX.adt"}, {"empleave", "empleave.adt"}};
        for (const auto& t : tables)
            Check(AdsDDAddTable(dd, ads::EngineText(t[0]), ads::EngineText(t[1]), ADS_ADT, ADS_ANSI,
                                ads::EngineText(""), ads::EngineText("")),
                  file);
        // The administrator password, when one is given as for the dict commands; without it a
        // demo dictionary's administrator keeps an empty password (the README says so).
        if (const char* admin = std::getenv("VELDA_DB_ADMIN_PASSWORD"); admin && *admin)
            Check(AdsDDSetUserProperty(dd, ads::EngineText("ADSSYS"), ADS_DD_USER_PASSWORD,
                                       ads::EngineText(admin),
                                       static_cast<UNSIGNED16>(std::strlen(admin) + 1)),
                  file);
    } else {
        for (const char* name : {"paypara1.adt", "PASS.adt", "EMPLOYEE.adt", "EMPSERV.adt"})
            EncryptTable(c, name);
    }
}

int ParseCount(const std::string& text, const std::string& option, int minimum) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 9)
        throw ToolError("demo: --" + option + " takes a whole number");
    int value = std::stoi(text);
    if (value < minimum)
        throw ToolError("demo: --" + option + " must be at least " + std::to_string(minimum));
    return value;
}

}  // namespace

void MakePrivateFolders(const fs::path& folder) {
    fs::path made;
    for (const auto& part : folder) {
        made /= part;
        if (::mkdir(made.c_str(), 0770) != 0 && errno != EEXIST)
            throw ToolError(made.string() + ": cannot be created (" + std::strerror(errno) + ")");
    }
}

namespace {

std::vector<Company> DemoCompanies(int employees) {
    return {{"A01", "Alder Freight Ltd", employees},
            {"B02", "Birchwood Catering", std::max(1, employees * 3 / 5)},
            {"C03", "Cobalt Print Works", std::max(1, employees * 3 / 10)}};
}

// The company list and every company, in `root` (a local folder or a folder on a server); every
// table made is added to `made`.
void BuildProgram(const std::string& root, bool dictionary, int employees, uint64_t seed,
                  std::ostream& out, std::vector<std::string>& made) {
    auto now = std::chrono::system_clock::now();
    std::chrono::year_month_day ymd{std::chrono::floor<std::chrono::days>(now)};
    int thisYear = static_cast<int>(ymd.year());
    long today = JulianFromCivil(thisYear, static_cast<int>(static_cast<unsigned>(ymd.month())),
                                 static_cast<int>(static_cast<unsigned>(ymd.day())));
    Random random(seed);
    std::vector<Company> companies = DemoCompanies(employees);
    {
        EngineConnection connection(root);
        DemoTable master(connection.handle(), root, "MCOMPANY.adt",
                         "COMPANY_CODE,Character,8;COMPANY_NAME,Character,40;TOTAL_STAFF,Integer",
                         {{"COMPANY_CODE", "COMPANY_CODE"}}, made);
        for (const auto& company : companies)
            master.Add({company.code, company.name, std::to_string(company.employees)});
        master.Close();
    }
    for (const auto& company : companies) {
        out << "building company " << company.code << " (" << company.employees << " employees)\n"
            << std::flush;
        BuildCompany(JoinPath(JoinPath(root, "COMPANY"), company.code), company, dictionary, random,
                     thisYear, today, made);
    }
}

// Whether the engine finds a data dictionary at the path (a wrong password means it is there).
bool DictionaryThere(const std::string& path) {
    ADSHANDLE h = 0;
    UNSIGNED32 rc = AdsConnect60(ads::EngineText(path), 0, ads::EngineText("ADSSYS"),
                                 ads::EngineText(""), 0, &h);
    if (h) (void)AdsDisconnect(h);
    return rc != AE_FILE_NOT_FOUND;
}

// The demo on a server: the company list and the companies in a folder of the server's
// database, as free tables or, with --dictionary, each with its data dictionary. A server keeps
// no VELDA.ini. Nothing can be staged and moved into place there, so the run first makes sure
// that none of its tables and dictionaries exists yet, and a failure removes what it made.
int DemoOnServer(const std::string& target, bool dictionary, int employees, uint64_t seed,
                 std::ostream& out) {
    std::vector<std::string> planned{JoinPath(target, "MCOMPANY.adt")}, dictionaries;
    for (const auto& company : DemoCompanies(employees)) {
        std::string folder = JoinPath(JoinPath(target, "COMPANY"), company.code);
        for (const char* table : kCompanyTables) planned.push_back(JoinPath(folder, table));
        if (dictionary) dictionaries.push_back(JoinPath(folder, company.code + ".ADD"));
    }
    for (const auto& path : planned)
        if (TableExists(path))
            throw ToolError(path + ": exists already; the demo needs a folder without its tables");
    for (const auto& path : dictionaries)
        if (DictionaryThere(path))
            throw ToolError(path +
                            ": exists already; the demo needs a folder without its dictionaries");
    std::vector<std::string> made;
    try {
        BuildProgram(target, dictionary, employees, seed, out, made);
    } catch (...) {
        // The dictionaries first, as they name the tables; none was there before the run.
        const char* admin = std::getenv("VELDA_DB_ADMIN_PASSWORD");
        for (const auto& path : dictionaries) {
            ADSHANDLE h = 0;
            if (AdsConnect60(ads::EngineText(path), 0, ads::EngineText("ADSSYS"),
                             ads::EngineText(admin ? admin : ""), 0, &h) == AE_SUCCESS &&
                AdsDDRemove(h) == AE_SUCCESS)
                continue;
            if (h) (void)AdsDisconnect(h);
        }
        for (auto it = made.rbegin(); it != made.rend(); ++it) {
            TablePath parts = SplitTablePath(*it);
            ADSHANDLE connection = 0;
            if (AdsConnect(ads::EngineText(parts.folder), &connection) != AE_SUCCESS) continue;
            (void)AdsDeleteTable(connection, ads::EngineText(parts.name));
            (void)AdsDisconnect(connection);
        }
        throw;
    }
    out << "demo folder " << Shown(target) << " is ready ("
        << (dictionary ? "data dictionaries; a server keeps no VELDA.ini"
                       : "tables only: a server keeps no VELDA.ini")
        << ")\n";
    return 0;
}

}  // namespace

int Demo(const Args& args, std::ostream& out) {
    Options options(args, {"employees", "seed"}, {"dictionary"});
    if (options.positional().size() != 1)
        throw ToolError("demo: expected 1 argument (see 'velda-db demo --help')");
    bool dictionary = options.has("dictionary");
    int employees = ParseCount(options.value("employees", "40"), "employees", 1);
    uint64_t seed = static_cast<uint64_t>(ParseCount(options.value("seed", "1"), "seed", 0));
    if (IsServerPath(options.positional()[0]))
        return DemoOnServer(options.positional()[0], dictionary, employees, seed, out);
    fs::path target = options.positional()[0];

    std::error_code ec;
    if (fs::exists(target, ec) && !(fs::is_directory(target, ec) && fs::is_empty(target, ec)))
        throw ToolError(target.string() + ": exists and is not an empty folder");

    // Built beside the target and moved into place at the end, so a failure leaves nothing.
    fs::path parent = target.has_parent_path() ? target.parent_path() : fs::path(".");
    fs::path staging = parent / (".velda-demo-" + std::to_string(::getpid()));
    RemoveAbandonedStaging(parent);
    fs::remove_all(staging, ec);
    try {
        MakePrivateFolders(staging);
        {
            fs::path iniPath = staging / "VELDA.ini";
            int fd = ::open(iniPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0660);
            if (fd < 0) throw ToolError(iniPath.string() + ": cannot be written");
            ::close(fd);
            std::ofstream ini(iniPath, std::ios::binary);
            ini << "[PATH]\r\n";
            if (dictionary) ini << "DICTIONARY=YES\r\n";
            if (!ini) throw ToolError((staging / "VELDA.ini").string() + ": cannot be written");
        }
        std::vector<std::string> made;
        BuildProgram(staging.string(), dictionary, employees, seed, out, made);
        if (fs::exists(target, ec)) fs::remove(target, ec);
        fs::rename(staging, target);
    } catch (const fs::filesystem_error& e) {
        fs::remove_all(staging, ec);
        throw ToolError(std::string(e.what()));
    } catch (...) {
        fs::remove_all(staging, ec);
        throw;
    }
    out << "demo folder " << target.string() << " is ready"
        << (dictionary ? " (data dictionaries)" : "") << "\n";
    return 0;
}

}  // namespace veldadb
