#include "tests/support/ui/fit.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QTableView>
#include <QToolButton>

#include "ui/controls.h"
#include "ui/forms.h"

namespace ui::fit {

namespace {

// A line edit draws its text this far inside its contents on either side.
constexpr int kLineEditMargin = 2;
// An item view's cell and a header section keep this much room beside their text.
constexpr int kCellMargin = 3;

std::string Name(const QWidget& w) {
    std::string name = w.metaObject()->className();
    const QWidget* named = &w;
    // The control a widget belongs to names it (an editable combo's editor, a picker's field).
    while (named && !TControl::FromWidget(named)) named = named->parentWidget();
    if (const TControl* control = named ? TControl::FromWidget(named) : nullptr)
        if (!control->Name().empty()) name += " " + control->Name();
    return name;
}

// The text as drawn: without the accelerator marks.
QString Shown(QString text) {
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

class Walk {
  public:
    std::vector<std::string> findings;

    void Check(const QWidget& w, const QString& text, const QFontMetrics& metrics, int room) {
        for (const QString& line : text.split(QLatin1Char('\n'))) {
            const int needed = metrics.horizontalAdvance(line);
            if (needed > room)
                findings.push_back(Name(w) + ": \"" + line.toStdString() + "\" needs " +
                                   std::to_string(needed) + " px, has " + std::to_string(room));
        }
    }
    void CheckHeight(const QWidget& w, const QFontMetrics& metrics, int room) {
        if (metrics.height() > room)
            findings.push_back(Name(w) + ": a line needs " + std::to_string(metrics.height()) +
                               " px high, has " + std::to_string(room));
    }

    void Label(const QLabel& label) {
        if (label.text().isEmpty() || label.wordWrap() || label.textFormat() == Qt::RichText)
            return;
        const QFontMetrics metrics(label.font());
        int indent = label.indent();
        if (indent < 0) indent = label.frameWidth() > 0 ? metrics.horizontalAdvance('x') / 2 : 0;
        const QRect room = label.contentsRect();
        // A label shows its accelerator mark only when it names a buddy.
        const QString text = label.buddy() ? Shown(label.text()) : label.text();
        Check(label, text, metrics, room.width() - 2 * label.margin() - indent);
        CheckHeight(label, metrics, room.height() - 2 * label.margin());
    }

    void Button(const QPushButton& button) {
        if (button.text().isEmpty()) return;
        QStyleOptionButton option;
        option.initFrom(&button);
        option.text = button.text();
        option.icon = button.icon();
        option.iconSize = button.iconSize();
        const QRect contents =
            button.style()->subElementRect(QStyle::SE_PushButtonContents, &option, &button);
        int room = contents.width();
        if (!button.icon().isNull()) room -= button.iconSize().width() + 4;
        const QFontMetrics metrics(button.font());
        Check(button, Shown(button.text()), metrics, room);
        CheckHeight(button, metrics, contents.height());
    }

    void ToolButton(const QToolButton& button) {
        if (button.text().isEmpty() || button.toolButtonStyle() == Qt::ToolButtonIconOnly) return;
        QStyleOptionToolButton option;
        option.initFrom(&button);
        const int frame =
            button.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &button);
        int room = button.width() - 2 * frame;
        if (button.toolButtonStyle() == Qt::ToolButtonTextBesideIcon && !button.icon().isNull())
            room -= button.iconSize().width() + 4;
        Check(button, Shown(button.text()), QFontMetrics(button.font()), room);
    }

    void CheckOrRadio(const QAbstractButton& button, QStyle::SubElement contentsElement) {
        if (button.text().isEmpty()) return;
        QStyleOptionButton option;
        option.initFrom(&button);
        option.text = button.text();
        const QRect contents = button.style()->subElementRect(contentsElement, &option, &button);
        Check(button, Shown(button.text()), QFontMetrics(button.font()), contents.width());
    }

    void GroupBox(const QGroupBox& box) {
        if (box.title().isEmpty()) return;
        QStyleOptionGroupBox option;
        option.initFrom(&box);
        option.text = box.title();
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        option.textAlignment = box.alignment();
        option.lineWidth = 1;
        const QRect label = box.style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                        QStyle::SC_GroupBoxLabel, &box);
        // The style places the title from the left edge; it must end inside the box.
        const QFontMetrics metrics(box.font());
        Check(box, Shown(box.title()), metrics, box.width() - label.left());
    }

