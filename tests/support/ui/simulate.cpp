#include "tests/support/ui/simulate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTableView>
#include <stdexcept>

#include "ui/dbgrid.h"
#include "ui/forms.h"
#include "ui/qtext.h"

namespace ui::sim {

namespace {

// The user acts on a window, which makes it the active one (focus events follow at once).
void RequireShowing(const QWidget* widget) {
    if (!widget || !widget->isVisible()) throw std::logic_error("the control is not showing");
    QWidget* window = widget->window();
    if (QApplication::activeWindow() != window && !(window->windowFlags() & Qt::Popup)) {
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
        QApplication::setActiveWindow(window);
        QT_WARNING_POP
    }
}

// What the event loop does after the user's action: the work Qt queued for later (an item
// editor commits its text that way after Enter).
void Settle() {
    QCoreApplication::sendPostedEvents();
}

void SendMouse(QWidget* widget, QEvent::Type type, QPoint pos) {
    const QPointF local(pos);
    const QPointF global(widget->mapToGlobal(pos));
    const Qt::MouseButtons buttons =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, local, global, Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

QWidget* FocusTarget(QWidget* widget) {
    QWidget* focus = widget->window()->focusWidget();
    if (focus && (focus == widget || widget->isAncestorOf(focus))) return focus;
    if (widget->focusProxy()) return widget->focusProxy();
    return widget;
}

void SendKey(QWidget* target, int qtKey, Qt::KeyboardModifiers modifiers, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, qtKey, modifiers, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, qtKey, modifiers, text);
    QApplication::sendEvent(target, &release);
    Settle();
}

QString TextOfKey(TKey key, TShiftState shift) {
    if (shift & (ssCtrl | ssAlt)) return {};
    switch (key) {
        case VK_RETURN:
            return "\r";
        case VK_ESCAPE:
            return QString(QChar(27));
        case VK_BACK:
            return QString(QChar(8));
        case VK_TAB:
            return "\t";
        case VK_SPACE:
            return " ";
        default:
            break;
    }
    if (key >= '0' && key <= '9') return QString(QChar(key));
    if (key >= 'A' && key <= 'Z') return QString(QChar(shift & ssShift ? key : key + 32));
    return {};
}

// The user clicks into a control unless the focus is in it already (in a grid's editor, say).
void FocusUnlessWithin(TWinControl& control) {
    QWidget* widget = control.Widget();
    RequireShowing(widget);
    QWidget* focus = widget->window()->focusWidget();
    if (focus != widget && !(focus && widget->isAncestorOf(focus))) control.SetFocus();
}

QPoint CellCenter(TDBGrid& grid, int row, int col) {
    QTableView* view = grid.View();
    return view->visualRect(view->model()->index(row, col)).center();
}

}  // namespace

void Click(QWidget* widget, QPoint pos) {
    RequireShowing(widget);
    SendMouse(widget, QEvent::MouseButtonPress, pos);
    SendMouse(widget, QEvent::MouseButtonRelease, pos);
    Settle();
}

void Click(QWidget* widget) {
    RequireShowing(widget);
    Click(widget, widget->rect().center());
}

void Click(TControl& control) {
    Click(control.Widget());
}

void DoubleClick(QWidget* widget, QPoint pos) {
    RequireShowing(widget);
    SendMouse(widget, QEvent::MouseButtonPress, pos);
    SendMouse(widget, QEvent::MouseButtonRelease, pos);
    SendMouse(widget, QEvent::MouseButtonDblClick, pos);
    SendMouse(widget, QEvent::MouseButtonRelease, pos);
    Settle();
}

void ClickCell(TDBGrid& grid, int row, int col) {
    Click(grid.View()->viewport(), CellCenter(grid, row, col));
}

void DoubleClickCell(TDBGrid& grid, int row, int col) {
    DoubleClick(grid.View()->viewport(), CellCenter(grid, row, col));
}

void PressKey(QWidget* widget, TKey key, TShiftState shift) {
    RequireShowing(widget);
    const int qtKey = KeyToQt(key);
    if (qtKey == 0) throw std::logic_error("no such key");
    SendKey(FocusTarget(widget), qtKey, Qt::KeyboardModifiers(ShiftToQt(shift)),
            TextOfKey(key, shift));
}

void Type(QWidget* widget, const std::string& text) {
    RequireShowing(widget);
    const QString typed = ToQString(text);
    for (QChar c : typed) {
        QWidget* target = FocusTarget(widget);
        const QChar upper = c.toUpper();
        int qtKey = upper.unicode();
        Qt::KeyboardModifiers modifiers = Qt::NoModifier;
        if (c.isLetter() && c.isUpper()) modifiers = Qt::ShiftModifier;
        if (c == ' ') qtKey = Qt::Key_Space;
        SendKey(target, qtKey, modifiers, QString(c));
    }
}

void PressKey(TForm& form, TKey key, TShiftState shift) {
    PressKey(form.Widget(), key, shift);
}

void PressKey(TWinControl& control, TKey key, TShiftState shift) {
    FocusUnlessWithin(control);
    PressKey(control.Widget(), key, shift);
}

void Type(TWinControl& control, const std::string& text) {
    FocusUnlessWithin(control);
    Type(control.Widget(), text);
}

void CloseWindow(TForm& form) {
    RequireShowing(form.Widget());
    form.Widget()->close();
}

}  // namespace ui::sim
