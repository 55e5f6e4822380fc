#include "tools/velda-export/run.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>

#include "rtl/progfolder.h"
#include "rtl/serverpath.h"
#include "rtl/signals.h"
#include "rtl/sysutils.h"
#include "tools/velda-db/paths.h"
#include "tools/velda-export/check.h"
#include "tools/velda-export/company.h"
#include "tools/velda-export/options.h"
#include "tools/velda-export/output.h"
#include "tools/velda-export/progress.h"
#include "util/StrUtil.h"

namespace veldaexport {

namespace {

constexpr const char* kProgram = "velda-export";

// One line on standard error, also for a message of several lines, so a job's log keeps one
// line per run.
// Control characters other than the line ends, and NUL, are shown escaped. False when standard
// error cannot be written.
bool Say(std::FILE* err, std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    // A password in a server path is shown as ***, whichever text repeats the path.
    text = veldadb::Shown(util::ShowControlCharacters(text));
    const bool written = std::fprintf(err, "%s: %s\n", kProgram, text.c_str()) >= 0;
    return std::fflush(err) == 0 && written && !std::ferror(err);
}

// What went to standard output must have reached it: a full disk, /dev/full or a closed pipe
// (where SIGPIPE is ignored) is a failure.
void FlushStandardOutput(std::FILE* out) {
    errno = 0;
    if (std::fflush(out) != 0 || std::ferror(out)) {
        const int error = errno ? errno : EIO;
        std::clearerr(out);
        throw RunError(std::string("standard output cannot be written (") + std::strerror(error) +
                       ")");
    }
}

// VELDA_PASSWORD, else the first line of in (without its line end); on a terminal it is asked
// for on err and not echoed.
std::string ReadPassword(std::FILE* in, std::FILE* err) {
    if (const char* fromEnvironment = std::getenv("VELDA_PASSWORD")) {
        if (*fromEnvironment == '\0')
            throw UsageError(
                "VELDA_PASSWORD is set but empty: give the password there, or unset it to give "
                "it on standard input");
        return fromEnvironment;
    }
    const int fd = ::fileno(in);
    const bool terminal = ::isatty(fd);
    std::string password;
    {
        // Echo goes off before the prompt shows, so nothing typed after the prompt is echoed;
        // it comes back also when a signal ends the program at the prompt.
        std::unique_ptr<rtl::TEchoOff> noEcho;
        if (terminal) {
            noEcho = std::make_unique<rtl::TEchoOff>(fd);
            std::fputs("Password: ", err);
            std::fflush(err);
        }
        for (int c; (c = std::fgetc(in)) != EOF && c != '\n';) password += static_cast<char>(c);
    }
    if (terminal) std::fputs("\n", err);
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return password;
}

void PrintCompanyList(const std::vector<CompanyRow>& rows, std::FILE* out) {
    // The company form's columns: code 9, name 40, staff count 10 characters.
    long long total = 0;
    std::fprintf(out, "%-9s %-40s %10s\n", "Code", "Company Name", "Staff No");
    for (const CompanyRow& row : rows) {
        std::fprintf(out, "%-9s %-40s %10lld\n", row.Code.c_str(), row.Name.c_str(), row.Staff);
        total += row.Staff;
    }
    std::fprintf(out, "%-50s %10lld\n", "Total Staff", total);
}

// Lines to the output file, each with CR LF.
class OutputSink : public download::TLineSink {
  public:
    explicit OutputSink(Output& output) : output_(output) {}
    void Write(const download::TLeaveLine& line) override {
        output_.Write(line.Text);
        output_.Write("\r\n");
    }
    void Finish() override { output_.Commit(); }

  private:
    Output& output_;
};

std::string Seconds(std::chrono::steady_clock::duration elapsed) {
    std::ostringstream text;
    text.setf(std::ios::fixed);
    text.precision(2);
    text << std::chrono::duration<double>(elapsed).count() << " s";
    return text.str();
}

// The files the download must not replace: those of the company's folder, the company list's
// and the program folder. A company on a server has no files here; then the program folder's
// (its VELDA.ini), or this program's own folder when the server was named directly, is kept.
download::TProtectedFiles ProtectedFiles(const app::StartupConfiguration& configuration,
                                         const std::string& code) {
    const std::string company = app::CompanyConnectPath(configuration, code);
    if (!rtl::IsServerPath(company)) {
        download::TProtectedFiles protect =
            download::TProtectedFiles::OfCompany(company, configuration.ProgramFolder);
        protect.DataFolders.push_back(configuration.MasterFolder);
        return protect;
    }
    const std::string program = rtl::IsServerPath(configuration.ProgramFolder)
                                    ? rtl::ProgramFolder()
                                    : configuration.ProgramFolder;
    return download::TProtectedFiles::OfCompany(program, program);
}

int Export(const Options& options, std::FILE* in, std::FILE* out, std::FILE* err) {
    const auto started = std::chrono::steady_clock::now();
    const app::StartupConfiguration configuration = OpenProgramFolder(options.Folder);
    if (options.List) {
        PrintCompanyList(ReadCompanyList(configuration), out);
        FlushStandardOutput(out);
        return kExitDone;
    }
    CompanySession session(configuration, options.Company);
    const download::TProtectedFiles protect = ProtectedFiles(configuration, options.Company);
    if (options.Check && !options.Output.empty()) {
        try {
            download::TOutputFile::Check(options.Output, protect);
        } catch (const download::EOutputFileError& e) {
            throw RunError(e.what());
        }
    }
    session.Login(options.User, ReadPassword(in, err), options.Period);

    ProgressBar bar(!options.Quiet, err);
    const download::TProgress progress = [&bar](std::int64_t done, std::int64_t total) {
        bar.Update(done, total);
    };
    if (options.Check) {
        std::ostringstream findings;
        const CheckResult result =
            RunCheck(session, options.From, options.To, options.Format, findings, progress);
        bar.Clear();
        std::fputs(findings.str().c_str(), out);
        FlushStandardOutput(out);
        return result.Findings == 0 ? kExitDone : kExitFindings;
    }

    Output output(options.Output, protect);
    OutputSink sink(output);
    download::RunLeaveDownload(session.Connection(), options.From, options.To, options.Format, sink,
                               progress);
    bar.Clear();
    if (!options.Quiet &&
        !Say(err, std::to_string(output.Lines()) + (output.Lines() == 1 ? " line" : " lines") +
                      " written to " + output.Describe() + " in " +
                      Seconds(std::chrono::steady_clock::now() - started)))
        return kExitFailed;
    return kExitDone;
}

}  // namespace

int Run(const std::vector<std::string>& args, std::FILE* in, std::FILE* out, std::FILE* err) {
    Options options;
    try {
        options = ParseOptions(args, rtl::Date(), rtl::ProgramFolder());
        if (options.Help) {
            std::fputs(kHelp, out);
            FlushStandardOutput(out);
            return kExitDone;
        }
        return Export(options, in, out, err);
    } catch (const UsageError& e) {
        const std::string text = e.what();
        Say(err, text.find("(see --") == std::string::npos ? text + " (see --help)" : text);
        return kExitUsage;
    } catch (const std::exception& e) {
        // Login refusals, database and file errors: the message as the program shows it.
        Say(err, e.what());
        return kExitFailed;
    }
}

}  // namespace veldaexport