    void ComboBox(const QComboBox& combo) {
        QStyleOptionComboBox option;
        option.initFrom(&combo);
        option.editable = combo.isEditable();
        option.frame = combo.hasFrame();
        const QRect field = combo.style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                          QStyle::SC_ComboBoxEditField, &combo);
        const QFontMetrics metrics(combo.font());
        for (int i = 0; i < combo.count(); ++i)
            Check(combo, combo.itemText(i), metrics, field.width() - 2 * kLineEditMargin);
    }

    void LineEdit(const QLineEdit& edit) {
        if (edit.text().isEmpty() || edit.echoMode() != QLineEdit::Normal) return;
        if (qobject_cast<const QComboBox*>(edit.parentWidget())) return;  // the combo's items
        QStyleOptionFrame option;
        option.initFrom(&edit);
        option.lineWidth = edit.hasFrame() ? edit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth,
                                                                       &option, &edit)
                                           : 0;
        const QRect contents =
            edit.style()->subElementRect(QStyle::SE_LineEditContents, &option, &edit);
        const QMargins margins = edit.textMargins();
        Check(edit, edit.text(), QFontMetrics(edit.font()),
              contents.width() - margins.left() - margins.right() - 2 * kLineEditMargin);
    }

    void Table(const QTableView& table) {
        const QAbstractItemModel* model = table.model();
        if (!model) return;
        const QFontMetrics cellMetrics(table.font());
        const QFontMetrics headMetrics(table.horizontalHeader()->font());
        for (int col = 0; col < model->columnCount(); ++col) {
            if (table.isColumnHidden(col)) continue;
            const int room = table.columnWidth(col) - 2 * kCellMargin;
            if (table.horizontalHeader()->isVisible())
                Check(table, model->headerData(col, Qt::Horizontal).toString(), headMetrics, room);
            for (int row = 0; row < model->rowCount(); ++row)
                Check(table, model->index(row, col).data().toString(), cellMetrics, room);
        }
    }

    void Visit(const QWidget& w) {
        if (const auto* label = qobject_cast<const QLabel*>(&w)) Label(*label);
        if (const auto* button = qobject_cast<const QPushButton*>(&w)) Button(*button);
        if (const auto* tool = qobject_cast<const QToolButton*>(&w)) ToolButton(*tool);
        if (const auto* check = qobject_cast<const QCheckBox*>(&w))
            CheckOrRadio(*check, QStyle::SE_CheckBoxContents);
        if (const auto* radio = qobject_cast<const QRadioButton*>(&w))
            CheckOrRadio(*radio, QStyle::SE_RadioButtonContents);
        if (const auto* box = qobject_cast<const QGroupBox*>(&w)) GroupBox(*box);
        if (const auto* combo = qobject_cast<const QComboBox*>(&w)) ComboBox(*combo);
        if (const auto* edit = qobject_cast<const QLineEdit*>(&w)) LineEdit(*edit);
        if (const auto* table = qobject_cast<const QTableView*>(&w)) Table(*table);
    }
};

}  // namespace

std::vector<std::string> TextsThatDoNotFit(const QWidget& window) {
    Walk walk;
    walk.Visit(window);
    for (const QWidget* w : window.findChildren<QWidget*>()) {
        // What the user can see: shown within the window (headers and viewports of views
        // are measured by their view).
        if (!w->isVisibleTo(&window) || w->isWindow()) continue;
        walk.Visit(*w);
    }
    return walk.findings;
}

std::vector<std::string> TextsThatDoNotFit(const TForm& form) {
    return TextsThatDoNotFit(*form.Widget());
}

}  // namespace ui::fit
