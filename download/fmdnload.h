// The download dialog: the download file name (remembered between runs in "lvdnpath.ini" in
// the program folder), the date range and the output layout. OK runs the leave selection on
// the company connection and writes the file through the windowless download
// (leavedownload.h), which velda-export runs too.
//
// The main window's ProfilesClick makes it for each use, presets the two dates and the caption,
// shows it modally and destroys it. Its query and leave application table name the company
// form's connection "FormCompany.DatabaseMain", which must exist when the dialog opens them.
//
// The settings file is a name=value line list (rtl::TStringList): loaded when the dialog is
// shown (created empty when missing), its "filepath" line set from the file name field and the
// whole list saved at every close; an empty file name removes the line.
#ifndef VELDA_DOWNLOAD_FMDNLOAD_H
#define VELDA_DOWNLOAD_FMDNLOAD_H

#include <memory>
#include <string>

#include "rtl/stringlist.h"
#include "ui/datetimepicker.h"
#include "ui/dialogs.h"
#include "ui/extctrls.h"
#include "ui/forms.h"
#include "ui/stdctrls.h"

namespace db {
class TDataSet;
}
namespace ads {
class TAdsQuery;
class TAdsTable;
}  // namespace ads

namespace download {

// The settings file's name and its one entry.
inline constexpr const char* kSettingsFileName = "lvdnpath.ini";
inline constexpr const char* kSettingsFilePath = "filepath";

class Tfmdownload : public ui::TForm {
  public:
    explicit Tfmdownload(rtl::TComponent* owner = nullptr);
    ~Tfmdownload() override;

    ui::TLabel* Label1 = nullptr;                        // "File Name"
    ui::TEdit* Edit1 = nullptr;                          // the download file name, as typed
    ui::TSpeedButton* SpeedButton1 = nullptr;            // browse
    ui::TLabel* Label2 = nullptr;                        // "From"
    ui::TDateTimePicker* wwDBDateTimePicker1 = nullptr;  // "dd/mm/yyyy", epoch 1950
    ui::TLabel* Label3 = nullptr;                        // "To"
    ui::TDateTimePicker* wwDBDateTimePicker2 = nullptr;  // short date format, epoch 1950
    ui::TLabel* Label4 = nullptr;                        // "Output Format"
    ui::TComboBox* comboFormatOutput = nullptr;          // the four layouts, editable
    ui::TButton* Button1 = nullptr;                      // "Format Spec."
    ui::TPanel* Panel2 = nullptr;
    ui::TBitBtn* BitBtn3 = nullptr;  // "&OK": default button, modal result OK
    ui::TBitBtn* BitBtn4 = nullptr;  // "Close"
    ui::TOpenDialog* OpenDialog1 = nullptr;
    ads::TAdsQuery* Query1 = nullptr;    // the leave selection
    ads::TAdsTable* tblleave = nullptr;  // empleave.adt by EMPCODE, for the application lookups

    void FormShow();
    void SpeedButton1Click();
    void Button1Click();
    void BitBtn3Click();
    void BitBtn4Click();
    void FormClose(ui::TCloseAction& action);
    void Query1BeforeOpen(db::TDataSet* dataSet);

    // The program folder ending in "/", as the last show computed it.
    const std::string& ApplicationFolder() const { return applicationFolder_; }

  private:
    std::string applicationFolder_;
    // The settings file's lines from show to close; none when they could not be loaded.
    std::unique_ptr<rtl::TStringList> settings_;
    // A save that failed once keeps the dialog open; the next close goes through regardless.
    bool saveFailed_ = false;
};

}  // namespace download

#endif
