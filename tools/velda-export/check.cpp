#include "tools/velda-export/check.h"

#include <ostream>

#include "ads/adscnnct.h"
#include "ads/adstable.h"
#include "tools/velda-export/company.h"
#include "tools/velda-export/options.h"

namespace veldaexport {

namespace {

// The line length when every value fits its width and the application is found.
int FullLength(download::TOutputLayout layout) {
    switch (layout) {
        case download::TOutputLayout::Standard:
        case download::TOutputLayout::Extended1:
            return 129;
        case download::TOutputLayout::Extended2:
            return 116;
        case download::TOutputLayout::Extended3:
            return 46;
    }
    return 0;
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string LineName(const download::TLeaveLine& line, std::int64_t number) {
    return "line " + std::to_string(number) + " (" + line.EmpNo + " " + line.LeaveCode + " " +
           download::FormatLineDate(line.Date) + ", ID " + std::to_string(line.Id) + ")";
}

class CheckSink : public download::TLineSink {
  public:
    CheckSink(download::TOutputLayout layout, std::ostream& out, CheckResult& result)
        : layout_(layout), out_(out), result_(result) {}
    void Write(const download::TLeaveLine& line) override {
        ++result_.Lines;
        for (const std::string& finding : LineFindings(line, result_.Lines, layout_)) {
            out_ << finding << '\n';
            ++result_.Findings;
        }
    }

  private:
    download::TOutputLayout layout_;
    std::ostream& out_;
    CheckResult& result_;
};

// The transactions that no download can select, walked through the leave table itself.
void CheckTransactions(CompanySession& session, rtl::TDateTime from, rtl::TDateTime to,
                       std::ostream& out, CheckResult& result) {
    ads::TAdsTable* leave = session.OpenTable("LEAV_TRX.ADT", "EMPCODE;LEAVE_CODE;DATE");
    ads::TAdsTable* employees = session.OpenTable("EMPLOYEE.ADT", "EMP_NO");
    auto report = [&](const std::string& text) {
        out << text << '\n';
        ++result.Findings;
    };
    for (leave->First(); !leave->Eof(); leave->Next()) {
        const std::string empCode = leave->FieldByName("EMPCODE")->AsString();
        const std::string leaveCode = leave->FieldByName("LEAVE_CODE")->AsString();
        const std::string id = leave->FieldByName("ID")->AsString();
        db::TField* date = leave->FieldByName("DATE");
        if (date->IsNull()) {
            report("transaction " + empCode + " " + leaveCode + ", ID " + id +
                   ": no date; no range selects it");
            continue;
        }
        const rtl::TDateTime day = date->AsDateTime();
        if (day < from || day > to) continue;
        const std::string name = "transaction " + empCode + " " + leaveCode + " " +
                                 download::FormatLineDate(day) + ", ID " + id;
        const std::string approved = leave->FieldByName("APPROVED")->AsString();
        if (approved != "Y" && approved != "N")
            report(name + ": approval flag " + Quoted(approved) +
                   " is neither \"Y\" nor \"N\"; no layout selects it");
        const bool employed = employees->FindByKey({empCode}) &&
                              employees->FieldByName("EMP_NO")->AsString() == empCode;
        if (!employed) report(name + ": no employee " + Quoted(empCode) + "; no layout selects it");
    }
}

}  // namespace

std::vector<std::string> LineFindings(const download::TLeaveLine& line, std::int64_t number,
                                      download::TOutputLayout layout) {
    std::vector<std::string> findings;
    int growth = 0;
    std::string overflows;
    for (const download::TLineField& field : line.Fields) {
        const int length = static_cast<int>(field.Value.size());
        if (field.Width > 0 && length > field.Width) {
            growth += length - field.Width;
            if (!overflows.empty()) overflows += ", ";
            overflows += field.Name + " is " + std::to_string(length) + " characters, width " +
                         std::to_string(field.Width);
        }
    }
    if (growth > 0)
        findings.push_back(LineName(line, number) + ": " + overflows + "; the line grows by " +
                           std::to_string(growth) + " to " + std::to_string(line.Text.size()));
    if (line.UsesApplication && !line.ApplicationMatched)
        findings.push_back(LineName(line, number) +
                           ": no leave application of this employee, leave code and ID; written "
                           "without its application fields, " +
                           std::to_string(line.Text.size()) + " characters instead of " +
                           std::to_string(FullLength(layout) + growth));
    return findings;
}

CheckResult RunCheck(CompanySession& session, rtl::TDateTime from, rtl::TDateTime to,
                     download::TOutputLayout layout, std::ostream& out,
                     const download::TProgress& progress) {
    CheckResult result;
    if (from > to) {
        out << "range: From " << IsoDate(from) << " is later than To " << IsoDate(to)
            << "; nothing is selected\n";
        ++result.Findings;
    }
    CheckSink sink(layout, out, result);
    download::RunLeaveDownload(session.Connection(), from, to, layout, sink, progress);
    CheckTransactions(session, from, to, out, result);
    out << "check: "
        << (result.Findings == 0 ? "nothing found"
                                 : std::to_string(result.Findings) +
                                       (result.Findings == 1 ? " finding" : " findings"))
        << " in " << result.Lines << (result.Lines == 1 ? " line" : " lines") << " of "
        << Quoted(LayoutCaption(layout)) << " from " << IsoDate(from) << " to " << IsoDate(to)
        << '\n';
    return result;
}

}  // namespace veldaexport
