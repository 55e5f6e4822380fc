// The four line layouts, the amount and date formats, the rows of a dataset, the sinks and the
// loop that writes one line per row.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#include "db/dataset.h"
#include "db/fields.h"
#include "download/core/leavedownload.h"
#include "rtl/stringlist.h"
#include "util/StrUtil.h"

namespace download {

// ---- rows of a dataset ----------------------------------------------------------------------

namespace {

// Field objects are looked up once per name: the same few names are read on every row.
class TDataSetRows : public TLeaveRows {
  public:
    explicit TDataSetRows(db::TDataSet& dataSet) : dataSet_(dataSet) {}
    bool Eof() override { return dataSet_.Eof(); }
    void Next() override { dataSet_.Next(); }
    std::int64_t Count() override { return dataSet_.RecordCount(); }
    std::string Text(const char* field) override { return fieldOf(field)->AsString(); }
    double Float(const char* field) override {
        db::TField* f = fieldOf(field);
        return f->IsNull() ? 0.0 : f->AsFloat();
    }
    std::int32_t Integer(const char* field) override {
        db::TField* f = fieldOf(field);
        return f->IsNull() ? 0 : f->AsInteger();
    }
    rtl::TDateTime Date(const char* field) override {
        db::TField* f = fieldOf(field);
        return f->IsNull() ? 0.0 : f->AsDateTime();
    }

  private:
    db::TField* fieldOf(const char* name) {
        for (const auto& [known, field] : fields_)
            if (known == name) return field;
        db::TField* field = dataSet_.FieldByName(name);
        fields_.emplace_back(name, field);
        return field;
    }

