// The check before a download: what would go wrong in the payroll system's import, reported
// one finding a line, without writing the file.
//
// Findings:
// - a line whose fields overflow their widths (each field: its length and width, and how much
//   the line grows), and a line written without its application fields (its length);
// - the transactions of the range that no layout selects: approval flag neither "Y" nor "N",
//   an employee code without an employee; and every transaction without a date (no range
//   selects it);
// - a From later than To (nothing is selected).
// The lines are those of the download itself (same statement, same line code).
#ifndef VELDA_TOOLS_EXPORT_CHECK_H
#define VELDA_TOOLS_EXPORT_CHECK_H

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "download/core/leavedownload.h"

namespace veldaexport {

class CompanySession;

// The findings of one line, in the line's words; empty when the line is sound.
std::vector<std::string> LineFindings(const download::TLeaveLine& line, std::int64_t number,
                                      download::TOutputLayout layout);

struct CheckResult {
    std::int64_t Lines = 0;
    std::int64_t Findings = 0;
};

// Runs the check on a logged-in company, printing each finding and then one summary line.
CheckResult RunCheck(CompanySession& session, rtl::TDateTime from, rtl::TDateTime to,
                     download::TOutputLayout layout, std::ostream& out,
                     const download::TProgress& progress);

}  // namespace veldaexport

#endif
