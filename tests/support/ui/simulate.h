// A user at the keyboard and mouse, for tests: each function sends the events that the
// user's action produces through Qt's normal delivery (so key preview, default and cancel
// buttons, accelerators of the focused control and event handlers all take part).
//
// The controls acted on must be showing (their form shown, the control visible): acting on a
// hidden one raises std::logic_error, since no user could.
#ifndef VELDA_TESTS_SUPPORT_UI_SIMULATE_H
#define VELDA_TESTS_SUPPORT_UI_SIMULATE_H

#include <QPoint>
#include <string>

#include "ui/keys.h"

class QWidget;

namespace ui {

class TControl;
class TWinControl;
class TForm;
class TDBGrid;

namespace sim {

// A left click (press and release) in the middle of the control, or at pos of a widget.
void Click(TControl& control);
void Click(QWidget* widget, QPoint pos);
void Click(QWidget* widget);
void DoubleClick(QWidget* widget, QPoint pos);
void ClickCell(TDBGrid& grid, int row, int col);
void DoubleClickCell(TDBGrid& grid, int row, int col);

// Keys go to the focused widget of the form, as the keyboard's do.
void PressKey(TForm& form, TKey key, TShiftState shift = 0);
// Focuses the control (as a click or Tab would), then presses the key / types the text
// (Windows-1252; each character one key press).
void PressKey(TWinControl& control, TKey key, TShiftState shift = 0);
void Type(TWinControl& control, const std::string& text);
// Keys to the widget that has the focus in widget's window (widget itself if none).
void PressKey(QWidget* widget, TKey key, TShiftState shift = 0);
void Type(QWidget* widget, const std::string& text);

// The title bar's close button.
void CloseWindow(TForm& form);

}  // namespace sim
}  // namespace ui

#endif
