// A date field: shows a date in a display format, lets the user type one or pick one from a
// calendar that drops down, and gives the window its date value.
//
// Typing: the numbers of the text are read in the order of the format's day, month and year
// (a text without a year means the current year). A year of one or two digits falls in the
// hundred years that begin at the epoch (epoch 1950: 50 is 1950, 49 is 2049); with no epoch,
// in the program-wide two-digit-year window. A text that is no date is refused with
// "'<text>' is not a valid date" and the date stays as it was.
#ifndef VELDA_UI_DATETIMEPICKER_H
#define VELDA_UI_DATETIMEPICKER_H

#include <string>

#include "rtl/sysutils.h"
#include "ui/controls.h"

class QCalendarWidget;
class QLineEdit;
class QToolButton;

namespace ui {

class TDateTimePicker : public TWinControl {
  public:
    explicit TDateTimePicker(rtl::TComponent* owner, TWinControl* parent = nullptr);
    ~TDateTimePicker() override;

    // The date, a whole day number (any time of day given is dropped).
    rtl::TDateTime Date() const { return date_; }
    void SetDate(rtl::TDateTime date);
    // A date pattern as FormatDateTime takes it, letters in either case ("dd/mm/yyyy" and
    // "dd/MM/yyyy" are the same; "/" is the date separator). Empty: the program-wide short
    // date format, as it is at each showing.
    const std::string& Format() const { return format_; }
    void SetFormat(const std::string& format);
    int Epoch() const { return epoch_; }
    void SetEpoch(int epoch) { epoch_ = epoch; }
    // The text shown.
    std::string Text() const;
    // Reads the typed text now (as Enter or leaving the field does).
    void CommitText();

    void DropDown();
    void CloseUp();
    bool DroppedDown() const;

    // The user changed the date (typed or picked).
    TNotifyEvent OnChange;

    QLineEdit* LineEdit() const;
    QToolButton* DropDownButton() const;
    QCalendarWidget* Calendar() const;

    // The date a text means under a pattern and an epoch (false when it means none).
    static bool ParseDate(const std::string& text, const std::string& pattern, int epoch,
                          rtl::TDateTime& date);

  private:
    class PickerWidget;
    std::string Pattern() const;
    void ShowDate();
    void Picked(rtl::TDateTime date);

    rtl::TDateTime date_ = 0;
    std::string format_;
    int epoch_ = 0;
    std::string shownFormat_;
    QLineEdit* edit_ = nullptr;
    QToolButton* button_ = nullptr;
    QCalendarWidget* calendar_ = nullptr;
};

}  // namespace ui

#endif
