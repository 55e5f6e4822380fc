// The leave download without windows: the leave selection statement, the four line layouts,
// the application lookups and the download file. The download dialog and velda-export both
// call this code, so the two can never write different bytes.
//
// The road of one run:
//   1. LeaveSelectionSql builds the statement for a date range and a layout (the layout decides
//      which approval flags are selected).
//   2. The statement runs on the company connection: RunLeaveDownload opens its own query
//      (with the table password for free tables); the dialog opens its Query1 itself.
//   3. WriteLeaveLines walks the rows (TLeaveRows), looks up the leave application of each
//      line when the layout shows one (TApplicationLookup), formats the line (BuildLeaveLine)
//      and hands it to a sink (TLineSink): the download file (TDownloadFile), a stream, or a
//      caller's own sink.
//
// Bytes: texts are Windows-1252 byte strings as the tables hold them and are written as they
// are; every line ends with CR LF; no value is ever cut (a long value shifts the fields after
// it); a line whose application is not found leaves the three application fields out.
//
// Nothing here uses Qt; errors are exceptions (ads::EADSDatabaseError from the engine,
// rtl::EFCreateError / EDownloadWriteError from the file).
#ifndef VELDA_DOWNLOAD_LEAVEDOWNLOAD_H
#define VELDA_DOWNLOAD_LEAVEDOWNLOAD_H

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/adsfunc.h"
#include "download/core/outputfile.h"
#include "rtl/exception.h"
#include "rtl/sysutils.h"

namespace db {
class TDataSet;
}
namespace ads {
class TAdsConnection;
class TAdsDataSet;
class TAdsQuery;
}  // namespace ads

namespace download {

// ---- layouts --------------------------------------------------------------------------------

enum class TOutputLayout : int { Standard = 0, Extended1 = 1, Extended2 = 2, Extended3 = 3 };

// The captions of the layouts, in list order: "Standard Format", "Extended Format 1", ...
inline constexpr std::array<const char*, 4> kLayoutCaptions = {
    "Standard Format", "Extended Format 1", "Extended Format 2", "Extended Format 3"};

// The layout of a list index 0 to 3; nothing for any other index (no layout chosen).
std::optional<TOutputLayout> LayoutOfIndex(int index);

// The table password of a company's encrypted free tables.
inline constexpr const char* kTablePassword = ads::kTablePassword;

// The leave code whose amount is the HOUR value (exact, case-sensitive); all others use DAY.
inline constexpr const char* kHourLeaveCode = "NPLHOUR";

// ---- the statement ----------------------------------------------------------------------------

// The leave selection for From to To inclusive (date-time numbers; only the date counts) and
// the layout's approval clause, as one line of SQL. Rows come ordered by employee code, leave
// code and date.
std::string LeaveSelectionSql(rtl::TDateTime from, rtl::TDateTime to, TOutputLayout layout);

// Before the leave statement runs (the query's BeforeOpen): when the query's connection is not
// a data dictionary, the table password as the statement's encryption password and as the
// table password of "EMPLOYEE" and "EMPLOYEE.ADT". Each call makes sure of a statement handle.
void GiveLeaveStatementPasswords(ads::TAdsQuery& query);

// ---- rows ---------------------------------------------------------------------------------------

// The rows of the leave selection, read by (case-insensitive) field name. Text values come
// without trailing blanks; empty numbers read as 0.
class TLeaveRows {
  public:
    virtual ~TLeaveRows() = default;
    virtual bool Eof() = 0;
    virtual void Next() = 0;
    // How many rows there are in all, or -1 when not known (for progress only).
    virtual std::int64_t Count() { return -1; }
    virtual std::string Text(const char* field) = 0;
    virtual double Float(const char* field) = 0;
    virtual std::int32_t Integer(const char* field) = 0;
    virtual rtl::TDateTime Date(const char* field) = 0;
};

// Rows of any open dataset, from its current row on (the dialog's Query1, a test's table).
std::unique_ptr<TLeaveRows> DataSetRows(db::TDataSet& dataSet);

// ---- the application lookups ------------------------------------------------------------------

// AM/PM mark, reference and remarks of the leave application a line belongs to.
struct TApplicationFields {
    std::string AmPm;
    std::string Reference;
    std::string Remarks;
};

// Finds the application of a transaction: employee number (EMP_NO), leave code and ID.
// The result stays valid until the next call.
class TApplicationLookup {
  public:
    virtual ~TApplicationLookup() = default;
    virtual const TApplicationFields* Find(const std::string& empNo, const std::string& leaveCode,
                                           std::int32_t id) = 0;
};

// The walk over the leave application table by its EMPCODE index, as the system always did it:
// go to the first row, search the key empNo, then move forward passing rows of other leave
// codes; a row of the same leave code of another employee ends the search without a match; a
// row of the same employee, leave code and ID is the match. Every call walks again.
// The table is opened (without a table password) on first use and left open.
std::unique_ptr<TApplicationLookup> WalkLookup(ads::TAdsDataSet& applications);

// The same results as WalkLookup, far faster: the rows of one employee are read once, in index
// order, the first time that employee is asked for, and kept until another employee is asked
// for (the leave selection comes ordered by employee). Nothing is kept between runs.
std::unique_ptr<TApplicationLookup> FastLookup(ads::TAdsDataSet& applications);

// The same results as WalkLookup for the lines of one leave selection, with one statement per
// run: it reads the applications whose employee code, leave code and ID equal those of a
// transaction that the range and layout select (ApplicationSelectionSql). A transaction with
// exactly one such application (candidates that show the same texts count once) gets it; one
// with none gets nothing; the rare rest (several different applications, an empty employee
// number, leave code or ID) is asked of FastLookup. The statement runs on the applications
// table's connection, on the first Find. Only lines of the selection for the same range and
// layout may be asked for.
std::unique_ptr<TApplicationLookup> SelectionLookup(ads::TAdsDataSet& applications,
                                                    rtl::TDateTime from, rtl::TDateTime to,
                                                    TOutputLayout layout);

// The statement SelectionLookup runs: the applications of the selected transactions, each once
// per selected transaction of its employee code, leave code and ID.
std::string ApplicationSelectionSql(rtl::TDateTime from, rtl::TDateTime to, TOutputLayout layout);

// ---- lines ----------------------------------------------------------------------------------

// One field of a line: its name ("Employee code", "Leave code", "Start date", "End date", "Date",
// "Amount", "AM/PM", "Reference", "Remarks", "Approved"), its value before padding, the width it
// is padded to (0: written as it is) and the text written.
struct TLineField {
    std::string Name;
    std::string Value;
    int Width = 0;
    std::string Written;
    bool FromApplication = false;
};

struct TLeaveLine {
    std::vector<TLineField> Fields;   // in the order written (application fields only if matched)
    bool UsesApplication = false;     // the layout shows application fields
    bool ApplicationMatched = false;  // ... and the lookup found the application
    std::string Text;                 // the bytes of the line, without its line end
    std::string EmpNo, LeaveCode;     // the transaction, for reports
    std::int32_t Id = 0;
    rtl::TDateTime Date = 0;
};

// The line of the current row (lookup may be null only for "Extended Format 3").
TLeaveLine BuildLeaveLine(TLeaveRows& row, TOutputLayout layout, TApplicationLookup* lookup);

// The amount as "0.00": nearest hundredth, halves away from zero, decided on the value's
// 15-significant-digit decimal form; minus sign when negative; the regional decimal separator.
std::string FormatAmount(double value);

// The date as "dd/mm/yyyy" with the regional date separator.
std::string FormatLineDate(rtl::TDateTime value);

// ---- sinks ----------------------------------------------------------------------------------

class TLineSink {
  public:
    virtual ~TLineSink() = default;
    virtual void Write(const TLeaveLine& line) = 0;
    // After the last line of a run: a file is put in place here.
    virtual void Finish() {}
};

// A line could not be written: 'Cannot write file "x". No space left on device'.
class EDownloadWriteError : public rtl::Exception {
  public:
    using rtl::Exception::Exception;
};

// The download file, written beside its name and renamed into place by Close (outputfile.h:
// which names are refused, modes and owners). Construction checks the name and makes the file
// being written (rtl::EFCreateError 'Cannot create file "x". reason' when that fails); each line
// and CR LF is appended; Close puts the file in place (EDownloadWriteError 'Cannot write file
// "x". reason' when a line cannot be written). Without Close, as after a failed line, the file
// being written is removed and an earlier file of that name stays whole. "-" and "/dev/stdout"
// write standard output.
class TDownloadFile : public TLineSink {
  public:
    explicit TDownloadFile(const std::string& fileName, const TProtectedFiles& protect = {},
                           bool unnamedFiles = true);
    ~TDownloadFile() override;
    TDownloadFile(const TDownloadFile&) = delete;
    TDownloadFile& operator=(const TDownloadFile&) = delete;
    void Write(const TLeaveLine& line) override;
    void Finish() override { Close(); }
    void Close();