    db::TDataSet& dataSet_;
    std::vector<std::pair<const char*, db::TField*>> fields_;
};

}  // namespace

std::unique_ptr<TLeaveRows> DataSetRows(db::TDataSet& dataSet) {
    return std::make_unique<TDataSetRows>(dataSet);
}

// ---- formats ----------------------------------------------------------------------------------

std::string FormatAmount(double value) {
    // Whole, half and quarter days or hours under 10^12, nearly every amount: their decimal form
    // is exact in at most 14 significant digits, so neither the 15-digit form nor the rounding
    // to hundredths moves them, and the text is written directly. Anything else (NaN and
    // infinities included) goes the general way.
    const double quarters = value * 4;
    if (!(std::fabs(value) < 1e12) || quarters != std::trunc(quarters))
        return rtl::FormatFloat("0.00", value);
    const auto count = static_cast<std::int64_t>(quarters);
    std::uint64_t whole = static_cast<std::uint64_t>(count < 0 ? -count : count);
    const char* const kQuarters[] = {"00", "25", "50", "75"};
    const char* fraction = kQuarters[whole % 4];
    whole /= 4;
    char digits[24];
    char* end = digits + sizeof digits;
    char* first = end;
    do {
        *--first = static_cast<char>('0' + whole % 10);
        whole /= 10;
    } while (whole != 0);
    std::string text;
    text.reserve(static_cast<std::size_t>(end - first) + 4);
    if (count < 0) text += '-';  // -0.0 has no quarters and shows no sign, as in the general way
    text.append(first, end);
    text += rtl::FormatSettings().DecimalSeparator;
    text += fraction;
    return text;
}

std::string FormatLineDate(rtl::TDateTime value) {
    // Dates of four-digit years, every date of a download: the digits are written directly, as
    // the general format writes "dd/mm/yyyy"; other years go the general way.
    int year = 0, month = 0, day = 0;
    rtl::DecodeDate(value, year, month, day);
    if (year < 1000 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31)
        return rtl::FormatDateTime("dd/mm/yyyy", value);
    const char separator = rtl::FormatSettings().DateSeparator;
    const char text[10] = {static_cast<char>('0' + day / 10),
                           static_cast<char>('0' + day % 10),
                           separator,
                           static_cast<char>('0' + month / 10),
                           static_cast<char>('0' + month % 10),
                           separator,
                           static_cast<char>('0' + year / 1000),
                           static_cast<char>('0' + year / 100 % 10),
                           static_cast<char>('0' + year / 10 % 10),
                           static_cast<char>('0' + year % 10)};
    return std::string(text, sizeof text);
}

// ---- lines ------------------------------------------------------------------------------------

namespace {

enum class TAlign { Left, Right, None };

// The field is made in place in the line: a download builds nine of them per line.
void AddField(TLeaveLine& line, const char* name, const std::string& value, int width, TAlign align,
              bool fromApplication = false) {
    TLineField& field = line.Fields.emplace_back();
    field.Name = name;
    field.Value = value;
    field.Width = align == TAlign::None ? 0 : width;
    switch (align) {
        case TAlign::Left:
            field.Written = util::PadRightSpaces(value, width);
            break;
        case TAlign::Right:
            field.Written = util::PadLeftSpaces(value, width);
            break;
        case TAlign::None:
            field.Written = value;
            break;
    }
    field.FromApplication = fromApplication;
    line.Text += field.Written;
}

}  // namespace

TLeaveLine BuildLeaveLine(TLeaveRows& row, TOutputLayout layout, TApplicationLookup* lookup) {
    TLeaveLine line;
    line.UsesApplication = layout != TOutputLayout::Extended3;
    line.Fields.reserve(9);  // the most any layout writes
    line.Text.reserve(160);  // every field at its width: 129 bytes

    // The application is looked up before the line's own fields are read.
    const TApplicationFields* application = nullptr;
    if (line.UsesApplication) {
        if (lookup == nullptr) throw rtl::Exception("No leave application lookup for this layout");
        application = lookup->Find(row.Text("EMP_NO"), row.Text("LEAVE_CODE"), row.Integer("ID"));
        line.ApplicationMatched = application != nullptr;
    }

    line.EmpNo = row.Text("EMPCODE");
    line.LeaveCode = row.Text("LEAVE_CODE");
    line.Id = row.Integer("ID");
    line.Date = row.Date("DATE");
    std::string date = FormatLineDate(line.Date);
    std::string amount = FormatAmount(row.Float(line.LeaveCode == kHourLeaveCode ? "HOUR" : "DAY"));

    auto applicationFields = [&](bool withAmPm) {
        if (application == nullptr) return;
        if (withAmPm) AddField(line, "AM/PM", application->AmPm, 2, TAlign::Right, true);
        AddField(line, "Reference", application->Reference, 40, TAlign::Left, true);
        AddField(line, "Remarks", application->Remarks, 40, TAlign::Left, true);
    };

    AddField(line, "Employee code", line.EmpNo, 12, TAlign::Left);
    AddField(line, "Leave code", line.LeaveCode, 8, TAlign::Left);
    switch (layout) {
        case TOutputLayout::Standard:
            AddField(line, "Start date", date, 10, TAlign::Left);
            AddField(line, "Amount", amount, 6, TAlign::Right);
            AddField(line, "End date", date, 10, TAlign::Left);
            applicationFields(true);
            AddField(line, "Approved", row.Text("APPROVED"), 0, TAlign::None);
            break;
        case TOutputLayout::Extended1:
            AddField(line, "Start date", date, 10, TAlign::Left);
            AddField(line, "End date", date, 10, TAlign::Left);
            AddField(line, "Amount", amount, 6, TAlign::Right);
            applicationFields(true);
            AddField(line, "Approved", row.Text("APPROVED"), 0, TAlign::None);
            break;
        case TOutputLayout::Extended2:
            AddField(line, "Date", date, 10, TAlign::Left);
            AddField(line, "Amount", amount, 6, TAlign::Right);
            applicationFields(false);
            break;
        case TOutputLayout::Extended3:
            AddField(line, "Start date", date, 10, TAlign::Left);
            AddField(line, "Amount", amount, 6, TAlign::Right);
            AddField(line, "End date", date, 10, TAlign::Left);
            break;
    }
    return line;
}

// ---- sinks --------------------------------------------------------------------------------------

namespace {

std::string Reason(int error) {
    return std::strerror(error);
}

void WriteBytes(std::FILE* stream, const std::string& name, const std::string& text) {
    static const char kLineEnd[] = "\r\n";
    if (std::fwrite(text.data(), 1, text.size(), stream) != text.size() ||
        std::fwrite(kLineEnd, 1, 2, stream) != 2)
        throw EDownloadWriteError("Cannot write file \"" + name + "\". " + Reason(errno));
}

}  // namespace

TDownloadFile::TDownloadFile(const std::string& fileName, const TProtectedFiles& protect,
                             bool unnamedFiles)
    : fileName_(fileName) {
    try {
        file_ = std::make_unique<TOutputFile>(fileName, protect, unnamedFiles);
    } catch (const EOutputFileError& e) {
        throw rtl::EFCreateError("Cannot create file \"" + fileName + "\". " +
                                 (e.Reason().empty() ? "It " + e.Problem() : e.Reason()));
    }
}

TDownloadFile::~TDownloadFile() = default;

void TDownloadFile::Write(const TLeaveLine& line) {
    if (!file_) throw EDownloadWriteError("Cannot write file \"" + fileName_ + "\". closed");
    try {
        file_->Write(line.Text);
        file_->Write("\r\n");
    } catch (const EOutputFileError& e) {
        file_.reset();  // the lines written so far go; an earlier file stays whole
        throw EDownloadWriteError("Cannot write file \"" + fileName_ + "\". " + e.Reason());
    }
}

void TDownloadFile::Close() {
    if (!file_) return;
    try {
        file_->Commit();
    } catch (const EOutputFileError& e) {
        file_.reset();
        throw EDownloadWriteError("Cannot write file \"" + fileName_ + "\". " + e.Reason());
    }
    file_.reset();
}

void TStreamSink::Write(const TLeaveLine& line) {
    WriteBytes(stream_, name_, line.Text);
}

// ---- the loop -----------------------------------------------------------------------------------

std::int64_t WriteLeaveLines(TLeaveRows& rows, TOutputLayout layout, TApplicationLookup* lookup,
                             TLineSink& sink, const TProgress& progress) {
    std::int64_t total = progress ? rows.Count() : -1;
    std::int64_t written = 0;
    while (!rows.Eof()) {
        sink.Write(BuildLeaveLine(rows, layout, lookup));
        ++written;
        if (progress) progress(written, total);
        rows.Next();
    }
    return written;
}

}  // namespace download
