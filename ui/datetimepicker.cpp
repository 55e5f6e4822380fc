#include "ui/datetimepicker.h"

#include <QCalendarWidget>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <cctype>
#include <cmath>
#include <vector>

#include "ui/application.h"
#include "ui/qtext.h"

namespace ui {

namespace {

QDate ToQDate(rtl::TDateTime value) {
    int y, m, d;
    rtl::DecodeDate(value, y, m, d);
    return QDate(y, m, d);
}

// A year of one or two digits in the hundred years that begin at the epoch, or with no epoch
// in the program-wide window.
int FullYear(int year, int epoch) {
    if (epoch <= 0) {
        int thisYear, m, d;
        rtl::DecodeDate(rtl::Date(), thisYear, m, d);
        const int window = rtl::FormatSettings().TwoDigitYearCenturyWindow;
        epoch = window > 0 ? thisYear - window : thisYear - thisYear % 100;
    }
    int full = epoch - epoch % 100 + year;
    if (full < epoch) full += 100;
    return full;
}

class KeyFilter : public QObject {
  public:
    KeyFilter(QObject* parent, TDateTimePicker* picker) : QObject(parent), picker_(picker) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            const bool altDown = key->key() == Qt::Key_Down && (key->modifiers() & Qt::AltModifier);
            if (altDown || key->key() == Qt::Key_F4) {
                picker_->DropDown();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    TDateTimePicker* picker_;
};

}  // namespace

class TDateTimePicker::PickerWidget : public QWidget {
  public:
    PickerWidget(QWidget* parent, TDateTimePicker* picker) : QWidget(parent), picker_(picker) {}

  protected:
    void resizeEvent(QResizeEvent*) override {
        const int side = height();
        picker_->edit_->setGeometry(0, 0, std::max(0, width() - side), height());
        picker_->button_->setGeometry(width() - side, 0, side, height());
    }
    void showEvent(QShowEvent*) override {
        // Without a format of its own the field follows the program-wide one, which may have
        // changed since the field was made.
        picker_->ShowDate();
    }

  private:
    TDateTimePicker* picker_;
};

TDateTimePicker::TDateTimePicker(rtl::TComponent* owner, TWinControl* parent)
    : TWinControl(owner, parent), date_(rtl::Date()) {
    auto* widget = new PickerWidget(ParentWidget(), this);
    edit_ = new QLineEdit(widget);
    button_ = new QToolButton(widget);
    button_->setArrowType(Qt::DownArrow);
    button_->setFocusPolicy(Qt::NoFocus);
    calendar_ = new QCalendarWidget(widget);
    calendar_->setWindowFlags(Qt::Popup);
    calendar_->hide();
    widget->setFocusProxy(edit_);
    Attach(widget);
    widget->resize(186, 21);
    edit_->installEventFilter(new KeyFilter(Hooks(), this));
    QObject::connect(edit_, &QLineEdit::editingFinished, Hooks(), [this] { CommitText(); });
    QObject::connect(button_, &QToolButton::clicked, Hooks(), [this] {
        if (DroppedDown())
            CloseUp();
        else
            DropDown();
    });
    auto picked = [this](QDate date) {
        Picked(rtl::EncodeDate(date.year(), date.month(), date.day()));
    };
    QObject::connect(calendar_, &QCalendarWidget::clicked, Hooks(), picked);
    QObject::connect(calendar_, &QCalendarWidget::activated, Hooks(), picked);
    ShowDate();
}

TDateTimePicker::~TDateTimePicker() = default;

QLineEdit* TDateTimePicker::LineEdit() const {
    return edit_;
}
QToolButton* TDateTimePicker::DropDownButton() const {
    return button_;
}
QCalendarWidget* TDateTimePicker::Calendar() const {
    return calendar_;
}

std::string TDateTimePicker::Pattern() const {
    return format_.empty() ? rtl::FormatSettings().ShortDateFormat : format_;
}

void TDateTimePicker::SetDate(rtl::TDateTime date) {
    date_ = std::floor(date);
    ShowDate();
}

void TDateTimePicker::SetFormat(const std::string& format) {
    format_ = format;
    ShowDate();
}

void TDateTimePicker::ShowDate() {
    edit_->setText(ToQString(rtl::FormatDateTime(Pattern(), date_)));
}

std::string TDateTimePicker::Text() const {
    return FromQString(edit_->text());
}

void TDateTimePicker::CommitText() {
    const std::string text = Text();
    if (text == rtl::FormatDateTime(Pattern(), date_)) return;
    rtl::TDateTime typed = 0;
    if (!ParseDate(text, Pattern(), epoch_, typed)) {
        ShowDate();
        Dispatch([&] { throw rtl::EConvertError("'" + text + "' is not a valid date"); });
        return;
    }
    const bool changed = typed != date_;
    date_ = typed;
    ShowDate();
    if (changed) Fire(OnChange);
}

void TDateTimePicker::DropDown() {
    QWidget* w = Widget();
    calendar_->setSelectedDate(ToQDate(date_));
    calendar_->move(w->mapToGlobal(QPoint(0, w->height())));
    calendar_->show();
    calendar_->setFocus(Qt::PopupFocusReason);
}

void TDateTimePicker::CloseUp() {
    calendar_->hide();
}

bool TDateTimePicker::DroppedDown() const {
    return calendar_->isVisible();
}

void TDateTimePicker::Picked(rtl::TDateTime date) {
    CloseUp();
    const bool changed = date != date_;
    date_ = date;
    ShowDate();
    edit_->setFocus(Qt::OtherFocusReason);
    if (changed) Fire(OnChange);
}

bool TDateTimePicker::ParseDate(const std::string& text, const std::string& pattern, int epoch,
                                rtl::TDateTime& date) {
    // The order of day, month and year in the pattern (quoted literals skipped).
    std::string order;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '"' || c == '\'') {
            const size_t end = pattern.find(c, i + 1);
            if (end == std::string::npos) break;
            i = end;
            continue;
        }
        const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if ((upper == 'D' || upper == 'M' || upper == 'Y') &&
            order.find(upper) == std::string::npos)
            order += upper;
    }
    if (order.size() != 3) order = "DMY";

    std::vector<std::string> numbers;
    std::string current;
    for (char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c))) {
            current += c;
            continue;
        }
        if (std::isalpha(static_cast<unsigned char>(c))) return false;
        if (!current.empty()) numbers.push_back(current);
        current.clear();
    }
    if (!current.empty()) numbers.push_back(current);
    if (numbers.size() < 2 || numbers.size() > 3) return false;
    for (const std::string& n : numbers)
        if (n.size() > 4) return false;

    if (numbers.size() == 2) order.erase(order.find('Y'), 1);
    int day = 0, month = 0, year = 0;
    bool yearGiven = false;
    for (size_t i = 0; i < numbers.size(); ++i) {
        const int value = std::stoi(numbers[i]);
        switch (order[i]) {
            case 'D':
                day = value;
                break;
            case 'M':
                month = value;
                break;
            default:
                year = numbers[i].size() <= 2 ? FullYear(value, epoch) : value;
                yearGiven = true;
                break;
        }
    }
    if (!yearGiven) {
        int m, d;
        rtl::DecodeDate(rtl::Date(), year, m, d);
    }
    return rtl::TryEncodeDate(year, month, day, date);
}

}  // namespace ui
