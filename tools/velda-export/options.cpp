#include "tools/velda-export/options.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <set>

#include "rtl/serverpath.h"
#include "util/DateUtil.h"

namespace veldaexport {

const char* const kHelp =
    "usage: velda-export --company CODE --user ID [--folder DIR] [--period YYYYMM]\n"
    "                    [--from YYYY-MM-DD] [--to YYYY-MM-DD]\n"
    "                    [--format standard|extended1|extended2|extended3]\n"
    "                    --output FILE [--check] [--quiet]\n"
    "       velda-export --list [--folder DIR]\n"
    "       velda-export --version\n"
    "\n"
    "Writes the leave download file of a company without windows, byte for byte as the Leave\n"
    "Download dialog writes it, or checks the download before it is written.\n"
    "\n"
    "Options:\n"
    "  --folder DIR     the program folder with VELDA.ini, the company list and COMPANY/\n"
    "                   (default: the folder of this program); its VELDA.ini may name a\n"
    "                   server as DIR, as for velda. DIR may also be a database or a folder on\n"
    "                   a server, postgresql://[user@]host[:port]/DATABASE[/FOLDER/][?...],\n"
    "                   holding the company list and COMPANY/ of free-table companies (for\n"
    "                   data dictionaries on a server, a program folder whose VELDA.ini has\n"
    "                   DICTIONARY=YES and DIR set to the server path); a password in the path\n"
    "                   is shown as *** in messages (better: ~/.pgpass)\n"
    "  --list           print the company list: code, name, staff count, and the total\n"
    "  --company CODE   the company, by its code in the company list\n"
    "  --user ID        the login ID (taken in upper case, at most 8 characters); the password\n"
    "                   comes from the environment variable VELDA_PASSWORD, else from the first\n"
    "                   line of standard input (not echoed on a terminal); never from the\n"
    "                   command line\n"
    "  --period YYYYMM  the payroll period; its year is the year of the master password, its\n"
    "                   month the default range (default: the current month)\n"
    "  --from DATE      first day of the range, YYYY-MM-DD (default: first day of the period)\n"
    "  --to DATE        last day of the range, YYYY-MM-DD (default: last day of the period)\n"
    "  --format NAME    the layout: standard, extended1, extended2 or extended3 (any case), 0 to\n"
    "                   3, or a caption such as \"Extended Format 1\" (default: standard)\n"
    "  --output FILE    the download file; written beside itself and renamed into place when\n"
    "                   complete, so a failed run leaves an earlier file as it was; - writes to\n"
    "                   standard output. A link is followed and its target replaced; a\n"
    "                   device, FIFO, socket or file of the company is refused. A new file is\n"
    "                   private (0600), a replaced one keeps its owner, group and mode\n"
    "  --check          write nothing; report on standard output every line whose fields\n"
    "                   overflow their widths, every line without its leave application, the\n"
    "                   transactions of the range that no layout selects (approval flag neither\n"
    "                   Y nor N, no such employee, no date) and a From later than To; with\n"
    "                   --output, check that the file could be written there\n"
    "  --quiet          no progress bar and no closing line on standard error\n"
    "  --help           this text\n"
    "\n"
    "Exit status: 0 done (with --check: nothing found), 1 failed (login refused, database or\n"
    "file error, standard output or error cannot be written), 2 wrong command line (an option\n"
    "given twice, an empty VELDA_PASSWORD), 3 --check found something.\n"
    "\n"
    "Example: the download of last month, on the 1st of each month at 06:00, as one crontab\n"
    "line (the password file readable by the job's user only; crontab needs the % escaped):\n"
    "  0 6 1 * * velda-export --folder /srv/velda --company A01 --user MASTER --period "
    "$(date -d 'last month' +\\%Y\\%m) --output /srv/payroll/leave.txt --quiet "
    "< /etc/velda/password\n"
    "The README shows the same run as a systemd timer.\n";

namespace {

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool AllDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A folder ends with a separator; a server path's goes before its parameters.
std::string WithSlash(const std::string& folder) {
    return rtl::WithFolderSeparator(folder);
}

}  // namespace

std::optional<download::TOutputLayout> ParseLayout(const std::string& text) {
    static const char* const kNames[] = {"standard", "extended1", "extended2", "extended3"};
    for (int i = 0; i < 4; ++i) {
        if (strcasecmp(text.c_str(), kNames[i]) == 0 || text == std::to_string(i) ||
            strcasecmp(text.c_str(), download::kLayoutCaptions[i]) == 0)
            return download::LayoutOfIndex(i);
    }
    return std::nullopt;
}

const char* LayoutCaption(download::TOutputLayout layout) {
    return download::kLayoutCaptions.at(static_cast<std::size_t>(layout));
}

std::optional<rtl::TDateTime> ParseDate(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    const std::string year = text.substr(0, 4), month = text.substr(5, 2), day = text.substr(8, 2);
    if (!AllDigits(year) || !AllDigits(month) || !AllDigits(day)) return std::nullopt;
    rtl::TDateTime date = 0;
    if (!rtl::TryEncodeDate(std::stoi(year), std::stoi(month), std::stoi(day), date))
        return std::nullopt;
    return date;
}

std::string IsoDate(rtl::TDateTime date) {
    return rtl::FormatDateTime("yyyy-mm-dd", date);
}

Options ParseOptions(const std::vector<std::string>& args, rtl::TDateTime today,
                     const std::string& defaultFolder) {
    Options options;
    options.Folder = WithSlash(defaultFolder);
    std::optional<std::string> period, from, to, format;
    bool haveOutput = false;
    std::set<std::string> given;

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i], value;
        bool inlineValue = false;
        if (name.rfind("--", 0) == 0) {
            const std::size_t equals = name.find('=');
            if (equals != std::string::npos) {
                value = name.substr(equals + 1);
                name = name.substr(0, equals);
                inlineValue = true;
            }
        }
        auto takeValue = [&]() {
            // One value per option: a second one would quietly win over the first.
            if (!given.insert(name == "-o" ? "--output" : name).second)
                throw UsageError((name == "-o" ? std::string("--output") : name) + " given twice");
            if (inlineValue) return value;
            if (i + 1 >= args.size()) throw UsageError(name + " needs a value");
            return args[++i];
        };
        auto flag = [&](bool& target) {
            if (inlineValue) throw UsageError(name + " takes no value");
            if (target) throw UsageError(name + " given twice");
            target = true;
        };
        if (name == "--help" || name == "-h")
            flag(options.Help);
        else if (name == "--list")
            flag(options.List);
        else if (name == "--check")
            flag(options.Check);
        else if (name == "--quiet" || name == "-q")
            flag(options.Quiet);
        else if (name == "--folder")
            options.Folder = WithSlash(takeValue());
        else if (name == "--company")
            options.Company = takeValue();
        else if (name == "--user")
            options.User = takeValue();
        else if (name == "--period")
            period = takeValue();
        else if (name == "--from")
            from = takeValue();
        else if (name == "--to")
            to = takeValue();
        else if (name == "--format")
            format = takeValue();
        else if (name == "--output" || name == "-o") {
            options.Output = takeValue();
            haveOutput = true;
        } else if (name == "--password")
            throw UsageError(
                "--password: a password is never taken from the command line; give it in "
                "VELDA_PASSWORD or on standard input");
        else if (name.rfind("-", 0) == 0 && name != "-")
            throw UsageError("unknown option " + name);
        else
            throw UsageError("unexpected argument '" + name + "'");
    }
    if (options.Help) return options;
    if (options.Folder.empty()) throw UsageError("--folder: empty folder name");

    if (options.List) {
        if (!options.Company.empty() || !options.User.empty() || haveOutput || period || from ||
            to || format || options.Check)
            throw UsageError("--list takes no other option than --folder");
        return options;
    }

    if (options.Company.empty()) throw UsageError("--company is required");
    if (options.User.empty()) throw UsageError("--user is required");
    options.User = Upper(options.User);
    if (options.User.size() > 8)
        throw UsageError("--user '" + options.User + "': an ID has at most 8 characters");
    if (!haveOutput && !options.Check)
        throw UsageError("--output is required (- for standard output)");
    if (haveOutput && options.Output.empty()) throw UsageError("--output: empty file name");

    int year = 0, month = 0, day = 0;
    if (period) {
        if (period->size() != 6 || !AllDigits(*period))
            throw UsageError("--period '" + *period + "': not a period YYYYMM");
        year = std::stoi(period->substr(0, 4));
        month = std::stoi(period->substr(4, 2));
        if (year < 1 || month < 1 || month > 12)
            throw UsageError("--period '" + *period + "': no such month");
        options.Period = *period;
    } else {
        rtl::DecodeDate(today, year, month, day);
        options.Period = std::to_string(year) + (month < 10 ? "0" : "") + std::to_string(month);
        if (options.Period.size() != 6)
            throw UsageError("--period is required: this year has no six-digit period");
    }

    options.From = rtl::EncodeDate(year, month, 1);
    options.To = rtl::EncodeDate(year, month, util::DaysInMonth(year, month));
    if (from) {
        const std::optional<rtl::TDateTime> date = ParseDate(*from);
        if (!date) throw UsageError("--from '" + *from + "': not a date YYYY-MM-DD");
        options.From = *date;
    }
    if (to) {
        const std::optional<rtl::TDateTime> date = ParseDate(*to);
        if (!date) throw UsageError("--to '" + *to + "': not a date YYYY-MM-DD");
        options.To = *date;
    }
    if (format) {
        const std::optional<download::TOutputLayout> layout = ParseLayout(*format);
        if (!layout)
            throw UsageError("--format '" + *format +
                             "': unknown format (standard, extended1, extended2, extended3)");
        options.Format = *layout;
    }
    // The dialog would write an empty file; a scheduled run is better stopped. The check
    // reports it as one of its findings instead.
    if (options.From > options.To && !options.Check)
        throw UsageError("--from " + IsoDate(options.From) + " is later than --to " +
                         IsoDate(options.To));
    return options;
}

}  // namespace veldaexport