  private:
    std::string fileName_;
    std::unique_ptr<TOutputFile> file_;
};

// Lines with CR LF to a stream the caller owns (standard output); raises EDownloadWriteError.
class TStreamSink : public TLineSink {
  public:
    explicit TStreamSink(std::FILE* stream, std::string name = "standard output")
        : stream_(stream), name_(std::move(name)) {}
    void Write(const TLeaveLine& line) override;

  private:
    std::FILE* stream_;
    std::string name_;
};

// ---- runs -----------------------------------------------------------------------------------

// Called after each line: lines done, and all lines (-1 when not known).
using TProgress = std::function<void(std::int64_t done, std::int64_t total)>;

// Writes one line per row from the current row to the end; returns the lines written.
std::int64_t WriteLeaveLines(TLeaveRows& rows, TOutputLayout layout, TApplicationLookup* lookup,
                             TLineSink& sink, const TProgress& progress = {});

// The run of a download, the one sequence of the dialog and velda-export: the statement for the
// range and layout on query (its connection and its BeforeOpen, with the statement's passwords,
// are the caller's), the applications found with SelectionLookup on applications (the leave
// application table, left to open on first use), every line to the sink, the sink's Finish (a
// file is put in place), and the query closed. A failure leaves the sink unfinished. Returns the
// lines written.
std::int64_t RunLeaveDownload(ads::TAdsQuery& query, ads::TAdsDataSet& applications,
                              rtl::TDateTime from, rtl::TDateTime to, TOutputLayout layout,
                              TLineSink& sink, const TProgress& progress = {});

// The whole download on an open company connection: the run above on a query and table of its
// own, with the table password when the connection uses free tables, the applications in
// "empleave.adt". The statement names the connection by its name (Owner.Name when it has a named
// owner); a connection without a name is named "LeaveDownloadConnection".
std::int64_t RunLeaveDownload(ads::TAdsConnection& connection, rtl::TDateTime from,
                              rtl::TDateTime to, TOutputLayout layout, TLineSink& sink,
                              const TProgress& progress = {});

}  // namespace download

#endif
